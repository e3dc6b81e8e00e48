// The data page: the leaf of the translation tree.
#ifndef DWXVMM_PAGE_GCVMMPAGE_H_
#define DWXVMM_PAGE_GCVMMPAGE_H_

#include "../tree/gcVMMPageBase.h"

// Holds S = getMaxSize() data bytes followed by an S/8-byte bitmap (bit
// 0x80 >> (o % 8) of byte o / 8 for data offset o) in one allocation that is
// made on the first data access, read or write, and filled with
// getUninitializedValue(). Addresses are reduced to their offset with the
// page's mask; the page does not check that an address lies inside it.
// Every call to another page operation is virtual, so a derived page can
// change geometry, fill value, swapping or memory handling one at a time.
// REQUIRES: the mask is S - 1 with S a power of two, S >= 8.
class DWXVMM_EXPORT gcVMMPage : public gcVMMPageBase {
 public:
  // Reports the page object as page memory; allocates no page memory.
  gcVMMPage(gcVMMBase* pVMMBase, vmm_int iAddrMask, vmm_int iVAddr);
  // Reports the object released, then releases the page memory.
  ~gcVMMPage() override;

  gcVMMPage* isPage() override;
  // A new page with this page's owner and mask at iAddr (used unchanged).
  gcVMMPageBase* createObject(vmm_int iAddr) override;
  // Hands this page to handler->handlePage; a null handler gives true.
  bool forAllMappedPagesRecursive(gcVMMPageHandler* handler) override;

  // Data access. Each first unswaps a swapped page and maps a page without
  // memory; if there is still no memory, writes are dropped and reads give
  // getUninitializedValue() / false. Allocation failure throws bad_alloc.
  virtual void setByte(vmm_int iAddr, char value);
  virtual char getByte(vmm_int iAddr);
  virtual bool isByteMapped(vmm_int iAddr);
  // True once every byte of the page was written.
  virtual bool isAllPageDataMapped();
  // The part of the block (first address, whole buffer, whole length) that
  // falls in this page: one copy, bitmap set in whole bytes. A block with no
  // byte here writes "gcVMMPage::putBlockPart(...): Invalid Destination for
  // this Block!" and allocates nothing.
  virtual void putBlockPart(vmm_int iAddr, void* pBuffer, vmm_int iSize);
  // As putBlockPart, copying out; the bitmap is neither read nor changed.
  virtual void getBlockPart(vmm_int iAddr, void* pBuffer, vmm_int iSize);
  virtual bool isPhysical();
  virtual bool isSwapped();
  virtual char getUninitializedValue();
  // Allocates and fills the page memory and reports it; true if physical.
  virtual bool mapPhysical();
  // Releases the page memory (data and bitmap are lost); false if none.
  virtual bool unmapPhysical();
  // Hooks for a derived page kind; both do nothing and return false.
  virtual bool swap();
  virtual bool unswap();
  // Whether the range [iFirst, iLast] reaches into this page. Does not
  // require iFirst <= iLast and touches no memory.
  virtual bool isInPage(vmm_int iFirst, vmm_int iLast);
  // The data bytes, the bitmap right behind them; maps memory first.
  virtual char* getPageBuffer();
  virtual vmm_int getPageBitmapSize();
  virtual vmm_int getPageMemSize();
  // Sets the bitmap bit of iAddr's offset.
  virtual void notifyByteMapped(vmm_int iAddr);

 protected:
  char* pPageBuffer;  // owned; null while the page is not physical
  bool bSwapped;

 private:
  // The direct path of an exact VMM (gcVMMBase.h) calls these on pages that
  // are exactly gcVMMPage: isInPage, putBlockPart and getBlockPart with the
  // page's own fields for its virtual calls. A fresh page that putPart fills
  // whole gets its data copied and its bitmap set, with no fill before.
  // getPart also zeroes the destination from iFilled up to its part and
  // returns how far the destination is now filled.
  friend class gcVMMBase;
  bool reaches(vmm_int iFirst, vmm_int iLast) const;
  void putPart(vmm_int iAddr, const char* pBuffer, vmm_int iSize);
  vmm_int getPart(vmm_int iAddr, char* pBuffer, vmm_int iSize, vmm_int iFilled);

  // The access preamble: true when the page has memory afterwards.
  bool prepareAccess();
  // The part of a block in this page, or false (after pOperationMessage).
  bool blockPart(vmm_int iAddr, vmm_int iSize, const char* pOperationMessage,
                 vmm_int* pSkip, vmm_int* pOffset, vmm_int* pCount);
};

#endif  // DWXVMM_PAGE_GCVMMPAGE_H_
