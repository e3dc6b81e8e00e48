#include "gcFormatTable.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "gcBinaryFile.h"
#include "gcBinaryRecordFile.h"
#include "gcCArrayFile.h"
#include "gcCoeFile.h"
#include "gcDataTextFiles.h"
#include "gcDfuSeFile.h"
#include "gcElfFile.h"
#include "gcIntelHexFile.h"
#include "gcListingFile.h"
#include "gcMifFile.h"
#include "gcRecordFile.h"
#include "gcSRecordFile.h"
#include "gcTiTxtFile.h"
#include "gcUf2File.h"
#include "gcVerilogMemFile.h"

namespace {

template <class Format>
gcFileFormat* make(const char*) {
  return new Format;
}

template <gcFileFormat* (*New)()>
gcFileFormat* call(const char*) {
  return New();
}

template <gcFileFormat* (*New)(bool), bool bLittleEndian>
gcFileFormat* endian(const char*) {
  return New(bLittleEndian);
}

template <gcListing eKind>
gcFileFormat* listing(const char*) {
  return newListingFile(eKind);
}

// The record formats and the binary ones find their descriptions by the
// type name (records/gcRecordFormats.cpp, gcBinaryRecordFormats.cpp).
gcFileFormat* record(const char* pTypeName) {
  return new gcRecordFile(pTypeName);
}

gcFileFormat* binaryRecord(const char* pTypeName) {
  return gcBinaryRecordFile::create(pTypeName);
}

template <std::size_t N>
bool startsWith(const char* p, std::size_t n, const char (&magic)[N]) {
  return n >= N - 1 && std::memcmp(p, magic, N - 1) == 0;
}

bool isWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// Past white space and MIF comments ("-- to the line's end", "% ... %");
// n when a comment is not closed within the bytes.
std::size_t skipMifBlank(const char* p, std::size_t n, std::size_t i) {
  while (i < n) {
    if (std::isspace(static_cast<unsigned char>(p[i]))) {
      ++i;
    } else if (p[i] == '-' && i + 1 < n && p[i + 1] == '-') {
      const void* pEnd = std::memchr(p + i, '\n', n - i);
      i = pEnd == nullptr ? n : static_cast<const char*>(pEnd) - p;
    } else if (p[i] == '%') {
      const void* pEnd = std::memchr(p + i + 1, '%', n - i - 1);
      if (pEnd == nullptr) return n;
      i = static_cast<const char*>(pEnd) - p + 1;
    } else {
      break;
    }
  }
  return i;
}

// The word at p[i] in upper case, and *pNext past it.
std::string mifWord(const char* p, std::size_t n, std::size_t i,
                    std::size_t* pNext) {
  std::string word;
  for (; i < n && isWordChar(p[i]); ++i)
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(p[i])));
  *pNext = i;
  return word;
}

// A MIF header's first statement: "WIDTH =", "DEPTH =", "ADDRESS_RADIX =",
// "DATA_RADIX =" or "CONTENT BEGIN", so that notes that begin with one of
// these words stay text.
bool beginsMif(const char* p, std::size_t n) {
  std::size_t i = skipMifBlank(p, n, 0);
  const std::string word = mifWord(p, n, i, &i);
  i = skipMifBlank(p, n, i);
  if (word == "CONTENT") return mifWord(p, n, i, &i) == "BEGIN";
  for (const char* pKey : {"WIDTH", "DEPTH", "ADDRESS_RADIX", "DATA_RADIX"})
    if (word == pKey) return i < n && p[i] == '=';
  return false;
}

bool beginsSRecord(const char* p, std::size_t n) {
  return n >= 2 && p[0] == 'S' && p[1] >= '0' && p[1] <= '9';
}

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)); }

// The record formats whose lead no other format begins with.
bool beginsTektronixExtended(const char* p, std::size_t n) {
  return n >= 4 && p[0] == '%' && isHex(p[1]) && isHex(p[2]) &&
         std::strchr("368", p[3]) != nullptr;
}

bool beginsMosTechnology(const char* p, std::size_t n) {
  return n >= 3 && p[0] == ';' && isHex(p[1]) && isHex(p[2]);
}

bool beginsIntelHex(const char* p, std::size_t n) {
  return startsWith(p, n, ":");
}

bool beginsTiTxt(const char* p, std::size_t n) { return startsWith(p, n, "@"); }

bool beginsElf(const char* p, std::size_t n) {
  return startsWith(p, n,
                    "\x7F"
                    "ELF");
}

bool beginsUf2(const char* p, std::size_t n) {
  return startsWith(p, n, "UF2\nWQ]\x9E");
}

bool beginsDfuSe(const char* p, std::size_t n) {
  return startsWith(p, n, "DfuSe");
}

bool beginsMsBin(const char* p, std::size_t n) {
  return startsWith(p, n, "B000FF\n");
}

bool beginsFormattedBinary(const char* p, std::size_t n) {
  return startsWith(p, n, "\x08\x1C\x2A\x49\x08\x00") ||
         startsWith(p, n, "\x08\x1C\x3E\x6B\x08\x00");
}

enum : unsigned {
  R = gcFormatInfo::kRead,
  W = gcFormatInfo::kWrite,
  RW = R | W,
  kBin = gcFormatInfo::kBinary,
  kAddr = gcFormatInfo::kAddressed,
  kUnit = gcFormatInfo::kUnit,
  kFills = gcFormatInfo::kFills,
  kNamed = gcFormatInfo::kNamed,
  kRest = gcFormatInfo::kRest,
};

// Every format, a row each: word, type name, alias, extensions, kinds, how
// its first bytes are recognised, a line of description, how to make one.
// Detection tries the recognisers in this order; the tool and the module
// list the formats in it.
const gcFormatInfo kTable[] = {
    {"ihex", "Intel HEX", nullptr, "hex ihex ihx", RW | kAddr | kUnit,
     beginsIntelHex, "Intel HEX: 00 to 05 records", make<gcIntelHexFile>},
    {"srec", "Motorola S-record", nullptr, "srec s19 s28 s37 mot",
     RW | kAddr | kUnit, beginsSRecord, "Motorola S-record: S0 to S9",
     make<gcSRecordFile>},
    {"binary", "Binary file", "Binaray file", "bin", RW | kBin | kFills | kRest,
     nullptr, "raw bytes, placed at the load address, holes filled",
     make<gcBinaryFile>},
    {"elf", "ELF", nullptr, "", R | kBin | kAddr, beginsElf,
     "ELF32/64 of either byte order: the loadable sections' contents",
     make<gcElfFile>},
    {"titxt", "TI-TXT", nullptr, "", RW | kAddr | kUnit, beginsTiTxt,
     "TI-TXT: @ addresses, 16 bytes a line", make<gcTiTxtFile>},
    {"vmem", "Verilog memory", nullptr, "vmem mem", RW | kAddr | kNamed,
     nullptr, "Verilog $readmemh words of 8, 16 or 32 bits",
     make<gcVerilogMemFile>},
    {"c", "C array", nullptr, "c", W | kAddr, nullptr,
     "C99 and C++ arrays, a run each", make<gcCArrayFile>},
    {"uf2", "UF2", nullptr, "uf2", RW | kBin | kAddr | kFills, beginsUf2,
     "UF2: 512-byte blocks of 256 bytes, one family", make<gcUf2File>},
    {"dfuse", "DfuSe", nullptr, "dfu", RW | kBin | kAddr, beginsDfuSe,
     "ST's DfuSe: one target, an element a run, CRC checked",
     make<gcDfuSeFile>},
    {"mif", "MIF", nullptr, "mif", RW | kAddr | kFills | kNamed, beginsMif,
     "Quartus Memory Initialization File: words from 0", make<gcMifFile>},
    {"coe", "COE", nullptr, "coe", W | kAddr | kFills, nullptr,
     "Xilinx coefficient file: words from 0", make<gcCoeFile>},
    {"ihex16", "Intel HEX-16", nullptr, "", RW | kAddr, nullptr,
     "Intel HEX of 16-bit words", record},
    {"tektronix", "Tektronix", nullptr, "", RW | kAddr | kUnit, nullptr,
     "Tektronix: 16-bit addresses, digit sums", record},
    {"tektronix-ext", "Tektronix extended", nullptr, "", RW | kAddr | kUnit,
     beginsTektronixExtended, "extended Tektronix: % records, 32 bits", record},
    {"mos-tech", "MOS Technology", nullptr, "", RW | kAddr | kUnit,
     beginsMosTechnology, "MOS Technology: ; records, 16-bit sums", record},
    {"signetics", "Signetics", nullptr, "", RW | kAddr | kUnit, nullptr,
     "Signetics: XOR and rotate checks", record},
    {"atmel-generic", "Atmel Generic", nullptr, "", RW | kAddr, nullptr,
     "Atmel Generic: a 16-bit word a line", record},
    {"emon52", "Elektor Monitor (EMON52)", nullptr, "", RW | kAddr | kUnit,
     nullptr, "Elektor Monitor (EMON52): 16-bit sums of data", record},
    {"brecord", "B-Record", nullptr, "", RW | kAddr | kUnit, nullptr,
     "B-Record: 32-bit addresses, no checks", record},
    {"fairchild", "Fairchild", nullptr, "", RW | kAddr | kUnit, nullptr,
     "Fairchild: S addresses, 8-byte records, * at the end", record},
    {"ti-tagged", "TI-Tagged", nullptr, "", RW | kAddr | kUnit, nullptr,
     "TI-Tagged: a stream of tags, 16-bit addresses", record},
    {"ti-tagged16", "TI-Tagged-16", nullptr, "", RW | kAddr, nullptr,
     "TI-Tagged of 16-bit words", record},
    {"needham", "Needham", nullptr, "", RW | kAddr | kUnit, nullptr,
     "Needham: ASCII-Hex without STX, ETX and sum", call<newNeedhamFile>},
    {"ppx", "PPX", nullptr, "", RW | kAddr | kUnit, nullptr,
     "PPX: address lines between * and $S and its sum", record},
    {"cosmac", "Cosmac", nullptr, "", RW | kAddr | kUnit, nullptr,
     "Cosmac: !M commands, 32-bit addresses", record},
    {"ascii-hex", "ASCII-Hex", nullptr, "", RW | kAddr | kUnit, nullptr,
     "ASCII-Hex: STX, $A addresses, ETX, $S sum", call<newAsciiHexFile>},
    {"fastload", "FastLoad", nullptr, "", RW | kAddr | kUnit, nullptr,
     "FastLoad: base-64 groups and / commands", call<newFastLoadFile>},
    {"fpc", "Four Packed Code", nullptr, "fpc", RW | kAddr | kUnit, nullptr,
     "Four Packed Code: base 85 records", call<newFpcFile>},
    {"os65v", "OS65V", nullptr, "", RW | kAddr | kUnit, nullptr,
     "Ohio Scientific OS65V: 16-bit addresses", call<newOs65vFile>},
    {"spasm-be", "SPASM (big-endian)", nullptr, "", RW | kAddr, nullptr,
     "SPASM: 16-bit words, big-endian", endian<newSpasmFile, false>},
    {"spasm-le", "SPASM (little-endian)", nullptr, "", RW | kAddr, nullptr,
     "SPASM: 16-bit words, little-endian", endian<newSpasmFile, true>},
    {"mips-flash-be", "MIPS flash (big-endian)", nullptr, "",
     RW | kAddr | kUnit, nullptr, "MIPS flash commands, big-endian words",
     endian<newMipsFlashFile, false>},
    {"mips-flash-le", "MIPS flash (little-endian)", nullptr, "",
     RW | kAddr | kUnit, nullptr, "MIPS flash commands, little-endian words",
     endian<newMipsFlashFile, true>},
    {"logisim", "Logisim", nullptr, "", RW | kFills, nullptr,
     "Logisim v2.0 raw: from the load address, N*HH runs",
     call<newLogisimFile>},
    {"asm", "ASM", nullptr, "asm", W | kAddr, nullptr,
     "assembler DB lines after ORG", listing<gcListing::kAsm>},
    {"basic", "BASIC", nullptr, "bas", W | kFills, nullptr,
     "BASIC DATA lines, holes filled", listing<gcListing::kBasic>},
    {"forth", "FORTH", nullptr, "fth 4th", W | kAddr, nullptr,
     "FORTH: a C! a byte", listing<gcListing::kForth>},
    {"vhdl", "VHDL", nullptr, "vhd vhdl", W | kAddr, nullptr,
     "VHDL: a ROM entry a byte", listing<gcListing::kVhdl>},
    {"lattice-mem", "Lattice MEM", nullptr, "", W | kFills, nullptr,
     "Lattice MEM: a byte a line, holes filled", listing<gcListing::kMem>},
    {"hexdump", "Hex dump", nullptr, "", W | kAddr, nullptr,
     "hex dump: 16 bytes a row, holes blank", listing<gcListing::kHexDump>},
    {"aomf", "AOMF", nullptr, "aomf", RW | kBin | kAddr | kUnit, nullptr,
     "Absolute Object Module Format: 16-bit addresses", binaryRecord},
    {"msbin", "MsBin", nullptr, "", RW | kBin | kAddr | kUnit, beginsMsBin,
     "MsBin: B000FF, records with 32-bit sums", binaryRecord},
    {"formatted-binary", "Formatted binary", nullptr, "", RW | kBin | kFills,
     beginsFormattedBinary, "Formatted binary: leaders, bytes and a sum",
     binaryRecord},
    {"dec-binary", "DEC binary", nullptr, "lda", RW | kBin | kAddr | kUnit,
     nullptr, "DEC binary: records with 16-bit addresses", binaryRecord},
    {"idt", "IDT", nullptr, "", RW | kBin | kAddr | kUnit, nullptr,
     "IDT: binary S3 and S7 records", binaryRecord},
    {"ppb", "PPB", nullptr, "ppb", RW | kBin | kAddr | kUnit, nullptr,
     "PPB: packets, a sum after every 1024 bytes", binaryRecord},
    {"stewie", "Stewie", nullptr, "", RW | kBin | kAddr | kUnit, nullptr,
     "Stewie: binary S-records", binaryRecord},
    {"trs80", "TRS-80", nullptr, "", RW | kBin | kAddr | kUnit, nullptr,
     "TRS-80: load records, 16-bit addresses", binaryRecord},
    {"wilson", "Wilson", nullptr, "", RW | kBin | kAddr | kUnit, nullptr,
     "Wilson: binary S-records", binaryRecord},
};

// The file name's extension in lower case; empty for none.
std::string extensionOf(const std::string& sFileName) {
  const std::size_t dot = sFileName.rfind('.');
  if (dot == std::string::npos || sFileName.find('/', dot) != std::string::npos)
    return std::string();
  std::string sExt = sFileName.substr(dot + 1);
  for (char& c : sExt)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return sExt;
}

// The first kDetectBytes of the file; false when it cannot be opened.
bool readHead(const std::string& sFileName, std::string* pHead) {
  FILE* pFile = std::fopen(sFileName.c_str(), "rb");
  if (pFile == nullptr) return false;
  pHead->resize(gcFileSupport::kDetectBytes);
  std::size_t n = 0;
  for (std::size_t got = 1; got != 0 && n < pHead->size(); n += got)
    got = std::fread(&(*pHead)[n], 1, pHead->size() - n, pFile);
  std::fclose(pFile);
  pHead->resize(n);
  return true;
}

// The row for bytes no other format claims.
const gcFormatInfo& rest() {
  static const gcFormatInfo& row = *std::find_if(
      std::begin(kTable), std::end(kTable),
      [](const gcFormatInfo& f) { return f.is(gcFormatInfo::kRest); });
  return row;
}

// Whether sExt (lower case) is one of the row's extensions, or its first.
bool hasExtension(const gcFormatInfo& f, const std::string& sExt,
                  bool bFirst = false) {
  if (sExt.empty()) return false;
  for (const char* p = f.pExtensions; *p != '\0';) {
    const std::size_t n = std::strcspn(p, " ");
    if (sExt.size() == n && sExt.compare(0, n, p, n) == 0) return true;
    if (bFirst) break;
    p += n + (p[n] == ' ');
  }
  return false;
}

}  // namespace

gcFileSupport::gcFileSupport() = default;

gcFileSupport::~gcFileSupport() = default;

gcFileFormat* gcFileSupport::createFileSupport(std::string sTypeName) {
  const gcFormatInfo* pRow = findType(sTypeName);
  if (pRow == nullptr) return nullptr;
  formats_.emplace_back(pRow->create(pRow->pTypeName));
  return formats_.back().get();
}

std::string gcFileSupport::detectType(const char* pHead, std::size_t iSize) {
  for (const gcFormatInfo& f : kTable)
    if (f.recognise != nullptr && f.recognise(pHead, iSize)) return f.pTypeName;
  return rest().pTypeName;
}

std::string gcFileSupport::detectFileType(const std::string& sFileName) {
  std::string sHead;
  if (!readHead(sFileName, &sHead)) return std::string();
  return detectType(sHead.data(), sHead.size());
}

gcFileResult gcFileSupport::detectInput(const std::string& sName,
                                        const char* pHead, std::size_t iSize,
                                        std::string* pType) {
  const std::string sExt = extensionOf(sName);
  for (const gcFormatInfo& f : kTable)
    if (f.is(gcFormatInfo::kNamed) && hasExtension(f, sExt, true)) {
      *pType = f.pTypeName;
      return gcFileResult();
    }
  *pType = detectType(pHead, iSize);
  if (*pType != rest().pTypeName || !isText(pHead, iSize))
    return gcFileResult();
  pType->clear();
  return gcFileResult::failure(
      sName, 0,
      "cannot tell the format of this text: give PATH@FORMAT (" +
          formatWords(gcFormatInfo::kRead, "|") + ") or PATH@" + rest().pWord);
}

gcFileResult gcFileSupport::detectInputFile(const std::string& sFileName,
                                            std::string* pType) {
  std::string sHead;
  if (readHead(sFileName, &sHead))
    return detectInput(sFileName, sHead.data(), sHead.size(), pType);
  *pType = rest().pTypeName;
  return gcFileResult();
}

bool gcFileSupport::isText(const char* p, std::size_t iSize) {
  for (std::size_t i = 0; i < iSize;) {
    const auto c = static_cast<unsigned char>(p[i]);
    if (c < 0x80) {
      if ((c < 0x20 && c != '\t' && c != '\n' && c != '\f' && c != '\r') ||
          c == 0x7F)
        return false;
      ++i;
      continue;
    }
    // The sequence's length and its least code point, below which it is an
    // overlong form.
    std::size_t n = 4;
    std::uint32_t iCode = c & 0x07, iLeast = 0x10000;
    if (c >= 0xC2 && c <= 0xDF)
      n = 2, iCode = c & 0x1F, iLeast = 0x80;
    else if ((c & 0xF0) == 0xE0)
      n = 3, iCode = c & 0x0F, iLeast = 0x800;
    else if (c < 0xF0 || c > 0xF4)
      return false;
    for (std::size_t k = 1; k < n; ++k) {
      if (i + k == iSize) return iSize >= kDetectBytes;
      const auto b = static_cast<unsigned char>(p[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      iCode = iCode << 6 | (b & 0x3F);
    }
    // C1 controls, surrogates and what lies past Unicode are not text.
    if (iCode < iLeast || iCode <= 0x9F ||
        (iCode >= 0xD800 && iCode <= 0xDFFF) || iCode > 0x10FFFF)
      return false;
    i += n;
  }
  return iSize > 0;
}

std::string gcFileSupport::typeForWord(const std::string& sWord) {
  const gcFormatInfo* pRow = findWord(sWord);
  return pRow != nullptr ? pRow->pTypeName : std::string();
}

std::string gcFileSupport::typeForExtension(const std::string& sFileName) {
  const std::string sExt = extensionOf(sFileName);
  for (const gcFormatInfo& f : kTable)
    if (hasExtension(f, sExt)) return f.pTypeName;
  return std::string();
}

bool gcFileSupport::isAddressless(const std::string& sType) {
  const gcFormatInfo* pRow = findType(sType);
  return pRow != nullptr && !pRow->is(gcFormatInfo::kAddressed);
}

bool gcFileSupport::isBinary(const std::string& sType) {
  const gcFormatInfo* pRow = findType(sType);
  return pRow != nullptr && pRow->is(gcFormatInfo::kBinary);
}

const char* gcFileSupport::formatWords() {
  static const std::string sWords = formatWords(0, "|");
  return sWords.c_str();
}

std::string gcFileSupport::formatWords(unsigned iFlags,
                                       const std::string& sSeparator) {
  std::string s;
  for (const gcFormatInfo& f : kTable)
    if (f.is(iFlags)) s += (s.empty() ? "" : sSeparator) + f.pWord;
  return s;
}

std::size_t gcFileSupport::formatCount() { return std::size(kTable); }

const gcFormatInfo& gcFileSupport::format(std::size_t i) { return kTable[i]; }

const gcFormatInfo* gcFileSupport::findWord(const std::string& sWord) {
  for (const gcFormatInfo& f : kTable)
    if (sWord == f.pWord) return &f;
  return nullptr;
}

const gcFormatInfo* gcFileSupport::findType(const std::string& sType) {
  for (const gcFormatInfo& f : kTable)
    if (sType == f.pTypeName || (f.pAlias != nullptr && sType == f.pAlias))
      return &f;
  return nullptr;
}

const char* gcFormatInfo::foundBy() const {
  if (recognise != nullptr || is(kRest)) return "content";
  return is(kNamed) ? "extension" : "no";
}
