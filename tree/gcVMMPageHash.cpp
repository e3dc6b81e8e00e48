#include "gcVMMPageHash.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "../core/direct_path.h"
#include "../core/gcVMMBase.h"

namespace {

constexpr std::size_t kFirstSlots = 16;

unsigned int log2Of(std::size_t iPowerOfTwo) {
  return static_cast<unsigned int>(__builtin_ctzll(iPowerOfTwo));
}

}  // namespace

gcVMMPageHash::gcVMMPageHash(gcVMMBase* pVMMBase, vmm_int iAddrMask,
                             vmm_int iVAddr)
    : gcVMMPageBase(pVMMBase, iAddrMask, iVAddr),
      pSlots(nullptr),
      iSlotMask(0),
      iChildren(0),
      iHashShift(64) {
  if (pVMMBase != nullptr)
    pVMMBase->notifyDynamicTablePAlloc(sizeof(gcVMMPageHash));
}

gcVMMPageHash::~gcVMMPageHash() {
  gcVMMBase* pOwner = getVMMBase();
  if (pSlots != nullptr) {
    dwxvmm_detail::treeChanged();
    for (std::size_t i = 0; i <= iSlotMask; ++i) delete pSlots[i].pChild;
    delete[] pSlots;
    if (pOwner != nullptr)
      pOwner->notifyDynamicTablePFree(
          static_cast<vmm_int>((iSlotMask + 1) * sizeof(Slot)));
    pSlots = nullptr;
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
  if (pSlots == nullptr) return true;
  std::vector<std::pair<vmm_int, gcVMMPageBase*>> children;
  children.reserve(iChildren);
  for (std::size_t i = 0; i <= iSlotMask; ++i)
    if (pSlots[i].pChild != nullptr)
      children.emplace_back(pSlots[i].iKey, pSlots[i].pChild);
  std::sort(children.begin(), children.end());
  for (const auto& child : children)
    if (!child.second->forAllMappedPagesRecursive(handler)) return false;
  return true;
}

void gcVMMPageHash::addPageBase(gcVMMPageBase* pNew) {
  if (pNew == nullptr) return;
  const vmm_int iKey = pNew->getVAddr() & getAddrMask();
  if (find(iKey) != nullptr) return;
  // Grown before it is three quarters full, so that a probe ends soon and
  // always at a free slot.
  if (pSlots == nullptr)
    rehash(kFirstSlots);
  else if (4 * (iChildren + 1) > 3 * (iSlotMask + 1))
    rehash(2 * (iSlotMask + 1));
  std::size_t i = home(iKey);
  while (pSlots[i].pChild != nullptr) i = (i + 1) & iSlotMask;
  pSlots[i] = Slot{iKey, pNew, nullptr};
  ++iChildren;
}

__attribute__((noinline)) gcVMMPageHash::Slot* gcVMMPageHash::probeOn(
    vmm_int iKey, std::size_t i) const {
  for (i = (i + 1) & iSlotMask;; i = (i + 1) & iSlotMask) {
    Slot* pSlot = &pSlots[i];
    if (pSlot->pChild == nullptr) return nullptr;
    if (pSlot->iKey == iKey) return pSlot;
  }
}

void gcVMMPageHash::rehash(std::size_t iSlots) {
  Slot* pNew = new Slot[iSlots]();
  Slot* pOld = pSlots;
  const std::size_t iOldSlots = pOld == nullptr ? 0 : iSlotMask + 1;
  pSlots = pNew;
  iSlotMask = iSlots - 1;
  iHashShift = 64 - log2Of(iSlots);
  for (std::size_t j = 0; j < iOldSlots; ++j) {
    if (pOld[j].pChild == nullptr) continue;
    std::size_t i = home(pOld[j].iKey);
    while (pNew[i].pChild != nullptr) i = (i + 1) & iSlotMask;
    pNew[i] = pOld[j];
  }
  delete[] pOld;
  if (getVMMBase() != nullptr) {
    getVMMBase()->notifyDynamicTablePAlloc(
        static_cast<vmm_int>(iSlots * sizeof(Slot)));
    if (iOldSlots != 0)
      getVMMBase()->notifyDynamicTablePFree(
          static_cast<vmm_int>(iOldSlots * sizeof(Slot)));
  }
}
