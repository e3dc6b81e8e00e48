// Internal: what the direct path of gcVMMBase shares with the nodes.
#ifndef DWXVMM_CORE_DIRECT_PATH_H_
#define DWXVMM_CORE_DIRECT_PATH_H_

#include <atomic>
#include <cstdint>
#include <cstring>
#include <typeinfo>

#include "../page/gcVMMPage.h"
#include "../tree/gcVMMPageHash.h"
#include "gcVMMBase.h"

namespace dwxvmm_detail {

// Moves whenever a node lets its children go or a directory adds a child:
// the only changes after which an address may reach another page than
// before. One counter for every VMM, so that a node need not know whose
// tree it hangs in.
extern std::atomic<std::uint64_t> gTreeEpoch;

inline std::uint64_t treeEpoch() {
  return gTreeEpoch.load(std::memory_order_relaxed);
}

inline void treeChanged() {
  gTreeEpoch.fetch_add(1, std::memory_order_relaxed);
}

// How often the direct path handed a call on to a virtual operation: for a
// node or page not of ours, or a block of too many pages. Exported for the
// tests only, which see with it that the direct path is taken where it can.
DWXVMM_EXPORT std::uint64_t handOvers();
extern std::atomic<std::uint64_t> gHandOvers;
// A load and a store, not a locked add: the count is for tests, which run
// one thread, and must cost a host's fallback calls next to nothing.
inline void handOver() {
  gHandOvers.store(gHandOvers.load(std::memory_order_relaxed) + 1,
                   std::memory_order_relaxed);
}

// The end of mapPage: the page the mapping walk ended at, or null after the
// message for a walk that ended at nothing or at a node that is no page.
gcVMMPage* mappedPage(gcVMMPageBase* pEnd, vmm_int iAddr);

// The addresses with (address & iMask) == iKey, as the recent page's range.
inline std::uint64_t range(vmm_int iMask, vmm_int iKey) {
  return iMask | std::uint64_t{iKey} << 32;
}
// The halves of a word that holds a mask (low) and a key (high), each
// loaded on its own: an operand of the instruction that uses it, where the
// whole word would cost a register and a shift.
inline vmm_int lowHalf(const std::uint64_t* pWord) {
  vmm_int i;
  std::memcpy(&i, pWord, sizeof i);
  return i;
}
inline vmm_int highHalf(const std::uint64_t* pWord) {
  vmm_int i;
  std::memcpy(&i, reinterpret_cast<const char*>(pWord) + 4, sizeof i);
  return i;
}
inline bool inRange(const std::uint64_t* pRange, vmm_int iAddr) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  return (iAddr & lowHalf(pRange)) == highHalf(pRange);
#else
  return (iAddr & static_cast<vmm_int>(*pRange)) == *pRange >> 32;
#endif
}

}  // namespace dwxvmm_detail

inline bool gcVMMBase::isRecent(vmm_int iAddr) const {
  return dwxvmm_detail::inRange(&iRecentRange, iAddr) &&
         iRecentEpoch == dwxvmm_detail::treeEpoch();
}

// The memory of the recent page when it holds iAddr and has memory, else
// null: the byte operations' common case, inline in them.
inline char* gcVMMBase::recentMemory(vmm_int iAddr) const {
  return isRecent(iAddr) ? pRecentPage->pPageBuffer : nullptr;
}

// The memory of the page that an exact hashed root holds for iAddr, as its
// slot keeps it, and in *pOffset iAddr's offset in it (*pMask: the root's
// mask); null where the direct path must decide. Inline in the byte
// operations: a scattered access is a probe and the byte, with no load of
// the page object, in few loads and instructions, which bound how many
// scattered accesses the processor has in flight.
//
// The page becomes the recent one, which serves a run in fewer instructions
// than the probe, where a run shows: for a reader at the page's first byte
// (a test, no store, for each scattered read), for a writer when met twice
// in a row (its stores cost a writer little).
inline char* gcVMMBase::hashedMemory(vmm_int iAddr, vmm_int* pOffset,
                                     vmm_int* pMask, bool bWriter) {
  if (!bHashedRoot) return nullptr;
  auto* pHash = static_cast<gcVMMPageHash*>(pDirectRoot);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  const vmm_int iMask = dwxvmm_detail::highHalf(&pHash->iProbe);
  // The shift takes the count's low six bits: the low half as it is.
  const std::uint64_t iShift = dwxvmm_detail::lowHalf(&pHash->iProbe);
#else
  const vmm_int iMask = gcVMMPageHash::probeMask(pHash->iProbe);
  const std::uint64_t iShift = pHash->iProbe;
#endif
  const vmm_int iKey = iAddr & iMask;
  const gcVMMPageHash::Bucket* pBucket =
      &pHash->pBuckets[gcVMMPageHash::home(iKey, iShift)];
  unsigned iMatches = gcVMMPageHash::keyMatches(*pBucket, iKey);
  // A key that overflowed its full home bucket is found here too (the
  // direct path would load the page object for it), without a call: a
  // call would cost every access a stack frame.
  while (iMatches == 0) {
    if (pBucket->aChild[gcVMMPageHash::kSlots - 1] == 0) return nullptr;
    pBucket = pHash->nextBucket(pBucket);
    iMatches = gcVMMPageHash::keyMatches(*pBucket, iKey);
  }
  const gcVMMPageHash::Bucket& b = *pBucket;
  // The first match is the key's slot if the bucket has it: slots fill from
  // the front. A free slot has no memory.
  const unsigned j = static_cast<unsigned>(__builtin_ctz(iMatches));
  char* pMemory = b.apMemory[j];
  if (pMemory == nullptr) return nullptr;
  *pMask = iMask;
  *pOffset = iAddr - iKey;
  const std::uint64_t iRange = dwxvmm_detail::range(iMask, iKey);
  if (bWriter ? iRecentRange != iRange : *pOffset != 0) {
    // A writer's first meeting: remembered, not yet recent.
    if (bWriter) iRecentRange = iRange, iRecentEpoch = ~std::uint64_t{0};
    return pMemory;
  }
  pRecentPage = static_cast<gcVMMPage*>(pHash->pChildren[b.aChild[j] - 1]);
  iRecentRange = iRange;
  iRecentEpoch = dwxvmm_detail::treeEpoch();
  return pMemory;
}

#endif  // DWXVMM_CORE_DIRECT_PATH_H_
