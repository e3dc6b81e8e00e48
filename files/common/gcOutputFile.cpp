#include "gcOutputFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

gcFileResult cannotWrite(const std::string& sPath) {
  return gcFileResult::failure(
      sPath, 0, std::string("cannot write: ") + std::strerror(errno));
}

}  // namespace

gcFileResult replaceFile(
    const std::string& sPath,
    const std::function<gcFileResult(const std::string& sBeside)>& write) {
  std::string sBeside = sPath + ".dwxvmm-XXXXXX";
  const int fd = mkstemp(&sBeside[0]);
  if (fd < 0) return cannotWrite(sPath);
  // mkstemp's 0600 would become the output's mode: use the usual one.
  const mode_t mask = umask(0);
  umask(mask);
  const bool bMode = fchmod(fd, 0666 & ~mask) == 0;
  close(fd);
  if (!bMode) {
    const gcFileResult failed = cannotWrite(sPath);
    std::remove(sBeside.c_str());
    return failed;
  }
  gcFileResult result;
  try {
    result = write(sBeside);
  } catch (...) {
    std::remove(sBeside.c_str());
    throw;
  }
  if (result.isOk() && std::rename(sBeside.c_str(), sPath.c_str()) != 0)
    result = cannotWrite(sPath);
  if (!result.isOk()) {
    std::remove(sBeside.c_str());
    if (result.getFile() != sPath) {
      gcFileResult named =
          gcFileResult::failure(sPath, result.getLine(), result.getReason());
      for (const std::string& warning : result.getWarnings())
        named.addWarning(std::string(), 0, warning);
      return named;
    }
  }
  return result;
}

gcFileResult writeTextFile(const std::string& sPath, const std::string& sText) {
  FILE* pFile = std::fopen(sPath.c_str(), "wb");
  bool bOk = pFile != nullptr &&
             std::fwrite(sText.data(), 1, sText.size(), pFile) == sText.size();
  if (pFile != nullptr) bOk = std::fclose(pFile) == 0 && bOk;
  return bOk ? gcFileResult() : cannotWrite(sPath);
}

bool readTextFile(const std::string& sPath, std::string* pText) {
  FILE* pFile = std::fopen(sPath.c_str(), "rb");
  if (pFile == nullptr) return false;
  char buffer[1 << 16];
  pText->clear();
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pFile)) > 0;)
    pText->append(buffer, n);
  const bool bOk = std::ferror(pFile) == 0;
  std::fclose(pFile);
  return bOk;
}

gcFileResult replaceFileWithText(const std::string& sPath,
                                 const std::string& sText) {
  return replaceFile(sPath, [&](const std::string& sBeside) {
    return writeTextFile(sBeside, sText);
  });
}

bool makeFolderBeside(const std::string& sPath, std::string* pFolder) {
  std::string sName = sPath + ".dwxvmm-XXXXXX";
  if (mkdtemp(&sName[0]) == nullptr) return false;
  *pFolder = sName;
  return true;
}
