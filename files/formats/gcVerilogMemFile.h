// Verilog memory files, as $readmemh reads them.
#ifndef DWXFILES_GCVERILOGMEMFILE_H_
#define DWXFILES_GCVERILOGMEMFILE_H_

#include "gcFileFormat.h"

// Type name "Verilog memory". A load reads "@ADDR" word addresses and hex
// words of the options' word bits separated by any white space, with "//"
// and "/* */" comments and '_' inside numbers; x or z, or a word wider than
// the width, is an error with its line. A save writes each run of written
// bytes as a block: "@ADDR" (the word address, hex, 8 digits), then
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
