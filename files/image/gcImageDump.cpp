#include "gcImageDump.h"

#include <cassert>
#include <cstdio>
#include <cstring>

namespace {

typedef std::uint64_t u64;

constexpr unsigned kMaxWidth = 64;
constexpr std::size_t kFlushAt = 1 << 16;

struct Row {
  u64 iAddr = 0;
  unsigned char data[kMaxWidth] = {};
  bool written[kMaxWidth] = {};
};

// Gathers the segments into rows and prints each row once it is complete,
// so only rows holding data ever cost anything.
std::string hex(u64 iValue) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08llx",
                static_cast<unsigned long long>(iValue));
  return text;
}

class Dumper : public gcSegmentHandler {
 public:
  Dumper(unsigned iWidth,
         const std::function<bool(const std::string&)>& writeText)
      : iWidth_(iWidth), write_(writeText) {}

  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    for (u64 at = iFirst, end = iFirst + iLength; at < end;) {
      const u64 iRow = at - at % iWidth_;
      if (!bHave_ || iRow != row_.iAddr) {
        if (bHave_ && !emit()) return false;
        row_ = Row();
        row_.iAddr = iRow;
        bHave_ = true;
      }
      const u64 n = std::min<u64>(end - at, iRow + iWidth_ - at);
      std::memcpy(row_.data + (at - iRow), pData + (at - iFirst), n);
      std::memset(row_.written + (at - iRow), 1, n);
      at += n;
    }
    return true;
  }

  bool finish() {
    if (bHave_ && !emit()) return false;
    // After "*" a reader could not tell where the repeated rows end.
    if (bStar_) line(hex(last_.iAddr + iWidth_) + "\n");
    return text_.empty() || write_(text_);
  }

 private:
  bool same(const Row& a, const Row& b) const {
    return std::memcmp(a.written, b.written, iWidth_) == 0 &&
           std::memcmp(a.data, b.data, iWidth_) == 0;
  }

  bool emit() {
    const bool bNext = bPrinted_ && row_.iAddr == last_.iAddr + iWidth_;
    if (bPrinted_ && !bNext) {
      line("... " + hex(row_.iAddr - last_.iAddr - iWidth_) +
           " bytes unwritten\n");
      bStar_ = false;
    }
    if (bNext && same(row_, last_)) {
      if (!bStar_) line("*\n");
      bStar_ = true;
    } else {
      bStar_ = false;
      print(row_);
    }
    last_ = row_;
    bPrinted_ = true;
    if (text_.size() < kFlushAt) return true;
    const bool bGo = write_(text_);
    text_.clear();
    return bGo;
  }

  void print(const Row& r) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s = hex(r.iAddr) + ":";
    std::string ascii(iWidth_, ' ');
    for (unsigned i = 0; i < iWidth_; ++i) {
      const unsigned char c = r.data[i];
      s += ' ';
      s += r.written[i] ? kDigits[c >> 4] : '-';
      s += r.written[i] ? kDigits[c & 15] : '-';
      if (r.written[i]) ascii[i] = c >= 0x20 && c < 0x7F ? c : '.';
    }
    line(s + " |" + ascii + "|\n");
  }

  void line(const std::string& s) { text_ += s; }

  const unsigned iWidth_;
  const std::function<bool(const std::string&)>& write_;
  Row row_, last_;
  bool bHave_ = false, bPrinted_ = false, bStar_ = false;
  std::string text_;
};

}  // namespace

bool dumpImage(gcVMMBase* pVMM, vmm_int iFirst, vmm_int iLast, unsigned iWidth,
               const std::function<bool(const std::string&)>& write) {
  assert(iWidth >= 1 && iWidth <= kMaxWidth && iFirst <= iLast);
  Dumper dumper(iWidth, write);
  return forAllSegments(pVMM, &dumper, iFirst, iLast, pVMM->getPageSize()) &&
         dumper.finish();
}

std::string dumpImage(gcVMMBase* pVMM, vmm_int iFirst, vmm_int iLast,
                      unsigned iWidth) {
  std::string out;
  dumpImage(pVMM, iFirst, iLast, iWidth, [&](const std::string& s) {
    out += s;
    return true;
  });
  return out;
}

std::string describeImage(const std::vector<gcRun>& runs,
                          const gcImageInfo& info) {
  u64 iBytes = 0;
  for (const gcRun& run : runs) iBytes += run.iLength;
  std::string text = "no data";
  if (!runs.empty())
    text = std::to_string(iBytes) + " data byte" + (iBytes == 1 ? "" : "s") +
           " in " + std::to_string(runs.size()) + " run" +
           (runs.size() == 1 ? "" : "s") + ", " + hex(runs.front().iFirst) +
           "-" + hex(runs.back().iFirst + runs.back().iLength - 1);
  if (info.hasStartAddress())
    text += ", start " + hex(info.getLinearStartAddress());
  return text;
}
