#include "gcFileFormat.h"

#include "core/gcVMM.h"

gcFileFormat::~gcFileFormat() = default;

bool gcFileFormat::saveFile(std::string sFileName, gcVMM* pVMM,
                            std::uint64_t iFirst, std::uint64_t iLast,
                            std::uint64_t iBlockSize) {
  if (pVMM == nullptr || iFirst > iLast || iLast > 0xFFFFFFFF) return false;
  gcImageOptions options;
  options.setRange(iFirst, iLast);
  if (iBlockSize >= 1 && iBlockSize <= 255)
    options.setRecordLength(static_cast<unsigned int>(iBlockSize));
  return saveImage(sFileName, pVMM, options, nullptr).isOk();
}
