#include "gcFileSupport.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "gcDataTextFiles.h"
#include "gcListingFile.h"

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
};

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
  return nullptr;
}

std::string gcFileSupport::detectType(const char* pHead, std::size_t iSize) {
  if (iSize >= 1 && pHead[0] == ':') return "Intel HEX";
  if (iSize >= 2 && pHead[0] == 'S' && pHead[1] >= '0' && pHead[1] <= '9')
    return "Motorola S-record";
  if (iSize >= 4 && std::memcmp(pHead,
                                "\x7F"
                                "ELF",
                                4) == 0)
    return "ELF";
  if (iSize >= 1 && pHead[0] == '@') return "TI-TXT";
  if (iSize >= 8 && std::memcmp(pHead, "UF2\nWQ]\x9E", 8) == 0) return "UF2";
  if (iSize >= 5 && std::memcmp(pHead, "DfuSe", 5) == 0) return "DfuSe";
  return "Binary file";
}

std::string gcFileSupport::detectFileType(const std::string& sFileName) {
  FILE* pFile = std::fopen(sFileName.c_str(), "rb");
  if (pFile == nullptr) return std::string();
  char head[8];
  const std::size_t n = std::fread(head, 1, sizeof head, pFile);
  std::fclose(pFile);
  return detectType(head, n);
}

std::string gcFileSupport::typeForWord(const std::string& sWord) {
  for (const auto& w : kWords)
    if (sWord == w.pWord) return w.pType;
  return std::string();
}

std::string gcFileSupport::typeForExtension(const std::string& sFileName) {
  const std::size_t dot = sFileName.rfind('.');
  if (dot == std::string::npos || sFileName.find('/', dot) != std::string::npos)
    return std::string();
  std::string sExt = sFileName.substr(dot + 1);
  for (char& c : sExt) c = static_cast<char>(std::tolower(c));
  for (const auto& w : kWords)
    for (const char* pExt : w.extensions)
      if (pExt != nullptr && sExt == pExt) return w.pType;
  return std::string();
}

bool gcFileSupport::isAddressless(const std::string& sType) {
  for (const char* pType : {"Binary file", "Logisim", "BASIC", "Lattice MEM"})
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
