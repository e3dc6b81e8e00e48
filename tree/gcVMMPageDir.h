// The dynamic page directory: only the children that exist, in a list.
#ifndef DWXVMM_TREE_GCVMMPAGEDIR_H_
#define DWXVMM_TREE_GCVMMPAGEDIR_H_

#include <list>

#include "gcVMMPageBase.h"

// Costs memory only for the children it has (at most 256 under mask
// 0xFF000000). Lookup tests the child added last, then searches the list in
// the order of addition. Reports its object, its list and one list element
// per child as dynamic table memory. Prints nothing.
class DWXVMM_EXPORT gcVMMPageDir : public gcVMMPageBase {
 public:
  gcVMMPageDir(gcVMMBase* pVMMBase, vmm_int iAddrMask, vmm_int iVAddr);
  // In list order: reports each element released, then deletes its child;
  // then reports the list and the directory object released.
  ~gcVMMPageDir() override;

  // The child whose address agrees with iAddr in this directory's masked
  // bits: the hint first, then the first match in list order. A list hit
  // does not move the hint.
  gcVMMPageBase* getPageObject(vmm_int iAddr) override;
  // A new, empty directory with this directory's owner and mask at iAddr.
  gcVMMPageBase* createObject(vmm_int iAddr) override;
  // Children in the order they were added; stops at the first false.
  bool forAllMappedPagesRecursive(gcVMMPageHandler* handler) override;
  // Appends pNew (not searched for, not sorted), owns it and makes it the
  // hint. Null is ignored. Throws bad_alloc with nothing reported for what
  // could not be allocated.
  void addPageBase(gcVMMPageBase* pNew) override;

 protected:
  // The direct path of an exact VMM reads the fields of exact nodes.
  friend class gcVMMBase;

  std::list<gcVMMPageBase*>* pPageBaseList;
  gcVMMPageBase* pLastPageBase;  // the hint; not owning
};

#endif  // DWXVMM_TREE_GCVMMPAGEDIR_H_
