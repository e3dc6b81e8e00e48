#include "gcFormatTable.h"

#include <dwxvmm/dwxvmm.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

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
#include "tools/segments.h"

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
    {"elf", "ELF", {"elf"}},
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

// Extensions that decide an input's format: ahead of its bytes (a Verilog
// memory file may begin with '@' as TI-TXT does, and a MIF file that does
// not parse is a MIF file all the same), or among the formats its first
// bytes may begin (where they leave it open, and for a file its format's
// reader should judge rather than take as binary). Only the common ones
// that name one format alone: .hex names several.
const struct {
  const char* pExtension;
  const char* pType;
  bool bAhead;
} kDecidingExtensions[] = {
    {"vmem", "Verilog memory", true}, {"mif", "MIF", true},
    {"tek", "Tektronix", false},      {"fpc", "Four Packed Code", false},
    {"aomf", "AOMF", false},          {"ppb", "PPB", false},
    {"lda", "DEC binary", false},
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

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)); }

// Whether the k bytes from p[i] are there and hex digits.
bool hexAt(const char* p, std::size_t n, std::size_t i, std::size_t k) {
  if (n < i + k) return false;
  for (std::size_t j = i; j < i + k; ++j)
    if (!isHex(p[j])) return false;
  return true;
}

bool charAt(const char* p, std::size_t n, std::size_t i, char c) {
  return i < n && p[i] == c;
}

bool lineEndAt(const char* p, std::size_t n, std::size_t i) {
  return i == n || p[i] == '\n' || p[i] == '\r';
}

// How each format's files begin: its lead. Where two leads meet, the
// first records decide (kContents).
bool beginsSRecord(const char* p, std::size_t n) {
  return n >= 2 && p[0] == 'S' && p[1] >= '0' && p[1] <= '9';
}

bool beginsTektronixExtended(const char* p, std::size_t n) {
  return n >= 4 && p[0] == '%' && isHex(p[1]) && isHex(p[2]) &&
         std::strchr("368", p[3]) != nullptr;
}

bool beginsMosTechnology(const char* p, std::size_t n) {
  return n >= 3 && p[0] == ';' && isHex(p[1]) && isHex(p[2]);
}

// "S" and a 16-bit address for the data records that follow.
bool beginsFairchild(const char* p, std::size_t n) {
  return charAt(p, n, 0, 'S') && hexAt(p, n, 1, 4);
}

// Address, count and their check: eight digits after '/'.
bool beginsTektronix(const char* p, std::size_t n) {
  return charAt(p, n, 0, '/') && hexAt(p, n, 1, 8);
}

// A command: '/' and its letter.
bool beginsFastLoad(const char* p, std::size_t n) {
  return charAt(p, n, 0, '/') && n >= 2 && p[1] != '\0' &&
         std::strchr("ABCEKSZ", p[1]) != nullptr;
}

bool beginsNeedham(const char* p, std::size_t n) {
  return charAt(p, n, 0, '$') && charAt(p, n, 1, 'A') && hexAt(p, n, 2, 1);
}

// '$' and a group of five base-85 digits ('%' to 'z' without '*').
bool beginsFpc(const char* p, std::size_t n) {
  if (!charAt(p, n, 0, '$') || n < 6) return false;
  for (std::size_t i = 1; i < 6; ++i)
    if (p[i] < '%' || p[i] > 'z' || p[i] == '*') return false;
  return true;
}

bool beginsStx(const char* p, std::size_t n) { return charAt(p, n, 0, '\x02'); }

// The module header record, type 0x02.
bool beginsAomf(const char* p, std::size_t n) {
  return charAt(p, n, 0, '\x02') && n >= 3;
}

bool beginsPpx(const char* p, std::size_t n) {
  return charAt(p, n, 0, '*') && lineEndAt(p, n, 1) && n > 1;
}

bool beginsCosmac(const char* p, std::size_t n) {
  return charAt(p, n, 0, '!') && charAt(p, n, 1, 'M') && hexAt(p, n, 2, 1);
}

// Its reset command alone on a line, in either byte order.
bool beginsMipsFlash(const char* p, std::size_t n) {
  return charAt(p, n, 0, '!') && charAt(p, n, 1, 'R') && n > 2 &&
         lineEndAt(p, n, 2);
}

bool beginsOs65v(const char* p, std::size_t n) {
  return charAt(p, n, 0, '.') && hexAt(p, n, 1, 1);
}

bool beginsLogisim(const char* p, std::size_t n) {
  return n >= 8 && std::memcmp(p, "v2.0 raw", 8) == 0;
}

// A tag (program identifier, address, data word or byte) and its digits.
bool beginsTiTagged(const char* p, std::size_t n) {
  return n >= 1 && p[0] != '\0' && std::strchr("K9B*", p[0]) != nullptr &&
         hexAt(p, n, 1, 2);
}

// Address and count: ten digits.
bool beginsBRecord(const char* p, std::size_t n) { return hexAt(p, n, 0, 10); }

bool beginsAtmelGeneric(const char* p, std::size_t n) {
  return hexAt(p, n, 0, 6) && charAt(p, n, 6, ':');
}

bool beginsElektorMonitor52(const char* p, std::size_t n) {
  return hexAt(p, n, 0, 2) && charAt(p, n, 2, ' ') && hexAt(p, n, 3, 4) &&
         charAt(p, n, 7, ':');
}

// A word address and a data word, in either byte order.
bool beginsSpasm(const char* p, std::size_t n) {
  return hexAt(p, n, 0, 4) && charAt(p, n, 4, ' ') && hexAt(p, n, 5, 4);
}

// Record type 1, 16 bits.
bool beginsDecBinary(const char* p, std::size_t n) {
  return charAt(p, n, 0, '\x01') && charAt(p, n, 1, '\0');
}

bool beginsPpb(const char* p, std::size_t n) { return charAt(p, n, 0, '\x01'); }

// A data, end or comment record.
bool beginsTrs80(const char* p, std::size_t n) {
  return n >= 2 && p[0] != '\0' && std::strchr("\x01\x02\x03\x05", p[0]);
}

// A data or end record's tag.
bool beginsWilson(const char* p, std::size_t n) {
  return charAt(p, n, 0, '#') || charAt(p, n, 0, '\'');
}

// Formats by their first bytes: the bytes a file begins with, or a test of
// them. A file whose first bytes one row claims is that row's; where
// several claim it, or a row must prove its claim (a lead that raw binary
// or plain text may begin with too: a byte, hex digits, '$' or '/' and a
// letter), the first records decide: each format's own reader tries them,
// and the file is the one format that reads them. Where none does, it is
// the first row's that needs no proof (its reader then says what is
// wrong), else binary. A new format is a row.
const struct {
  const char* pType;
  const char* pMagic;
  std::size_t iMagic;
  bool (*begins)(const char* p, std::size_t n);
  bool bProve;
} kContents[] = {
    {"Intel HEX", ":", 1, nullptr, false},
    {"Signetics", ":", 1, nullptr, false},
    {"Intel HEX-16", ":", 1, nullptr, false},
    {"Motorola S-record", nullptr, 0, beginsSRecord, false},
    {"Fairchild", nullptr, 0, beginsFairchild, false},
    {"IDT", nullptr, 0, beginsSRecord, true},
    {"Stewie", nullptr, 0, beginsSRecord, true},
    {"ELF",
     "\x7F"
     "ELF",
     4, nullptr, false},
    {"TI-TXT", "@", 1, nullptr, false},
    {"UF2", "UF2\nWQ]\x9E", 8, nullptr, false},
    {"DfuSe", "DfuSe", 5, nullptr, false},
    {"MsBin", "B000FF\n", 7, nullptr, false},
    {"Formatted binary", "\x08\x1C\x2A\x49\x08\x00", 6, nullptr, false},
    {"Formatted binary", "\x08\x1C\x3E\x6B\x08\x00", 6, nullptr, false},
    {"MIF", nullptr, 0, beginsMif, false},
    {"Tektronix extended", nullptr, 0, beginsTektronixExtended, false},
    {"MOS Technology", nullptr, 0, beginsMosTechnology, false},
    {"Tektronix", nullptr, 0, beginsTektronix, false},
    {"FastLoad", nullptr, 0, beginsFastLoad, true},
    {"Needham", nullptr, 0, beginsNeedham, false},
    {"Four Packed Code", nullptr, 0, beginsFpc, true},
    {"ASCII-Hex", nullptr, 0, beginsStx, true},
    {"AOMF", nullptr, 0, beginsAomf, true},
    {"PPX", nullptr, 0, beginsPpx, false},
    {"Cosmac", nullptr, 0, beginsCosmac, false},
    {"MIPS flash (big-endian)", nullptr, 0, beginsMipsFlash, false},
    {"MIPS flash (little-endian)", nullptr, 0, beginsMipsFlash, false},
    {"OS65V", nullptr, 0, beginsOs65v, false},
    {"Logisim", nullptr, 0, beginsLogisim, false},
    {"TI-Tagged", nullptr, 0, beginsTiTagged, true},
    {"TI-Tagged-16", nullptr, 0, beginsTiTagged, true},
    {"B-Record", nullptr, 0, beginsBRecord, true},
    {"Atmel Generic", nullptr, 0, beginsAtmelGeneric, true},
    {"Elektor Monitor (EMON52)", nullptr, 0, beginsElektorMonitor52, true},
    {"SPASM (big-endian)", nullptr, 0, beginsSpasm, true},
    {"SPASM (little-endian)", nullptr, 0, beginsSpasm, true},
    {"DEC binary", nullptr, 0, beginsDecBinary, true},
    {"PPB", nullptr, 0, beginsPpb, true},
    {"TRS-80", nullptr, 0, beginsTrs80, true},
    {"Wilson", nullptr, 0, beginsWilson, true},
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

// One format's reading of a file's first records, into a VMM of its own.
struct Trial {
  explicit Trial(const char* pName) : pType(pName) {
    vmm.setMemoryModell(new gcVMM32BitHashed);
  }
  const char* pType;
  gcVMM vmm;
  gcImageInfo info;
};

// Whether the format's own reader takes p[0, n) and finds data or a start
// address in it. Bytes bCut cuts from more: a text format reads their whole
// lines, and a failure on the last of them is the cut's; a binary reader
// ends before a record the cut cuts (setSourceHead).
bool reads(const char* p, std::size_t n, bool bCut, Trial* pTrial) {
  gcFileSupport support;
  gcFileFormat* pFormat = support.createFileSupport(pTrial->pType);
  if (pFormat == nullptr) return false;
  const bool bText = !gcFileSupport::isBinary(pTrial->pType);
  std::uint64_t iLines = 0;
  if (bCut && bText) {
    while (n > 0 && p[n - 1] != '\n' && p[n - 1] != '\r') --n;
    if (n == 0) return false;
    for (const char* q = p;
         (q = static_cast<const char*>(std::memchr(q, '\n', p + n - q))) !=
         nullptr;
         ++q)
      ++iLines;
  }
  gcImageOptions options;
  options.setSource(p, n).setSourceHead(bCut);
  const gcFileResult r =
      pFormat->loadImage("head", &pTrial->vmm, options, &pTrial->info);
  // Nothing read is no sign of the format.
  if (r.isOk()) return r.getDataBytes() != 0 || pTrial->info.hasStartAddress();
  return bCut && bText && iLines > 1 && r.getLine() >= iLines;
}

// The first 4 KiB tell the formats apart but where the first records are
// long or hold no data: the whole head then decides. A head of
// kDetectBytes may be cut from a longer file.
bool readsFirstRecords(const char* p, std::size_t n, Trial* pTrial) {
  constexpr std::size_t kFirst = 4096;
  return (n > kFirst && reads(p, kFirst, true, pTrial)) ||
         reads(p, n, n >= gcFileSupport::kDetectBytes, pTrial);
}

// Whether two trials read the same bytes at the same addresses and the
// same start address.
bool sameImage(Trial& a, Trial& b) {
  if (a.info.hasStartAddress() != b.info.hasStartAddress() ||
      a.info.getStartAddress() != b.info.getStartAddress())
    return false;
  const std::vector<gcRun> runs = collectRuns(&a.vmm);
  const std::vector<gcRun> others = collectRuns(&b.vmm);
  if (runs.size() != others.size()) return false;
  std::string x, y;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (runs[i].iFirst != others[i].iFirst ||
        runs[i].iLength != others[i].iLength)
      return false;
    x.resize(runs[i].iLength), y.resize(runs[i].iLength);
    a.vmm.getBlock(runs[i].iFirst, &x[0], runs[i].iLength);
    b.vmm.getBlock(runs[i].iFirst, &y[0], runs[i].iLength);
    if (x != y) return false;
  }
  return true;
}

// The format of a file that begins with the head (see kContents), sPreferred
// (an extension's) among those its lead allows; empty, with *pBoth the
// formats that read it differently, where the head tells none.
std::string detectHead(const char* p, std::size_t n,
                       const std::string& sPreferred,
                       std::vector<std::string>* pBoth) {
  std::vector<const char*> leads;
  const char* pFallback = nullptr;  // the first lead that needs no proof
  for (const auto& c : kContents) {
    const bool bMatch =
        c.begins != nullptr
            ? c.begins(p, n)
            : n >= c.iMagic && std::memcmp(p, c.pMagic, c.iMagic) == 0;
    if (!bMatch) continue;
    if (c.pType == sPreferred) return c.pType;
    leads.push_back(c.pType);
    if (pFallback == nullptr && !c.bProve) pFallback = c.pType;
  }
  if (leads.size() == 1 && pFallback != nullptr) return pFallback;
  std::vector<std::unique_ptr<Trial>> read;
  for (const char* pType : leads) {
    auto pTrial = std::make_unique<Trial>(pType);
    if (readsFirstRecords(p, n, pTrial.get()))
      read.push_back(std::move(pTrial));
  }
  if (read.empty()) return pFallback != nullptr ? pFallback : kBinary;
  bool bSame = true;
  for (std::size_t i = 1; i < read.size() && bSame; ++i)
    bSame = sameImage(*read[0], *read[i]);
  if (bSame) return read[0]->pType;
  for (const auto& pTrial : read) pBoth->push_back(pTrial->pType);
  return std::string();
}

const char* wordOf(const std::string& sType) {
  for (const auto& w : kWords)
    if (sType == w.pType) return w.pWord;
  return "binary";
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
  std::vector<std::string> both;
  return detectHead(pHead, iSize, std::string(), &both);
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
  std::string sPreferred;
  for (const auto& e : kDecidingExtensions) {
    if (sExt != e.pExtension) continue;
    if (e.bAhead) {
      *pType = e.pType;
      return gcFileResult();
    }
    sPreferred = e.pType;
  }
  std::vector<std::string> both;
  *pType = detectHead(pHead, iSize, sPreferred, &both);
  if (!both.empty()) {
    std::string sAs, sGive;
    for (std::size_t i = 0; i < both.size(); ++i) {
      const char* pSep = i == 0 ? "" : i + 1 == both.size() ? " or " : ", ";
      sAs += std::string(i == 0 ? "" : " and as ") + both[i];
      sGive += pSep + std::string("PATH@") + wordOf(both[i]);
    }
    return gcFileResult::failure(
        sName, 0,
        "cannot tell the format: its first records read as " + sAs + ": give " +
            sGive);
  }
  if (*pType == kBinary && !sPreferred.empty()) *pType = sPreferred;
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
