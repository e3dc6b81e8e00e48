// Quartus memory initialisation files.
#ifndef DWXFILES_GCMIFFILE_H_
#define DWXFILES_GCMIFFILE_H_

#include "gcFileFormat.h"

// Type name "MIF". A save writes a memory from address 0 to the word that
// holds the highest written byte, words of the options' width (8, 16 or 32
// bits) little-endian as Verilog memory has them, holes as the fill byte
// (the options', else 0): the WIDTH, DEPTH, ADDRESS_RADIX=HEX and
// DATA_RADIX=HEX header, then "CONTENT BEGIN", runs of one value as
// "[A..B] : V;", "END;". It fails for a memory over 16 M words. A load reads
// WIDTH (8, 16, 24 or 32), DEPTH (up to 16 M words) and the radixes (HEX, DEC,
// UNS, OCT, BIN), "A : V;", "A : V V ...;" and "[A..B] : V;", with "--" and
// "%...%" comments; a word beyond DEPTH or too wide for WIDTH is an error with
// its line. Every word of a MIF file is data, so a load fills no holes.
class DWXFILES_EXPORT gcMifFile : public gcFileFormat {
 public:
  const char* getTypeName() override;
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override;
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override;
};

#endif  // DWXFILES_GCMIFFILE_H_
