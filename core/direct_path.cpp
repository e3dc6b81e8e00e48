// The direct path of gcVMMBase. It may skip a virtual call only where the
// callee is known to be ours, so that nothing could tell whether the call
// happened; every other call it makes where and as the virtual path makes
// it. The virtual path is the reference: any change there must be mirrored
// here (and the differential fuzz target compares the two).
#include "direct_path.h"

#include <cstring>
#include <memory>
#include <typeinfo>

#include "../tree/gcVMMPageDir.h"
#include "../tree/gcVMMPageHash.h"
#include "../tree/gcVMMPageTable.h"
#include "gcVMM.h"

std::atomic<std::uint64_t> dwxvmm_detail::gTreeEpoch{0};
std::atomic<std::uint64_t> dwxvmm_detail::gHandOvers{0};

std::uint64_t dwxvmm_detail::handOvers() {
  return gHandOvers.load(std::memory_order_relaxed);
}

using dwxvmm_detail::handOver;

namespace {

enum Kind { kOther, kBase, kTable, kDir, kHash, kPage };

// The start of the page of size iPageSize that holds iAddr: a mask for the
// usual power of two, where a division would cost more than a small block's
// whole walk.
std::uint64_t pageStart(std::uint64_t iAddr, std::uint64_t iPageSize) {
  if ((iPageSize & (iPageSize - 1)) == 0) return iAddr & ~(iPageSize - 1);
  return iAddr - iAddr % iPageSize;
}

std::uint64_t pagesBetween(std::uint64_t iFrom, std::uint64_t iTo,
                           std::uint64_t iPageSize) {
  if ((iPageSize & (iPageSize - 1)) == 0)
    return (iTo - iFrom) >> __builtin_ctzll(iPageSize);
  return (iTo - iFrom) / iPageSize;
}

// Which of our classes p is exactly. The identity of the type_info is
// compared, never its name: a type seen twice only costs the direct path.
Kind kindOf(gcVMMPageBase* p) {
  const std::type_info* pType = &typeid(*p);
  if (pType == &typeid(gcVMMPage)) return kPage;
  if (pType == &typeid(gcVMMPageTable)) return kTable;
  if (pType == &typeid(gcVMMPageDir)) return kDir;
  if (pType == &typeid(gcVMMPageHash)) return kHash;
  if (pType == &typeid(gcVMMPageBase)) return kBase;
  return kOther;
}

// Room for the pages of a block: on the stack up to kLocal of them.
class PageRun {
 public:
  // A block of more pages goes the virtual way, which fails where it fails.
  static constexpr std::uint64_t kMost = (std::uint64_t{1} << 20) + 1;

  PageRun(vmm_int iFirst, vmm_int iLast, std::uint64_t iPageSize)
      : iRoom(pagesBetween(pageStart(iFirst, iPageSize),
                           pageStart(iLast, iPageSize), iPageSize) +
              1) {}
  PageRun(const PageRun&) = delete;
  PageRun& operator=(const PageRun&) = delete;

  bool fits() const { return iRoom <= kMost; }
  // REQUIRES: fits(). Throws bad_alloc.
  gcVMMPage** pages() {
    if (iRoom <= kLocal) return aLocal;
    if (!pHeap) pHeap.reset(new gcVMMPage*[iRoom]);
    return pHeap.get();
  }

  vmm_int iCount = 0;

 private:
  static constexpr std::uint64_t kLocal = 32;
  const std::uint64_t iRoom;
  gcVMMPage* aLocal[kLocal];
  std::unique_ptr<gcVMMPage*[]> pHeap;
};

}  // namespace

void gcVMMBase::decideDirectPath() {
  pDirectRoot = nullptr;
  iDirectPageSize = 0;
  bHashedRoot = false;
  pRecentPage = nullptr;
  iRecentRange = dwxvmm_detail::range(0, 1);  // matches no address
  pCheckedDir = nullptr;
  const std::type_info& type = typeid(*this);
  if (type != typeid(gcVMMBase) && type != typeid(gcVMM)) return;
  if (pFirstTranslator == nullptr) return;
  const Kind root = kindOf(pFirstTranslator);
  if (root != kTable && root != kDir && root != kHash) return;
  pDirectRoot = pFirstTranslator;
  // The byte operations' probe takes a table for granted: a hash that has
  // none yet (a host's bare root) is looked up the longer way.
  bHashedRoot = root == kHash &&
                static_cast<gcVMMPageHash*>(pDirectRoot)->pBuckets != nullptr;
  if (bHashedRoot) {
    // Kept while the node was not the root, nobody told it what came and
    // went since.
    auto* pHash = static_cast<gcVMMPageHash*>(pDirectRoot);
    for (std::size_t i = 0;
         pHash->pBuckets != nullptr && i <= pHash->iBucketMask; ++i) {
      gcVMMPageHash::Bucket& b = pHash->pBuckets[i];
      for (unsigned j = 0; j < gcVMMPageHash::kSlots; ++j) {
        b.apMemory[j] =
            b.aChild[j] == 0
                ? nullptr
                : slotMemory(pHash, pHash->pChildren[b.aChild[j] - 1]);
      }
    }
  }
  // getPageSize() without the call, as long as getMaxSize() is ours.
  if (kindOf(pLastTranslator) != kOther)
    iDirectPageSize = pLastTranslator->iMaxSize;
}

// What the node's getPageObject returns, read in place; false where that
// call would do more than read (write its message, ask a child not of ours).
bool gcVMMBase::childOf(gcVMMPageBase* pNode, vmm_int iAddr,
                        gcVMMPageBase** ppChild) {
  *ppChild = nullptr;
  if (kindOf(pNode) == kTable) {
    auto* pTable = static_cast<gcVMMPageTable*>(pNode);
    if (pTable->pPageBaseList == nullptr) return true;
    const vmm_int i = (iAddr & pTable->iAddrMask) >> pTable->iAddrShift;
    if (i >= pTable->iMaxSize) return false;
    *ppChild = pTable->pPageBaseList[i];
    return true;
  }
  if (kindOf(pNode) == kHash) {
    *ppChild = static_cast<gcVMMPageHash*>(pNode)->find(iAddr);
    return true;
  }
  auto* pDir = static_cast<gcVMMPageDir*>(pNode);
  if (pDir->pPageBaseList == nullptr) return true;
  // Its lookup asks each child it passes for its address: only children of
  // ours answer with their field. Checked once until a child is added.
  if (pDir != pCheckedDir || iCheckedEpoch != dwxvmm_detail::treeEpoch()) {
    for (gcVMMPageBase* pChild : *pDir->pPageBaseList)
      if (kindOf(pChild) == kOther) return false;
    pCheckedDir = pDir;
    iCheckedEpoch = dwxvmm_detail::treeEpoch();
  }
  const vmm_int iMask = pDir->iAddrMask;
  const vmm_int iKey = iAddr & iMask;
  // The hint, if any, is in the list: addPageBase sets it to what it adds.
  gcVMMPageBase* pHint = pDir->pLastPageBase;
  if (pHint != nullptr && (pHint->iVAddr & iMask) == iKey)
    return *ppChild = pHint, true;
  for (gcVMMPageBase* pChild : *pDir->pPageBaseList)
    if ((pChild->iVAddr & iMask) == iKey) return *ppChild = pChild, true;
  return true;
}

// mapPage (bMap) or getPage. The walk of the recursive operations, with the
// lookups in tables and directories of ours done in place; where a node is
// not ours, or its lookup would do more than read, its own operation takes
// over. A page of ours reached by lookups alone becomes the recent page, with
// the address bits the lookups used as its key.
gcVMMPage* gcVMMBase::findPage(vmm_int iAddr, bool bMap) {
  gcVMMPageBase* pNode = pDirectRoot;
  gcVMMPageBase* pEnd;  // where the recursive walk ends
  vmm_int iMask = 0;
  bool bLookedUp = true;
  for (;;) {
    gcVMMPageBase* pChild;
    if (!childOf(pNode, iAddr, &pChild)) {
      handOver();
      pEnd = bMap ? pNode->mapPageRecursive(iAddr)
                  : pNode->getPageRecursive(iAddr);
      break;
    }
    iMask |= pNode->iAddrMask;
    if (pChild == nullptr) {
      if (!bMap) return nullptr;
      pChild = pNode->createNewPageBase(iAddr);
      bLookedUp = false;
      if (pChild == nullptr) {
        pEnd = nullptr;
        break;
      }
    }
    const Kind kind = kindOf(pChild);
    if (kind == kPage) {
      auto* pPage = static_cast<gcVMMPage*>(pChild);
      if (bLookedUp) {
        pRecentPage = pPage;
        iRecentRange = dwxvmm_detail::range(iMask, iAddr & iMask);
        iRecentEpoch = dwxvmm_detail::treeEpoch();
      }
      return pPage;
    }
    if (kind != kTable && kind != kDir && kind != kHash) {
      handOver();
      if (pChild->isPage() != nullptr)
        pEnd = pChild;
      else
        pEnd = bMap ? pChild->mapPageRecursive(iAddr)
                    : pChild->getPageRecursive(iAddr);
      break;
    }
    pNode = pChild;
  }
  if (bMap) return dwxvmm_detail::mappedPage(pEnd, iAddr);
  return pEnd == nullptr ? nullptr : pEnd->isPage();
}

// pageInTables for a hashed root: one probe sequence in its slots.
inline gcVMMPage* gcVMMBase::pageInHash(vmm_int iAddr) {
  auto* pHash = static_cast<gcVMMPageHash*>(pDirectRoot);
  unsigned j;
  gcVMMPageHash::Bucket* pBucket = pHash->findSlot(iAddr, &j);
  if (pBucket == nullptr) return nullptr;
  gcVMMPageBase* pChild = pHash->pChildren[pBucket->aChild[j] - 1];
  if (&typeid(*pChild) != &typeid(gcVMMPage)) return nullptr;
  auto* pPage = static_cast<gcVMMPage*>(pChild);
  // A page added with its memory: the slot learns it here.
  if (pBucket->apMemory[j] == nullptr)
    pBucket->apMemory[j] = slotMemory(pHash, pPage);
  pRecentPage = pPage;
  iRecentRange =
      dwxvmm_detail::range(pHash->iAddrMask, iAddr & pHash->iAddrMask);
  iRecentEpoch = dwxvmm_detail::treeEpoch();
  return pRecentPage;
}

// Kept only for a page of ours that tells this VMM when its memory comes
// and goes, whose offset and bitmap the hash's mask gives; else null.
char* gcVMMBase::slotMemory(const gcVMMPageHash* pHash,
                            gcVMMPageBase* pChild) const {
  if (&typeid(*pChild) != &typeid(gcVMMPage)) return nullptr;
  auto* pPage = static_cast<gcVMMPage*>(pChild);
  const bool bKept = pPage->pVMMBase == this &&
                     pPage->iAddrMask == ~pHash->iAddrMask &&
                     pPage->iMaxSize == pPage->iAddrMask + 1;
  return bKept ? pPage->pPageBuffer : nullptr;
}

void gcVMMBase::memoryChanged(gcVMMPage* pPage) {
  if (!bHashedRoot) return;
  auto* pHash = static_cast<gcVMMPageHash*>(pDirectRoot);
  unsigned j;
  gcVMMPageHash::Bucket* pBucket = pHash->findSlot(pPage->iVAddr, &j);
  if (pBucket != nullptr && pHash->pChildren[pBucket->aChild[j] - 1] == pPage)
    pBucket->apMemory[j] = slotMemory(pHash, pPage);
}

// findPage in few instructions for its common case, tables of ours (or a
// hashed root) down to a page of ours: random access lives on how many
// lookups overlap. Null where findPage must decide.
inline gcVMMPage* gcVMMBase::pageInTables(vmm_int iAddr) {
  gcVMMPageBase* pNode = pDirectRoot;
  if (&typeid(*pNode) == &typeid(gcVMMPageHash)) return pageInHash(iAddr);
  vmm_int iMask = 0;
  while (&typeid(*pNode) == &typeid(gcVMMPageTable)) {
    auto* pTable = static_cast<gcVMMPageTable*>(pNode);
    const vmm_int i = (iAddr & pTable->iAddrMask) >> pTable->iAddrShift;
    if (pTable->pPageBaseList == nullptr || i >= pTable->iMaxSize)
      return nullptr;
    iMask |= pTable->iAddrMask;
    pNode = pTable->pPageBaseList[i];
    if (pNode == nullptr) return nullptr;
    if (&typeid(*pNode) == &typeid(gcVMMPage)) {
      pRecentPage = static_cast<gcVMMPage*>(pNode);
      iRecentRange = dwxvmm_detail::range(iMask, iAddr & iMask);
      iRecentEpoch = dwxvmm_detail::treeEpoch();
      return pRecentPage;
    }
  }
  return nullptr;
}

// mapPage (bMap) or getPage on the direct path. Out of line, so that the
// virtual path's mapPage and getPage stay as short as they were.
__attribute__((noinline)) gcVMMPage* gcVMMBase::pageFor(vmm_int iAddr,
                                                        bool bMap) {
  if (isRecent(iAddr)) return pRecentPage;
  gcVMMPage* pPage = pageInTables(iAddr);
  return pPage != nullptr ? pPage : findPage(iAddr, bMap);
}

// The byte operations of gcVMMBase and gcVMMPage in one, for pages of ours.
// Out of line, so that the virtual path in gcVMMBase stays as it was.
__attribute__((noinline)) void gcVMMBase::setByteDirect(vmm_int iAddr,
                                                        char value) {
  gcVMMPage* pPage = isRecent(iAddr) ? pRecentPage : pageInTables(iAddr);
  if (pPage == nullptr) pPage = findPage(iAddr, true);
  if (pPage == nullptr) return;
  if (pPage != pRecentPage && kindOf(pPage) != kPage) {
    handOver();
    return pPage->setByte(iAddr, value);
  }
  if (pPage->pPageBuffer == nullptr) pPage->mapPhysical();
  char* pMemory = pPage->pPageBuffer;
  if (pMemory == nullptr) return;
  const vmm_int iOffset = iAddr & pPage->iAddrMask;
  pMemory[iOffset] = value;
  pMemory[pPage->iMaxSize + (iOffset >> 3)] |=
      static_cast<char>(0x80u >> (iOffset & 7));
}

__attribute__((noinline)) char gcVMMBase::getByteDirect(vmm_int iAddr) {
  gcVMMPage* pPage = isRecent(iAddr) ? pRecentPage : pageInTables(iAddr);
  if (pPage == nullptr) pPage = findPage(iAddr, false);
  if (pPage == nullptr) return 0;
  if (pPage != pRecentPage && kindOf(pPage) != kPage) {
    handOver();
    return pPage->getByte(iAddr);
  }
  if (pPage->pPageBuffer == nullptr) pPage->mapPhysical();
  const char* pMemory = pPage->pPageBuffer;
  return pMemory == nullptr ? 0 : pMemory[iAddr & pPage->iAddrMask];
}

__attribute__((noinline)) bool gcVMMBase::isByteMappedDirect(vmm_int iAddr) {
  gcVMMPage* pPage = isRecent(iAddr) ? pRecentPage : pageInTables(iAddr);
  if (pPage == nullptr) pPage = findPage(iAddr, false);
  if (pPage == nullptr) return false;
  if (pPage != pRecentPage && kindOf(pPage) != kPage) {
    handOver();
    return pPage->isByteMapped(iAddr);
  }
  if (pPage->pPageBuffer == nullptr) pPage->mapPhysical();
  const char* pMemory = pPage->pPageBuffer;
  if (pMemory == nullptr) return false;
  const vmm_int iOffset = iAddr & pPage->iAddrMask;
  const unsigned char bits =
      static_cast<unsigned char>(pMemory[pPage->iMaxSize + (iOffset >> 3)]);
  return (bits & (0x80u >> (iOffset & 7))) != 0;
}

// createAndMapPageList for a block that is not empty, without the list: the
// same pages mapped in the same order, into pPages. False where it would
// return null.
bool gcVMMBase::listPages(vmm_int iFirst, vmm_int iLast, gcVMMPage** pPages,
                          vmm_int* pCount) {
  const std::uint64_t iPageSize = iDirectPageSize;
  vmm_int n = 0;
  for (std::uint64_t iCursor = iFirst;
       iCursor < std::uint64_t{iLast} + iPageSize; iCursor += iPageSize) {
    if (iCursor != iFirst && pageStart(iCursor, iPageSize) > iLast) break;
    gcVMMPage* pPage = pageFor(static_cast<vmm_int>(iCursor), true);
    if (pPage == nullptr) return false;
    const bool bOurs = kindOf(pPage) == kPage;
    if (!(bOurs ? pPage->reaches(iFirst, iLast)
                : pPage->isInPage(iFirst, iLast)))
      break;
    pPages[n++] = pPage;
    if (bOurs ? pPage->reaches(0xFFFFFFFF, 0xFFFFFFFF)
              : pPage->isInPage(0xFFFFFFFF, 0xFFFFFFFF))
      break;
  }
  *pCount = n;
  // A walk that goes on at the next page finds its bucket in the cache:
  // fetched while this block is copied.
  if (bHashedRoot) {
    auto* pHash = static_cast<gcVMMPageHash*>(pDirectRoot);
    if (((iLast + 1) & ~pHash->iAddrMask) == 0) pHash->prefetch(iLast + 1);
  }
  return true;
}

// False, with nothing done, for a block of more pages than a PageRun takes.
// REQUIRES: iSize > 0, and the block inside the address space.
bool gcVMMBase::setBlockDirect(vmm_int iAddr, const char* pBuffer,
                               vmm_int iSize) {
  const vmm_int iLast = iAddr + iSize - 1;
  PageRun run(iAddr, iLast, iDirectPageSize);
  if (!run.fits()) {
    handOver();
    return false;
  }
  gcVMMPage** pPages = run.pages();
  if (!listPages(iAddr, iLast, pPages, &run.iCount)) return true;
  for (vmm_int i = 0; i < run.iCount; ++i) {
    if (kindOf(pPages[i]) == kPage) {
      pPages[i]->putPart(iAddr, pBuffer, iSize);
    } else {
      handOver();
      pPages[i]->putBlockPart(iAddr, const_cast<char*>(pBuffer), iSize);
    }
  }
  return true;
}

// As setBlockDirect. The virtual path zeroes the whole buffer first; here
// only what no page fills is zeroed, also when an exception ends the read.
bool gcVMMBase::getBlockDirect(vmm_int iAddr, char* pBuffer, vmm_int iSize) {
  const vmm_int iLast = iAddr + iSize - 1;
  PageRun run(iAddr, iLast, iDirectPageSize);
  if (!run.fits()) {
    handOver();
    return false;
  }
  gcVMMPage** pPages = nullptr;
  bool bListed = false;
  try {
    pPages = run.pages();
    bListed = listPages(iAddr, iLast, pPages, &run.iCount);
  } catch (...) {
    std::memset(pBuffer, 0, iSize);
    throw;
  }
  const vmm_int n = bListed ? run.iCount : 0;
  bool bOurs = bListed;
  for (vmm_int i = 0; i < n && bOurs; ++i) bOurs = kindOf(pPages[i]) == kPage;
  if (!bOurs) {
    if (bListed) handOver();
    std::memset(pBuffer, 0, iSize);
    for (vmm_int i = 0; i < n; ++i)
      pPages[i]->getBlockPart(iAddr, pBuffer, iSize);
    return true;
  }
  vmm_int iFilled = 0;
  try {
    for (vmm_int i = 0; i < n; ++i)
      iFilled = pPages[i]->getPart(iAddr, pBuffer, iSize, iFilled);
  } catch (...) {
    std::memset(pBuffer + iFilled, 0, iSize - iFilled);
    throw;
  }
  std::memset(pBuffer + iFilled, 0, iSize - iFilled);
  return true;
}
