#include "gcFileSupport.h"

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
  return "Binary file";
}

std::string gcFileSupport::detectFileType(const std::string& sFileName) {
  FILE* pFile = std::fopen(sFileName.c_str(), "rb");
  if (pFile == nullptr) return std::string();
  char head[4];
  const std::size_t n = std::fread(head, 1, sizeof head, pFile);
  std::fclose(pFile);
  return detectType(head, n);
}
