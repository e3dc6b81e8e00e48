#include "gcImageChunks.h"

#include <algorithm>

#include "gcImage.h"

namespace {
typedef std::uint64_t u64;
constexpr u64 kEnd = u64{1} << 32;
// A window takes a sixteenth of the written bytes, so that the walk reads
// the pages some sixteen times whatever the chunks; 1 MiB to 64 MiB.
constexpr u64 kWindowMin = u64{1} << 20, kWindowMax = u64{1} << 26;
}  // namespace

std::string gcChunks::check(u64 iSize, u64 iAlign) {
  if (iSize == 0 || (iSize & (iSize - 1)) != 0 || iSize > kEnd)
    return "size " + std::to_string(iSize) +
           " is not a power of two from 1 to 0x100000000";
  if (iAlign == 0 || iAlign % iSize != 0 || iAlign > kEnd)
    return "align " + std::to_string(iAlign) + " is not a multiple of size " +
           std::to_string(iSize) + " up to 0x100000000";
  return "";
}

gcChunks::gcChunks(const gcImage& image, u64 iSize, u64 iAlign, int iFill)
    : image_(image),
      runs_(image.getRuns()),
      iSize_(iSize),
      iAlign_(iAlign),
      iFill_(iFill) {
  u64 iBytes = 0;
  for (const gcRun& run : runs_) iBytes += run.iLength;
  const u64 iWindow = std::clamp(iBytes / 16, kWindowMin, kWindowMax);
  iWindowSize_ = std::max(iSize_, iWindow - iWindow % iSize_);
}

bool gcChunks::next(u64* pFirst, u64* pLength, const char** ppData) {
  if (!place(pFirst, pLength)) return false;
  // Chunks never straddle a window: both are cut at multiples of iSize_.
  if (window_.empty() || *pFirst < iWindow_ ||
      *pFirst + *pLength > iWindow_ + window_.size()) {
    iWindow_ = *pFirst - *pFirst % iSize_;
    window_.resize(std::min(iWindowSize_, kEnd - iWindow_));
    u64 iHole = 0;
    // Without a fill, chunks lie on written bytes: the holes' 0 is unseen.
    image_.read(iWindow_, window_.size(), &window_[0], std::max(iFill_, 0),
                &iHole);
  }
  *ppData = window_.data() + (*pFirst - iWindow_);
  return true;
}

bool gcChunks::place(u64* pFirst, u64* pLength) {
  if (iNext_ >= iBlockEnd_) {
    while (iRun_ < runs_.size() &&
           runs_[iRun_].iFirst + runs_[iRun_].iLength <= iNext_)
      ++iRun_;
    if (iRun_ == runs_.size()) return false;
    const u64 iWritten = std::max<u64>(iNext_, runs_[iRun_].iFirst);
    if (iFill_ < 0) {
      const u64 iStop = std::min(runs_[iRun_].iFirst + runs_[iRun_].iLength,
                                 (iWritten / iSize_ + 1) * iSize_);
      *pFirst = iWritten;
      *pLength = iStop - iWritten;
      iNext_ = iStop;
      return true;
    }
    // Blocks end at multiples of iAlign_, so the new one begins at or after
    // the last one's end.
    iNext_ = iWritten - iWritten % iAlign_;
    iBlockEnd_ = std::min(iNext_ + iAlign_, kEnd);
  }
  *pFirst = iNext_;
  *pLength = iSize_;
  iNext_ += iSize_;
  return true;
}
