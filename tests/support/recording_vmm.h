// Test instruments: a VMM that logs every accounting call, and helpers.
#ifndef DWXVMM_TESTS_SUPPORT_RECORDING_VMM_H_
#define DWXVMM_TESTS_SUPPORT_RECORDING_VMM_H_

#include <dwxvmm/dwxvmm.h>
#include <gtest/gtest.h>

#include <list>
#include <string>

// Outlives the VMM, so that the releases reported while it is destroyed can
// still be inspected.
struct Ledger {
  std::string log;   // "S+48 P-56 ...": static tables, dynamic tables, pages
  int changes = 0;   // calls of notifyPhysicalUsageChanged
  vmm_int used = 0;  // the physical usage at the last change
};

class RecordingVMM : public gcVMM {
 public:
  explicit RecordingVMM(Ledger* pLedger) : pLedger(pLedger) {}
  // Tears the tree down while the overrides below still hear the reports.
  ~RecordingVMM() override {
    unsetMemoryModell();
    delete pFirstTranslator;
    pFirstTranslator = nullptr;
  }
#define DWXVMM_RECORD(op, tag)                     \
  void op(vmm_int n) override {                    \
    pLedger->log += tag + std::to_string(n) + " "; \
    gcVMM::op(n);                                  \
  }
  DWXVMM_RECORD(notifyStaticTablePAlloc, "S+")
  DWXVMM_RECORD(notifyStaticTablePFree, "S-")
  DWXVMM_RECORD(notifyDynamicTablePAlloc, "D+")
  DWXVMM_RECORD(notifyDynamicTablePFree, "D-")
  DWXVMM_RECORD(notifyPagePAlloc, "P+")
  DWXVMM_RECORD(notifyPagePFree, "P-")
#undef DWXVMM_RECORD
  void notifyPhysicalUsageChanged() override {
    ++pLedger->changes;
    pLedger->used = getUsedPhysicalMemory();
  }
  Ledger* pLedger;
};

// The expected log: L("S+", 48, "P+", 56) is "S+48 P+56 ".
inline std::string L() { return ""; }
template <class... Rest>
std::string L(const char* pTag, vmm_int n, Rest... rest) {
  return pTag + std::to_string(n) + " " + L(rest...);
}

// Sizes as the library reports them.
constexpr vmm_int kEntry = sizeof(gcVMMPageBase*);
constexpr vmm_int kTable = sizeof(gcVMMPageTable);
constexpr vmm_int kDir = sizeof(gcVMMPageDir);
constexpr vmm_int kPage = sizeof(gcVMMPage);
constexpr vmm_int kList = sizeof(std::list<gcVMMPageBase*>);
constexpr vmm_int kListElement = sizeof(std::_List_node<gcVMMPageBase*>);

// The fast model's chain, built by hand.
inline void addFastChain(gcVMMBase* pVMM) {
  pVMM->addAddressTranslator(new gcVMMPageTable(pVMM, 0xFF000000, 0));
  pVMM->addAddressTranslator(new gcVMMPageTable(pVMM, 0x00FFF000, 0));
  pVMM->addAddressTranslator(new gcVMMPage(pVMM, 0x00000FFF, 0));
}

// Runs f and returns what it wrote to the standard error stream.
template <class F>
std::string stderrOf(F f) {
  testing::internal::CaptureStderr();
  try {
    f();
  } catch (...) {
    testing::internal::GetCapturedStderr();
    throw;
  }
  return testing::internal::GetCapturedStderr();
}

// Bitmap byte i of a page.
inline int bitmapByte(gcVMMPage* pPage, vmm_int i) {
  return static_cast<unsigned char>(
      pPage->getPageBuffer()[pPage->getMaxSize() + i]);
}

#endif  // DWXVMM_TESTS_SUPPORT_RECORDING_VMM_H_
