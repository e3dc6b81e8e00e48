#include "gcWordStream.h"

#include <algorithm>
#include <cstdio>

#include "tools/segments.h"

namespace {

typedef std::uint64_t u64;
constexpr u64 kMaxDepth = u64{1} << 24;

}  // namespace

gcWordStream::gcWordStream(gcImageSave& save, const gcImageOptions& options)
    : save_(save), iFill_(options.hasFillByte() ? options.getFillByte() : 0) {
  const unsigned int iBits = options.getWordBits();
  if (iBits != 8 && iBits != 16 && iBits != 32) {
    save_.fail("word width must be 8, 16 or 32 bits");
    return;
  }
  iBytes_ = iBits / 8;
  if (!save_.isOk()) return;
  if (save_.getFirst() > save_.getLast() ||
      save_.getHighest() < save_.getFirst()) {
    save_.fail("no written byte to make a memory of");
    return;
  }
  iDepth_ = save_.getHighest() / iBytes_ + 1;
  if (iDepth_ > kMaxDepth) {
    char reason[160];
    std::snprintf(reason, sizeof reason,
                  "a memory from address 0 to 0x%08llX is %llu words, over "
                  "16 M: move the image down (@-DELTA)",
                  static_cast<unsigned long long>(save_.getHighest()),
                  static_cast<unsigned long long>(iDepth_));
    save_.fail(reason);
  }
}

u64 gcWordStream::walk(gcVMMBase* pVMM, Sink& sink) {
  struct Bytes : gcSegmentHandler {
    Sink& sink;
    unsigned int iWord;
    std::uint32_t iFillWord = 0, iValue = 0;
    unsigned int iHave = 0;
    u64 iNext = 0, iIndex = 0, iData = 0;
    std::uint8_t iFill;
    Bytes(Sink& s, unsigned int w, std::uint8_t f)
        : sink(s), iWord(w), iFill(f) {
      for (unsigned int i = 0; i < w; ++i) iFillWord = iFillWord << 8 | f;
    }
    void byte(std::uint8_t b) {
      iValue |= std::uint32_t{b} << 8 * iHave;
      if (++iHave < iWord) return;
      sink.word(iIndex++, iValue);
      iValue = 0, iHave = 0;
    }
    void fillTo(u64 iEnd) {
      for (; iNext < iEnd && iHave != 0; ++iNext) byte(iFill);
      for (; iEnd - iNext >= iWord; iNext += iWord)
        sink.word(iIndex++, iFillWord);
      for (; iNext < iEnd; ++iNext) byte(iFill);
    }
    bool handleSegment(vmm_int iFirst, u64 iLength,
                       const char* pData) override {
      fillTo(iFirst);
      for (u64 i = 0; i < iLength; ++i)
        byte(static_cast<std::uint8_t>(pData[i]));
      iNext = iFirst + iLength;
      iData += iLength;
      return true;
    }
  } bytes(sink, iBytes_, iFill_);
  const u64 iEnd = iDepth_ * iBytes_;
  forAllSegments(pVMM, &bytes, save_.getFirst(),
                 std::min<u64>(save_.getLast(), iEnd - 1), 0x10000);
  bytes.fillTo(iEnd);
  return bytes.iData;
}
