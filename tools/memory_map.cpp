#include "memory_map.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "../core/gcVMMBase.h"
#include "../core/messages.h"

namespace {

// Buffers the report and hands it to the file in large writes; the per-entry
// cost of a stream is what made the report slow.
class ReportWriter {
 public:
  explicit ReportWriter(int iFd) : iFd_(iFd) {
    try {
      sText_.reserve(kFlushAt + 64);
    } catch (...) {
      close(iFd_);  // no destructor runs for an object never built
      throw;
    }
  }
  ~ReportWriter() {
    flush();
    close(iFd_);
  }
  ReportWriter(const ReportWriter&) = delete;
  ReportWriter& operator=(const ReportWriter&) = delete;

  void text(const char* pText) {
    sText_ += pText;
    if (sText_.size() >= kFlushAt) flush();
  }
  void hex(std::uint32_t iValue) {
    char digits[9];
    int n = 0;
    do {
      digits[n++] = "0123456789abcdef"[iValue & 0xF];
      iValue >>= 4;
    } while (iValue != 0);
    while (n > 0) sText_ += digits[--n];
  }

 private:
  void flush() {
    const char* p = sText_.data();
    std::size_t iLeft = sText_.size();
    while (iLeft > 0) {
      const ssize_t n = write(iFd_, p, iLeft);
      if (n <= 0) break;  // write errors are not reported
      p += n;
      iLeft -= static_cast<std::size_t>(n);
    }
    sText_.clear();
  }

  static constexpr std::size_t kFlushAt = 1 << 16;
  int iFd_;
  std::string sText_;
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

}  // namespace

void writeMemoryMap(gcVMMBase* pVMM) {
  if (pVMM == nullptr) return;
  const int iFd = open("vmm.mmap", O_WRONLY | O_CREAT | O_TRUNC, 0664);
  if (iFd < 0) {
    dwxvmm_detail::reportLine("Unable to create file!");
    return;
  }
  ReportWriter out(iFd);
  vmm_int iAddr = 0;
  for (;;) {
    const vmm_int iPageSize = pVMM->getPageSize();
    if (iPageSize == 0) return;  // no translators, no page: an empty report
    if (pVMM->getPage(iAddr) != nullptr && !writeRun(pVMM, &out, iAddr, &iAddr))
      return;
    if (iAddr > kTop - iPageSize) return;
    iAddr += iPageSize;
  }
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
