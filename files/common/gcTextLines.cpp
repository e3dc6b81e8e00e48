#include "gcTextLines.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

typedef std::uint64_t u64;

class FillingHandler : public gcSegmentHandler {
 public:
  FillingHandler(gcSegmentHandler* pInner, u64 iFirst, std::uint8_t iFill)
      : pInner_(pInner), iNext_(iFirst) {
    std::memset(fill_, iFill, sizeof fill_);
  }
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    return fillTo(iFirst) && pInner_->handleSegment(iFirst, iLength, pData) &&
           (iNext_ = u64{iFirst} + iLength, true);
  }
  bool fillTo(u64 iEnd) {
    while (iNext_ < iEnd) {
      const u64 k = std::min<u64>(sizeof fill_, iEnd - iNext_);
      if (!pInner_->handleSegment(static_cast<vmm_int>(iNext_), k, fill_))
        return false;
      iNext_ += k, iFilled_ += k;
    }
    return true;
  }
  u64 filled() const { return iFilled_; }

 private:
  gcSegmentHandler* pInner_;
  u64 iNext_;
  u64 iFilled_ = 0;
  char fill_[4096];
};

}  // namespace

gcItemLines::gcItemLines(gcImageSave& save, const char* pPrefix,
                         char cSeparator, unsigned int iWidth)
    : save_(save),
      pPrefix_(pPrefix),
      iPrefix_(static_cast<unsigned int>(std::strlen(pPrefix))),
      cSeparator_(cSeparator),
      iWidth_(iWidth) {}

void gcItemLines::add(const char* p, unsigned int n) {
  char* pOut = save_.room(iPrefix_ + n + 4);
  if (iColumn_ != 0 && iColumn_ + 1 + n > iWidth_) {
    pOut = save_.lineEnd(pOut);
    iColumn_ = 0;
  }
  if (iColumn_ == 0) {
    std::memcpy(pOut, pPrefix_, iPrefix_);
    pOut += iPrefix_;
    iColumn_ = iPrefix_;
  } else {
    *pOut++ = cSeparator_;
    ++iColumn_;
  }
  std::memcpy(pOut, p, n);
  iColumn_ += n;
  save_.advance(pOut + n);
}

void gcItemLines::endLine() {
  if (iColumn_ == 0) return;
  save_.advance(save_.lineEnd(save_.room(2)));
  iColumn_ = 0;
}

bool forFilledRange(gcVMMBase* pVMM, gcImageSave& save, std::uint8_t iFill,
                    gcSegmentHandler* pHandler, std::uint64_t* pFilled) {
  FillingHandler filling(pHandler, save.getFirst(), iFill);
  const bool bDone =
      forAllSegments(pVMM, &filling, save.getFirst(), save.getLast(),
                     1 << 16) &&
      (save.getFirst() > save.getLast() || filling.fillTo(save.getLast() + 1));
  *pFilled = filling.filled();
  return bDone;
}

bool startToWrite(const gcImageOptions& options, const gcImageInfo* pInfo,
                  std::uint32_t* pStart) {
  if (!options.getWriteStart() || options.getDataOnly() || pInfo == nullptr ||
      !pInfo->hasStartAddress())
    return false;
  *pStart = pInfo->getLinearStartAddress();
  return true;
}

std::string headerToWrite(const gcImageOptions& options,
                          const gcImageInfo* pInfo) {
  if (options.getDataOnly()) return std::string();
  std::string s = pInfo != nullptr ? pInfo->getHeader() : "";
  if (options.hasHeader())
    s = options.getWriteHeader() ? options.getHeader() : "";
  std::replace(s.begin(), s.end(), '\n', ' ');
  std::replace(s.begin(), s.end(), '\r', ' ');
  return s;
}

void putLine(gcImageSave& save, const std::string& s) {
  for (std::size_t i = 0; i < s.size(); i += 4096) {
    const std::size_t n = std::min<std::size_t>(4096, s.size() - i);
    char* p = save.room(n);
    std::memcpy(p, s.data() + i, n);
    save.advance(p + n);
  }
  save.advance(save.lineEnd(save.room(2)));
}

bool checkWholeWords(gcImageSave& save, std::uint64_t iFirst,
                     std::uint64_t iLength, unsigned int iWordBytes,
                     bool bAsRun) {
  const u64 iEnd = iFirst + iLength;
  if (iFirst % iWordBytes == 0 && iEnd % iWordBytes == 0) return true;
  const bool bStarts = iFirst % iWordBytes != 0;
  const auto a = static_cast<unsigned long long>(bStarts ? iFirst : iEnd - 1);
  char reason[96];
  if (bAsRun)
    std::snprintf(reason, sizeof reason,
                  "a run of written bytes %s at 0x%08llX, not on a %u-bit "
                  "word boundary",
                  bStarts ? "starts" : "ends", a, iWordBytes * 8);
  else
    std::snprintf(reason, sizeof reason,
                  "address 0x%08llX does not fill a whole %u-bit word", a,
                  iWordBytes * 8);
  return save.fail(reason);
}

bool checkFits(gcImageSave& save, std::uint64_t iFirst, std::uint64_t iLength,
               std::uint64_t iLimit) {
  if (iFirst + iLength <= iLimit) return true;
  char reason[96];
  std::snprintf(reason, sizeof reason,
                "address 0x%08llX is past the address field (below 0x%08llX)",
                static_cast<unsigned long long>(std::max(iFirst, iLimit)),
                static_cast<unsigned long long>(iLimit));
  return save.fail(reason);
}

bool checkStartFits(gcImageSave& save, std::uint32_t iStart,
                    std::uint64_t iLimit) {
  if (iStart < iLimit) return true;
  char reason[80];
  std::snprintf(reason, sizeof reason,
                "start address 0x%08X does not fit the start field", iStart);
  return save.fail(reason);
}

gcHexField hexField(const char* p, std::size_t n, unsigned int iDigits,
                    std::uint64_t* pValue) {
  if (n == 0) return gcHexField::kNotHex;
  u64 v = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = p[i];
    const int d = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                         : -1;
    if (d < 0) return gcHexField::kNotHex;
    v = v << 4 | static_cast<unsigned int>(d);
  }
  if (n > iDigits) return gcHexField::kTooWide;
  *pValue = v;
  return gcHexField::kValue;
}
