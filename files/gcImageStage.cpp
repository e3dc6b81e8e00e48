#include "gcImageStage.h"

#include <algorithm>
#include <cstring>

#include "../core/gcVMMBase.h"
#include "../page/gcVMMPage.h"

namespace {

typedef std::uint64_t u64;

// Counts the bits of [o, o + n) already set; with bSet, then sets them.
u64 bitRange(u64* pWords, u64 o, u64 n, bool bSet) {
  u64 iSet = 0;
  while (n > 0) {
    const u64 k = std::min<u64>(n, 64 - o % 64);
    const u64 mask = (k == 64 ? ~u64{0} : (u64{1} << k) - 1) << o % 64;
    if ((pWords[o / 64] & mask) != 0)
      iSet += __builtin_popcountll(pWords[o / 64] & mask);
    if (bSet) pWords[o / 64] |= mask;
    o += k, n -= k;
  }
  return iSet;
}

// The first offset from o whose bit is bSet, or iEnd.
u64 nextBit(const u64* pWords, u64 o, u64 iEnd, bool bSet) {
  while (o < iEnd) {
    const u64 w = (bSet ? pWords[o / 64] : ~pWords[o / 64]) >> o % 64;
    if (w != 0) return std::min(iEnd, o + __builtin_ctzll(w));
    o += 64 - o % 64;
  }
  return iEnd;
}

}  // namespace

gcImageStage::gcImageStage(gcVMMBase* pTarget, bool bWins)
    : pVMM(pTarget),
      bLaterWins(bWins),
      iLastBase(~u64{0}),
      pLastPage(nullptr),
      iTargetBase(~u64{0}),
      iTargetSize(pTarget->getPageSize()),
      pTargetData(nullptr),
      iBytes(0) {}

gcImageStage::Page& gcImageStage::page(u64 iBase) {
  if (iBase == iLastBase) return *pLastPage;
  std::unique_ptr<Page>& p = pages[iBase];
  if (!p) {
    p.reset(new Page);
    std::memset(p->bits, 0, sizeof p->bits);  // nothing staged yet
  }
  iLastBase = iBase;
  pLastPage = p.get();
  return *p;
}

bool gcImageStage::put(u64 iAddr, const unsigned char* pData, u64 n,
                       std::uint32_t* pConflict) {
  // Checked whole before anything is staged, so that a conflict stages
  // nothing of the record.
  for (u64 a = iAddr; !bLaterWins && a < iAddr + n;) {
    const u64 k = std::min(iAddr + n - a, kPage - a % kPage);
    const u64 bad =
        findConflict(page(a - a % kPage), a, pData + (a - iAddr), k);
    if (bad != a + k) {
      *pConflict = static_cast<std::uint32_t>(bad);
      return false;
    }
    a += k;
  }
  for (u64 a = iAddr; a < iAddr + n;) {
    const u64 k = std::min(iAddr + n - a, kPage - a % kPage);
    Page& p = page(a - a % kPage);
    std::memcpy(p.data + a % kPage, pData + (a - iAddr), k);
    iBytes += k - bitRange(p.bits, a % kPage, k, true);
    a += k;
  }
  return true;
}

u64 gcImageStage::findConflict(Page& p, u64 iAddr, const unsigned char* pData,
                               u64 n) {
  const u64 o = iAddr % kPage;
  if (bitRange(p.bits, o, n, false) != 0)
    for (u64 i = 0; i < n; ++i)
      if ((p.bits[(o + i) / 64] >> (o + i) % 64 & 1) != 0 &&
          p.data[o + i] != pData[i])
        return iAddr + i;
  for (u64 a = iAddr; a < iAddr + n;) {  // the VMM, a page of its own at a time
    u64 base = 0, size = 0;
    const unsigned char* pPage = targetPage(a, &base, &size);
    const u64 end = std::min(iAddr + n, base + size);
    for (; pPage != nullptr && a < end; ++a) {
      const u64 t = a - base;
      if ((pPage[size + t / 8] & (0x80 >> t % 8)) != 0 &&
          pPage[t] != pData[a - iAddr])
        return a;
    }
    a = end;
  }
  return iAddr + n;
}

// The data of the VMM's page that holds iAddr, or null when that page has
// no memory (so nothing written); never creates a page or gives it memory.
const unsigned char* gcImageStage::targetPage(u64 iAddr, u64* pBase,
                                              u64* pSize) {
  *pBase = iAddr & ~(iTargetSize - 1);
  *pSize = iTargetSize;
  if (*pBase != iTargetBase) {
    gcVMMPage* pPage = pVMM->getPage(static_cast<vmm_int>(iAddr));
    pTargetData =
        pPage != nullptr && pPage->isPhysical()
            ? reinterpret_cast<const unsigned char*>(pPage->getPageBuffer())
            : nullptr;
    iTargetBase = *pBase;
  }
  return pTargetData;
}

u64 gcImageStage::getBytes() const { return iBytes; }

void gcImageStage::commit() {
  iLastBase = ~u64{0};
  for (auto it = pages.begin(); it != pages.end(); it = pages.erase(it)) {
    Page& p = *it->second;
    for (u64 o = 0; (o = nextBit(p.bits, o, kPage, true)) < kPage;) {
      const u64 end = nextBit(p.bits, o, kPage, false);
      pVMM->setBlock(static_cast<vmm_int>(it->first + o), p.data + o,
                     static_cast<vmm_int>(end - o));
      o = end;
    }
  }
}
