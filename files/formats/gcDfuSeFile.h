// DfuSe files, as STM32 parts take them over USB DFU.
#ifndef DWXFILES_GCDFUSEFILE_H_
#define DWXFILES_GCDFUSEFILE_H_

#include "gcFileFormat.h"

// Type name "DfuSe": the 11-byte prefix, targets of elements (address,
// size, data), and the 16-byte DFU suffix with its CRC. A save writes one
// target (the options' alternate setting and name) with one element for
// each run of written bytes, and the options' vendor, product and device
// IDs. A load checks every field (signature, version, sizes against the
// file and each other, the suffix and its CRC) and fails naming the target
// and element; from a file of several targets it loads only those of the
// options' alternate setting, and fails, listing them, without one. The
// details give the IDs and each target's name.
class DWXFILES_EXPORT gcDfuSeFile : public gcFileFormat {
 public:
  const char* getTypeName() override;
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override;
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override;
};

#endif  // DWXFILES_GCDFUSEFILE_H_
