#include "gcVMMPageTable.h"

#include <cstring>

#include "../core/direct_path.h"
#include "../core/gcVMMBase.h"
#include "../core/messages.h"

using dwxvmm_detail::reportLine;

gcVMMPageTable::gcVMMPageTable(gcVMMBase* pVMMBase, vmm_int iAddrMask,
                               vmm_int iVAddr)
    : gcVMMPageBase(pVMMBase, iAddrMask, iVAddr), pPageBaseList(nullptr) {
  createPageBaseList();
  if (pVMMBase != nullptr)
    pVMMBase->notifyStaticTablePAlloc(sizeof(gcVMMPageTable));
}

gcVMMPageTable::~gcVMMPageTable() {
  destroyPageBaseList();
  if (getVMMBase() != nullptr)
    getVMMBase()->notifyStaticTablePFree(sizeof(gcVMMPageTable));
}

gcVMMPageBase* gcVMMPageTable::getPageObject(vmm_int iAddr) {
  if (pPageBaseList == nullptr) return nullptr;
  // Every byte access passes here: the node's own fixed geometry is read
  // directly rather than through its accessors.
  const vmm_int i = (iAddr & iAddrMask) >> iAddrShift;
  if (i >= iMaxSize) {
    reportLine(
        "gcVMMPageTable::translateVirtualAddress(vmm_int iAddr): BUGGY PAGE "
        "FAULT!");
    return nullptr;
  }
  return pPageBaseList[i];
}

gcVMMPageBase* gcVMMPageTable::createObject(vmm_int iAddr) {
  return new gcVMMPageTable(getVMMBase(), getAddrMask(), iAddr);
}

bool gcVMMPageTable::forAllMappedPagesRecursive(gcVMMPageHandler* handler) {
  if (pPageBaseList == nullptr) return true;
  for (vmm_int i = 0; i < getMaxSize(); ++i) {
    gcVMMPageBase* pChild = pPageBaseList[i];
    if (pChild != nullptr && !pChild->forAllMappedPagesRecursive(handler))
      return false;
  }
  return true;
}

void gcVMMPageTable::addPageBase(gcVMMPageBase* pNew) {
  if (pPageBaseList == nullptr || pNew == nullptr) return;
  const vmm_int i = (pNew->getVAddr() & getAddrMask()) >> getAddrShift();
  if (i >= getMaxSize()) {
    reportLine(
        "gcVMMPageTable::addPageBase(gcVMMPageBase* pNew): BUGGY PAGE FAULT!");
    return;
  }
  // Replacing would either leak or destroy the node that stands there.
  if (pPageBaseList[i] == nullptr) pPageBaseList[i] = pNew;
}

void gcVMMPageTable::createPageBaseList() {
  destroyPageBaseList();
  dwxvmm_detail::reportCount("Create space for ", getMaxSize(),
                             " base Entrys...");
  const vmm_int n = getMaxSize();
  pPageBaseList = new gcVMMPageBase*[n];
  std::memset(pPageBaseList, 0, n * sizeof(gcVMMPageBase*));
  if (getVMMBase() != nullptr)
    getVMMBase()->notifyStaticTablePAlloc(n * sizeof(gcVMMPageBase*));
}

void gcVMMPageTable::destroyPageBaseList() {
  const vmm_int n = getMaxSize();
  if (pPageBaseList == nullptr) return;
  dwxvmm_detail::treeChanged();
  for (vmm_int i = 0; i < n; ++i) {
    if (pPageBaseList[i] != nullptr) {
      delete pPageBaseList[i];
      pPageBaseList[i] = nullptr;
    }
  }
  delete[] pPageBaseList;
  pPageBaseList = nullptr;
  if (getVMMBase() != nullptr)
    getVMMBase()->notifyStaticTablePFree(getMaxSize() * sizeof(gcVMMPageBase*));
}
