#include <vector>

#include "../support/recording_vmm.h"

namespace {

struct Walk : gcVMMPageHandler {
  explicit Walk(std::size_t n = 0) : stopAfter(n) {}
  bool handlePage(gcVMMPage* p) override {
    pages.push_back(p->getVAddr());
    return pages.size() != stopAfter;
  }
  std::size_t stopAfter;
  std::vector<vmm_int> pages;
};

// Thirteen pages, added high to low: the table grows at the thirteenth and
// every page stays where it was; the walk is in address order.
TEST(PageHash, GrowsWithoutMovingChildrenAndWalksInAddressOrder) {
  Transcript log;
  RecordingVMM vmm(&log);
  auto* pHash = new gcVMMPageHash(&vmm, 0xFFFFF000, 0);
  EXPECT_EQ(nullptr, pHash->getPageObject(0));
  std::vector<gcVMMPageBase*> pages;
  std::string reports = L("D+", kHash);
  for (vmm_int i = 13; i-- > 0;) {
    pages.push_back(new gcVMMPage(&vmm, 0xFFF, i * 0x01001000));
    pHash->addPageBase(pages.back());
    reports += L("P+", kPage);
    if (i == 12) reports += L("D+", 16 * kSlot);
    if (i == 0) reports += L("D+", 32 * kSlot, "D-", 16 * kSlot);
  }
  gcVMMPage twin(nullptr, 0xFFF, 0x05005000);
  pHash->addPageBase(&twin);  // a key that has its child keeps it
  pHash->addPageBase(nullptr);
  EXPECT_EQ(reports, log.take());
  for (gcVMMPageBase* p : pages)
    EXPECT_EQ(p, pHash->getPageObject(p->getVAddr() + 0xFFF));
  EXPECT_EQ(nullptr, pHash->getPageObject(0x01000000));
  Walk all, first(3);
  EXPECT_TRUE(pHash->forAllMappedPagesRecursive(&all));
  EXPECT_FALSE(pHash->forAllMappedPagesRecursive(&first));
  for (vmm_int i = 0; i < 13; ++i) EXPECT_EQ(i * 0x01001000, all.pages[i]);
  EXPECT_EQ(std::vector<vmm_int>(all.pages.begin(), all.pages.begin() + 3),
            first.pages);
  delete pHash;
  std::string released;
  for (int i = 0; i < 13; ++i) released += L("P-", kPage);
  EXPECT_EQ(released + L("D-", 32 * kSlot, "D-", kHash), log.take());
  EXPECT_EQ(0u, log.used);
}

// Without an owner it reports nothing; as a prototype it makes empty twins.
TEST(PageHash, WorksWithoutAnOwner) {
  gcVMMPageHash hash(nullptr, 0xFF000000, 0);
  EXPECT_TRUE(hash.forAllMappedPagesRecursive(nullptr));
  auto* pTable = new gcVMMPageTable(nullptr, 0x00FFF000, 0x05000000);
  hash.addPageBase(pTable);
  pTable->addPageBase(new gcVMMPage(nullptr, 0xFFF, 0x05001000));
  EXPECT_EQ(pTable, hash.getPageObject(0x05001234));
  EXPECT_NE(nullptr, hash.getPageRecursive(0x05001234));
  std::unique_ptr<gcVMMPageBase> pEmpty(hash.createObject(0x07000000));
  EXPECT_EQ(0xFF000000u, pEmpty->getAddrMask());
  EXPECT_EQ(nullptr, pEmpty->getPageObject(0x07000000));
}

}  // namespace
