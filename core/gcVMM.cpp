#include "gcVMM.h"

#include "../models/gcVMemoryModell.h"
#include "../tree/gcVMMPageBase.h"

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
  try {
    pModell->initializeAddressConversion(this);
  } catch (...) {
    // A chain cut short would stay for good (a VMM keeps the chain it has)
    // and map nothing: drop it with the model, so that the call can be
    // repeated.
    delete pFirstTranslator;
    pFirstTranslator = pLastTranslator = nullptr;
    decideDirectPath();
    unsetMemoryModell();
    throw;
  }
  reloadVMM();
}

void gcVMM::stopVMM() { unsetMemoryModell(); }

void gcVMM::reloadVMM() {}

void gcVMM::unsetMemoryModell() {
  delete pMemoryModell;
  pMemoryModell = nullptr;
}
