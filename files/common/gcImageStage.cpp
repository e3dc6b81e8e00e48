#include "gcImageStage.h"

#include <algorithm>
#include <cstring>

#include "core/gcVMMBase.h"
#include "page/gcVMMPage.h"

namespace {

typedef std::uint64_t u64;

// The first offset from o whose bit is bSet, or iEnd.
u64 nextBit(const u64* pWords, u64 o, u64 iEnd, bool bSet) {
  while (o < iEnd) {
    const u64 w = (bSet ? pWords[o / 64] : ~pWords[o / 64]) >> o % 64;
    if (w != 0) return std::min(iEnd, o + __builtin_ctzll(w));
    o += 64 - o % 64;
  }
  return iEnd;
}

// A record's bytes, a few dozen: a plain memcpy of a size bounded by the
// page is inlined as rep movsq, which takes longer to start than this.
void copyBytes(unsigned char* pTo, const unsigned char* pFrom, u64 n) {
  if (n < 16) {
    for (u64 i = 0; i < n; ++i) pTo[i] = pFrom[i];
    return;
  }
  for (u64 i = 0; i + 16 < n; i += 16) std::memcpy(pTo + i, pFrom + i, 16);
  std::memcpy(pTo + n - 16, pFrom + n - 16, 16);
}

}  // namespace

gcImageStage::gcImageStage(gcVMMBase* pTarget, bool bWins, u64 iMaxMemory)
    : pVMM(pTarget),
      bLaterWins(bWins),
      iLastBase(~u64{0}),
      pLastPage(nullptr),
      iTargetBase(~u64{0}),
      iTargetSize(pTarget->getPageSize()),
      pTargetData(nullptr),
      iBytes(0),
      iPagesAllowed(~u64{0}),
      bOverLimit(false) {
  // A staged page costs what the VMM counts for a page of its size. Without
  // a limit the VMM is not asked (its calls are a host's to observe).
  if (iMaxMemory == 0) return;
  const u64 iUsed = pTarget->getUsedPhysicalMemory();
  iPagesAllowed =
      iMaxMemory > iUsed ? (iMaxMemory - iUsed) / (kPage + kPage / 8) : 0;
}

gcImageStage::Page* gcImageStage::page(u64 iBase) {
  if (iBase == iLastBase) return pLastPage;
  auto it = pages.find(iBase);
  if (it == pages.end()) {
    if (pages.size() >= iPagesAllowed) {
      bOverLimit = true;
      return nullptr;
    }
    std::unique_ptr<Page> p(new Page);
    std::memset(p->bits, 0, sizeof p->bits);  // nothing staged yet
    it = pages.emplace(iBase, std::move(p)).first;
  }
  iLastBase = iBase;
  pLastPage = it->second.get();
  return pLastPage;
}

bool gcImageStage::isOverLimit() const { return bOverLimit; }

bool gcImageStage::put(u64 iAddr, const unsigned char* pData, u64 n,
                       std::uint32_t* pConflict) {
  // A conflict may leave part of the bytes staged: the load fails anyway.
  while (n > 0) {
    const u64 o = iAddr % kPage, k = std::min(n, kPage - o);
    Page* pPage = page(iAddr - o);
    if (pPage == nullptr) return false;
    Page& p = *pPage;
    // One pass over the bitmap words: compare the bytes staged before (the
    // data is not yet overwritten), then mark the new ones.
    for (u64 b = o; b < o + k; b += 64 - b % 64) {
      const u64 bits = std::min(64 - b % 64, o + k - b);  // 1 to 64
      const u64 mask = ~u64{0} >> (64 - bits) << b % 64;
      u64& word = p.bits[b / 64];
      for (u64 old = word & mask; old != 0; old &= old - 1) {
        const u64 t = b - b % 64 + __builtin_ctzll(old);
        if (!bLaterWins && p.data[t] != pData[t - o]) {
          *pConflict = static_cast<std::uint32_t>(iAddr - o + t);
          return false;
        }
        --iBytes;  // staged before: not a new byte
      }
      word |= mask;
    }
    const u64 bad = bLaterWins ? iAddr + k : findConflict(iAddr, pData, k);
    if (bad != iAddr + k) {
      *pConflict = static_cast<std::uint32_t>(bad);
      return false;
    }
    copyBytes(p.data + o, pData, k);
    iBytes += k;
    iAddr += k, pData += k, n -= k;
  }
  return true;
}

u64 gcImageStage::findConflict(u64 iAddr, const unsigned char* pData, u64 n) {
  for (u64 a = iAddr; a < iAddr + n;) {  // a page of the VMM at a time
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
