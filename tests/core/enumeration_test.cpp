#include "../support/recording_vmm.h"

namespace {

// Records the pages it sees; stops after stopAfter pages; tells its death.
struct Recorder : gcVMMPageHandler {
  explicit Recorder(bool* pDeleted = nullptr, std::size_t stopAfter = ~0u)
      : pDeleted(pDeleted), stopAfter(stopAfter) {}
  ~Recorder() override {
    if (pDeleted != nullptr) *pDeleted = true;
    if (pSeenOut != nullptr) *pSeenOut = seen;
  }
  bool handlePage(gcVMMPage* pPage) override {
    seen.push_back(pPage->getVAddr());
    return seen.size() < stopAfter;
  }
  void finish() override { ++finished; }

  bool* pDeleted;
  std::size_t stopAfter;
  std::vector<vmm_int>* pSeenOut = nullptr;  // receives seen at deletion
  std::vector<vmm_int> seen;
  int finished = 0;
};

template <class Model>
void build(gcVMM* pVMM) {
  stderrOf([&] { pVMM->setMemoryModell(new Model); });
}

TEST(Enumeration, NullHandlerAndEmptyVMM) {
  gcVMM vmm;
  EXPECT_EQ(
      "", stderrOf([&] { EXPECT_TRUE(vmm.forAllMappedPages(nullptr, true)); }));
  bool deleted = false;
  auto* pHandler = new Recorder(&deleted);
  EXPECT_EQ(
      "forAllMappedPages(vmm_page_handler handlePage): NO ADDRESS "
      "TRANSLATION RULES!\n",
      stderrOf([&] { EXPECT_FALSE(vmm.forAllMappedPages(pHandler, true)); }));
  EXPECT_FALSE(deleted);
  EXPECT_EQ(0, pHandler->finished);
  EXPECT_TRUE(pHandler->seen.empty());
  delete pHandler;
}

TEST(Enumeration, EveryModelStartsWithThePageAtZero) {
  gcVMM fast, compact, small;
  build<gcVMM32BitFast>(&fast);
  build<gcVMM32BitCompact>(&compact);
  build<gcVMM32BitSmall>(&small);
  for (gcVMM* pVMM : {&fast, &compact, &small}) {
    Recorder r;
    EXPECT_TRUE(pVMM->forAllMappedPages(&r, false));
    EXPECT_EQ(std::vector<vmm_int>{0}, r.seen);
    EXPECT_EQ(1, r.finished);
  }
}

TEST(Enumeration, TablesVisitInAddressOrderAndDeleteWhenAsked) {
  gcVMM vmm;
  build<gcVMM32BitFast>(&vmm);
  for (vmm_int a : {0x10001u, 0xFFFFu, 0x4001u, 0x3230u, 0x05000000u})
    vmm.setByte(a, 1);
  bool deleted = false;
  std::vector<vmm_int> seen;
  auto* pHandler = new Recorder(&deleted);
  pHandler->pSeenOut = &seen;
  EXPECT_TRUE(vmm.forAllMappedPages(pHandler, true));
  EXPECT_TRUE(deleted);
  EXPECT_EQ(
      (std::vector<vmm_int>{0, 0x3000, 0x4000, 0xF000, 0x10000, 0x05000000}),
      seen);
  EXPECT_EQ("gcPageCountHandler:: 6 pages are mapped.\n", stderrOf([&] {
              EXPECT_TRUE(vmm.forAllMappedPages(new gcPageCountHandler, true));
            }));
}

TEST(Enumeration, DirectoriesVisitRegionsInTheOrderTheyWereAdded) {
  gcVMM vmm;
  build<gcVMM32BitCompact>(&vmm);
  vmm.setByte(0x05000000, 1);
  vmm.setByte(0x02001000, 1);
  vmm.setByte(0x02000000, 1);
  Recorder r;
  EXPECT_TRUE(vmm.forAllMappedPages(&r, false));
  EXPECT_EQ((std::vector<vmm_int>{0, 0x05000000, 0x02000000, 0x02001000}),
            r.seen);
}

TEST(Enumeration, StoppingSkipsFinishAndDeletion) {
  gcVMM vmm;
  build<gcVMM32BitFast>(&vmm);
  for (vmm_int a = 0x1000; a <= 0x8000; a += 0x1000) vmm.setByte(a, 1);
  bool deleted = false;
  auto* pHandler = new Recorder(&deleted, 2);
  EXPECT_FALSE(vmm.forAllMappedPages(pHandler, true));
  EXPECT_FALSE(deleted);
  EXPECT_EQ((std::vector<vmm_int>{0, 0x1000}), pHandler->seen);
  EXPECT_EQ(0, pHandler->finished);
  delete pHandler;

  // Stopping at entry 5 of a table leaves the higher entries unvisited.
  Recorder atFive(nullptr, 6);
  EXPECT_FALSE(vmm.forAllMappedPages(&atFive, false));
  EXPECT_EQ(0x5000u, atFive.seen.back());
}

TEST(Enumeration, BaseHandlerVisitsEverythingAndIsDeleted) {
  gcVMM vmm;
  build<gcVMM32BitSmall>(&vmm);
  vmm.setByte(0x7F000000, 1);
  EXPECT_TRUE(vmm.forAllMappedPages(new gcVMMPageHandler, true));
  gcVMMPageBase plain(nullptr, 0xFFF, 0);
  Recorder r;
  EXPECT_FALSE(plain.forAllMappedPagesRecursive(&r));
  EXPECT_TRUE(r.seen.empty());
}

}  // namespace
