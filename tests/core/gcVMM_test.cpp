#include "../support/recording_vmm.h"

namespace {

// Tells of its death in the transcript, in order with the tree's releases.
struct CountedModel : gcVMM32BitFast {
  ~CountedModel() override { std::cerr << "model-died "; }
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
  vmm.setMemoryModell(nullptr);
  EXPECT_EQ(nullptr, vmm.getFirstAddressTranslator());
  Transcript log;
  vmm.setMemoryModell(new gcVMM32BitSmall);
  EXPECT_EQ("stop stop 65536", vmm.calls);
}

// Releasing the model keeps the chain; a second model would hang its chain
// behind the page level, owned by nobody: it is released unused.
TEST(VMM, TheChainOutlivesItsModelAndIsNeverReplaced) {
  Transcript log;
  {
    RecordingVMM vmm(&log);
    vmm.setMemoryModell(new CountedModel);
    vmm.setByte(0x12345678, 'x');
    const vmm_int iUsage = vmm.getUsedPhysicalMemory();
    log.take();
    vmm.setMemoryModell(new gcVMM32BitSmall);
    vmm.setMemoryModell(new CountedModel);
    EXPECT_EQ("model-died model-died ", log.take());  // the old one too
    EXPECT_EQ(4096u, vmm.getPageSize());
    EXPECT_EQ(iUsage, vmm.getUsedPhysicalMemory());
    vmm.unsetMemoryModell();
    vmm.stopVMM();
    vmm.setMemoryModell(nullptr);
    EXPECT_EQ("", log.take());
    EXPECT_EQ('x', vmm.getByte(0x12345678));
    vmm.setByte(0x4001, 'B');
    EXPECT_EQ('B', vmm.getByte(0x4001));
  }
  EXPECT_EQ(0u, log.used);
}

TEST(VMM, DeletingTheVMMDeletesTheModelFirstThenTheTree) {
  Transcript log;
  {
    RecordingVMM vmm(&log);
    vmm.setMemoryModell(new CountedModel);
    log.take();
  }
  EXPECT_EQ(0u, log.take().find("model-died P-"));
  EXPECT_EQ(0u, log.used);
}

}  // namespace
