#include "gcFileSupport.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

template <class Format>
gcFileFormat* make() {
  return new Format;
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
};

bool isHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)); }

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
  if (!gcRecordFile::isRecordFormat(sTypeName.c_str())) return nullptr;
  formats_.emplace_back(new gcRecordFile(sTypeName.c_str()));
  return formats_.back().get();
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
  // The record formats whose lead no other format begins with.
  if (iSize >= 4 && pHead[0] == '%' && isHex(pHead[1]) && isHex(pHead[2]) &&
      std::strchr("368", pHead[3]) != nullptr)
    return "Tektronix extended";
  if (iSize >= 3 && pHead[0] == ';' && isHex(pHead[1]) && isHex(pHead[2]))
    return "MOS Technology";
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
  return "ihex|srec|binary|titxt|vmem|c|uf2|dfuse|mif|coe|ihex16|tektronix|"
         "tektronix-ext|mos-tech|signetics|atmel-generic|emon52|brecord|"
         "fairchild|ti-tagged|ti-tagged16";
}
