#include "gcOutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

gcFileResult cannotWrite(const std::string& sPath) {
  return gcFileResult::failure(
      sPath, 0, std::string("cannot write: ") + std::strerror(errno));
}

// A new file beside sPath, with the mode a plain open gives. The name is
// mkstemp's shape, but mkstemp's 0600 would need the umask, which can only
// be read by changing it, for every thread of the process.
int createBeside(const std::string& sPath, std::string* pBeside) {
  static std::atomic<unsigned> iCount{0};
  for (int iTry = 0; iTry < 64; ++iTry) {
    char suffix[40];
    std::snprintf(suffix, sizeof suffix, ".dwxvmm-%ld-%u",
                  static_cast<long>(getpid()), iCount++);
    *pBeside = sPath + suffix;
    const int fd =
        open(pBeside->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

gcFileResult replaceFile(
    const std::string& sPath,
    const std::function<gcFileResult(const std::string& sBeside)>& write) {
  std::string sBeside;
  const int fd = createBeside(sPath, &sBeside);
  if (fd < 0) return cannotWrite(sPath);
  close(fd);
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
