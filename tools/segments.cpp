#include "segments.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "../core/gcVMMBase.h"
#include "../core/gcVMMPageHandler.h"
#include "../page/gcVMMPage.h"

gcSegmentHandler::~gcSegmentHandler() = default;

namespace {

typedef std::uint64_t u64;

// The pages with memory that reach into [iFirst, iLast], collected so that
// they can be visited in address order: directories keep insertion order.
class PageCollector : public gcVMMPageHandler {
 public:
  static constexpr u64 kAskedPages = 256;
  PageCollector(u64 iFirst, u64 iLast) : iFirst_(iFirst), iLast_(iLast) {}
  bool handlePage(gcVMMPage* pPage) override {
    if (pPage == nullptr || !pPage->isPhysical()) return true;
    const u64 base = pPage->getVAddr() & ~u64{pPage->getAddrMask()};
    if (base <= iLast_ && base + pPage->getMaxSize() > iFirst_)
      pages_.emplace_back(base, pPage);
    return true;
  }
  std::vector<std::pair<u64, gcVMMPage*>> sorted(gcVMMBase* pVMM) {
    const u64 size = pVMM != nullptr ? pVMM->getPageSize() : 0;
    if (size == 0) return {};
    // A short range asks for its own pages, so that a few bytes of a large
    // image cost no walk over all of its pages.
    if ((iLast_ - iFirst_) / size < kAskedPages) {
      for (u64 a = iFirst_ - iFirst_ % size; a <= iLast_; a += size) {
        gcVMMPage* pPage = pVMM->getPage(static_cast<vmm_int>(a));
        if (pages_.empty() || pages_.back().second != pPage) handlePage(pPage);
      }
      return std::move(pages_);
    }
    pVMM->forAllMappedPages(this, false);
    std::sort(pages_.begin(), pages_.end());
    return std::move(pages_);
  }

 private:
  u64 iFirst_, iLast_;
  std::vector<std::pair<u64, gcVMMPage*>> pages_;
};

// Bits of bitmap bytes iByte.. as one word, the bit of the lowest offset on
// top (the bitmap is most significant bit first); bytes past iBytes are 0.
u64 bitWord(const unsigned char* pBits, u64 iBytes, u64 iByte) {
  u64 w = 0;
  if (iByte + 8 <= iBytes) {
    std::memcpy(&w, pBits + iByte, 8);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    w = __builtin_bswap64(w);
#endif
    return w;
  }
  for (u64 i = 0; iByte + i < iBytes; ++i)
    w |= u64{pBits[iByte + i]} << (56 - 8 * i);
  return w;
}

// The first offset in [o, end) whose bit is bSet, or end.
u64 scanBits(const unsigned char* pBits, u64 iBytes, u64 o, u64 end,
             bool bSet) {
  while (o < end) {
    u64 w = bitWord(pBits, iBytes, o / 8);
    w = (bSet ? w : ~w) << (o % 8);  // shifted-in zeros never match
    if (w != 0) return std::min(end, o + __builtin_clzll(w));
    o += 64 - o % 8;
  }
  return end;
}

// Calls f(address, length, data) for every run of written bytes of the page
// inside [iFirst, iLast]; stops when f returns false.
template <typename F>
bool forRunsInPage(u64 base, gcVMMPage* pPage, u64 iFirst, u64 iLast, F f) {
  const u64 size = pPage->getMaxSize();
  const char* pData = pPage->getPageBuffer();
  const auto* pBits = reinterpret_cast<const unsigned char*>(pData + size);
  const u64 end = std::min(size, iLast - base + 1);
  for (u64 o = iFirst > base ? iFirst - base : 0; o < end;) {
    const u64 from = scanBits(pBits, size / 8, o, end, true);
    if (from == end) break;
    o = scanBits(pBits, size / 8, from, end, false);
    if (!f(base + from, o - from, pData + from)) return false;
  }
  return true;
}

// Joins the runs of consecutive pages and hands on the result.
class RunJoiner {
 public:
  RunJoiner(gcSegmentHandler* pHandler, vmm_int iCut)
      : pHandler_(pHandler), iCut_(iCut) {}
  bool add(u64 a, u64 n, const char* p) {
    while (n > 0) {
      const u64 piece = iCut_ == 0 ? n : std::min(n, iCut_ - a % iCut_);
      if (iLength_ != 0 && a == iStart_ + iLength_ &&
          (iCut_ == 0 || a % iCut_ != 0)) {
        if (!bGathered_) {
          // Grown by doubling, the buffer would hold a half and a whole cut.
          if (iCut_ != 0) buffer_.reserve(iCut_);
          buffer_.assign(pDirect_, pDirect_ + iLength_);
        }
        bGathered_ = true;
        buffer_.insert(buffer_.end(), p, p + piece);
        iLength_ += piece;
      } else {
        if (!flush()) return false;
        iStart_ = a, iLength_ = piece, pDirect_ = p, bGathered_ = false;
      }
      a += piece, p += piece, n -= piece;
    }
    return true;
  }
  bool flush() {
    if (iLength_ == 0) return true;
    const char* pData = bGathered_ ? buffer_.data() : pDirect_;
    const u64 n = iLength_;
    iLength_ = 0;
    const bool bGoOn =
        pHandler_->handleSegment(static_cast<vmm_int>(iStart_), n, pData);
    buffer_.clear();
    return bGoOn;
  }

 private:
  gcSegmentHandler* pHandler_;
  u64 iCut_;
  u64 iStart_ = 0, iLength_ = 0;
  const char* pDirect_ = nullptr;
  bool bGathered_ = false;
  std::vector<char> buffer_;
};

}  // namespace

bool forAllSegments(gcVMMBase* pVMM, gcSegmentHandler* pHandler, u64 iFirst,
                    u64 iLast, vmm_int iCut) {
  if (pHandler == nullptr || iFirst > iLast) return true;
  RunJoiner joiner(pHandler, iCut);
  for (auto [base, pPage] : PageCollector(iFirst, iLast).sorted(pVMM)) {
    auto add = [&](u64 a, u64 n, const char* p) { return joiner.add(a, n, p); };
    if (!forRunsInPage(base, pPage, iFirst, iLast, add)) return false;
  }
  return joiner.flush();
}

bool findWrittenBounds(gcVMMBase* pVMM, u64 iFirst, u64 iLast, vmm_int* pLow,
                       vmm_int* pHigh) {
  if (iFirst > iLast) return false;
  const auto pages = PageCollector(iFirst, iLast).sorted(pVMM);
  u64 low = 0, high = 0;
  bool bFound = false;
  for (auto [base, pPage] : pages)  // the first run found gives the low end
    if (!forRunsInPage(base, pPage, iFirst, iLast,
                       [&](u64 a, u64, const char*) {
                         low = a, bFound = true;
                         return false;
                       }))
      break;
  if (!bFound) return false;
  bool bHigh = false;  // the last run of the last page with one
  for (auto it = pages.rbegin(); it != pages.rend() && !bHigh; ++it)
    forRunsInPage(it->first, it->second, iFirst, iLast,
                  [&](u64 a, u64 n, const char*) {
                    high = a + n - 1, bHigh = true;
                    return true;
                  });
  *pLow = static_cast<vmm_int>(low);
  *pHigh = static_cast<vmm_int>(high);
  return true;
}

std::vector<gcRun> collectRuns(gcVMMBase* pVMM, u64 iFirst, u64 iLast) {
  struct Collect : gcSegmentHandler {
    std::vector<gcRun> runs;
    bool handleSegment(vmm_int iAt, u64 iLength, const char*) override {
      // Cut at pages, the walk copies nothing: join the pieces up again.
      if (!runs.empty() && runs.back().iFirst + runs.back().iLength == iAt)
        runs.back().iLength += iLength;
      else
        runs.push_back({iAt, iLength});
      return true;
    }
  } collect;
  if (pVMM == nullptr) return {};
  forAllSegments(pVMM, &collect, iFirst, iLast, pVMM->getPageSize());
  return std::move(collect.runs);
}
