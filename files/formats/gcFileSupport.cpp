#include "gcFileSupport.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

template <class Format>
gcFileFormat* make(const std::string&) {
  return new Format;
}

// Every format by its type names; a new format is a row.
const struct {
  const char* pName;
  const char* pAlias;
  gcFileFormat* (*create)(const std::string& sTypeName);
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
    {"AOMF", nullptr, gcBinaryRecordFile::create},
    {"MsBin", nullptr, gcBinaryRecordFile::create},
    {"Formatted binary", nullptr, gcBinaryRecordFile::create},
    {"DEC binary", nullptr, gcBinaryRecordFile::create},
    {"IDT", nullptr, gcBinaryRecordFile::create},
    {"PPB", nullptr, gcBinaryRecordFile::create},
    {"Stewie", nullptr, gcBinaryRecordFile::create},
    {"TRS-80", nullptr, gcBinaryRecordFile::create},
    {"Wilson", nullptr, gcBinaryRecordFile::create},
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

}  // namespace

gcFileSupport::gcFileSupport() = default;

gcFileSupport::~gcFileSupport() = default;

gcFileFormat* gcFileSupport::createFileSupport(std::string sTypeName) {
  for (const auto& f : kFormats) {
    if (sTypeName != f.pName && (f.pAlias == nullptr || sTypeName != f.pAlias))
      continue;
    formats_.emplace_back(f.create(sTypeName));
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
  if (iSize >= 7 && std::memcmp(pHead, "B000FF\n", 7) == 0) return "MsBin";
  if (iSize >= 6 && (std::memcmp(pHead, "\x08\x1C\x2A\x49\x08\x00", 6) == 0 ||
                     std::memcmp(pHead, "\x08\x1C\x3E\x6B\x08\x00", 6) == 0))
    return "Formatted binary";
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

const char* gcFileSupport::formatWords() {
  static const std::string words = [] {
    std::string s;
    for (const auto& w : kWords) (s += s.empty() ? "" : "|") += w.pWord;
    return s;
  }();
  return words.c_str();
}

std::string gcFileSupport::formatList() {
  std::string s = formatWords();
  for (std::size_t at = 0; (at = s.find('|', at)) != std::string::npos;)
    s.replace(at, 1, ", ");
  return s;
}
