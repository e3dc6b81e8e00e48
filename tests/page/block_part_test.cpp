#include <numeric>

#include "../support/recording_vmm.h"

namespace {

const std::string kPutInvalid =
    "gcVMMPage::putBlockPart(...): Invalid Destination for this Block!\n";

std::vector<char> pattern(std::size_t n) {
  std::vector<char> v(n);
  std::iota(v.begin(), v.end(), char(1));
  return v;
}

// The 4096-byte page at 0x1000.
class BlockPart : public testing::Test {
 protected:
  gcVMMPage page{nullptr, 0xFFF, 0x1000};
  std::vector<unsigned char> bitmap() {
    const char* p = page.getPageBuffer() + 4096;
    return std::vector<unsigned char>(p, p + 512);
  }
};

TEST_F(BlockPart, CopiesItsPartAndMarksWholeBitmapBytes) {
  struct Case {
    vmm_int addr, size;
    std::vector<std::pair<vmm_int, unsigned char>> bits;  // byte, value
  };
  const Case cases[] = {
      {0x0FFD, 10, {{0, 0xFE}}},
      {0x1FFC, 10, {{511, 0x0F}}},
      {0x1005, 20, {{0, 0x07}, {1, 0xFF}, {2, 0xFF}, {3, 0x80}}},
      {0x1007, 2, {{0, 0x01}, {1, 0x80}}},
      {0x1008, 8, {{1, 0xFF}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.addr);
    page.unmapPhysical();
    const std::vector<char> source = pattern(c.size);
    page.putBlockPart(c.addr, const_cast<char*>(source.data()), c.size);
    std::vector<unsigned char> expected(512, 0);
    for (auto [byte, value] : c.bits) expected[byte] = value;
    EXPECT_EQ(expected, bitmap());
    for (vmm_int i = 0; i < c.size; ++i) {
      const vmm_int a = c.addr + i;
      if (a >= 0x1000 && a < 0x2000) {
        EXPECT_EQ(source[i], page.getByte(a));
        EXPECT_TRUE(page.isByteMapped(a));
      }
    }
  }
}

TEST_F(BlockPart, BlockCoveringThePageFillsTheWholeBitmap) {
  std::vector<char> source = pattern(8192);
  page.putBlockPart(0x0F00, source.data(), 8192);  // skip 256, count 4096
  EXPECT_TRUE(page.isAllPageDataMapped());
  EXPECT_EQ(source[256], page.getByte(0x1000));
  EXPECT_EQ(source[256 + 4095], page.getByte(0x1FFF));
}

TEST_F(BlockPart, BlocksWithNoByteHereAllocateNothing) {
  char source[16] = {};
  EXPECT_EQ(kPutInvalid,
            stderrOf([&] { page.putBlockPart(0x0FF0, source, 16); }));
  EXPECT_EQ(kPutInvalid,
            stderrOf([&] { page.putBlockPart(0x0FF0, source, 15); }));
  EXPECT_EQ(kPutInvalid,
            stderrOf([&] { page.putBlockPart(0x2000, source, 4); }));
  EXPECT_EQ(kPutInvalid,
            stderrOf([&] { page.putBlockPart(0x1000, source, 0); }));
  EXPECT_EQ(
      "gcVMMPage::getBlockPart(...): Invalid Destination for this Block!\n",
      stderrOf([&] { page.getBlockPart(0x2000, source, 4); }));
  EXPECT_FALSE(page.isPhysical());
}

TEST_F(BlockPart, ReadingCopiesOnlyItsOwnPart) {
  char dest[12];
  std::fill(std::begin(dest), std::end(dest), 'u');
  page.getBlockPart(0x0FFE, dest, 12);  // skip 2: not this page's bytes
  EXPECT_EQ('u', dest[0]);
  EXPECT_EQ('u', dest[1]);
  for (int i = 2; i < 12; ++i) EXPECT_EQ(0, dest[i]);
  EXPECT_TRUE(page.isPhysical());
  EXPECT_FALSE(page.isByteMapped(0x1000));
}

// Distances above 2^31 must neither wrap nor be taken as negative.
TEST(BlockPartFar, DistancesAboveTwoGigabytes) {
  const vmm_int iPageAddr = 0x80000000u + 0x10000000u;
  gcVMMPage page(nullptr, 0xFFF, iPageAddr);
  const vmm_int iSkip = iPageAddr - 16;
  std::vector<char> part = pattern(4096);
  // Only the page's own 4096 bytes of the 2.5 GiB block are ever touched.
  char* pBlock = part.data() - iSkip;
  page.putBlockPart(16, pBlock, 0x80000000u + 0x20000000u);
  EXPECT_TRUE(page.isAllPageDataMapped());
  EXPECT_EQ(part[4095], page.getByte(iPageAddr + 4095));
}

TEST(BlockPartRange, IsInPage) {
  gcVMMPage page(nullptr, 0xFFF, 0x1000);
  EXPECT_FALSE(page.isInPage(0x0FFF, 0x0FFF));
  EXPECT_TRUE(page.isInPage(0x0FFF, 0x1000));
  EXPECT_TRUE(page.isInPage(0x1FFF, 0x1FFF));
  EXPECT_FALSE(page.isInPage(0x2000, 0x2000));
  EXPECT_TRUE(page.isInPage(0x0500, 0x3000));
  gcVMMPage top(nullptr, 0xFFF, 0xFFFFF000);
  EXPECT_TRUE(top.isInPage(0xFFFFFFFF, 0xFFFFFFFF));
  EXPECT_FALSE(top.isInPage(0xFFFFEFFF, 0xFFFFEFFF));
  EXPECT_FALSE(page.isPhysical());
}

}  // namespace
