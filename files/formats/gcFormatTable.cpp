#include "gcFormatTable.h"

#include <dwxvmm/dwxvmm.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
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
// first records decide (detectHead).
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

// Intel HEX, Signetics and Intel HEX-16.
bool beginsColon(const char* p, std::size_t n) { return startsWith(p, n, ":"); }

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
  kProve = gcFormatInfo::kProve,
  kHinted = gcFormatInfo::kHinted,
};

// Every format, a row each: word, type name, alias, extensions, kinds, how
// its first bytes are recognised, a line of description, how to make one.
// Detection tries the recognisers in this order (where two formats' files
// may begin alike, the first that reads them wins); the tool and the
// module list the formats in it.
const gcFormatInfo kTable[] = {
    {"ihex", "Intel HEX", nullptr, "hex ihex ihx", RW | kAddr | kUnit,
     beginsColon, "Intel HEX: 00 to 05 records", make<gcIntelHexFile>},
    {"srec", "Motorola S-record", nullptr, "srec s19 s28 s37 mot",
     RW | kAddr | kUnit, beginsSRecord, "Motorola S-record: S0 to S9",
     make<gcSRecordFile>},
    {"binary", "Binary file", "Binaray file", "bin", RW | kBin | kFills | kRest,
     nullptr, "raw bytes, placed at the load address, holes filled",
     make<gcBinaryFile>},
    {"titxt", "TI-TXT", nullptr, "", RW | kAddr | kUnit, beginsTiTxt,
     "TI-TXT: @ addresses, 16 bytes a line", make<gcTiTxtFile>},
    {"vmem", "Verilog memory", nullptr, "vmem mem", RW | kAddr | kNamed,
     nullptr, "Verilog $readmemh words of 8, 16 or 32 bits",
     make<gcVerilogMemFile>},
    {"c", "C array", nullptr, "c", W | kAddr, nullptr,
     "C99 and C++ arrays, a run each", make<gcCArrayFile>},
    {"elf", "ELF", nullptr, "elf", RW | kBin | kAddr, beginsElf,
     "ELF: the loadable sections' contents; writes ELF32 executables",
     make<gcElfFile>},
    {"uf2", "UF2", nullptr, "uf2", RW | kBin | kAddr | kFills, beginsUf2,
     "UF2: 512-byte blocks of 256 bytes, one family", make<gcUf2File>},
    {"dfuse", "DfuSe", nullptr, "dfu", RW | kBin | kAddr, beginsDfuSe,
     "ST's DfuSe: one target, an element a run, CRC checked",
     make<gcDfuSeFile>},
    {"mif", "MIF", nullptr, "mif", RW | kAddr | kFills | kNamed, beginsMif,
     "Quartus Memory Initialization File: words from 0", make<gcMifFile>},
    {"coe", "COE", nullptr, "coe", W | kAddr | kFills, nullptr,
     "Xilinx coefficient file: words from 0", make<gcCoeFile>},
    {"tektronix", "Tektronix", nullptr, "tek", RW | kAddr | kUnit | kHinted,
     beginsTektronix, "Tektronix: 16-bit addresses, digit sums", record},
    {"tektronix-ext", "Tektronix extended", nullptr, "", RW | kAddr | kUnit,
     beginsTektronixExtended, "extended Tektronix: % records, 32 bits", record},
    {"mos-tech", "MOS Technology", nullptr, "", RW | kAddr | kUnit,
     beginsMosTechnology, "MOS Technology: ; records, 16-bit sums", record},
    {"signetics", "Signetics", nullptr, "", RW | kAddr | kUnit, beginsColon,
     "Signetics: XOR and rotate checks", record},
    {"ihex16", "Intel HEX-16", nullptr, "", RW | kAddr, beginsColon,
     "Intel HEX of 16-bit words", record},
    {"atmel-generic", "Atmel Generic", nullptr, "", RW | kAddr | kProve,
     beginsAtmelGeneric, "Atmel Generic: a 16-bit word a line", record},
    {"emon52", "Elektor Monitor (EMON52)", nullptr, "",
     RW | kAddr | kUnit | kProve, beginsElektorMonitor52,
     "Elektor Monitor (EMON52): 16-bit sums of data", record},
    {"fairchild", "Fairchild", nullptr, "", RW | kAddr | kUnit, beginsFairchild,
     "Fairchild: S addresses, 8-byte records, * at the end", record},
    {"ti-tagged", "TI-Tagged", nullptr, "", RW | kAddr | kUnit | kProve,
     beginsTiTagged, "TI-Tagged: a stream of tags, 16-bit addresses", record},
    {"ti-tagged16", "TI-Tagged-16", nullptr, "", RW | kAddr | kProve,
     beginsTiTagged, "TI-Tagged of 16-bit words", record},
    {"brecord", "B-Record", nullptr, "", RW | kAddr | kUnit | kProve,
     beginsBRecord, "B-Record: 32-bit addresses, no checks", record},
    {"needham", "Needham", nullptr, "", RW | kAddr | kUnit, beginsNeedham,
     "Needham: ASCII-Hex without STX, ETX and sum", call<newNeedhamFile>},
    {"ppx", "PPX", nullptr, "", RW | kAddr | kUnit, beginsPpx,
     "PPX: address lines between * and $S and its sum", record},
    {"cosmac", "Cosmac", nullptr, "", RW | kAddr | kUnit, beginsCosmac,
     "Cosmac: !M commands, 32-bit addresses", record},
    {"ascii-hex", "ASCII-Hex", nullptr, "", RW | kAddr | kUnit | kProve,
     beginsStx, "ASCII-Hex: STX, $A addresses, ETX, $S sum",
     call<newAsciiHexFile>},
    {"fastload", "FastLoad", nullptr, "", RW | kAddr | kUnit | kProve,
     beginsFastLoad, "FastLoad: base-64 groups and / commands",
     call<newFastLoadFile>},
    {"fpc", "Four Packed Code", nullptr, "fpc",
     RW | kAddr | kUnit | kProve | kHinted, beginsFpc,
     "Four Packed Code: base 85 records", call<newFpcFile>},
    {"os65v", "OS65V", nullptr, "", RW | kAddr | kUnit, beginsOs65v,
     "Ohio Scientific OS65V: 16-bit addresses", call<newOs65vFile>},
    {"spasm-be", "SPASM (big-endian)", nullptr, "", RW | kAddr | kProve,
     beginsSpasm, "SPASM: 16-bit words, big-endian",
     endian<newSpasmFile, false>},
    {"spasm-le", "SPASM (little-endian)", nullptr, "", RW | kAddr | kProve,
     beginsSpasm, "SPASM: 16-bit words, little-endian",
     endian<newSpasmFile, true>},
    {"mips-flash-be", "MIPS flash (big-endian)", nullptr, "",
     RW | kAddr | kUnit, beginsMipsFlash,
     "MIPS flash commands, big-endian words", endian<newMipsFlashFile, false>},
    {"mips-flash-le", "MIPS flash (little-endian)", nullptr, "",
     RW | kAddr | kUnit, beginsMipsFlash,
     "MIPS flash commands, little-endian words",
     endian<newMipsFlashFile, true>},
    {"logisim", "Logisim", nullptr, "", RW | kFills, beginsLogisim,
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
    {"aomf", "AOMF", nullptr, "aomf",
     RW | kBin | kAddr | kUnit | kProve | kHinted, beginsAomf,
     "Absolute Object Module Format: 16-bit addresses", binaryRecord},
    {"msbin", "MsBin", nullptr, "", RW | kBin | kAddr | kUnit, beginsMsBin,
     "MsBin: B000FF, records with 32-bit sums", binaryRecord},
    {"formatted-binary", "Formatted binary", nullptr, "", RW | kBin | kFills,
     beginsFormattedBinary, "Formatted binary: leaders, bytes and a sum",
     binaryRecord},
    {"dec-binary", "DEC binary", nullptr, "lda",
     RW | kBin | kAddr | kUnit | kProve | kHinted, beginsDecBinary,
     "DEC binary: records with 16-bit addresses", binaryRecord},
    {"idt", "IDT", nullptr, "", RW | kBin | kAddr | kUnit | kProve,
     beginsSRecord, "IDT: binary S3 and S7 records", binaryRecord},
    {"ppb", "PPB", nullptr, "ppb", RW | kBin | kAddr | kUnit | kProve | kHinted,
     beginsPpb, "PPB: packets, a sum after every 1024 bytes", binaryRecord},
    {"stewie", "Stewie", nullptr, "", RW | kBin | kAddr | kUnit | kProve,
     beginsSRecord, "Stewie: binary S-records", binaryRecord},
    {"trs80", "TRS-80", nullptr, "", RW | kBin | kAddr | kUnit | kProve,
     beginsTrs80, "TRS-80: load records, 16-bit addresses", binaryRecord},
    {"wilson", "Wilson", nullptr, "", RW | kBin | kAddr | kUnit | kProve,
     beginsWilson, "Wilson: binary S-records", binaryRecord},
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

// The format of a file that begins with the head, sPreferred (an
// extension's) among those its lead allows: a file whose first bytes one
// row's recogniser claims is that row's; where several claim it, or a row
// must prove its claim (kProve: a lead that raw binary or plain text may
// begin with too), each format's own reader tries the first records, and
// the file is the one format that reads them. Where none does, it is the
// first row's that needs no proof (its reader then says what is wrong),
// else the rest's. Empty, with *pBoth the formats that read it
// differently, where the head tells none.
std::string detectHead(const char* p, std::size_t n,
                       const std::string& sPreferred,
                       std::vector<std::string>* pBoth) {
  std::vector<const char*> leads;
  const char* pFallback = nullptr;  // the first lead that needs no proof
  for (const gcFormatInfo& f : kTable) {
    if (f.recognise == nullptr || !f.recognise(p, n)) continue;
    if (f.pTypeName == sPreferred) return f.pTypeName;
    leads.push_back(f.pTypeName);
    if (pFallback == nullptr && !f.is(gcFormatInfo::kProve))
      pFallback = f.pTypeName;
  }
  if (leads.size() == 1 && pFallback != nullptr) return pFallback;
  std::vector<std::unique_ptr<Trial>> read;
  for (const char* pType : leads) {
    auto pTrial = std::make_unique<Trial>(pType);
    if (readsFirstRecords(p, n, pTrial.get()))
      read.push_back(std::move(pTrial));
  }
  if (read.empty()) return pFallback != nullptr ? pFallback : rest().pTypeName;
  bool bSame = true;
  for (std::size_t i = 1; i < read.size() && bSame; ++i)
    bSame = sameImage(*read[0], *read[i]);
  if (bSame) return read[0]->pType;
  for (const auto& pTrial : read) pBoth->push_back(pTrial->pType);
  return std::string();
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
  for (const gcFormatInfo& f : kTable) {
    if (f.is(gcFormatInfo::kNamed) && hasExtension(f, sExt, true)) {
      *pType = f.pTypeName;
      return gcFileResult();
    }
    if (f.is(gcFormatInfo::kHinted) && hasExtension(f, sExt))
      sPreferred = f.pTypeName;
  }
  std::vector<std::string> both;
  *pType = detectHead(pHead, iSize, sPreferred, &both);
  if (!both.empty()) {
    std::string sAs, sGive;
    for (std::size_t i = 0; i < both.size(); ++i) {
      const char* pSep = i == 0 ? "" : i + 1 == both.size() ? " or " : ", ";
      sAs += std::string(i == 0 ? "" : " and as ") + both[i];
      sGive += pSep + std::string("PATH@") + findType(both[i])->pWord;
    }
    return gcFileResult::failure(
        sName, 0,
        "cannot tell the format: its first records read as " + sAs + ": give " +
            sGive);
  }
  const std::string sRest = rest().pTypeName;
  if (*pType == sRest && !sPreferred.empty()) *pType = sPreferred;
  if (*pType != sRest || !isText(pHead, iSize)) return gcFileResult();
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
