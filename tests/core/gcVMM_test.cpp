#include <new>

#include "../support/recording_vmm.h"

namespace {

// A model that counts its destructions and tells what the tree held then.
struct CountedModel : gcVMM32BitFast {
  explicit CountedModel(int* pDeaths, const Ledger* pLedger = nullptr,
                        vmm_int* pStaticAtDeath = nullptr)
      : pDeaths(pDeaths), pLedger(pLedger), pStaticAtDeath(pStaticAtDeath) {}
  ~CountedModel() override {
    ++*pDeaths;
    if (pStaticAtDeath != nullptr) *pStaticAtDeath = pLedger->staticMem;
  }
  int* pDeaths;
  const Ledger* pLedger;
  vmm_int* pStaticAtDeath;
};

TEST(VMM, WithoutAModelNothingIsTranslated) {
  gcVMM vmm;
  EXPECT_EQ(0u, vmm.getPageSize());
  EXPECT_EQ("", stderrOf([&] { vmm.setMemoryModell(nullptr); }));
  EXPECT_EQ(nullptr, vmm.getFirstAddressTranslator());
  EXPECT_EQ(
      "gcVMMBase::translateVirtualAddress(vmm_int iAddr): NO TRANSLATION "
      "RULES!\n",
      stderrOf([&] { EXPECT_EQ(0, vmm.getByte(0x3230)); }));
}

TEST(VMM, HooksRunAroundTheChainsConstruction) {
  struct HookedVMM : gcVMM {
    std::string calls;
    void stopVMM() override {
      calls += "stop ";
      gcVMM::stopVMM();
    }
    void reloadVMM() override {
      calls += std::to_string(getPageSize()) + " reload";
    }
  } vmm;
  stderrOf([&] { vmm.setMemoryModell(new gcVMM32BitSmall); });
  EXPECT_EQ("stop 65536 reload", vmm.calls);
}

TEST(VMM, ReleasingTheModelKeepsTheChainAndTheBytes) {
  int deaths = 0;
  gcVMM vmm;
  stderrOf([&] { vmm.setMemoryModell(new CountedModel(&deaths)); });
  vmm.setByte(0x3230, 'A');
  vmm.unsetMemoryModell();
  EXPECT_EQ(1, deaths);
  EXPECT_EQ('A', vmm.getByte(0x3230));
  vmm.setByte(0x4001, 'B');
  EXPECT_EQ('B', vmm.getByte(0x4001));
  vmm.stopVMM();  // nothing left to release
  vmm.setMemoryModell(nullptr);
  EXPECT_EQ(1, deaths);
  EXPECT_EQ(4096u, vmm.getPageSize());
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
  EXPECT_EQ(0u, ledger.staticMem + ledger.dynamicMem + ledger.pageMem);
}

TEST(VMM, DeletingTheVMMDeletesTheModelFirstThenTheTree) {
  int deaths = 0;
  vmm_int iStaticAtDeath = 0;
  Ledger ledger;
  {
    RecordingVMM vmm(&ledger);
    stderrOf([&] {
      vmm.setMemoryModell(new CountedModel(&deaths, &ledger, &iStaticAtDeath));
    });
    vmm.setByte(0x12345678, 1);
  }
  EXPECT_EQ(1, deaths);
  EXPECT_EQ(2 * (kTable + 4096 * kEntry) + 256 * kEntry + kTable,
            iStaticAtDeath);
  EXPECT_EQ(0u, ledger.staticMem + ledger.dynamicMem + ledger.pageMem);
}

// Memory runs out half-way through the chain: the model is already held,
// the translators appended so far stay, reloadVMM is not called.
TEST(VMM, FailedChainConstructionKeepsWhatWasAppended) {
  struct FailingModel : gcVMemoryModell {
    void initializeAddressConversion(gcVMM* pVMM) override {
      pVMM->addAddressTranslator(new gcVMMPageDir(pVMM, 0xFF000000, 0));
      throw std::bad_alloc();
    }
    std::string getShortDescription() override { return ""; }
  };
  struct HookedVMM : gcVMM {
    bool reloaded = false;
    void reloadVMM() override { reloaded = true; }
  } vmm;
  EXPECT_THROW(vmm.setMemoryModell(new FailingModel), std::bad_alloc);
  EXPECT_FALSE(vmm.reloaded);
  EXPECT_NE(nullptr, vmm.getFirstAddressTranslator());
}

}  // namespace
