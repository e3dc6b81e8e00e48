#include "gcVMM.h"

#include "../models/gcVMemoryModell.h"

gcVMM::gcVMM() : pMemoryModell(nullptr) {}

gcVMM::~gcVMM() { unsetMemoryModell(); }

void gcVMM::setMemoryModell(gcVMemoryModell* pModell) {
  stopVMM();
  pMemoryModell = pModell;
  if (pModell == nullptr) return;
  // A second chain would hang behind the page level, owned by nobody and
  // reached by no lookup, while getPageSize() followed it.
  if (getFirstAddressTranslator() != nullptr) {
    unsetMemoryModell();
    return;
  }
  pModell->initializeAddressConversion(this);
  reloadVMM();
}

void gcVMM::stopVMM() { unsetMemoryModell(); }

void gcVMM::reloadVMM() {}

void gcVMM::unsetMemoryModell() {
  if (pMemoryModell != nullptr) delete pMemoryModell;
  pMemoryModell = nullptr;
}
