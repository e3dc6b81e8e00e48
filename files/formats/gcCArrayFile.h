// C arrays: an image to compile into another program. Written only.
#ifndef DWXFILES_GCCARRAYFILE_H_
#define DWXFILES_GCCARRAYFILE_H_

#include "gcFileFormat.h"

// Type name "C array"; write only (loadImage fails). One file that
// compiles as C99 and C++, alone or #included (two of other names in one
// unit too): it includes <stdint.h>, declares the struct dwxvmm_run
// (address, length, data) under an include guard, and defines, with the
// options' array name as NAME, NAME_count (the runs of written bytes),
// NAME_runs[] in address order and, when the image has a start address,
// NAME_start; with external C linkage in C and in C++. The bytes are in
// decimal, 16 a line. Holes are never filled. A name that is no C
// identifier fails the save.
class DWXFILES_EXPORT gcCArrayFile : public gcFileFormat {
 public:
  const char* getTypeName() override;
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override;
  // An empty array name in the options: nameFor(sFileName).
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override;

  // The path's file name without its extension, made into a C identifier:
  // "out/fw-v2.c" gives "fw_v2", "1.c" "image_1".
  static std::string nameFor(const std::string& sPath);
};

#endif  // DWXFILES_GCCARRAYFILE_H_
