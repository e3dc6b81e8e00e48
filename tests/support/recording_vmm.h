// Test instruments: one transcript of what the library says and reports, in
// the order it happens, and the sizes it reports.
#ifndef DWXVMM_TESTS_SUPPORT_RECORDING_VMM_H_
#define DWXVMM_TESTS_SUPPORT_RECORDING_VMM_H_

#include <dwxvmm/dwxvmm.h>
#include <gtest/gtest.h>

#include <iostream>
#include <list>
#include <sstream>
#include <string>

// Takes the standard error stream while it lives. A RecordingVMM writes its
// accounting calls there too ("S+48 P-56 ": static tables, dynamic tables,
// pages), so messages and reports stand in one text in their order.
class Transcript : public std::stringbuf {
 public:
  Transcript() : pSaved_(std::cerr.rdbuf(this)) {}
  ~Transcript() override { std::cerr.rdbuf(pSaved_); }
  // What was written since the last call.
  std::string take() {
    std::string s = str();
    str("");
    return s;
  }
  int changes = 0;   // calls of notifyPhysicalUsageChanged
  vmm_int used = 0;  // the physical usage at the last change

 private:
  std::streambuf* pSaved_;
};

class RecordingVMM : public gcVMM {
 public:
  explicit RecordingVMM(Transcript* pLog) : pLog(pLog) {}
  // Tears the tree down while the overrides below still hear the reports.
  ~RecordingVMM() override {
    unsetMemoryModell();
    delete pFirstTranslator;
    pFirstTranslator = nullptr;
  }
#define DWXVMM_RECORD(op, tag)    \
  void op(vmm_int n) override {   \
    std::cerr << tag << n << ' '; \
    gcVMM::op(n);                 \
  }
  DWXVMM_RECORD(notifyStaticTablePAlloc, "S+")
  DWXVMM_RECORD(notifyStaticTablePFree, "S-")
  DWXVMM_RECORD(notifyDynamicTablePAlloc, "D+")
  DWXVMM_RECORD(notifyDynamicTablePFree, "D-")
  DWXVMM_RECORD(notifyPagePAlloc, "P+")
  DWXVMM_RECORD(notifyPagePFree, "P-")
#undef DWXVMM_RECORD
  void notifyPhysicalUsageChanged() override {
    ++pLog->changes;
    pLog->used = getUsedPhysicalMemory();
  }
  Transcript* pLog;
};

// The expected reports: L("S+", 48, "P+", 56) is "S+48 P+56 ".
inline std::string L() { return ""; }
template <class... Rest>
std::string L(const char* pTag, vmm_int n, Rest... rest) {
  return pTag + std::to_string(n) + " " + L(rest...);
}
inline std::string created(vmm_int iEntries) {
  return "Create space for " + std::to_string(iEntries) + " base Entrys...\n";
}

// Sizes as the library reports them.
constexpr vmm_int kEntry = sizeof(gcVMMPageBase*);
constexpr vmm_int kTable = sizeof(gcVMMPageTable);
constexpr vmm_int kDir = sizeof(gcVMMPageDir);
constexpr vmm_int kHash = sizeof(gcVMMPageHash);
// A hash's slot: key, child's index and memory, and three quarters of a slot
// as room for a child pointer.
constexpr vmm_int kSlot = 8 + sizeof(void*) + sizeof(void*) * 3 / 4;
constexpr vmm_int kPage = sizeof(gcVMMPage);
constexpr vmm_int kList = sizeof(std::list<gcVMMPageBase*>);
constexpr vmm_int kListElement = sizeof(std::_List_node<gcVMMPageBase*>);

#endif  // DWXVMM_TESTS_SUPPORT_RECORDING_VMM_H_
