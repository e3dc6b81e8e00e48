// A VMM whose counters can be checked against the heap and the tree.
#ifndef DWXVMM_TESTS_STRESS_STRESS_VMM_H_
#define DWXVMM_TESTS_STRESS_STRESS_VMM_H_

#include <dwxvmm/dwxvmm.h>
#include <gtest/gtest.h>

#include <iostream>
#include <tuple>

#include "counting_new.h"

// The physical counters as last reported; outlives the VMM, so that its
// destruction can be checked.
struct Counters {
  vmm_int staticMem = 0, dynamicMem = 0, pageMem = 0;
  bool operator==(const Counters& o) const {
    return std::tie(staticMem, dynamicMem, pageMem) ==
           std::tie(o.staticMem, o.dynamicMem, o.pageMem);
  }
};

inline void PrintTo(const Counters& c, std::ostream* os) {
  *os << "static " << c.staticMem << ", dynamic " << c.dynamicMem << ", page "
      << c.pageMem;
}

class StressVMM : public gcVMM {
 public:
  explicit StressVMM(Counters* pCounters) : pCounters_(pCounters) {}
  // Tears the tree down while notifyPhysicalUsageChanged still reaches us.
  ~StressVMM() override {
    unsetMemoryModell();
    delete pFirstTranslator;
    pFirstTranslator = nullptr;
  }
  void notifyPhysicalUsageChanged() override {
    *pCounters_ = {iStaticTablePMem, iDynamicTablePMem, iPagePMem};
  }
  bool holdsModel() const { return pMemoryModell != nullptr; }

 private:
  Counters* pCounters_;
};

inline gcVMemoryModell* newModel(int iModel) {
  if (iModel == 0) return new gcVMM32BitFast;
  if (iModel == 1) return new gcVMM32BitCompact;
  return new gcVMM32BitSmall;
}

// The static tables and the pages that the tree holds, found by walking it
// without allocating: the root, one node per 16 MiB region, every page.
inline Counters heldByTree(gcVMMBase& vmm) {
  Counters held;
  gcVMMPageBase* pRoot = vmm.getFirstAddressTranslator();
  if (pRoot == nullptr) return held;
  auto table = [](gcVMMPageBase* p) -> vmm_int {
    return dynamic_cast<gcVMMPageTable*>(p) == nullptr
               ? 0
               : sizeof(gcVMMPageTable) + p->getMaxSize() * sizeof(p);
  };
  held.staticMem = table(pRoot);
  for (vmm_int r = 0; r < 256; ++r) {
    gcVMMPageBase* pNode = pRoot->getPageObject(r << 24);
    if (pNode != nullptr) held.staticMem += table(pNode);
  }
  struct Pages : gcVMMPageHandler {
    vmm_int bytes = 0;
    bool handlePage(gcVMMPage* p) override {
      bytes += sizeof(gcVMMPage) + (p->isPhysical() ? p->getPageMemSize() : 0);
      return true;
    }
  } pages;
  vmm.forAllMappedPages(&pages, false);
  held.pageMem = pages.bytes;
  return held;
}

// The counters are what the tree holds, and the usage is what the library
// holds on the heap since iBytesBefore (the model object aside: the VMM
// owns it but does not count it).
static_assert(sizeof(gcVMM32BitFast) == sizeof(gcVMM32BitCompact) &&
                  sizeof(gcVMM32BitFast) == sizeof(gcVMM32BitSmall),
              "every model object has one size");
inline void expectHonest(StressVMM& vmm, const Counters& counters,
                         std::size_t iBytesBefore) {
  const std::size_t iHeap = heap::liveBytes() - iBytesBefore -
                            (vmm.holdsModel() ? sizeof(gcVMM32BitFast) : 0);
  const Counters held = heldByTree(vmm);
  EXPECT_EQ(held.staticMem, counters.staticMem);
  EXPECT_EQ(held.pageMem, counters.pageMem);
  EXPECT_EQ(iHeap, vmm.getUsedPhysicalMemory());
}

// The library's notices (a line per table) would drown the test output.
class QuietTest : public testing::Test {
 protected:
  void SetUp() override { pSaved_ = std::cerr.rdbuf(nullptr); }
  void TearDown() override { std::cerr.rdbuf(pSaved_); }

 private:
  std::streambuf* pSaved_ = nullptr;
};

#endif  // DWXVMM_TESTS_STRESS_STRESS_VMM_H_
