#include <algorithm>
#include <cstring>

#include "gcDataTextFiles.h"
#include "gcTextFormat.h"

namespace {

typedef std::uint64_t u64;

constexpr char kMagic[] = "v2.0 raw";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

struct LogisimReader : gcTextReader {
  using gcTextReader::gcTextReader;
  u64 iAddr = options.getLoadAddress();
  bool bMagic = false;
  unsigned char zeros[4096] = {};

  // "HH" or "N*HH".
  bool token(const char* p, std::size_t n) {
    const char* pStar = static_cast<const char*>(std::memchr(p, '*', n));
    u64 iCount = 1;
    if (pStar != nullptr) {
      iCount = 0;
      for (const char* q = p; q < pStar; ++q) {
        if (*q < '0' || *q > '9' || iCount > 0xFFFFFFFF)
          return load.fail("bad count '" + std::string(p, pStar - p) + "'");
        iCount = iCount * 10 + static_cast<unsigned int>(*q - '0');
      }
      if (pStar == p || iCount == 0)
        return load.fail("bad count '" + std::string(p, pStar - p) + "'");
      n -= pStar + 1 - p;
      p = pStar + 1;
    }
    u64 v = 0;
    const gcHexField field = hexField(p, n, 2, &v);
    if (field == gcHexField::kNotHex)
      return load.fail("bad value '" + std::string(p, n) + "'");
    if (field == gcHexField::kTooWide)
      return load.fail("value '" + std::string(p, n) + "' wider than 8 bits");
    if (iAddr + iCount > u64{1} << 32)
      return load.fail("data beyond address 0xFFFFFFFF");
    std::memset(zeros, static_cast<int>(v),
                std::min<u64>(iCount, sizeof zeros));
    for (u64 k = 0; k < iCount;) {
      const u64 m = std::min<u64>(iCount - k, sizeof zeros);
      if (!load.put(iAddr + k, zeros, m)) return false;
      k += m;
    }
    iAddr += iCount;
    return true;
  }

  bool line(const char* p, std::size_t n) {
    const char* pHash = static_cast<const char*>(std::memchr(p, '#', n));
    if (pHash != nullptr) n = pHash - p;
    while (n > 0 && isBlank(p[n - 1])) --n;
    if (!bMagic) {
      std::size_t i = 0;
      while (i < n && isBlank(p[i])) ++i;
      if (i == n) return true;
      if (n - i != sizeof kMagic - 1 || std::memcmp(p + i, kMagic, n - i) != 0)
        return load.fail("the file does not start with 'v2.0 raw'");
      return bMagic = true;
    }
    for (std::size_t i = 0; i < n;) {
      if (isBlank(p[i])) {
        ++i;
        continue;
      }
      const std::size_t iFrom = i;
      while (i < n && !isBlank(p[i])) ++i;
      if (!token(p + iFrom, i - iFrom)) return false;
    }
    return true;
  }

  void end() {
    if (!bMagic) load.fail("the file does not start with 'v2.0 raw'", false);
  }
};

// Bytes in hex without leading zeros, runs of four or more as "N*HH".
class LogisimWriter : public gcTextWriter {
 public:
  using gcTextWriter::gcTextWriter;
  bool handleSegment(vmm_int, u64 iLength, const char* pData) override {
    for (u64 i = 0; i < iLength; ++i) {
      const auto b = static_cast<unsigned char>(pData[i]);
      if (iRun_ != 0 && b != iByte_) flush();
      iByte_ = b;
      ++iRun_;
    }
    return true;
  }
  void flush() {
    static const char kDigits[] = "0123456789ABCDEF";
    char text[32];
    char value[2] = {kDigits[iByte_ >> 4], kDigits[iByte_ & 15]};
    const unsigned int iValue = iByte_ < 16 ? 1 : 2;
    if (iRun_ >= 4) {
      const int k = std::snprintf(text, sizeof text, "%llu*",
                                  static_cast<unsigned long long>(iRun_));
      std::memcpy(text + k, value + 2 - iValue, iValue);
      lines_.add(text, static_cast<unsigned int>(k) + iValue);
    } else {
      for (u64 i = 0; i < iRun_; ++i) lines_.add(value + 2 - iValue, iValue);
    }
    iRun_ = 0;
  }
  void begin() {
    putLine(save_, kMagic);
    putLine(save_, "");
  }
  void walk(gcVMMBase* pVMM) {
    forFilledRange(pVMM, save_, options_.getFillByte(), this, &iFilled_);
  }
  void end() {
    if (iRun_ != 0) flush();
    lines_.endLine();
  }
  u64 dataBytes() const {
    return save_.getLast() + 1 - save_.getFirst() - iFilled_;
  }
  u64 filledBytes() const { return iFilled_; }

 private:
  gcItemLines lines_{save_, "", ' ', 80};
  u64 iFilled_ = 0;
  unsigned char iByte_ = 0;
  u64 iRun_ = 0;
};

}  // namespace

gcFileFormat* newLogisimFile() {
  return new gcTextFormat<LogisimReader, LogisimWriter>("Logisim");
}
