#include "gcImageChunks.h"

#include <algorithm>
#include <utility>

namespace {
typedef std::uint64_t u64;
constexpr u64 kEnd = u64{1} << 32;
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

gcChunks::gcChunks(std::vector<gcRun> runs, u64 iSize, u64 iAlign, bool bWhole)
    : runs_(std::move(runs)), iSize_(iSize), iAlign_(iAlign), bWhole_(bWhole) {}

bool gcChunks::next(u64* pFirst, u64* pLength) {
  if (iNext_ >= iBlockEnd_) {
    while (iRun_ < runs_.size() &&
           runs_[iRun_].iFirst + runs_[iRun_].iLength <= iNext_)
      ++iRun_;
    if (iRun_ == runs_.size()) return false;
    const u64 iWritten = std::max<u64>(iNext_, runs_[iRun_].iFirst);
    if (!bWhole_) {
      const u64 iStop = std::min(runs_[iRun_].iFirst + runs_[iRun_].iLength,
                                 (iWritten / iSize_ + 1) * iSize_);
      *pFirst = iWritten;
      *pLength = iStop - iWritten;
      iNext_ = iStop;
      return true;
    }
    // Blocks end at multiples of iAlign, so the new one begins at or after
    // the last one's end.
    iNext_ = iWritten - iWritten % iAlign_;
    iBlockEnd_ = std::min(iNext_ + iAlign_, kEnd);
  }
  *pFirst = iNext_;
  *pLength = iSize_;
  iNext_ += iSize_;
  return true;
}
