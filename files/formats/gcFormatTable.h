// The formats by type name: creation, detection and what each format is.
// Hosts include gcFileSupport.h, which includes this.
#ifndef DWXFILES_GCFORMATTABLE_H_
#define DWXFILES_GCFORMATTABLE_H_

#include <memory>
#include <string>
#include <vector>

#include "gcFileFormat.h"

// Hands out formats by type name. Owns every format it returned and
// releases them when it is destroyed.
class DWXFILES_EXPORT gcFileSupport {
 public:
  gcFileSupport();
  gcFileSupport(const gcFileSupport&) = delete;
  gcFileSupport& operator=(const gcFileSupport&) = delete;
  ~gcFileSupport();

  // "Binaray file" and "Binary file" give a gcBinaryFile, "Intel HEX" a
  // gcIntelHexFile, "Motorola S-record" a gcSRecordFile, "ELF" a
  // gcElfFile, "TI-TXT" a gcTiTxtFile, "Verilog memory" a gcVerilogMemFile,
  // "C array" a gcCArrayFile, "UF2" a gcUf2File, "DfuSe" a gcDfuSeFile,
  // "MIF" a gcMifFile, "COE" a gcCoeFile, the names gcBinaryRecordFile
  // lists one of those; any other name null.
  gcFileFormat* createFileSupport(std::string sTypeName);

  // The type name for a file that begins with these bytes: the format
  // whose lead they begin with ("Intel HEX" for ':', "Motorola S-record"
  // for 'S' and a digit, "ELF" for 0x7F "ELF", "TI-TXT" for '@', "UF2" and
  // "DfuSe" for their magic, "MIF" for a MIF header (see detectInput),
  // "Tektronix" for '/' and eight hex digits, "PPX" for '*' alone, ...).
  // Where leads meet (':' is Signetics's and Intel HEX-16's too) or a lead
  // is one that raw binary or plain text may begin with, each such format's
  // own reader tries the first records (the whole lines of the bytes, or
  // their records up to one their end cuts) and the one that reads data
  // from them is the file's; none: the first of them that needs no proof,
  // else "Binary file". Empty where two read them as different images
  // (detectInput names both). Maps nothing; allocates a VMM a trial.
  static std::string detectType(const char* pHead, std::size_t iSize);
  // detectType of the file's first bytes; empty when it cannot be read.
  static std::string detectFileType(const std::string& sFileName);

  // How many of an input's first bytes decide its format.
  static constexpr std::size_t kDetectBytes = 65536;
  // The format of the input sName (its extension counts) that begins with
  // pHead (its first kDetectBytes, or all of it): .vmem is "Verilog memory"
  // and .mif "MIF" whatever the bytes; then the bytes, as detectType says,
  // and a MIF header's keywords after comments, in any case, but the
  // extensions of Tektronix, Four Packed Code, AOMF, PPB and DEC binary
  // choose their format among those the bytes' lead allows, with no trial,
  // and for bytes no format claims. Bytes none of these tells, and none at
  // all, are "Binary file", but printable text (isText) is a failure
  // naming sName that asks for PATH@FORMAT; bytes two formats read
  // differently a failure that names both words ("... give PATH@WORD or
  // PATH@WORD"), with *pType empty.
  static gcFileResult detectInput(const std::string& sName, const char* pHead,
                                  std::size_t iSize, std::string* pType);
  // detectInput of the file's first bytes; a file that cannot be read is
  // "Binary file", whose reader then says why.
  static gcFileResult detectInputFile(const std::string& sFileName,
                                      std::string* pType);
  // True for valid UTF-8 with no control character but tab, LF, FF and CR;
  // a sequence cut off by the end of kDetectBytes or more counts as valid.
  // False for no bytes.
  static bool isText(const char* p, std::size_t iSize);

  // The type name of a format word (one of formatWords()), or of a file
  // name's extension, in any case (.hex .ihex .ihx,
  // .srec .s19 .s28 .s37 .mot, .bin, .vmem .mem, .c, .uf2, .dfu, .mif, .coe,
  // .aomf, .lda, .ppb; .txt says too little for TI-TXT); empty for none.
  static std::string typeForWord(const std::string& sWord);
  static std::string typeForExtension(const std::string& sFileName);
  // Whether the files of the format hold no addresses ("Binary file",
  // "Formatted binary", "Logisim", "BASIC", "Lattice MEM"): a load places one
  // at the load address; a save writes from the first to the last address,
  // holes as the fill byte.
  static bool isAddressless(const std::string& sType);
  // Whether the format's files are bytes rather than text (a str of the
  // module is refused for them).
  static bool isBinary(const std::string& sType);
  // Every word, separated by '|' ("ihex|srec|binary|...").
  static const char* formatWords();

 private:
  std::vector<std::unique_ptr<gcFileFormat>> formats_;
};

#endif  // DWXFILES_GCFORMATTABLE_H_
