// Test instruments: a VMM that records every accounting call, and helpers.
#ifndef DWXVMM_TESTS_SUPPORT_RECORDING_VMM_H_
#define DWXVMM_TESTS_SUPPORT_RECORDING_VMM_H_

#include <dwxvmm/dwxvmm.h>
#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

// Outlives the VMM, so that the releases reported while it is destroyed can
// still be inspected.
struct Ledger {
  struct Entry {
    std::string kind;  // "static+", "static-", "dynamic+", ..., "page-"
    vmm_int bytes;
    bool operator==(const Entry& o) const {
      return kind == o.kind && bytes == o.bytes;
    }
  };
  std::vector<Entry> entries;
  int usageChanges = 0;
  vmm_int staticMem = 0, dynamicMem = 0, pageMem = 0;
};

inline void PrintTo(const Ledger::Entry& e, std::ostream* os) {
  *os << e.kind << e.bytes;
}

class RecordingVMM : public gcVMM {
 public:
  explicit RecordingVMM(Ledger* pLedger) : pLedger_(pLedger) {}
  // Tears the tree down while this class's overrides still receive the
  // reports (the base destructor would reach only its own).
  ~RecordingVMM() override {
    unsetMemoryModell();
    delete pFirstTranslator;
    pFirstTranslator = nullptr;
  }

#define DWXVMM_RECORD(op, kind) \
  void op(vmm_int n) override { \
    record(kind, n);            \
    gcVMM::op(n);               \
  }
  DWXVMM_RECORD(notifyStaticTablePAlloc, "static+")
  DWXVMM_RECORD(notifyStaticTablePFree, "static-")
  DWXVMM_RECORD(notifyDynamicTablePAlloc, "dynamic+")
  DWXVMM_RECORD(notifyDynamicTablePFree, "dynamic-")
  DWXVMM_RECORD(notifyPagePAlloc, "page+")
  DWXVMM_RECORD(notifyPagePFree, "page-")
#undef DWXVMM_RECORD
  void notifyPhysicalUsageChanged() override {
    ++pLedger_->usageChanges;
    pLedger_->staticMem = iStaticTablePMem;
    pLedger_->dynamicMem = iDynamicTablePMem;
    pLedger_->pageMem = iPagePMem;
  }
  vmm_int pageDMem() const { return iPageDMem; }

 private:
  void record(const char* pKind, vmm_int n) {
    pLedger_->entries.push_back({pKind, n});
  }
  Ledger* pLedger_;
};

// Sizes as the library reports them.
constexpr vmm_int kEntry = sizeof(gcVMMPageBase*);
constexpr vmm_int kTable = sizeof(gcVMMPageTable);
constexpr vmm_int kDir = sizeof(gcVMMPageDir);
constexpr vmm_int kPage = sizeof(gcVMMPage);
constexpr vmm_int kList = sizeof(std::list<gcVMMPageBase*>);
constexpr vmm_int kListElement = sizeof(std::_List_node<gcVMMPageBase*>);

// Builds the fast model's chain by hand on any VMM.
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

// The bitmap byte of data offset o of a page.
inline unsigned char bitmapByte(gcVMMPage* pPage, vmm_int o) {
  return static_cast<unsigned char>(
      pPage->getPageBuffer()[pPage->getMaxSize() + o / 8]);
}

#endif  // DWXVMM_TESTS_SUPPORT_RECORDING_VMM_H_
