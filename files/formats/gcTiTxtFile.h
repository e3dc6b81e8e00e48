// TI-TXT images, as MSP430 programmers read them.
#ifndef DWXFILES_GCTITXTFILE_H_
#define DWXFILES_GCTITXTFILE_H_

#include "gcFileFormat.h"

// Type name "TI-TXT". Lines "@ADDR" (hex, up to 8 digits) start a block,
// lines of hex bytes separated by blanks follow it at consecutive
// addresses, and "q" ends the file (whatever follows is not read; a file
// without it loads with a warning). Writing: 16 bytes a line, a new block
// at every hole, "@ADDR" with at least four digits; no start address.
class DWXFILES_EXPORT gcTiTxtFile : public gcFileFormat {
 public:
  const char* getTypeName() override;
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override;
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override;
};

#endif  // DWXFILES_GCTITXTFILE_H_
