// Raw binary images.
#ifndef DWXFILES_GCBINARYFILE_H_
#define DWXFILES_GCBINARYFILE_H_

#include "gcFileFormat.h"

// Type name "Binary file" (also created as "Binaray file"). A load puts the
// file's bytes at consecutive addresses from the load address and fails
// for a file that would run past 0xFFFFFFFF. A save writes every address of
// the range, the fill byte for each hole, and counts those in the result.
class DWXFILES_EXPORT gcBinaryFile : public gcFileFormat {
 public:
  const char* getTypeName() override;
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override;
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override;
};

#endif  // DWXFILES_GCBINARYFILE_H_
