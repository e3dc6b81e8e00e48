#include "memory_map.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "../core/gcVMMBase.h"
#include "../core/messages.h"
#include "memory_map_file.h"

namespace {

// Buffers the report and hands it to the file in large writes; entries are
// formatted straight into the buffer, without a stream or a string.
class ReportWriter {
 public:
  // Owns iFd from here on, also when the buffer cannot be had.
  explicit ReportWriter(int iFd) : iFd_(iFd), iUsed_(0) {
    try {
      buffer_.reset(new char[kSize]);
    } catch (...) {
      close(iFd_);
      throw;
    }
  }
  ~ReportWriter() { finish(); }
  ReportWriter(const ReportWriter&) = delete;
  ReportWriter& operator=(const ReportWriter&) = delete;

  template <std::size_t N>
  void text(const char (&text)[N]) {
    room(N - 1);
    std::memcpy(&buffer_[iUsed_], text, N - 1);
    iUsed_ += N - 1;
  }
  // Writes what is buffered and closes the file; false if any write or the
  // close failed.
  bool finish() {
    if (iFd_ < 0) return bWritten_;
    flush();
    bWritten_ = close(iFd_) == 0 && bWritten_;
    iFd_ = -1;
    return bWritten_;
  }
  void hex(std::uint32_t iValue) {
    room(8);
    int n = 1;
    while (n < 8 && (iValue >> (4 * n)) != 0) ++n;
    for (int i = n - 1; i >= 0; --i, iValue >>= 4)
      buffer_[iUsed_ + i] = "0123456789abcdef"[iValue & 0xF];
    iUsed_ += n;
  }

 private:
  void room(std::size_t n) {
    if (iUsed_ + n > kSize) flush();
  }
  void flush() {
    const char* p = buffer_.get();
    std::size_t iLeft = iUsed_;
    while (iLeft > 0) {
      const ssize_t n = write(iFd_, p, iLeft);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        bWritten_ = false;
        break;
      }
      p += n;
      iLeft -= static_cast<std::size_t>(n);
    }
    iUsed_ = 0;
  }

  static constexpr std::size_t kSize = 1 << 16;
  int iFd_;
  bool bWritten_ = true;
  std::size_t iUsed_;
  std::unique_ptr<char[]> buffer_;
};

const vmm_int kTop = 0xFFFFFFFF;

// Writes the run that starts at iAddr. Returns false when the run reached
// the top of the address space; otherwise *pNext is the first address
// after it, which has no page.
bool writeRun(gcVMMBase* pVMM, ReportWriter* pOut, vmm_int iAddr,
              vmm_int* pNext) {
  pOut->text("- Address 0x");
  pOut->hex(iAddr);
  pOut->text(" - \n");
  unsigned iCount = 0;
  for (vmm_int a = iAddr;; ++a) {
    if (pVMM->isByteMapped(a)) {
      pOut->text("0x");
      pOut->hex(static_cast<std::uint32_t>(static_cast<std::int32_t>(
          static_cast<signed char>(pVMM->getByte(a)))));
      pOut->text(" ");
    } else if (pVMM->getPage(a) == nullptr) {
      pOut->text("\n\n");
      *pNext = a;
      return true;
    } else {
      pOut->text("---- ");
    }
    if (++iCount > 15) {
      pOut->text("\n");
      iCount = 0;
    }
    if (a == kTop) return false;
  }
}

void writeRuns(gcVMMBase* pVMM, ReportWriter* pOut) {
  vmm_int iAddr = 0;
  for (;;) {
    const vmm_int iPageSize = pVMM->getPageSize();
    if (iPageSize == 0) return;  // no translators, no page: an empty report
    if (pVMM->getPage(iAddr) != nullptr && !writeRun(pVMM, pOut, iAddr, &iAddr))
      return;
    if (iAddr > kTop - iPageSize) return;
    iAddr += iPageSize;
  }
}

}  // namespace

namespace dwxvmm_detail {

MapFile writeMemoryMapFile(gcVMMBase* pVMM, const char* pPath) {
  const int iFd = open(pPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0664);
  if (iFd < 0) return MapFile::kNotOpened;
  ReportWriter out(iFd);
  writeRuns(pVMM, &out);
  return out.finish() ? MapFile::kWritten : MapFile::kNotWritten;
}

}  // namespace dwxvmm_detail

void writeMemoryMap(gcVMMBase* pVMM) {
  if (pVMM == nullptr) return;
  if (dwxvmm_detail::writeMemoryMapFile(pVMM, "vmm.mmap") ==
      dwxvmm_detail::MapFile::kNotOpened)
    dwxvmm_detail::reportLine("Unable to create file!");
}

void writeVMMToDisc(gcVMMBase* pVMM, vmm_int iFirst, vmm_int iLast) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen("dst.mmap", "w+"),
                                             &std::fclose);
  if (!file) return;
  const std::uint64_t iLength = std::uint64_t{iLast} - iFirst + 1;
  if (pVMM == nullptr || iLast < iFirst || iLength > kTop) return;
  const vmm_int kChunk = 1 << 20;
  const vmm_int iBufferSize = iLength < kChunk ? vmm_int(iLength) : kChunk;
  std::unique_ptr<char, void (*)(void*)> buffer(
      static_cast<char*>(std::malloc(iBufferSize)), &std::free);
  if (!buffer) return;
  for (std::uint64_t iDone = 0; iDone < iLength;) {
    const vmm_int n =
        iLength - iDone < iBufferSize ? vmm_int(iLength - iDone) : iBufferSize;
    pVMM->getBlock(iFirst + vmm_int(iDone), buffer.get(), n);
    std::fwrite(buffer.get(), n, 1, file.get());
    iDone += n;
  }
}
