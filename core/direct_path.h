// Internal: what the direct path of gcVMMBase shares with the nodes.
#ifndef DWXVMM_CORE_DIRECT_PATH_H_
#define DWXVMM_CORE_DIRECT_PATH_H_

#include <atomic>
#include <cstdint>
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

}  // namespace dwxvmm_detail

inline bool gcVMMBase::isRecent(vmm_int iAddr) const {
  return (iAddr & iRecentMask) == iRecentKey &&
         iRecentEpoch == dwxvmm_detail::treeEpoch();
}

// The memory of the recent page when it holds iAddr and has memory, else
// null: the byte operations' common case, inline in them.
inline char* gcVMMBase::recentMemory(vmm_int iAddr) const {
  return isRecent(iAddr) ? pRecentPage->pPageBuffer : nullptr;
}

// The memory of the page that an exact hashed root holds for iAddr, as its
// slot keeps it, the page made the recent one; null where the direct path
// must decide. Inline in the byte operations: a scattered access is a probe
// and the byte, with no load of the page object.
inline char* gcVMMBase::hashedMemory(vmm_int iAddr) {
  if (&typeid(*pDirectRoot) != &typeid(gcVMMPageHash)) return nullptr;
  auto* pHash = static_cast<gcVMMPageHash*>(pDirectRoot);
  const gcVMMPageHash::Slot* pSlot = pHash->findSlot(iAddr);
  if (pSlot == nullptr || pSlot->pMemory == nullptr) return nullptr;
  pRecentPage = static_cast<gcVMMPage*>(pSlot->pChild);
  iRecentMask = pHash->iAddrMask;
  iRecentKey = iAddr & iRecentMask;
  iRecentEpoch = dwxvmm_detail::treeEpoch();
  return pSlot->pMemory;
}

#endif  // DWXVMM_CORE_DIRECT_PATH_H_
