// The VMM: a sparse, byte-addressable store over the 32-bit address space.
#ifndef DWXVMM_CORE_GCVMMBASE_H_
#define DWXVMM_CORE_GCVMMBASE_H_

#include <cstdint>
#include <list>

#include "vmm_types.h"

class gcVMMPage;
class gcVMMPageBase;
class gcVMMPageHash;
class gcVMMPageHandler;

// Holds the chain of translators (root first) and the memory counters. Every
// operation is virtual and calls its siblings virtually, so a derived VMM
// changes one behaviour by overriding one operation. The slot order of the
// virtual operations is part of the binary interface: append, never insert.
// Not thread-safe: even reads may allocate page memory.
// Direct path: a VMM that is exactly a gcVMMBase or gcVMM (decided whenever
// its chain changes) walks the nodes and pages that are exactly ours in place
// and keeps its last page; all else stays virtual. No caller can tell.
class DWXVMM_EXPORT gcVMMBase {
 public:
  // An empty VMM: no translators, all counters 0. Prints nothing.
  gcVMMBase();
  gcVMMBase(const gcVMMBase&) = delete;
  gcVMMBase& operator=(const gcVMMBase&) = delete;

  // Deletes the root and with it the whole tree; the nodes report their
  // releases, so the physical counters return to where they started.
  virtual ~gcVMMBase();

  // Appends a translator. The first becomes the root, owned by the VMM; each
  // later one becomes the next translator of the one before it and, through
  // its addPageBase, that node's child. A null translator is ignored. A
  // translator that the previous one does not keep as its child (a page
  // keeps none) is deleted and the chain stays as it was; so it is when the
  // previous one cannot take it (bad_alloc, which then passes on).
  virtual void addAddressTranslator(gcVMMPageBase* pTranslator);

  virtual unsigned int getAddressSpaceBits();
  // 2^bits - 1, computed without overflow.
  virtual vmm_int getAddressSpaceEnd();
  // The size of the last translator (the page size), or 0 without a chain.
  virtual vmm_int getPageSize();

  // The page that holds iAddr, or null. Creates nothing and writes nothing,
  // except the "NO TRANSLATION RULES!" line on a VMM without translators.
  virtual gcVMMPage* getPage(vmm_int iAddr);
  // The page that holds iAddr, created with every missing node above it.
  // Null after a message when the tree cannot produce it (the message ends
  // in the address in hex and leaves the error stream in decimal). Throws
  // bad_alloc.
  virtual gcVMMPage* mapPage(vmm_int iAddr);

  // Maps the page and stores the byte; dropped after mapPage's message.
  virtual void setByte(vmm_int iAddr, char value);
  // 0 where no page exists. A read gives an existing page its memory.
  virtual char getByte(vmm_int iAddr);
  // Whether the byte was ever written.
  virtual bool isByteMapped(vmm_int iAddr);

  // Writes iSize bytes of pBuffer at iAddr: maps every page the block
  // reaches first, then hands each the whole block; nothing is written if
  // one page cannot be mapped. A block that would run past 0xFFFFFFFF is
  // cut at the end of the address space: the rest of pBuffer is not read.
  virtual void setBlock(vmm_int iAddr, void* pBuffer, vmm_int iSize);
  // Reads iSize bytes at iAddr into pBuffer, which is zeroed first. Maps the
  // pages of the range like a write. Past the end of the address space
  // (a wrapping block) the buffer stays zero.
  virtual void getBlock(vmm_int iAddr, void* pBuffer, vmm_int iSize);

  // Hands every existing page to handlePage->handlePage: tables in address
  // order, directories in the order their children were added. Returns true
  // after a complete walk; then calls finish() and, with bDeleteHandler,
  // deletes the handler. On false (walk stopped, or no translators) the
  // handler stays with the caller. A null handler gives true.
  virtual bool forAllMappedPages(gcVMMPageHandler* handlePage,
                                 bool bDeleteHandler);

  // Memory accounting, reported by the nodes. Each physical counter change
  // is followed by notifyPhysicalUsageChanged(). Counters wrap modulo 2^32.
  virtual void notifyStaticTablePAlloc(vmm_int iBytes);
  virtual void notifyStaticTablePFree(vmm_int iBytes);
  virtual void notifyDynamicTablePAlloc(vmm_int iBytes);
  virtual void notifyDynamicTablePFree(vmm_int iBytes);
  virtual void notifyPagePAlloc(vmm_int iBytes);
  virtual void notifyPagePFree(vmm_int iBytes);
  virtual void notifyPageDAlloc(vmm_int iBytes);
  virtual void notifyPageDFree(vmm_int iBytes);
  // Hook for derived VMMs; does nothing here.
  virtual void notifyPhysicalUsageChanged();
  // Static tables + dynamic tables + pages, modulo 2^32.
  virtual vmm_int getUsedPhysicalMemory();

  // The pages from the one holding iStartAddr up to the one holding iEndAddr,
  // ascending, each mapped; for an empty block (iEndAddr == iStartAddr - 1)
  // the page of iStartAddr alone. Maps no page outside the block. Null when a
  // page cannot be mapped (pages mapped before stay). The caller deletes the
  // list, never the pages. The list itself is not counted as memory in use.
  virtual std::list<gcVMMPage*>* createAndMapPageList(vmm_int iStartAddr,
                                                      vmm_int iEndAddr);

  gcVMMPageBase* getFirstAddressTranslator();

 protected:
  // Decides the direct path afresh from the dynamic types of this VMM and of
  // its chain, and forgets the recent page. Every change of the chain calls it.
  void decideDirectPath();

  gcVMMPageBase* pFirstTranslator;  // owned
  gcVMMPageBase* pLastTranslator;   // owned by the node before it
  vmm_int iStaticTablePMem;
  vmm_int iDynamicTablePMem;
  vmm_int iPagePMem;
  vmm_int iPageDMem;
  // The direct path (direct_path.cpp). Null root: every call is virtual.
  gcVMMPageBase* pDirectRoot;   // the root, a table, directory or hash of ours
  vmm_int iDirectPageSize;      // the page size for blocks; 0: blocks virtual
  bool bHashedRoot;             // the root is a gcVMMPageHash with a table
                                // (in padding)
  gcVMMPage* pRecentPage;       // a page of ours, reached by every address
  std::uint64_t iRecentRange;   // with (address & mask) == key (the mask in
                                // the low half: one load), as long as no node
  std::uint64_t iRecentEpoch;   // has let a child go or added one to a
                                // directory since
  gcVMMPageBase* pCheckedDir;   // a directory whose children are all ours,
  std::uint64_t iCheckedEpoch;  // as long as the tree's epoch is this one

 private:
  gcVMMPage* findPage(vmm_int iAddr, bool bMap);
  gcVMMPage* pageFor(vmm_int iAddr, bool bMap);
  gcVMMPage* pageInTables(vmm_int iAddr);
  gcVMMPage* pageInHash(vmm_int iAddr);
  char* hashedMemory(vmm_int iAddr, vmm_int* pOffset, vmm_int* pMask,
                     bool bWriter);
  // Called by a page of this VMM when its memory came and before it goes:
  // the hashed root's slot keeps the memory while the page has it.
  friend class gcVMMPage;
  void memoryChanged(gcVMMPage* pPage);
  char* slotMemory(const gcVMMPageHash* pHash, gcVMMPageBase* pChild) const;
  bool childOf(gcVMMPageBase* pNode, vmm_int iAddr, gcVMMPageBase** ppChild);
  bool isRecent(vmm_int iAddr) const;
  char* recentMemory(vmm_int iAddr) const;
  void setByteVirtually(vmm_int iAddr, char value);
  char getByteVirtually(vmm_int iAddr);
  bool isByteMappedVirtually(vmm_int iAddr);
  void setByteDirect(vmm_int iAddr, char value);
  char getByteDirect(vmm_int iAddr);
  bool isByteMappedDirect(vmm_int iAddr);
  bool listPages(vmm_int iFirst, vmm_int iLast, gcVMMPage** pPages,
                 vmm_int* pCount);
  bool setBlockDirect(vmm_int iAddr, const char* pBuffer, vmm_int iSize);
  bool getBlockDirect(vmm_int iAddr, char* pBuffer, vmm_int iSize);
};

#endif  // DWXVMM_CORE_GCVMMBASE_H_
