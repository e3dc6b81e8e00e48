#include "gcStandardStreams.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "gcImageLoad.h"

const char kStdinName[] = "<stdin>";
const char kStdoutName[] = "<stdout>";

namespace {

constexpr std::size_t kHead = 64;
constexpr std::size_t kChunk = 1 << 16;

gcFileResult failed(const char* pName, const char* pWhat) {
  return gcFileResult::failure(
      pName, 0, std::string(pWhat) + ": " + std::strerror(errno));
}

std::string pathOf(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

bool writeAll(int fd, const char* pData, std::size_t n) {
  while (n > 0) {
    const ssize_t done = ::write(fd, pData, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    pData += done, n -= static_cast<std::size_t>(done);
  }
  return true;
}

}  // namespace

gcFileResult spoolStandardInput(std::uint64_t iMaxMemory, std::string* pPath,
                                std::string* pHead) {
  // Standard input can be read once: every "-" of a process is that one copy.
  static std::mutex lock;
  static int fd = -1;
  static std::string head;
  std::lock_guard<std::mutex> guard(lock);
  if (fd < 0) {
    const int copy = memfd_create("dwxvmm-stdin", MFD_CLOEXEC);
    if (copy < 0) return failed(kStdinName, "cannot keep a copy");
    std::string buffer(kChunk, '\0');
    std::string first;
    std::uint64_t iSize = 0;
    for (;;) {
      const ssize_t n = ::read(STDIN_FILENO, &buffer[0], kChunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        const gcFileResult r = failed(kStdinName, "read error");
        close(copy);
        return r;
      }
      if (n == 0) break;
      iSize += static_cast<std::uint64_t>(n);
      if (iMaxMemory != 0 && iSize > iMaxMemory) {
        close(copy);
        return gcFileResult::failure(
            kStdinName, 0,
            "the input would pass the memory limit of " + sizeText(iMaxMemory));
      }
      if (first.size() < kHead)
        first.append(
            buffer, 0,
            std::min(kHead - first.size(), static_cast<std::size_t>(n)));
      if (!writeAll(copy, buffer.data(), static_cast<std::size_t>(n))) {
        const gcFileResult r = failed(kStdinName, "cannot keep a copy");
        close(copy);
        return r;
      }
    }
    fd = copy;
    head = first;
  }
  *pPath = pathOf(fd);
  *pHead = head;
  return gcFileResult();
}

gcFileResult writeStandardOutput(
    const std::function<gcFileResult(const std::string& sPath)>& write) {
  const int fd = memfd_create("dwxvmm-stdout", MFD_CLOEXEC);
  if (fd < 0) return failed(kStdoutName, "cannot write");
  const std::string sPath = pathOf(fd);
  gcFileResult result;
  try {
    result = renameInResult(write(sPath), sPath, kStdoutName);
  } catch (...) {
    close(fd);
    throw;
  }
  std::string buffer(kChunk, '\0');
  bool bCopied =
      result.isOk() && lseek(fd, 0, SEEK_SET) == 0 && std::fflush(stdout) == 0;
  for (ssize_t n; bCopied && (n = ::read(fd, &buffer[0], kChunk)) != 0;)
    bCopied = n > 0 && writeAll(STDOUT_FILENO, buffer.data(),
                                static_cast<std::size_t>(n));
  if (result.isOk() && !bCopied) result = failed(kStdoutName, "cannot write");
  close(fd);
  return result;
}

gcFileResult renameInResult(const gcFileResult& r, const std::string& sPath,
                            const std::string& sName) {
  gcFileResult out = r;
  if (!r.isOk())
    out = gcFileResult::failure(r.getFile() == sPath ? sName : r.getFile(),
                                r.getLine(), r.getReason());
  else
    out = gcFileResult();
  out.setDataBytes(r.getDataBytes());
  out.setFilledBytes(r.getFilledBytes());
  for (const std::string& warning : r.getWarnings()) {
    const bool bOurs = warning.compare(0, sPath.size() + 1, sPath + ":") == 0;
    out.addWarning(std::string(), 0,
                   bOurs ? sName + warning.substr(sPath.size()) : warning);
  }
  return out;
}
