#include "gcBinaryFile.h"

#include "gcBinaryRecords.h"

namespace {

typedef std::uint64_t u64;

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
  gcFillWriter writer(save, options.getFillByte());
  writer.writeRange(pVMM);
  return save.finish(writer.bytes(), writer.filled());
}
