#include <new>

#include "../support/recording_vmm.h"

namespace {

TEST(VMMBase, WithoutTranslatorsEveryAccessIsRefused) {
  gcVMMBase vmm;
  EXPECT_EQ(0xFFFFFFFFu, vmm.getAddressSpaceEnd());
  EXPECT_EQ(0u, vmm.getPageSize());
  vmm.addAddressTranslator(nullptr);  // ignored
  EXPECT_EQ(nullptr, vmm.getFirstAddressTranslator());
  const std::string kLine =
      "gcVMMBase::translateVirtualAddress(vmm_int iAddr): NO TRANSLATION "
      "RULES!\n";
  EXPECT_EQ(kLine + kLine + kLine + kLine, stderrOf([&] {
              vmm.setByte(0x1234, 'A');
              EXPECT_EQ(0, vmm.getByte(0x1234));
              EXPECT_FALSE(vmm.isByteMapped(0x1234));
              EXPECT_EQ(nullptr, vmm.mapPage(0x1234));
            }));
  EXPECT_EQ(0u, vmm.getUsedPhysicalMemory());
}

// One write through a chain built by hand, from the reports it causes to the
// bit it sets, and the counters back at 0 once the VMM is gone.
TEST(VMMBase, HandBuiltChainWritesAndReadsAnywhere) {
  Ledger ledger;
  {
    RecordingVMM vmm(&ledger);
    stderrOf([&] {
      addFastChain(&vmm);
      vmm.addAddressTranslator(nullptr);  // the chain stays as it was
    });
    EXPECT_EQ(4096u, vmm.getPageSize());
    EXPECT_EQ(L("S+", 256 * kEntry, "S+", kTable, "S+", 4096 * kEntry, "S+",
                kTable, "P+", kPage),
              ledger.log);
    EXPECT_EQ(5, ledger.changes);
    ledger.log.clear();

    EXPECT_EQ("Create space for 4096 base Entrys...\n",
              stderrOf([&] { vmm.setByte(0x12345678, 'x'); }));
    EXPECT_EQ(L("S+", 4096 * kEntry, "S+", kTable, "P+", kPage, "P+", 4608),
              ledger.log);
    gcVMMPage* pPage = vmm.getPage(0x12345678);
    EXPECT_EQ(0x12345000u, pPage->getVAddr());
    EXPECT_EQ(0x80, bitmapByte(pPage, 0xCF));
    EXPECT_EQ('x', vmm.getByte(0x12345678));
    EXPECT_FALSE(vmm.isByteMapped(0x12345679));
    EXPECT_EQ(pPage, vmm.mapPage(0x12345FFF));

    const vmm_int iUsage = vmm.getUsedPhysicalMemory();
    EXPECT_EQ(0, vmm.getByte(0x00123456));  // no page: nothing changes
    EXPECT_EQ(nullptr, vmm.getPage(0x00123456));
    EXPECT_EQ(iUsage, vmm.getUsedPhysicalMemory());
    EXPECT_EQ(0, vmm.getByte(0x10));  // the page of 0 gets its memory
    EXPECT_EQ(iUsage + 4608, vmm.getUsedPhysicalMemory());

    stderrOf([&] { vmm.setByte(0xFFFFFFFF, char(0xFF)); });
    EXPECT_EQ(char(0xFF), vmm.getByte(0xFFFFFFFF));
  }
  EXPECT_EQ(0u, ledger.used);
}

TEST(VMMBase, CountersWrapAndOnlyPhysicalOnesCallTheHook) {
  Ledger ledger;
  RecordingVMM vmm(&ledger);
  vmm.notifyStaticTablePAlloc(100);
  vmm.notifyDynamicTablePAlloc(20);
  vmm.notifyPagePAlloc(3);
  vmm.notifyPageDAlloc(1000);
  vmm.notifyPageDFree(1);
  EXPECT_EQ(123u, vmm.getUsedPhysicalMemory());
  EXPECT_EQ(3, ledger.changes);
  vmm.notifyPagePFree(8);
  vmm.notifyDynamicTablePFree(20);
  vmm.notifyStaticTablePFree(100);
  EXPECT_EQ(0xFFFFFFFBu, vmm.getUsedPhysicalMemory());
}

// The byte operations reach the page through the VMM's virtual operations.
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
      EXPECT_THROW(vmm.setByte(0x05001000, 1), std::bad_alloc);
    });
    EXPECT_EQ(nullptr, vmm.getPage(0x05001000));
  }
  EXPECT_EQ(0u, ledger.used);
}

}  // namespace
