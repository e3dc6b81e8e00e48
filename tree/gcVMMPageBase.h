// The common base of every node of the translation tree.
#ifndef DWXVMM_TREE_GCVMMPAGEBASE_H_
#define DWXVMM_TREE_GCVMMPAGEBASE_H_

#include <cstdint>

#include "../core/vmm_types.h"

class gcVMMBase;
class gcVMMPage;
class gcVMMPageHandler;

// A node covers one aligned region; its mask names the address bits it
// resolves. Every node is also a translator: the node of a level in the
// chain is the prototype from which createObject makes the other nodes of
// that level. The walks and child creation live here once; node kinds
// override only how children are stored and found. Non-copyable: nodes own
// their children.
class DWXVMM_EXPORT gcVMMPageBase {
 public:
  // Stores owner (may be null: then nothing is reported), mask and virtual
  // address (not aligned). Reports and prints nothing.
  gcVMMPageBase(gcVMMBase* pVMMBase, vmm_int iAddrMask, vmm_int iVAddr);
  gcVMMPageBase(const gcVMMPageBase&) = delete;
  gcVMMPageBase& operator=(const gcVMMPageBase&) = delete;

  // Releases the object only.
  virtual ~gcVMMPageBase();
  // The child that covers iAddr, or null. Base: always null.
  virtual gcVMMPageBase* getPageObject(vmm_int iAddr);
  // The page below this node that covers iAddr, or null. Creates nothing.
  virtual gcVMMPageBase* getPageRecursive(vmm_int iAddr);
  // getPageObject, or else createNewPageBase.
  virtual gcVMMPageBase* mapPageObject(vmm_int iAddr);
  // The page below this node that covers iAddr, creating what is missing;
  // null when a level cannot make its child. Throws bad_alloc.
  virtual gcVMMPageBase* mapPageRecursive(vmm_int iAddr);
  virtual vmm_int getAddrMask();
  // The address bits above the mask (from its lowest set bit upward).
  virtual vmm_int getInverseAddrMask();
  virtual vmm_int getVAddr();
  // Values of the masked bits, holes included; 0 for masks 0 and ~0.
  virtual vmm_int getSizeFromMask(vmm_int mask);
  // Trailing zero bits of the mask; 0 for mask 0.
  virtual vmm_int getShiftFromMask(vmm_int mask);
  virtual vmm_int getMaxSize();
  virtual vmm_int getAddrShift();
  // This node as a data page, or null when it is not one.
  virtual gcVMMPage* isPage();
  virtual gcVMMBase* getVMMBase();
  // A new node of this prototype's kind at iAddr, same owner. Base: a plain
  // node with the next translator's mask, or null without one.
  virtual gcVMMPageBase* createObject(vmm_int iAddr);
  // This node's share of the page walk. Base: visits nothing, false.
  virtual bool forAllMappedPagesRecursive(gcVMMPageHandler* handler);
  virtual bool isVAddrMatch(vmm_int iAddr);
  // Not owned through this pointer.
  virtual void setNextTranslator(gcVMMPageBase* pNextTranslator);
  virtual gcVMMPageBase* getNextTranslator();
  // Creates the child for iAddr from the next translator and stores it.
  // Null when there is no next translator, the prototype makes nothing, or
  // this node does not keep the child (the child is then released).
  virtual gcVMMPageBase* createNewPageBase(vmm_int iAddr);
  // Stores pNew as a child, which this node then owns. Base: keeps nothing.
  virtual void addPageBase(gcVMMPageBase* pNew);

 protected:
  // The direct path of an exact VMM reads the fields of exact nodes.
  friend class gcVMMBase;

  gcVMMBase* pVMMBase;
  vmm_int iAddrMask;
  std::uint32_t iAddrShift;
  vmm_int iMaxSize;
  vmm_int iVAddr;
  gcVMMPageBase* pNextTranslator;
};

#endif  // DWXVMM_TREE_GCVMMPAGEBASE_H_
