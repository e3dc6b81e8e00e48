#include <new>

#include "../support/recording_vmm.h"

namespace {

// Counts its deaths and notes the usage the tree still held at the time.
struct CountedModel : gcVMM32BitFast {
  CountedModel(int* pDeaths, Ledger* pLedger = nullptr)
      : pDeaths(pDeaths), pLedger(pLedger) {}
  ~CountedModel() override {
    ++*pDeaths;
    if (pLedger != nullptr) pLedger->log += "model-died ";
  }
  int* pDeaths;
  Ledger* pLedger;
};

TEST(VMM, HooksRunAroundTheChainsConstruction) {
  struct HookedVMM : gcVMM {
    std::string calls;
    void stopVMM() override {
      calls += "stop ";
      gcVMM::stopVMM();
    }
    void reloadVMM() override { calls += std::to_string(getPageSize()); }
  } vmm;
  EXPECT_EQ("", stderrOf([&] { vmm.setMemoryModell(nullptr); }));
  EXPECT_EQ(nullptr, vmm.getFirstAddressTranslator());
  stderrOf([&] { vmm.setMemoryModell(new gcVMM32BitSmall); });
  EXPECT_EQ("stop stop 65536", vmm.calls);
}

TEST(VMM, ReleasingTheModelKeepsTheChainAndTheBytes) {
  int deaths = 0;
  gcVMM vmm;
  stderrOf([&] { vmm.setMemoryModell(new CountedModel(&deaths)); });
  vmm.setByte(0x3230, 'A');
  vmm.unsetMemoryModell();
  vmm.stopVMM();
  vmm.setMemoryModell(nullptr);
  EXPECT_EQ(1, deaths);
  EXPECT_EQ('A', vmm.getByte(0x3230));
  vmm.setByte(0x4001, 'B');
  EXPECT_EQ('B', vmm.getByte(0x4001));
}

// A second model would hang its chain behind the page level, unreachable
// and owned by nobody: it is released unused and the chain in use stays.
TEST(VMM, SecondModelIsReleasedAndTheChainStays) {
  int deaths = 0;
  Ledger ledger;
  {
    RecordingVMM vmm(&ledger);
    stderrOf([&] { vmm.setMemoryModell(new gcVMM32BitFast); });
    vmm.setByte(0x12345678, 'x');
    const vmm_int iUsage = vmm.getUsedPhysicalMemory();
    EXPECT_EQ("", stderrOf([&] {
                vmm.setMemoryModell(new gcVMM32BitSmall);
                vmm.setMemoryModell(new CountedModel(&deaths));
              }));
    EXPECT_EQ(1, deaths);
    EXPECT_EQ(4096u, vmm.getPageSize());
    EXPECT_EQ('x', vmm.getByte(0x12345678));
    EXPECT_EQ(iUsage, vmm.getUsedPhysicalMemory());
  }
  EXPECT_EQ(0u, ledger.used);
}

TEST(VMM, DeletingTheVMMDeletesTheModelFirstThenTheTree) {
  int deaths = 0;
  Ledger ledger;
  {
    RecordingVMM vmm(&ledger);
    stderrOf([&] { vmm.setMemoryModell(new CountedModel(&deaths, &ledger)); });
    ledger.log.clear();
  }
  EXPECT_EQ(0u, ledger.log.find("model-died P-"));
  EXPECT_EQ(0u, ledger.used);
}

// A model that fails half-way would leave a chain that maps nothing and that
// no later model could replace: the VMM is left as new instead.
TEST(VMM, ModelThatFailsLeavesTheVMMAsNew) {
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
  vmm.setByte(0x12345678, 'y');
  EXPECT_EQ('y', vmm.getByte(0x12345678));
}

}  // namespace
