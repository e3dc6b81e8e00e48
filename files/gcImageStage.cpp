#include "gcImageStage.h"

#include <algorithm>
#include <cstring>

#include "../core/gcVMMBase.h"
#include "../page/gcVMMPage.h"

namespace {

typedef std::uint64_t u64;

// Counts the bits of [o, o + n) already set; with bSet, then sets them.
inline u64 bitRange(u64* pWords, u64 o, u64 n, bool bSet) {
  u64 iSet = 0;
  for (const u64 end = o + n; o < end; o += 64 - o % 64) {
    const u64 bits = std::min<u64>(64 - o % 64, end - o);  // 1 to 64
    const u64 mask = ~u64{0} >> (64 - bits) << o % 64;
    u64& word = pWords[o / 64];
    if ((word & mask) != 0) iSet += __builtin_popcountll(word & mask);
    if (bSet) word |= mask;
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
  // A conflict may leave part of the bytes staged: the load fails anyway.
  while (n > 0) {
    const u64 o = iAddr % kPage, k = std::min(n, kPage - o);
    Page& p = page(iAddr - o);
    const u64 bad = bLaterWins ? iAddr + k : findConflict(p, iAddr, pData, k);
    if (bad != iAddr + k) {
      *pConflict = static_cast<std::uint32_t>(bad);
      return false;
    }
    std::memcpy(p.data + o, pData, k);
    iBytes += k - bitRange(p.bits, o, k, true);
    iAddr += k, pData += k, n -= k;
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
