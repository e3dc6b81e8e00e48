#include "gcBinaryFile.h"

#include <algorithm>
#include <cstring>

#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "tools/segments.h"

namespace {

typedef std::uint64_t u64;
constexpr u64 kChunk = 1 << 15;

// Writes the runs of the range, and the fill byte for every hole.
class BinaryWriter : public gcSegmentHandler {
 public:
  BinaryWriter(gcImageSave& save, u64 iFirst, std::uint8_t iFill)
      : save_(save), iNext_(iFirst), iFill_(iFill) {}
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    fillTo(iFirst);
    for (u64 i = 0; i < iLength; i += kChunk) {
      const u64 k = std::min(kChunk, iLength - i);
      char* p = save_.room(k);
      std::memcpy(p, pData + i, k);
      save_.advance(p + k);
    }
    iNext_ = u64{iFirst} + iLength;
    iBytes_ += iLength;
    return save_.isOk();
  }
  void fillTo(u64 iEnd) {
    for (; iNext_ < iEnd && save_.isOk();) {
      const u64 k = std::min(kChunk, iEnd - iNext_);
      char* p = save_.room(k);
      std::memset(p, iFill_, k);
      save_.advance(p + k);
      iNext_ += k, iFilled_ += k;
    }
  }
  u64 bytes() const { return iBytes_; }
  u64 filled() const { return iFilled_; }

 private:
  gcImageSave& save_;
  u64 iNext_;
  std::uint8_t iFill_;
  u64 iBytes_ = 0;
  u64 iFilled_ = 0;
};

}  // namespace

const char* gcBinaryFile::getTypeName() { return "Binary file"; }

gcFileResult gcBinaryFile::loadImage(const std::string& sFileName,
                                     gcVMMBase* pVMM,
                                     const gcImageOptions& options,
                                     gcImageInfo* pInfo) {
  gcImageLoad load(sFileName, pVMM, options);
  u64 iAddr = options.getLoadAddress();
  const char* pData = nullptr;
  for (std::size_t n; load.isOpen() && (n = load.nextBlock(&pData)) > 0;
       iAddr += n) {
    if (iAddr + n > u64{1} << 32) {
      load.fail("file runs past address 0xFFFFFFFF", false);
      break;
    }
    if (!load.put(iAddr, reinterpret_cast<const unsigned char*>(pData), n))
      break;
  }
  return load.finish(gcImageInfo(), pInfo);
}

gcFileResult gcBinaryFile::saveImage(const std::string& sFileName,
                                     gcVMMBase* pVMM,
                                     const gcImageOptions& options,
                                     const gcImageInfo*) {
  gcImageSave save(sFileName, pVMM, options);
  if (!save.open()) return save.finish(0, 0);
  BinaryWriter writer(save, save.getFirst(), options.getFillByte());
  forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 1 << 16);
  if (save.getFirst() <= save.getLast()) writer.fillTo(save.getLast() + 1);
  return save.finish(writer.bytes(), writer.filled());
}
