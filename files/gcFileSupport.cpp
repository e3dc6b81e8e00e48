#include "gcFileSupport.h"

#include <cstdio>

gcFileSupport::gcFileSupport() = default;

gcFileSupport::~gcFileSupport() = default;

gcFileFormat* gcFileSupport::createFileSupport(std::string sTypeName) {
  std::unique_ptr<gcFileFormat> format;
  if (sTypeName == "Binaray file" || sTypeName == "Binary file")
    format.reset(new gcBinaryFile);
  else if (sTypeName == "Intel HEX")
    format.reset(new gcIntelHexFile);
  else if (sTypeName == "Motorola S-record")
    format.reset(new gcSRecordFile);
  else
    return nullptr;
  formats_.push_back(std::move(format));
  return formats_.back().get();
}

std::string gcFileSupport::detectType(const char* pHead, std::size_t iSize) {
  if (iSize >= 1 && pHead[0] == ':') return "Intel HEX";
  if (iSize >= 2 && pHead[0] == 'S' && pHead[1] >= '0' && pHead[1] <= '9')
    return "Motorola S-record";
  return "Binary file";
}

std::string gcFileSupport::detectFileType(const std::string& sFileName) {
  FILE* pFile = std::fopen(sFileName.c_str(), "rb");
  if (pFile == nullptr) return std::string();
  char head[2];
  const std::size_t n = std::fread(head, 1, sizeof head, pFile);
  std::fclose(pFile);
  return detectType(head, n);
}
