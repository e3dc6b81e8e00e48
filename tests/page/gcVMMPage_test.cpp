#include <numeric>

#include "../support/recording_vmm.h"

namespace {

std::vector<char> pattern(std::size_t n) {
  std::vector<char> v(n);
  std::iota(v.begin(), v.end(), char(1));
  return v;
}

TEST(Page, MemoryComesWithTheFirstAccessAndGoesWithThePage) {
  Ledger ledger;
  {
    RecordingVMM vmm(&ledger);
    auto* pPage = new gcVMMPage(&vmm, 0xFFF, 0x1000);
    EXPECT_FALSE(pPage->isPhysical());
    EXPECT_EQ(0, pPage->getByte(0x1FFF));
    EXPECT_FALSE(pPage->isByteMapped(0x1000));
    EXPECT_TRUE(pPage->mapPhysical());  // again: no refill, no report
    EXPECT_EQ(L("P+", kPage, "P+", 4608), ledger.log);

    pPage->setByte(0x1005, 'q');
    EXPECT_TRUE(pPage->unmapPhysical());
    EXPECT_FALSE(pPage->unmapPhysical());
    EXPECT_FALSE(pPage->isByteMapped(0x1005));  // fresh memory
    ledger.log.clear();
    delete pPage;
    EXPECT_EQ(L("P-", kPage, "P-", 4608), ledger.log);
  }
  EXPECT_EQ(0u, ledger.used);
}

TEST(Page, BitmapIsMostSignificantBitFirst) {
  gcVMMPage page(nullptr, 0xFF, 0x1000);
  page.setByte(0x1000, 0);  // a zero byte is still a written byte
  page.setByte(0x10FF, 9);
  page.setByte(0x7034, 'w');  // only the offset counts: 0x34
  EXPECT_EQ(0x80, bitmapByte(&page, 0));
  EXPECT_EQ(0x01, bitmapByte(&page, 31));
  EXPECT_EQ(0x08, bitmapByte(&page, 6));
  EXPECT_EQ('w', page.getByte(0x1034));
  EXPECT_FALSE(page.isAllPageDataMapped());
  for (vmm_int a = 0; a < 0xFF; ++a) page.setByte(a, 1);
  EXPECT_TRUE(page.isAllPageDataMapped());
  EXPECT_FALSE(page.swap() || page.unswap() || page.isSwapped());
  EXPECT_TRUE(page.forAllMappedPagesRecursive(nullptr));
}

// A derived page changes one behaviour; the others follow it.
TEST(Page, DerivedFillValueAndRefusedMemory) {
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

// The 4096-byte page at 0x1000 takes its part of each block.
TEST(PageBlocks, CopyTheirPartAndMarkWholeBitmapBytes) {
  struct {
    vmm_int addr, size;
    std::vector<std::pair<vmm_int, int>> bits;  // bitmap byte, value
  } const cases[] = {
      {0x0FFD, 10, {{0, 0xFE}}},
      {0x1FFC, 10, {{511, 0x0F}}},
      {0x1005, 20, {{0, 0x07}, {1, 0xFF}, {2, 0xFF}, {3, 0x80}}},
      {0x1007, 2, {{0, 0x01}, {1, 0x80}}},
      {0x1008, 8, {{1, 0xFF}}},
  };
  gcVMMPage page(nullptr, 0xFFF, 0x1000);
  for (const auto& c : cases) {
    page.unmapPhysical();
    std::vector<char> source = pattern(c.size);
    page.putBlockPart(c.addr, source.data(), c.size);
    std::vector<int> expected(512, 0), bitmap(512);
    for (auto [byte, value] : c.bits) expected[byte] = value;
    for (vmm_int i = 0; i < 512; ++i) bitmap[i] = bitmapByte(&page, i);
    EXPECT_EQ(expected, bitmap) << c.addr;
    std::vector<char> back(c.size, 'u');
    page.getBlockPart(c.addr, back.data(), c.size);
    for (vmm_int i = 0; i < c.size; ++i) {
      const bool mine = c.addr + i >= 0x1000 && c.addr + i < 0x2000;
      EXPECT_EQ(mine ? source[i] : 'u', back[i]) << c.addr << "+" << i;
    }
  }
  std::vector<char> whole = pattern(8192);
  page.putBlockPart(0x0F00, whole.data(), 8192);
  EXPECT_TRUE(page.isAllPageDataMapped());
  EXPECT_EQ(whole[256], page.getByte(0x1000));
}

TEST(PageBlocks, BlocksWithNoByteHereAllocateNothing) {
  gcVMMPage page(nullptr, 0xFFF, 0x1000);
  char source[16] = {};
  const std::string kPut =
      "gcVMMPage::putBlockPart(...): Invalid Destination for this Block!\n";
  EXPECT_EQ(kPut + kPut + kPut + kPut +
                "gcVMMPage::getBlockPart(...): Invalid Destination for this "
                "Block!\n",
            stderrOf([&] {
              page.putBlockPart(0x0FF0, source, 16);
              page.putBlockPart(0x0FF0, source, 15);
              page.putBlockPart(0x2000, source, 4);
              page.putBlockPart(0x1000, source, 0);
              page.getBlockPart(0x2000, source, 4);
            }));
  EXPECT_FALSE(page.isPhysical());
  EXPECT_FALSE(page.isInPage(0x0FFF, 0x0FFF));
  EXPECT_TRUE(page.isInPage(0x0FFF, 0x1000));
  EXPECT_TRUE(page.isInPage(0x1FFF, 0x1FFF));
  EXPECT_FALSE(page.isInPage(0x2000, 0x2000));
  EXPECT_TRUE(page.isInPage(0x0500, 0x3000));
  gcVMMPage top(nullptr, 0xFFF, 0xFFFFF000);
  EXPECT_TRUE(top.isInPage(0xFFFFFFFF, 0xFFFFFFFF));
  EXPECT_FALSE(top.isInPage(0xFFFFEFFF, 0xFFFFEFFF));
}

// Distances above 2^31 must neither wrap nor count as negative.
TEST(PageBlocks, DistancesAboveTwoGigabytes) {
  const vmm_int iPageAddr = 0x90000000u;
  gcVMMPage page(nullptr, 0xFFF, iPageAddr);
  std::vector<char> part = pattern(4096);
  // Only the page's own 4096 bytes of the 2.5 GiB block are ever touched.
  char* pBlock = part.data() - (iPageAddr - 16);
  page.putBlockPart(16, pBlock, 0xA0000000u);
  EXPECT_TRUE(page.isAllPageDataMapped());
  EXPECT_EQ(part[4095], page.getByte(iPageAddr + 4095));
}

}  // namespace
