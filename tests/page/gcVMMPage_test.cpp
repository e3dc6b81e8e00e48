#include "../support/recording_vmm.h"

namespace {

TEST(Page, MemoryComesWithTheFirstAccessAndGoesWithThePage) {
  Ledger ledger;
  {
    RecordingVMM vmm(&ledger);
    auto* pPage = new gcVMMPage(&vmm, 0xFFF, 0x1000);
    EXPECT_EQ(kPage, vmm.getUsedPhysicalMemory());
    EXPECT_FALSE(pPage->isPhysical());
    EXPECT_EQ(4608u, pPage->getPageMemSize());
    EXPECT_EQ(512u, pPage->getPageBitmapSize());
    for (vmm_int o : {0u, 0x7FFu, 0xFFFu}) {
      EXPECT_EQ(0, pPage->getByte(0x1000 + o));
      EXPECT_FALSE(pPage->isByteMapped(0x1000 + o));
    }
    EXPECT_TRUE(pPage->isPhysical());
    EXPECT_EQ(kPage + 4608, vmm.getUsedPhysicalMemory());
    EXPECT_TRUE(pPage->mapPhysical());  // again: no refill, no report
    EXPECT_EQ(kPage + 4608, vmm.getUsedPhysicalMemory());

    pPage->setByte(0x1005, 'q');
    EXPECT_TRUE(pPage->unmapPhysical());
    EXPECT_FALSE(pPage->unmapPhysical());
    EXPECT_EQ(kPage, vmm.getUsedPhysicalMemory());
    EXPECT_EQ(0, pPage->getByte(0x1005));
    EXPECT_FALSE(pPage->isByteMapped(0x1005));

    ledger.entries.clear();
    delete pPage;
    const std::vector<Ledger::Entry> released = {{"page-", kPage},
                                                 {"page-", 4608}};
    EXPECT_EQ(released, ledger.entries);
  }
  EXPECT_EQ(0u, ledger.pageMem);
}

TEST(Page, BitmapIsMostSignificantBitFirst) {
  gcVMMPage page(nullptr, 0xFFF, 0x1000);
  page.setByte(0x1000, 0);  // a zero byte is still a written byte
  EXPECT_TRUE(page.isByteMapped(0x1000));
  EXPECT_EQ(0x80, bitmapByte(&page, 0));
  page.setByte(0x1FFF, 9);
  EXPECT_EQ(0x01, bitmapByte(&page, 0xFFF));
  page.setByte(0x7234, 'w');  // only the offset counts: 0x234
  EXPECT_EQ('w', page.getByte(0x1234));
  EXPECT_EQ(0x08, bitmapByte(&page, 0x234));
}

TEST(Page, AllDataMappedOnlyWhenEveryByteWasWritten) {
  gcVMMPage page(nullptr, 0xFF, 0);
  for (vmm_int a = 0; a < 0xFF; ++a) page.setByte(a, 1);
  EXPECT_FALSE(page.isAllPageDataMapped());
  page.setByte(0xFF, 1);
  EXPECT_TRUE(page.isAllPageDataMapped());
}

TEST(Page, HooksAndIdentity) {
  gcVMMPage page(nullptr, 0xFFF, 0);
  EXPECT_FALSE(page.swap());
  EXPECT_FALSE(page.unswap());
  EXPECT_FALSE(page.isSwapped());
  EXPECT_EQ(&page, page.isPage());
  EXPECT_TRUE(page.forAllMappedPagesRecursive(nullptr));
  EXPECT_FALSE(page.isPhysical());  // enumeration touches no memory
  gcVMMPageBase* pOther = page.createObject(0x5000);
  EXPECT_EQ(0x5000u, pOther->getVAddr());
  EXPECT_EQ(0xFFFu, pOther->getAddrMask());
  delete pOther;
}

// A derived page changes one behaviour; the others follow through the
// virtual table.
TEST(Page, DerivedFillValueAndRefusedMemory) {
  struct FilledPage : gcVMMPage {
    using gcVMMPage::gcVMMPage;
    char getUninitializedValue() override { return char(0xAA); }
  } filled(nullptr, 0xFFF, 0);
  EXPECT_EQ(char(0xAA), filled.getByte(12));

  struct NoMemoryPage : gcVMMPage {
    using gcVMMPage::gcVMMPage;
    bool mapPhysical() override { return false; }
    char getUninitializedValue() override { return 7; }
  } empty(nullptr, 0xFFF, 0);
  empty.setByte(1, 1);
  char buffer[4] = {1, 2, 3, 4};
  empty.getBlockPart(0, buffer, 4);
  EXPECT_EQ(7, empty.getByte(1));
  EXPECT_FALSE(empty.isByteMapped(1));
  EXPECT_FALSE(empty.isAllPageDataMapped());
  EXPECT_EQ(nullptr, empty.getPageBuffer());
  EXPECT_EQ(4, buffer[3]);
}

}  // namespace
