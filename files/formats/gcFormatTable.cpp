#include "gcFormatTable.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

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
gcFileFormat* make() {
  return new Format;
}

template <gcFileFormat* (*New)(bool), bool bLittleEndian>
gcFileFormat* makeEndian() {
  return New(bLittleEndian);
}

template <gcListing eKind>
gcFileFormat* makeListing() {
  return newListingFile(eKind);
}

// Every format by its type names; a new format is a row.
const struct {
  const char* pName;
  const char* pAlias;
  gcFileFormat* (*create)();
} kFormats[] = {
    {"Binary file", "Binaray file", make<gcBinaryFile>},
    {"Intel HEX", nullptr, make<gcIntelHexFile>},
    {"Motorola S-record", nullptr, make<gcSRecordFile>},
    {"ELF", nullptr, make<gcElfFile>},
    {"TI-TXT", nullptr, make<gcTiTxtFile>},
    {"Verilog memory", nullptr, make<gcVerilogMemFile>},
    {"C array", nullptr, make<gcCArrayFile>},
    {"UF2", nullptr, make<gcUf2File>},
    {"DfuSe", nullptr, make<gcDfuSeFile>},
    {"MIF", nullptr, make<gcMifFile>},
    {"COE", nullptr, make<gcCoeFile>},
    {"ASCII-Hex", nullptr, newAsciiHexFile},
    {"Needham", nullptr, newNeedhamFile},
    {"FastLoad", nullptr, newFastLoadFile},
    {"Four Packed Code", nullptr, newFpcFile},
    {"OS65V", nullptr, newOs65vFile},
    {"SPASM (big-endian)", nullptr, makeEndian<newSpasmFile, false>},
    {"SPASM (little-endian)", nullptr, makeEndian<newSpasmFile, true>},
    {"MIPS flash (big-endian)", nullptr, makeEndian<newMipsFlashFile, false>},
    {"MIPS flash (little-endian)", nullptr, makeEndian<newMipsFlashFile, true>},
    {"Logisim", nullptr, newLogisimFile},
    {"ASM", nullptr, makeListing<gcListing::kAsm>},
    {"BASIC", nullptr, makeListing<gcListing::kBasic>},
    {"FORTH", nullptr, makeListing<gcListing::kForth>},
    {"VHDL", nullptr, makeListing<gcListing::kVhdl>},
    {"Lattice MEM", nullptr, makeListing<gcListing::kMem>},
    {"Hex dump", nullptr, makeListing<gcListing::kHexDump>},
};

// The formats a user names: a word, the type name, the extensions.
const struct {
  const char* pWord;
  const char* pType;
  const char* extensions[5];
} kWords[] = {
    {"ihex", "Intel HEX", {"hex", "ihex", "ihx"}},
    {"srec", "Motorola S-record", {"srec", "s19", "s28", "s37", "mot"}},
    {"binary", "Binary file", {"bin"}},
    {"titxt", "TI-TXT", {}},
    {"vmem", "Verilog memory", {"vmem", "mem"}},
    {"c", "C array", {"c"}},
    {"uf2", "UF2", {"uf2"}},
    {"dfuse", "DfuSe", {"dfu"}},
    {"mif", "MIF", {"mif"}},
    {"coe", "COE", {"coe"}},
    {"ihex16", "Intel HEX-16", {}},
    {"tektronix", "Tektronix", {}},
    {"tektronix-ext", "Tektronix extended", {}},
    {"mos-tech", "MOS Technology", {}},
    {"signetics", "Signetics", {}},
    {"atmel-generic", "Atmel Generic", {}},
    {"emon52", "Elektor Monitor (EMON52)", {}},
    {"brecord", "B-Record", {}},
    {"fairchild", "Fairchild", {}},
    {"ti-tagged", "TI-Tagged", {}},
    {"ti-tagged16", "TI-Tagged-16", {}},
    {"needham", "Needham", {}},
    {"ppx", "PPX", {}},
    {"cosmac", "Cosmac", {}},
    {"ascii-hex", "ASCII-Hex", {}},
    {"fastload", "FastLoad", {}},
    {"fpc", "Four Packed Code", {"fpc"}},
    {"os65v", "OS65V", {}},
    {"spasm-be", "SPASM (big-endian)", {}},
    {"spasm-le", "SPASM (little-endian)", {}},
    {"mips-flash-be", "MIPS flash (big-endian)", {}},
    {"mips-flash-le", "MIPS flash (little-endian)", {}},
    {"logisim", "Logisim", {}},
    {"asm", "ASM", {"asm"}},
    {"basic", "BASIC", {"bas"}},
    {"forth", "FORTH", {"fth", "4th"}},
    {"vhdl", "VHDL", {"vhd", "vhdl"}},
    {"lattice-mem", "Lattice MEM", {}},
    {"hexdump", "Hex dump", {}},
    {"aomf", "AOMF", {"aomf"}},
    {"msbin", "MsBin", {}},
    {"formatted-binary", "Formatted binary", {}},
    {"dec-binary", "DEC binary", {"lda"}},
    {"idt", "IDT", {}},
    {"ppb", "PPB", {"ppb"}},
    {"stewie", "Stewie", {}},
    {"trs80", "TRS-80", {}},
    {"wilson", "Wilson", {}},
};

// Extensions that decide an input's format ahead of its bytes: a Verilog
// memory file may begin with '@' as TI-TXT does, and a MIF file that does
// not parse is a MIF file all the same.
const struct {
  const char* pExtension;
  const char* pType;
} kDecidingExtensions[] = {
    {"vmem", "Verilog memory"},
    {"mif", "MIF"},
};

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

// Formats by their first bytes, tried in order: the bytes a file begins
// with, or a test of them. A new format is a row.
const struct {
  const char* pType;
  const char* pMagic;
  std::size_t iMagic;
  bool (*begins)(const char* p, std::size_t n);
} kContents[] = {
    {"Intel HEX", ":", 1, nullptr},
    {"Motorola S-record", nullptr, 0, beginsSRecord},
    {"ELF",
     "\x7F"
     "ELF",
     4, nullptr},
    {"TI-TXT", "@", 1, nullptr},
    {"UF2", "UF2\nWQ]\x9E", 8, nullptr},
    {"DfuSe", "DfuSe", 5, nullptr},
    {"MsBin", "B000FF\n", 7, nullptr},
    {"Formatted binary", "\x08\x1C\x2A\x49\x08\x00", 6, nullptr},
    {"Formatted binary", "\x08\x1C\x3E\x6B\x08\x00", 6, nullptr},
    {"MIF", nullptr, 0, beginsMif},
    {"Tektronix extended", nullptr, 0, beginsTektronixExtended},
    {"MOS Technology", nullptr, 0, beginsMosTechnology},
};

const char kBinary[] = "Binary file";

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

}  // namespace

gcFileSupport::gcFileSupport() = default;

gcFileSupport::~gcFileSupport() = default;

gcFileFormat* gcFileSupport::createFileSupport(std::string sTypeName) {
  for (const auto& f : kFormats) {
    if (sTypeName != f.pName && (f.pAlias == nullptr || sTypeName != f.pAlias))
      continue;
    formats_.emplace_back(f.create());
    return formats_.back().get();
  }
  if (gcFileFormat* pBinary = gcBinaryRecordFile::create(sTypeName)) {
    formats_.emplace_back(pBinary);
    return pBinary;
  }
  if (!gcRecordFile::isRecordFormat(sTypeName.c_str())) return nullptr;
  formats_.emplace_back(new gcRecordFile(sTypeName.c_str()));
  return formats_.back().get();
}

std::string gcFileSupport::detectType(const char* pHead, std::size_t iSize) {
  for (const auto& c : kContents) {
    const bool bMatch =
        c.begins != nullptr
            ? c.begins(pHead, iSize)
            : iSize >= c.iMagic && std::memcmp(pHead, c.pMagic, c.iMagic) == 0;
    if (bMatch) return c.pType;
  }
  return kBinary;
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
  for (const auto& e : kDecidingExtensions)
    if (sExt == e.pExtension) {
      *pType = e.pType;
      return gcFileResult();
    }
  *pType = detectType(pHead, iSize);
  if (*pType != kBinary || !isText(pHead, iSize)) return gcFileResult();
  pType->clear();
  return gcFileResult::failure(
      sName, 0,
      std::string("cannot tell the format of this text: give PATH@FORMAT (") +
          formatWords() + ") or PATH@binary");
}

gcFileResult gcFileSupport::detectInputFile(const std::string& sFileName,
                                            std::string* pType) {
  std::string sHead;
  if (readHead(sFileName, &sHead))
    return detectInput(sFileName, sHead.data(), sHead.size(), pType);
  *pType = kBinary;
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
  for (const auto& w : kWords)
    if (sWord == w.pWord) return w.pType;
  return std::string();
}

std::string gcFileSupport::typeForExtension(const std::string& sFileName) {
  const std::string sExt = extensionOf(sFileName);
  for (const auto& w : kWords)
    for (const char* pExt : w.extensions)
      if (pExt != nullptr && sExt == pExt) return w.pType;
  return std::string();
}

bool gcFileSupport::isAddressless(const std::string& sType) {
  for (const char* pType :
       {"Binary file", "Formatted binary", "Logisim", "BASIC", "Lattice MEM"})
    if (sType == pType) return true;
  return false;
}

bool gcFileSupport::isBinary(const std::string& sType) {
  for (const char* pType : {"Binary file", "ELF", "UF2", "DfuSe", "AOMF",
                            "MsBin", "Formatted binary", "DEC binary", "IDT",
                            "PPB", "Stewie", "TRS-80", "Wilson"})
    if (sType == pType) return true;
  return false;
}

const char* gcFileSupport::formatWords() {
  static const std::string sWords = [] {
    std::string s;
    for (const auto& w : kWords)
      s += std::string(s.empty() ? "" : "|") + w.pWord;
    return s;
  }();
  return sWords.c_str();
}
