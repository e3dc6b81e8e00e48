// Xilinx coefficient files, that initialise block RAM: written only.
#ifndef DWXFILES_GCCOEFILE_H_
#define DWXFILES_GCCOEFILE_H_

#include "gcFileFormat.h"

// Type name "COE"; write only (loadImage fails). "memory_initialization_
// radix=16;" and "memory_initialization_vector=" with every word of the
// memory (see gcMifFile for the words), comma-separated, 16 a line, ';'
// after the last.
class DWXFILES_EXPORT gcCoeFile : public gcFileFormat {
 public:
  const char* getTypeName() override;
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override;
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override;
};

#endif  // DWXFILES_GCCOEFILE_H_
