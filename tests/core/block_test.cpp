#include <new>
#include <numeric>

#include "../support/recording_vmm.h"

namespace {

class Block : public testing::Test {
 protected:
  Block() {
    stderrOf([&] { vmm.setMemoryModell(new gcVMM32BitFast); });
  }
  static std::vector<char> data(std::size_t n) {
    std::vector<char> v(n);
    std::iota(v.begin(), v.end(), char(1));
    return v;
  }
  std::vector<char> read(vmm_int a, vmm_int n) {
    std::vector<char> v(n, 'u');
    vmm.getBlock(a, v.data(), n);
    return v;
  }
  gcVMM vmm;
};

TEST_F(Block, AcrossAPageBoundary) {
  std::vector<char> d = data(10);
  std::unique_ptr<std::list<gcVMMPage*>> pages(
      vmm.createAndMapPageList(0x0FFD, 0x0FFD + 9));
  ASSERT_EQ(2u, pages->size());
  EXPECT_EQ(0x1000u, pages->back()->getVAddr());
  vmm.setBlock(0x0FFD, d.data(), 10);
  for (vmm_int a = 0x0FF0; a < 0x1010; ++a) {
    const bool inside = a >= 0x0FFD && a <= 0x1006;
    EXPECT_EQ(inside, vmm.isByteMapped(a)) << a;
    EXPECT_EQ(inside ? d[a - 0x0FFD] : 0, vmm.getByte(a)) << a;
  }
  EXPECT_EQ(d, read(0x0FFD, 10));
}

// No page that a block does not reach is created, by writes or by reads,
// and no table for the next region when a block ends on its boundary.
TEST_F(Block, MapsExactlyThePagesOfTheBlock) {
  std::vector<char> d = data(0x3000);
  vmm.setBlock(0x2000, d.data(), 0x3000);
  EXPECT_NE(nullptr, vmm.getPage(0x4FFF));
  EXPECT_EQ(nullptr, vmm.getPage(0x5000));
  EXPECT_EQ(std::vector<char>(0x1000, 0), read(0x7000, 0x1000));
  EXPECT_TRUE(vmm.getPage(0x7000)->isPhysical());
  EXPECT_FALSE(vmm.isByteMapped(0x7000));
  EXPECT_EQ(nullptr, vmm.getPage(0x8000));
  vmm.setBlock(0x00FFF000, d.data(), 0x1000);
  vmm.setBlock(0x00FFF000, d.data(), 0x1000);  // rewriting changes nothing
  EXPECT_EQ(nullptr,
            vmm.getFirstAddressTranslator()->getPageObject(0x01000000));
  std::vector<char> expected(0x2000, 0);
  std::copy(d.begin(), d.begin() + 0x1000, expected.begin() + 0x800);
  EXPECT_EQ(expected, read(0x00FFE800, 0x2000));
}

TEST_F(Block, TopOfTheAddressSpace) {
  std::vector<char> d = data(0x1000);
  vmm.setBlock(0xFFFFF000, d.data(), 0x1000);
  EXPECT_EQ(d, read(0xFFFFF000, 0x1000));
  EXPECT_FALSE(vmm.isByteMapped(0));  // the walk did not wrap
}

// A block whose last address would wrap past 0xFFFFFFFF is cut at the end of
// the address space: nothing beyond the caller's buffer is touched (the
// sanitizer run checks that) and nothing lands at address 0.
TEST_F(Block, WrappingBlockStopsAtTheEndOfTheAddressSpace) {
  std::vector<char> d = data(32);
  vmm.setBlock(0xFFFFFFF0, d.data(), 32);
  EXPECT_FALSE(vmm.isByteMapped(0));
  std::vector<char> expected(d.begin(), d.begin() + 16);
  expected.resize(32, 0);
  EXPECT_EQ(expected, read(0xFFFFFFF0, 32));
}

TEST_F(Block, EmptyBlockMapsThePageOfItsAddressOnly) {
  char c = 'c';
  EXPECT_EQ(
      "gcVMMPage::putBlockPart(...): Invalid Destination for this Block!\n"
      "gcVMMPage::getBlockPart(...): Invalid Destination for this Block!\n",
      stderrOf([&] {
        vmm.setBlock(0x5000, &c, 0);
        vmm.getBlock(0x6000, nullptr, 0);
      }));
  EXPECT_NE(nullptr, vmm.getPage(0x6000));
  EXPECT_FALSE(vmm.isByteMapped(0x5000));
  EXPECT_EQ(nullptr, vmm.getPage(0x7000));
}

// One page of the block cannot be mapped: nothing is copied anywhere.
TEST(BlockFailure, AllOrNothing) {
  struct HoleVMM : gcVMM {
    gcVMMPage* mapPage(vmm_int a) override {
      return (a & ~0xFFFu) == 0x3000 ? nullptr : gcVMM::mapPage(a);
    }
  } vmm;
  stderrOf([&] { vmm.setMemoryModell(new gcVMM32BitFast); });
  char d[0x200] = {1}, back[4] = {9, 9, 9, 9};
  vmm.setBlock(0x2F00, d, sizeof d);
  vmm.getBlock(0x2FFE, back, 4);
  EXPECT_NE(nullptr, vmm.getPage(0x2000));  // mapped before the failure
  EXPECT_FALSE(vmm.isByteMapped(0x2F00));
  EXPECT_EQ(0, back[0] | back[3]);

  gcVMMBase bare;  // one byte: an empty walk, no message
  EXPECT_EQ("", stderrOf([&] { bare.setBlock(0x10, d, 1); }));
  EXPECT_NE("", stderrOf([&] { bare.getBlock(0x10, back, 2); }));
}

// A page that cannot get its memory: the failure reaches the caller and the
// block's page list goes with it (the sanitizer run checks).
TEST(BlockFailure, PageWithoutMemory) {
  struct ScarcePage : gcVMMPage {
    using gcVMMPage::gcVMMPage;
    gcVMMPageBase* createObject(vmm_int iAddr) override {
      return new ScarcePage(getVMMBase(), getAddrMask(), iAddr);
    }
    bool mapPhysical() override {
      if (getVAddr() != 0x1000) throw std::bad_alloc();
      return gcVMMPage::mapPhysical();
    }
  };
  gcVMMBase vmm;
  stderrOf([&] {
    vmm.addAddressTranslator(new gcVMMPageTable(&vmm, 0xFF000000, 0));
    vmm.addAddressTranslator(new gcVMMPageTable(&vmm, 0x00FFF000, 0));
    vmm.addAddressTranslator(new ScarcePage(&vmm, 0x00000FFF, 0));
  });
  char block[0x1800] = {'x'};
  EXPECT_THROW(vmm.setBlock(0x1800, block, sizeof block), std::bad_alloc);
  EXPECT_THROW(vmm.getBlock(0x1800, block, sizeof block), std::bad_alloc);
}

}  // namespace
