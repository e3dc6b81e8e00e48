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

// As many as tell a format (gcFileSupport::kDetectBytes).
constexpr std::size_t kHead = 1 << 16;
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

// Copies standard input to fd, its first bytes also to *pHead.
gcFileResult copyInput(int fd, std::uint64_t iMaxMemory, std::string* pHead) {
  std::string buffer(kChunk, '\0');
  for (std::uint64_t iSize = 0;;) {
    const ssize_t n = ::read(STDIN_FILENO, &buffer[0], kChunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failed(kStdinName, "read error");
    if (n == 0) return gcFileResult();
    const auto iRead = static_cast<std::size_t>(n);
    iSize += iRead;
    if (iMaxMemory != 0 && iSize > iMaxMemory)
      return gcFileResult::failure(
          kStdinName, 0,
          "the input would pass the memory limit of " + sizeText(iMaxMemory));
    pHead->append(buffer, 0, std::min(kHead - pHead->size(), iRead));
    if (!writeAll(fd, buffer.data(), iRead))
      return failed(kStdinName, "cannot keep a copy");
  }
}

}  // namespace

gcFileResult spoolStandardInput(std::uint64_t iMaxMemory, std::string* pPath,
                                std::string* pHead) {
  // Standard input can be read once: every "-" of a process is that one
  // copy, and a failure to read it stays the answer.
  static std::mutex lock;
  static int fd = -1;
  static std::string head;
  static gcFileResult result;
  std::lock_guard<std::mutex> guard(lock);
  if (fd < 0 && result.isOk()) {
    fd = memfd_create("dwxvmm-stdin", MFD_CLOEXEC);
    result = fd < 0 ? failed(kStdinName, "cannot keep a copy")
                    : copyInput(fd, iMaxMemory, &head);
  }
  if (!result.isOk()) return result;
  *pPath = pathOf(fd);
  *pHead = head;
  return result;
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
