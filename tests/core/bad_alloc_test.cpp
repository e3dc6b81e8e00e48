// Regressions from the allocation-failure injector (tests/stress): what a
// bad_alloc used to leave behind.
#include <new>

#include "../support/recording_vmm.h"

namespace {

// A page whose memory cannot be had once the first page got its own.
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

// The page list of a block used to stay behind (the sanitizer run checks).
TEST(BadAlloc, BlockReleasesItsPageListWhenAPageGetsNoMemory) {
  gcVMMBase vmm;
  stderrOf([&] {
    vmm.addAddressTranslator(new gcVMMPageTable(&vmm, 0xFF000000, 0));
    vmm.addAddressTranslator(new gcVMMPageTable(&vmm, 0x00FFF000, 0));
    vmm.addAddressTranslator(new ScarcePage(&vmm, 0x00000FFF, 0));
  });
  char block[0x1800] = {'x'};
  EXPECT_THROW(vmm.setBlock(0x1800, block, sizeof block), std::bad_alloc);
  EXPECT_THROW(vmm.getBlock(0x1800, block, sizeof block), std::bad_alloc);
  EXPECT_EQ('x', vmm.getByte(0x1800));  // the first page got its part
}

// A model that fails half-way used to leave a chain that could map nothing
// and that no later model could replace.
TEST(BadAlloc, ModelThatFailsLeavesTheVMMAsNew) {
  struct FailingModel : gcVMemoryModell {
    void initializeAddressConversion(gcVMM* pVMM) override {
      pVMM->addAddressTranslator(new gcVMMPageDir(pVMM, 0xFF000000, 0));
      throw std::bad_alloc();
    }
    std::string getShortDescription() override { return ""; }
  };
  Ledger ledger;
  RecordingVMM vmm(&ledger);
  EXPECT_THROW(vmm.setMemoryModell(new FailingModel), std::bad_alloc);
  EXPECT_EQ(nullptr, vmm.getFirstAddressTranslator());
  EXPECT_EQ(0u, vmm.getUsedPhysicalMemory());
  stderrOf([&] { vmm.setMemoryModell(new gcVMM32BitCompact); });
  EXPECT_EQ(4096u, vmm.getPageSize());
  stderrOf([&] { vmm.setByte(0x12345678, 'y'); });
  EXPECT_EQ('y', vmm.getByte(0x12345678));
}

}  // namespace
