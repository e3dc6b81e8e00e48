#include <numeric>

#include "../support/recording_vmm.h"

namespace {

TEST(Page, MemoryComesWithTheFirstAccessAndGoesWithThePage) {
  Transcript log;
  {
    RecordingVMM vmm(&log);
    auto* pPage = new gcVMMPage(&vmm, 0xFFF, 0x1000);
    EXPECT_FALSE(pPage->isPhysical());
    EXPECT_EQ(0, pPage->getByte(0x1FFF));
    EXPECT_TRUE(pPage->mapPhysical());  // again: no refill, no report
    EXPECT_EQ(L("P+", kPage, "P+", 4608), log.take());
    pPage->setByte(0x1005, 'q');
    EXPECT_TRUE(pPage->unmapPhysical() && !pPage->unmapPhysical());
    EXPECT_FALSE(pPage->isByteMapped(0x1005));  // fresh memory
    log.take();
    delete pPage;
    EXPECT_EQ(L("P-", kPage, "P-", 4608), log.take());
  }
  EXPECT_EQ(0u, log.used);
}

TEST(Page, WholePageAndItsHooks) {
  gcVMMPage page(nullptr, 0xFF, 0x1000);
  page.setByte(0x7034, 'w');  // only the offset counts: 0x34
  EXPECT_TRUE(page.getByte(0x1034) == 'w' && !page.isAllPageDataMapped());
  for (vmm_int a = 0; a < 0x100; ++a) page.setByte(a, 1);
  EXPECT_TRUE(page.isAllPageDataMapped());
  EXPECT_FALSE(page.swap() || page.unswap() || page.isSwapped());
  EXPECT_TRUE(page.forAllMappedPagesRecursive(nullptr));
}

// A derived page changes one behaviour; the others follow it.
TEST(Page, DerivedFillValueSwappingAndRefusedMemory) {
  struct FilledPage : gcVMMPage {
    using gcVMMPage::gcVMMPage;
    char getUninitializedValue() override { return char(0xAA); }
  } filled(nullptr, 0xFFF, 0);
  EXPECT_EQ(char(0xAA), filled.getByte(12));

  struct SwappedPage : gcVMMPage {  // every access brings it back first
    using gcVMMPage::gcVMMPage;
    int unswaps = 0;
    bool isSwapped() override { return true; }
    bool unswap() override { return ++unswaps > 0; }
  } swapped(nullptr, 0xFFF, 0);
  swapped.setByte(1, 1);
  EXPECT_EQ(2, swapped.unswaps);  // setByte and the bit it sets

  struct NoMemoryPage : gcVMMPage {
    using gcVMMPage::gcVMMPage;
    bool mapPhysical() override { return false; }
  } empty(nullptr, 0xFFF, 0);
  char buffer[4] = {1, 2, 3, 4};
  empty.setByte(1, 1);
  empty.putBlockPart(0, buffer, 4);
  empty.getBlockPart(0, buffer, 4);
  EXPECT_FALSE(empty.isByteMapped(1) || empty.isAllPageDataMapped());
  EXPECT_EQ(0, empty.getByte(1));
  EXPECT_EQ(nullptr, empty.getPageBuffer());
  EXPECT_EQ(4, buffer[3]);
}

TEST(PageBlocks, BlocksWithNoByteHereAllocateNothing) {
  Transcript log;
  gcVMMPage page(nullptr, 0xFFF, 0x1000);
  char source[16] = {};
  page.putBlockPart(0x0FF0, source, 16);
  page.putBlockPart(0x2000, source, 4);
  page.putBlockPart(0x1000, source, 0);
  page.getBlockPart(0x2000, source, 4);
  const std::string kPut =
      "gcVMMPage::putBlockPart(...): Invalid Destination for this Block!\n";
  EXPECT_EQ(kPut + kPut + kPut +
                "gcVMMPage::getBlockPart(...): Invalid Destination for this "
                "Block!\n",
            log.take());
  EXPECT_FALSE(page.isPhysical());
  EXPECT_TRUE(page.isInPage(0x0500, 0x3000) && page.isInPage(0x1FFF, 0x1FFF));
  EXPECT_FALSE(page.isInPage(0x0FFF, 0x0FFF) || page.isInPage(0x2000, ~0u));
}

// Distances above 2^31 must neither wrap nor count as negative.
TEST(PageBlocks, DistancesAboveTwoGigabytes) {
  const vmm_int iPageAddr = 0x90000000u;
  gcVMMPage page(nullptr, 0xFFF, iPageAddr);
  std::vector<char> part(4096);
  std::iota(part.begin(), part.end(), char(1));
  // Only the page's own 4096 bytes of the 2.5 GiB block are ever touched.
  char* pBlock = part.data() - (iPageAddr - 16);
  page.putBlockPart(16, pBlock, 0xA0000000u);
  EXPECT_TRUE(page.isAllPageDataMapped());
  EXPECT_EQ(part[4095], page.getByte(iPageAddr + 4095));
}

}  // namespace
