#include "gcVMMPageHash.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "../core/direct_path.h"
#include "../core/gcVMMBase.h"

namespace {

constexpr std::size_t kFirstBuckets = 4;

unsigned int log2Of(std::size_t iPowerOfTwo) {
  return static_cast<unsigned int>(__builtin_ctzll(iPowerOfTwo));
}

// A radix sort by the high half, a byte at a time: the keys come in hash
// order, through which a comparison sort mispredicts its way at N log N.
void sortByKey(std::vector<std::uint64_t>* pItems,
               std::vector<std::uint64_t>* pSpare) {
  const std::size_t n = pItems->size();
  for (unsigned iShift = 32; iShift < 64 && n > 1; iShift += 8) {
    std::size_t aStart[257] = {};
    for (std::uint64_t x : *pItems) ++aStart[((x >> iShift) & 0xFF) + 1];
    if (aStart[(((*pItems)[0] >> iShift) & 0xFF) + 1] == n) continue;
    for (unsigned d = 0; d < 256; ++d) aStart[d + 1] += aStart[d];
    for (std::uint64_t x : *pItems)
      (*pSpare)[aStart[(x >> iShift) & 0xFF]++] = x;
    pItems->swap(*pSpare);
  }
}

// A large table lies in huge pages where the system offers them: a
// scattered lookup then misses the cache for its bucket but seldom the TLB
// too. The table is filled whole, so they hold no more than it does.
constexpr std::size_t kHugePage = std::size_t{1} << 21;

std::align_val_t tableAlignment(std::size_t iBytes) {
  return std::align_val_t{iBytes >= kHugePage ? kHugePage : 64};
}

void* newTable(std::size_t iBytes) {
  void* p = ::operator new(iBytes, tableAlignment(iBytes));
#ifdef MADV_HUGEPAGE
  if (iBytes >= kHugePage)
    madvise(p, iBytes / kHugePage * kHugePage, MADV_HUGEPAGE);  // a hint
#endif
  return p;
}

void deleteTable(void* p, std::size_t iBytes) {
  ::operator delete(p, tableAlignment(iBytes));
}

}  // namespace

std::size_t gcVMMPageHash::tableBytes(std::size_t iBuckets) {
  return iBuckets * (sizeof(Bucket) + kSlots / 4 * 3 * sizeof(gcVMMPageBase*));
}

gcVMMPageHash::gcVMMPageHash(gcVMMBase* pVMMBase, vmm_int iAddrMask,
                             vmm_int iVAddr)
    : gcVMMPageBase(pVMMBase, iAddrMask, iVAddr),
      pBuckets(nullptr),
      pChildren(nullptr),
      iBucketMask(0),
      iChildren(0),
      iProbe(std::uint64_t{iAddrMask} << 32 | 64) {
  if (pVMMBase != nullptr)
    pVMMBase->notifyDynamicTablePAlloc(sizeof(gcVMMPageHash));
}

gcVMMPageHash::~gcVMMPageHash() {
  gcVMMBase* pOwner = getVMMBase();
  if (pBuckets != nullptr) {
    dwxvmm_detail::treeChanged();
    for (std::size_t i = 0; i < iChildren; ++i) delete pChildren[i];
    const std::size_t iBytes = tableBytes(iBucketMask + 1);
    deleteTable(pBuckets, iBytes);
    if (pOwner != nullptr)
      pOwner->notifyDynamicTablePFree(static_cast<vmm_int>(iBytes));
    pBuckets = nullptr;
  }
  if (pOwner != nullptr) pOwner->notifyDynamicTablePFree(sizeof(gcVMMPageHash));
}

gcVMMPageBase* gcVMMPageHash::getPageObject(vmm_int iAddr) {
  return find(iAddr);
}

gcVMMPageBase* gcVMMPageHash::createObject(vmm_int iAddr) {
  return new gcVMMPageHash(getVMMBase(), getAddrMask(), iAddr);
}

bool gcVMMPageHash::forAllMappedPagesRecursive(gcVMMPageHandler* handler) {
  // Each child as its key (high half) and its index in pChildren, which
  // stays valid when the handler adds children.
  std::vector<std::uint64_t> children, spare;
  children.reserve(iChildren);
  spare.resize(iChildren);
  for (std::size_t i = 0; pBuckets != nullptr && i <= iBucketMask; ++i)
    for (unsigned j = 0; j < kSlots && pBuckets[i].aChild[j] != 0; ++j)
      children.push_back(std::uint64_t{pBuckets[i].aKey[j]} << 32 |
                         (pBuckets[i].aChild[j] - 1));
  sortByKey(&children, &spare);
  for (std::uint64_t child : children)
    if (!pChildren[static_cast<std::uint32_t>(child)]
             ->forAllMappedPagesRecursive(handler))
      return false;
  return true;
}

void gcVMMPageHash::addPageBase(gcVMMPageBase* pNew) {
  if (pNew == nullptr) return;
  const vmm_int iKey = pNew->getVAddr() & getAddrMask();
  if (find(iKey) != nullptr) return;
  // Grown before three quarters of the slots are taken, so that a lookup
  // seldom leaves its bucket and always ends at one with a free slot.
  if (pBuckets == nullptr)
    rehash(kFirstBuckets);
  else if (iChildren == room())
    rehash(2 * (iBucketMask + 1));
  pChildren[iChildren++] = pNew;
  place(iKey, static_cast<std::uint32_t>(iChildren), nullptr);
}

void gcVMMPageHash::place(vmm_int iKey, std::uint32_t iChild, char* pMemory) {
  std::size_t i = home(iKey);
  while (pBuckets[i].aChild[kSlots - 1] != 0) i = (i + 1) & iBucketMask;
  Bucket& b = pBuckets[i];
  unsigned j = 0;
  while (b.aChild[j] != 0) ++j;
  b.aKey[j] = iKey;
  b.aChild[j] = iChild;
  b.apMemory[j] = pMemory;
}

gcVMMPageHash::Bucket* gcVMMPageHash::findSlot(vmm_int iAddr,
                                               unsigned* pSlot) const {
  if (pBuckets == nullptr) return nullptr;
  const vmm_int iKey = iAddr & iAddrMask;
  for (std::size_t i = home(iKey);; i = (i + 1) & iBucketMask) {
    Bucket& b = pBuckets[i];
    for (unsigned j = 0; j < kSlots; ++j) {
      if (b.aChild[j] == 0) return nullptr;
      if (b.aKey[j] == iKey) return *pSlot = j, &b;
    }
  }
}

void gcVMMPageHash::rehash(std::size_t iBuckets) {
  const std::size_t iOldBuckets = pBuckets == nullptr ? 0 : iBucketMask + 1;
  auto* pNew = static_cast<Bucket*>(newTable(tableBytes(iBuckets)));
  std::memset(static_cast<void*>(pNew), 0, iBuckets * sizeof(Bucket));
  auto** pNewChildren = reinterpret_cast<gcVMMPageBase**>(pNew + iBuckets);
  if (iChildren != 0)
    std::memcpy(pNewChildren, pChildren, iChildren * sizeof(gcVMMPageBase*));
  Bucket* pOld = pBuckets;
  pBuckets = pNew;
  pChildren = pNewChildren;
  iBucketMask = iBuckets - 1;
  iProbe = std::uint64_t{iAddrMask} << 32 | (64 - log2Of(iBuckets));
  for (std::size_t k = 0; k < iOldBuckets; ++k) {
    for (unsigned j = 0; j < kSlots && pOld[k].aChild[j] != 0; ++j)
      place(pOld[k].aKey[j], pOld[k].aChild[j], pOld[k].apMemory[j]);
  }
  if (pOld != nullptr) deleteTable(pOld, tableBytes(iOldBuckets));
  if (getVMMBase() != nullptr) {
    getVMMBase()->notifyDynamicTablePAlloc(
        static_cast<vmm_int>(tableBytes(iBuckets)));
    if (iOldBuckets != 0)
      getVMMBase()->notifyDynamicTablePFree(
          static_cast<vmm_int>(tableBytes(iOldBuckets)));
  }
}
