#include "gcVMMPageDir.h"

#include "../core/direct_path.h"
#include "../core/gcVMMBase.h"

namespace {

typedef std::list<gcVMMPageBase*> ChildList;

// What one child costs: the list node that holds its pointer.
vmm_int listElementSize() {
#if defined(__GLIBCXX__)
  return sizeof(std::_List_node<gcVMMPageBase*>);
#else
  return 2 * sizeof(void*) + sizeof(gcVMMPageBase*);  // two links, one value
#endif
}

}  // namespace

gcVMMPageDir::gcVMMPageDir(gcVMMBase* pVMMBase, vmm_int iAddrMask,
                           vmm_int iVAddr)
    : gcVMMPageBase(pVMMBase, iAddrMask, iVAddr),
      pPageBaseList(nullptr),
      pLastPageBase(nullptr) {
  if (pVMMBase != nullptr)
    pVMMBase->notifyDynamicTablePAlloc(sizeof(gcVMMPageDir));
}

gcVMMPageDir::~gcVMMPageDir() {
  gcVMMBase* pOwner = getVMMBase();
  if (pPageBaseList != nullptr) {
    dwxvmm_detail::treeChanged();
    for (gcVMMPageBase* pChild : *pPageBaseList) {
      if (pOwner != nullptr) pOwner->notifyDynamicTablePFree(listElementSize());
      delete pChild;
    }
    if (pOwner != nullptr) pOwner->notifyDynamicTablePFree(sizeof(ChildList));
    delete pPageBaseList;
  }
  pPageBaseList = nullptr;
  if (pOwner != nullptr) pOwner->notifyDynamicTablePFree(sizeof(gcVMMPageDir));
}

gcVMMPageBase* gcVMMPageDir::getPageObject(vmm_int iAddr) {
  if (pPageBaseList == nullptr) return nullptr;
  // Every byte access passes here: the directory's own mask is read
  // directly rather than through its accessor.
  const vmm_int iMask = iAddrMask;
  const vmm_int iKey = iAddr & iMask;
  if (pLastPageBase != nullptr && (pLastPageBase->getVAddr() & iMask) == iKey)
    return pLastPageBase;
  for (gcVMMPageBase* pChild : *pPageBaseList)
    if ((pChild->getVAddr() & iMask) == iKey) return pChild;
  return nullptr;
}

gcVMMPageBase* gcVMMPageDir::createObject(vmm_int iAddr) {
  return new gcVMMPageDir(getVMMBase(), getAddrMask(), iAddr);
}

bool gcVMMPageDir::forAllMappedPagesRecursive(gcVMMPageHandler* handler) {
  if (pPageBaseList == nullptr) return true;
  for (gcVMMPageBase* pChild : *pPageBaseList)
    if (!pChild->forAllMappedPagesRecursive(handler)) return false;
  return true;
}

void gcVMMPageDir::addPageBase(gcVMMPageBase* pNew) {
  if (pNew == nullptr) return;
  if (pPageBaseList == nullptr) {
    pPageBaseList = new ChildList;
    if (getVMMBase() != nullptr)
      getVMMBase()->notifyDynamicTablePAlloc(sizeof(ChildList));
  }
  pPageBaseList->push_back(pNew);
  // The new hint may stand before an older child with the same key.
  dwxvmm_detail::treeChanged();
  if (getVMMBase() != nullptr)
    getVMMBase()->notifyDynamicTablePAlloc(listElementSize());
  pLastPageBase = pNew;
}
