#include "gcVMMPageBase.h"

#include "../core/messages.h"

gcVMMPageBase::gcVMMPageBase(gcVMMBase* pVMMBase, vmm_int iAddrMask,
                             vmm_int iVAddr)
    : pVMMBase(pVMMBase),
      iAddrMask(iAddrMask),
      iAddrShift(gcVMMPageBase::getShiftFromMask(iAddrMask)),
      iMaxSize(gcVMMPageBase::getSizeFromMask(iAddrMask)),
      iVAddr(iVAddr),
      pNextTranslator(nullptr) {}

gcVMMPageBase::~gcVMMPageBase() = default;

gcVMMPageBase* gcVMMPageBase::getPageObject(vmm_int) { return nullptr; }

gcVMMPageBase* gcVMMPageBase::getPageRecursive(vmm_int iAddr) {
  gcVMMPageBase* pChild = getPageObject(iAddr);
  if (pChild == nullptr || pChild->isPage() != nullptr) return pChild;
  return pChild->getPageRecursive(iAddr);
}

gcVMMPageBase* gcVMMPageBase::mapPageObject(vmm_int iAddr) {
  gcVMMPageBase* pChild = getPageObject(iAddr);
  return pChild != nullptr ? pChild : createNewPageBase(iAddr);
}

gcVMMPageBase* gcVMMPageBase::mapPageRecursive(vmm_int iAddr) {
  gcVMMPageBase* pChild = mapPageObject(iAddr);
  if (pChild == nullptr || pChild->isPage() != nullptr) return pChild;
  return pChild->mapPageRecursive(iAddr);
}

vmm_int gcVMMPageBase::getAddrMask() { return iAddrMask; }

vmm_int gcVMMPageBase::getInverseAddrMask() {
  const vmm_int iShift = getAddrShift();
  return (~getAddrMask() >> iShift) << iShift;
}

vmm_int gcVMMPageBase::getVAddr() { return iVAddr; }

vmm_int gcVMMPageBase::getSizeFromMask(vmm_int mask) {
  if (mask == 0) return 0;
  return (mask >> __builtin_ctz(mask)) + 1;  // wraps to 0 for ~0
}

vmm_int gcVMMPageBase::getShiftFromMask(vmm_int mask) {
  return mask == 0 ? 0 : static_cast<vmm_int>(__builtin_ctz(mask));
}

vmm_int gcVMMPageBase::getMaxSize() { return iMaxSize; }

vmm_int gcVMMPageBase::getAddrShift() { return iAddrShift; }

gcVMMPage* gcVMMPageBase::isPage() { return nullptr; }

gcVMMBase* gcVMMPageBase::getVMMBase() { return pVMMBase; }

gcVMMPageBase* gcVMMPageBase::createObject(vmm_int iAddr) {
  gcVMMPageBase* pNext = getNextTranslator();
  if (pNext == nullptr) return nullptr;
  return new gcVMMPageBase(getVMMBase(), pNext->getAddrMask(), iAddr);
}

bool gcVMMPageBase::forAllMappedPagesRecursive(gcVMMPageHandler*) {
  return false;
}

bool gcVMMPageBase::isVAddrMatch(vmm_int iAddr) {
  const vmm_int iMask = getAddrMask();
  return (iAddr & iMask) == (iVAddr & iMask);
}

void gcVMMPageBase::setNextTranslator(gcVMMPageBase* pNext) {
  pNextTranslator = pNext;
}

gcVMMPageBase* gcVMMPageBase::getNextTranslator() { return pNextTranslator; }

gcVMMPageBase* gcVMMPageBase::createNewPageBase(vmm_int iAddr) {
  gcVMMPageBase* pPrototype = getNextTranslator();
  if (pPrototype == nullptr) return nullptr;
  gcVMMPageBase* pChild =
      pPrototype->createObject(iAddr & pPrototype->getInverseAddrMask());
  if (pChild == nullptr) return nullptr;
  try {
    pChild->setNextTranslator(pPrototype->getNextTranslator());
    addPageBase(pChild);
  } catch (...) {
    delete pChild;
    throw;
  }
  // A child this node refused (a table without entries, a plain base node)
  // would be owned by nobody and leak below the walk: fail the mapping. The
  // child's own address is what the node stored it under. The lookup is
  // ours, not the caller's: whatever it would print stays unsaid.
  bool bKept;
  {
    dwxvmm_detail::QuietErrors quiet;
    bKept = getPageObject(pChild->getVAddr()) == pChild;
  }
  if (!bKept) {
    delete pChild;
    return nullptr;
  }
  return pChild;
}

void gcVMMPageBase::addPageBase(gcVMMPageBase*) {}
