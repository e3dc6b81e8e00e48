#include <new>

#include "../support/recording_vmm.h"

namespace {

const char kNoRules[] =
    "gcVMMBase::translateVirtualAddress(vmm_int iAddr): NO TRANSLATION "
    "RULES!\n";

TEST(VMMBase, EmptyVMMRefusesEveryAccess) {
  gcVMMBase vmm;
  EXPECT_EQ(32u, vmm.getAddressSpaceBits());
  EXPECT_EQ(0xFFFFFFFFu, vmm.getAddressSpaceEnd());
  EXPECT_EQ(0u, vmm.getPageSize());
  EXPECT_EQ(nullptr, vmm.getFirstAddressTranslator());
  EXPECT_EQ(kNoRules, stderrOf([&] { EXPECT_EQ(0, vmm.getByte(0x1234)); }));
  EXPECT_EQ(kNoRules, stderrOf([&] { vmm.setByte(0x1234, 'A'); }));
  EXPECT_EQ(kNoRules, stderrOf([&] { EXPECT_FALSE(vmm.isByteMapped(1)); }));
  EXPECT_EQ(kNoRules, stderrOf([&] { EXPECT_EQ(nullptr, vmm.mapPage(1)); }));
  EXPECT_EQ(0u, vmm.getUsedPhysicalMemory());
}

TEST(VMMBase, NullTranslatorLeavesTheChainAsItWas) {
  gcVMMBase vmm;
  vmm.addAddressTranslator(nullptr);
  EXPECT_EQ(nullptr, vmm.getFirstAddressTranslator());
  auto* pRoot = new gcVMMPageTable(&vmm, 0xFF000000, 0);
  auto* pPage = new gcVMMPage(&vmm, 0x00FFFFFF, 0);
  stderrOf([&] {
    vmm.addAddressTranslator(pRoot);
    vmm.addAddressTranslator(nullptr);
    vmm.addAddressTranslator(pPage);
  });
  EXPECT_EQ(pRoot, vmm.getFirstAddressTranslator());
  EXPECT_EQ(pPage, pRoot->getNextTranslator());
  EXPECT_EQ(0x01000000u, vmm.getPageSize());
}

// The whole path of one write through a chain built by hand.
TEST(VMMBase, HandBuiltChainWritesAndReadsAnywhere) {
  Ledger ledger;
  {
    RecordingVMM vmm(&ledger);
    stderrOf([&] { addFastChain(&vmm); });
    const vmm_int iAfterChain = vmm.getUsedPhysicalMemory();
    EXPECT_EQ(256 * kEntry + kTable + 4096 * kEntry + kTable + kPage,
              iAfterChain);
    ledger.entries.clear();

    EXPECT_EQ("Create space for 4096 base Entrys...\n",
              stderrOf([&] { vmm.setByte(0x12345678, 'x'); }));
    const std::vector<Ledger::Entry> expected = {{"static+", 4096 * kEntry},
                                                 {"static+", kTable},
                                                 {"page+", kPage},
                                                 {"page+", 4608}};
    EXPECT_EQ(expected, ledger.entries);
    gcVMMPage* pPage = vmm.getPage(0x12345678);
    ASSERT_NE(nullptr, pPage);
    EXPECT_EQ(0x12345000u, pPage->getVAddr());
    EXPECT_EQ(char(0x80), pPage->getPageBuffer()[4096 + 0xCF]);
    EXPECT_EQ('x', vmm.getByte(0x12345678));
    EXPECT_TRUE(vmm.isByteMapped(0x12345678));
    EXPECT_FALSE(vmm.isByteMapped(0x12345679));
    EXPECT_EQ(pPage, vmm.mapPage(0x12345FFF));
    const vmm_int iUsage = vmm.getUsedPhysicalMemory();
    EXPECT_EQ(0, vmm.getByte(0x10));  // the page of 0 gets its memory
    EXPECT_EQ(iUsage + 4608, vmm.getUsedPhysicalMemory());

    stderrOf([&] { vmm.setByte(0xFFFFFFFF, 'z'); });
    vmm.setByte(0x80, char(0xFF));
    EXPECT_EQ('z', vmm.getByte(0xFFFFFFFF));
    EXPECT_EQ(char(0xFF), vmm.getByte(0x80));
    EXPECT_EQ(0, vmm.getByte(0x00123456));
    EXPECT_EQ(nullptr, vmm.getPage(0x00123456));
  }
  EXPECT_EQ(0u, ledger.staticMem + ledger.dynamicMem + ledger.pageMem);
}

TEST(VMMBase, CountersAndTheUsageHook) {
  Ledger ledger;
  RecordingVMM vmm(&ledger);
  vmm.notifyStaticTablePAlloc(100);
  vmm.notifyDynamicTablePAlloc(20);
  vmm.notifyPagePAlloc(3);
  EXPECT_EQ(123u, vmm.getUsedPhysicalMemory());
  EXPECT_EQ(3, ledger.usageChanges);
  vmm.notifyPageDAlloc(1000);
  EXPECT_EQ(123u, vmm.getUsedPhysicalMemory());
  EXPECT_EQ(1000u, vmm.pageDMem());
  EXPECT_EQ(3, ledger.usageChanges);
  vmm.notifyPagePFree(8);  // below zero: wraps
  EXPECT_EQ(115u, vmm.getUsedPhysicalMemory());
  EXPECT_EQ(0xFFFFFFFBu, ledger.pageMem);
}

// setByte, getByte and isByteMapped reach the page through the VMM's own
// virtual operations.
TEST(VMMBase, DerivedOverridesAreHonoured) {
  struct CountingVMM : gcVMMBase {
    int maps = 0, gets = 0;
    gcVMMPage* mapPage(vmm_int a) override {
      ++maps;
      return gcVMMBase::mapPage(a);
    }
    gcVMMPage* getPage(vmm_int a) override {
      ++gets;
      return gcVMMBase::getPage(a);
    }
    unsigned int getAddressSpaceBits() override { return 16; }
  } vmm;
  stderrOf([&] { addFastChain(&vmm); });
  vmm.setByte(7, 1);
  vmm.getByte(7);
  vmm.isByteMapped(7);
  EXPECT_EQ(1, vmm.maps);
  EXPECT_EQ(2, vmm.gets);
  EXPECT_EQ(0xFFFFu, vmm.getAddressSpaceEnd());
}

// A prototype that cannot make its node: the failure reaches the caller and
// nothing is left half-built (the sanitizer run checks for leaks).
TEST(VMMBase, AllocationFailurePassesToTheCaller) {
  struct FailingPage : gcVMMPage {
    using gcVMMPage::gcVMMPage;
    gcVMMPageBase* createObject(vmm_int) override { throw std::bad_alloc(); }
  };
  Ledger ledger;
  {
    RecordingVMM vmm(&ledger);
    stderrOf([&] {
      vmm.addAddressTranslator(new gcVMMPageTable(&vmm, 0xFF000000, 0));
      vmm.addAddressTranslator(new gcVMMPageTable(&vmm, 0x00FFF000, 0));
      vmm.addAddressTranslator(new FailingPage(&vmm, 0x00000FFF, 0));
    });
    EXPECT_THROW(stderrOf([&] { vmm.setByte(0x05001000, 1); }), std::bad_alloc);
    EXPECT_EQ(nullptr, vmm.getPage(0x05001000));
    // The table made on the way stays, as it would for any failed walk.
    EXPECT_NE(nullptr,
              vmm.getFirstAddressTranslator()->getPageObject(0x05001000));
  }
  EXPECT_EQ(0u, ledger.staticMem + ledger.pageMem);
}

}  // namespace
