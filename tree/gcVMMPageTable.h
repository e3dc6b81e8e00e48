// The static page table: one entry for every value of its masked bits.
#ifndef DWXVMM_TREE_GCVMMPAGETABLE_H_
#define DWXVMM_TREE_GCVMMPAGETABLE_H_

#include "gcVMMPageBase.h"

// Lookup is one index operation; the whole entry array is allocated (and its
// "Create space for N base Entrys..." line written, after which the error
// stream is in decimal) when the table is built.
// Reports its object and its array as static table memory.
class DWXVMM_EXPORT gcVMMPageTable : public gcVMMPageBase {
 public:
  // Allocates the entry array; throws bad_alloc (after the line, before any
  // report) when it cannot.
  gcVMMPageTable(gcVMMBase* pVMMBase, vmm_int iAddrMask, vmm_int iVAddr);
  // Deletes every child, then reports the array and the object released.
  ~gcVMMPageTable() override;

  // The entry for iAddr's masked bits (null when empty). A table whose size
  // is 0 (mask 0 or ~0) writes a "BUGGY PAGE FAULT!" line and returns null.
  gcVMMPageBase* getPageObject(vmm_int iAddr) override;
  // A new table with this table's owner and mask at iAddr.
  gcVMMPageBase* createObject(vmm_int iAddr) override;
  // Children in ascending index order; stops at the first false.
  bool forAllMappedPagesRecursive(gcVMMPageHandler* handler) override;
  // Stores pNew in the entry of its virtual address and owns it from then
  // on. Keeps nothing for null, for an entry that already holds another
  // node, or (after a "BUGGY PAGE FAULT!" line) for a table of size 0.
  void addPageBase(gcVMMPageBase* pNew) override;

  // Deletes any existing array with its children, then allocates a new,
  // empty one.
  virtual void createPageBaseList();
  // Deletes every child and the array.
  virtual void destroyPageBaseList();

 protected:
  // The direct path of an exact VMM reads the fields of exact nodes.
  friend class gcVMMBase;

  gcVMMPageBase** pPageBaseList;
};

#endif  // DWXVMM_TREE_GCVMMPAGETABLE_H_
