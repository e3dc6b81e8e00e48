// The hashed page directory: its children in an open-addressed table keyed
// by their address bits under the node's mask.
#ifndef DWXVMM_TREE_GCVMMPAGEHASH_H_
#define DWXVMM_TREE_GCVMMPAGEHASH_H_

#include <cstddef>

#include "gcVMMPageBase.h"

// Costs memory only for the children it has, like a directory, and finds
// one in a probe or two like a table. Growing moves the table's slots, never
// a child: a child's address stays valid as long as the node lives. Keeps
// one child per key. Reports its object and its slot array as dynamic table
// memory. Prints nothing.
class DWXVMM_EXPORT gcVMMPageHash : public gcVMMPageBase {
 public:
  gcVMMPageHash(gcVMMBase* pVMMBase, vmm_int iAddrMask, vmm_int iVAddr);
  // Deletes every child (in slot order), then reports the slot array and the
  // object released.
  ~gcVMMPageHash() override;

  // The child whose address agrees with iAddr in the masked bits, or null.
  // Asks no child anything.
  gcVMMPageBase* getPageObject(vmm_int iAddr) override;
  // A new, empty hashed directory with this one's owner and mask at iAddr.
  gcVMMPageBase* createObject(vmm_int iAddr) override;
  // Children in ascending address order (a sorted copy of the slots: the
  // handler may add children); stops at the first false. Throws bad_alloc
  // before any child is visited when the copy cannot be made.
  bool forAllMappedPagesRecursive(gcVMMPageHandler* handler) override;
  // Stores pNew under its getVAddr() and owns it from then on. Keeps nothing
  // for null or for a key that already has a child. Throws bad_alloc, with
  // the table and its reports as they were, when it cannot grow.
  void addPageBase(gcVMMPageBase* pNew) override;

 protected:
  // The direct path of an exact VMM reads the slots in place.
  friend class gcVMMBase;

  struct Slot {
    vmm_int iKey;           // the child's address under the mask
    gcVMMPageBase* pChild;  // owned; null: the slot is free
    // The child's page memory, kept by the direct path of the VMM whose root
    // this is, so that a byte access never loads the page object; null:
    // not known. The page forgets it when it lets its memory go.
    char* pMemory;
  };

  // The slot of the child stored under iAddr's key, or null. The first
  // probe inline, the rest (rare below three quarters full) out of line.
  Slot* findSlot(vmm_int iAddr) const {
    if (pSlots == nullptr) return nullptr;
    const vmm_int iKey = iAddr & iAddrMask;
    const std::size_t i = home(iKey);
    Slot* pSlot = &pSlots[i];
    if (pSlot->iKey == iKey && pSlot->pChild != nullptr) return pSlot;
    if (pSlot->pChild == nullptr) return nullptr;
    return probeOn(iKey, i);
  }
  // The child stored under iAddr's key, or null.
  gcVMMPageBase* find(vmm_int iAddr) const {
    const Slot* pSlot = findSlot(iAddr);
    return pSlot == nullptr ? nullptr : pSlot->pChild;
  }
  // Sixteen neighbouring keys (a 64 KiB run of pages) share a row of
  // sixteen slots, so that a walk over neighbours stays in a few cache lines;
  // Fibonacci hashing of the run's number (the product's top bits) spreads
  // the rows.
  std::size_t home(vmm_int iKey) const {
    const std::uint64_t iUnit = iKey >> iAddrShift;
    const std::uint64_t iRow =
        ((iUnit >> 4) * 0x9E3779B97F4A7C15ull) >> iHashShift;
    return static_cast<std::size_t>((iRow & ~std::uint64_t{15}) | (iUnit & 15));
  }

  Slot* pSlots;             // owned; null until the first child
  std::size_t iSlotMask;    // slots - 1, slots a power of two
  std::size_t iChildren;    // at most three quarters of the slots
  unsigned int iHashShift;  // 64 - log2(slots)

 private:
  // findSlot past the occupied slot i that holds another key.
  Slot* probeOn(vmm_int iKey, std::size_t i) const;
  // Moves the children into a table of iSlots slots. REQUIRES: iSlots a
  // power of two above iChildren.
  void rehash(std::size_t iSlots);
};

#endif  // DWXVMM_TREE_GCVMMPAGEHASH_H_
