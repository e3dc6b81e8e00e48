// Verilog memory files, as $readmemh reads them: written only.
#ifndef DWXFILES_GCVERILOGMEMFILE_H_
#define DWXFILES_GCVERILOGMEMFILE_H_

#include "gcFileFormat.h"

// Type name "Verilog memory"; write only (loadImage fails). Each run of
// written bytes is a block: "@ADDR" (the word address, hex, 8 digits), then
// words of the options' word bits (8, 16 or 32) as hex, little-endian, 16
// bytes a line. Holes start a new block and are never filled; a run that
// does not start and end on a word boundary fails the save, naming the
// address. No start address.
class DWXFILES_EXPORT gcVerilogMemFile : public gcFileFormat {
 public:
  const char* getTypeName() override;
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override;
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override;
};

#endif  // DWXFILES_GCVERILOGMEMFILE_H_
