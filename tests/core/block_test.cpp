#include <numeric>

#include "../support/recording_vmm.h"

namespace {

class Block : public testing::Test {
 protected:
  Block() : vmm(&ledger) {
    stderrOf([&] { vmm.setMemoryModell(new gcVMM32BitFast); });
  }
  std::vector<char> data(std::size_t n, char first = 1) {
    std::vector<char> v(n);
    std::iota(v.begin(), v.end(), first);
    return v;
  }
  std::vector<char> read(vmm_int a, vmm_int n) {
    std::vector<char> v(n, 'u');
    vmm.getBlock(a, v.data(), n);
    return v;
  }

  Ledger ledger;
  RecordingVMM vmm;
};

TEST_F(Block, AcrossAPageBoundary) {
  std::vector<char> d = data(10);
  std::unique_ptr<std::list<gcVMMPage*>> pages(
      vmm.createAndMapPageList(0x0FFD, 0x0FFD + 9));
  ASSERT_EQ(2u, pages->size());
  EXPECT_EQ(0x0000u, pages->front()->getVAddr());
  EXPECT_EQ(0x1000u, pages->back()->getVAddr());
  vmm.setBlock(0x0FFD, d.data(), 10);
  for (vmm_int a = 0x0FF0; a < 0x1010; ++a) {
    const bool inside = a >= 0x0FFD && a <= 0x1006;
    EXPECT_EQ(inside, vmm.isByteMapped(a)) << a;
    EXPECT_EQ(inside ? d[a - 0x0FFD] : 0, vmm.getByte(a)) << a;
  }
  EXPECT_EQ(d, read(0x0FFD, 10));
}

// No page that the block does not reach is created, neither by writes nor
// by reads, not even a whole table across a region boundary.
TEST_F(Block, MapsExactlyThePagesOfTheBlock) {
  std::vector<char> d = data(0x3000);
  vmm.setBlock(0x2000, d.data(), 0x3000);
  EXPECT_NE(nullptr, vmm.getPage(0x4FFF));
  EXPECT_EQ(nullptr, vmm.getPage(0x5000));
  read(0x7000, 0x1000);
  EXPECT_EQ(nullptr, vmm.getPage(0x8000));
  vmm.setBlock(0x00FFF000, d.data(), 0x1000);
  EXPECT_EQ(nullptr,
            vmm.getFirstAddressTranslator()->getPageObject(0x01000000));
  EXPECT_EQ(std::vector<char>(d.begin(), d.begin() + 0x1000),
            read(0x00FFF000, 0x1000));
}

TEST_F(Block, TopOfTheAddressSpace) {
  std::vector<char> d = data(0x1000);
  vmm.setBlock(0xFFFFF000, d.data(), 0x1000);
  EXPECT_EQ(d, read(0xFFFFF000, 0x1000));
  EXPECT_FALSE(vmm.isByteMapped(0));  // the walk did not wrap
  vmm.setBlock(0xFFFFFFF0, d.data(), 16);
  EXPECT_EQ(std::vector<char>(d.begin(), d.begin() + 16), read(0xFFFFFFF0, 16));
}

// A block whose last address would wrap past 0xFFFFFFFF is cut at the end of
// the address space: nothing beyond the caller's buffer is touched, nothing
// lands at address 0. (The sanitizer run checks the buffer bounds.)
TEST_F(Block, WrappingBlockStopsAtTheEndOfTheAddressSpace) {
  std::vector<char> d = data(32);
  vmm.setBlock(0xFFFFFFF0, d.data(), 32);
  EXPECT_TRUE(vmm.isByteMapped(0xFFFFFFFF));
  EXPECT_FALSE(vmm.isByteMapped(0));
  std::vector<char> back = read(0xFFFFFFF0, 32);
  EXPECT_EQ(std::vector<char>(d.begin(), d.begin() + 16),
            std::vector<char>(back.begin(), back.begin() + 16));
  EXPECT_EQ(std::vector<char>(16, 0),
            std::vector<char>(back.begin() + 16, back.end()));
}

TEST_F(Block, ReadsMapButWriteNothing) {
  std::vector<char> d = data(3);
  vmm.setBlock(0x30001, d.data(), 3);
  std::vector<char> expected(0x3000, 0);
  std::copy(d.begin(), d.end(), expected.begin() + 0x1001);
  EXPECT_EQ(expected, read(0x2F000, 0x3000));
  EXPECT_NE(nullptr, vmm.getPage(0x2F000));
  EXPECT_TRUE(vmm.getPage(0x31000)->isPhysical());
  EXPECT_FALSE(vmm.isByteMapped(0x30000));
}

TEST_F(Block, EmptyBlockMapsThePageOfItsAddressOnly) {
  char c = 'c';
  EXPECT_EQ(
      "gcVMMPage::putBlockPart(...): Invalid Destination for this Block!\n",
      stderrOf([&] { vmm.setBlock(0x5000, &c, 0); }));
  EXPECT_NE(nullptr, vmm.getPage(0x5000));
  EXPECT_FALSE(vmm.isByteMapped(0x5000));
  EXPECT_EQ(
      "gcVMMPage::getBlockPart(...): Invalid Destination for this Block!\n",
      stderrOf([&] { vmm.getBlock(0x6000, nullptr, 0); }));
  std::unique_ptr<std::list<gcVMMPage*>> pages(
      vmm.createAndMapPageList(0x7000, 0x6FFF));
  ASSERT_EQ(1u, pages->size());
  EXPECT_EQ(0x7000u, pages->front()->getVAddr());
}

// One page of the block cannot be mapped: nothing is copied anywhere.
TEST(BlockFailure, AllOrNothing) {
  struct HoleVMM : gcVMM {
    gcVMMPage* mapPage(vmm_int a) override {
      return (a & ~0xFFFu) == 0x3000 ? nullptr : gcVMM::mapPage(a);
    }
  } vmm;
  stderrOf([&] { vmm.setMemoryModell(new gcVMM32BitFast); });
  char d[0x200] = {1};
  vmm.setBlock(0x2F00, d, sizeof d);
  EXPECT_NE(nullptr, vmm.getPage(0x2000));  // mapped before the failure
  EXPECT_FALSE(vmm.isByteMapped(0x2F00));
  char back[4] = {9, 9, 9, 9};
  vmm.getBlock(0x2FFE, back, 4);
  EXPECT_EQ(std::vector<char>(4, 0), std::vector<char>(back, back + 4));
}

TEST(BlockFailure, WithoutTranslators) {
  gcVMMBase vmm;
  char c[2] = {1, 1};
  EXPECT_EQ("", stderrOf([&] { vmm.setBlock(0x10, c, 1); }));
  EXPECT_NE("", stderrOf([&] { vmm.getBlock(0x10, c, 2); }));
  EXPECT_EQ(0, c[0] | c[1]);
}

}  // namespace
