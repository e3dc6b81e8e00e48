#include "../support/recording_vmm.h"

namespace {

// Records the pages it sees, stops after stopAfter of them, and tells of
// its finish and its deletion.
struct Recorder : gcVMMPageHandler {
  explicit Recorder(std::string* pLog, std::size_t stopAfter = 1000)
      : pLog(pLog), stopAfter(stopAfter) {}
  ~Recorder() override { *pLog += "deleted"; }
  bool handlePage(gcVMMPage* pPage) override {
    char text[16];
    std::snprintf(text, sizeof text, "%x ", pPage->getVAddr());
    *pLog += text;
    return --stopAfter > 0;
  }
  void finish() override { *pLog += "finish "; }
  std::string* pLog;
  std::size_t stopAfter;
};

template <class Model>
std::string walk(const std::vector<vmm_int>& writes, std::size_t stopAfter,
                 bool* pResult = nullptr) {
  gcVMM vmm;
  stderrOf([&] { vmm.setMemoryModell(new Model); });
  for (vmm_int a : writes) vmm.setByte(a, 1);
  std::string log;
  auto* pHandler = new Recorder(&log, stopAfter);
  const bool result = vmm.forAllMappedPages(pHandler, true);
  if (pResult != nullptr) *pResult = result;
  if (!result) delete pHandler;  // still the caller's
  return log;
}

TEST(Enumeration, TablesInAddressOrderDirectoriesInOrderOfAddition) {
  const std::vector<vmm_int> writes = {0x05000000, 0x10001, 0xFFFF,
                                       0x4001,     0x3230,  0x02000000};
  EXPECT_EQ("0 3000 4000 f000 10000 2000000 5000000 finish deleted",
            walk<gcVMM32BitFast>(writes, 1000));
  EXPECT_EQ("0 3000 4000 f000 10000 5000000 2000000 finish deleted",
            walk<gcVMM32BitCompact>(writes, 1000));
  EXPECT_EQ("0 10000 5000000 2000000 finish deleted",
            walk<gcVMM32BitSmall>(writes, 1000));
  EXPECT_EQ("0 finish deleted", walk<gcVMM32BitSmall>({}, 1000));
}

TEST(Enumeration, StoppingSkipsFinishAndDeletion) {
  bool result = true;
  EXPECT_EQ("0 3000 deleted",
            walk<gcVMM32BitFast>({0x3000, 0x4000}, 2, &result));
  EXPECT_FALSE(result);
  // A table stops at the entry that said no: higher entries stay unvisited.
  EXPECT_EQ("0 1000 2000 3000 4000 5000 deleted",
            walk<gcVMM32BitFast>(
                {0x1000, 0x2000, 0x3000, 0x4000, 0x5000, 0x6000, 0x7000}, 6));
}

TEST(Enumeration, NullHandlerEmptyVMMAndTheBaseHandler) {
  gcVMM vmm;
  EXPECT_EQ(
      "", stderrOf([&] { EXPECT_TRUE(vmm.forAllMappedPages(nullptr, true)); }));
  std::string log;
  Recorder handler(&log);
  EXPECT_EQ(
      "forAllMappedPages(vmm_page_handler handlePage): NO ADDRESS "
      "TRANSLATION RULES!\n",
      stderrOf([&] { EXPECT_FALSE(vmm.forAllMappedPages(&handler, true)); }));
  EXPECT_EQ("", log);
  stderrOf([&] { vmm.setMemoryModell(new gcVMM32BitFast); });
  EXPECT_TRUE(vmm.forAllMappedPages(new gcVMMPageHandler, true));
  EXPECT_EQ("gcPageCountHandler:: 1 pages are mapped.\n", stderrOf([&] {
              EXPECT_TRUE(vmm.forAllMappedPages(new gcPageCountHandler, true));
            }));
  gcVMMPageBase plain(nullptr, 0xFFF, 0);
  EXPECT_FALSE(plain.forAllMappedPagesRecursive(&handler));
  EXPECT_EQ("", log);
}

}  // namespace
