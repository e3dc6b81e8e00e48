#include <algorithm>
#include <cstdio>

#include "gcDataTextFiles.h"
#include "gcTextFormat.h"

namespace {

typedef std::uint64_t u64;

// Base 85 from '%', '*' left out.
int digit(char c) {
  return c >= '%' && c <= ')' ? c - '%' : c >= '+' && c <= 'z' ? c - '&' : -1;
}
char digitChar(unsigned int v) {
  return static_cast<char>(v < 5 ? '%' + v : '&' + v);
}

struct FpcReader : gcTextReader {
  using gcTextReader::gcTextReader;
  const u64 iUnit = load.addressUnit();
  u64 iNext = 0;  // where a record without address goes, in the image
  bool bEnd = false;
  unsigned char bytes[4 * 80] = {};

  bool line(const char* p, std::size_t n) {
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\t')) --n;
    if (n == 0) return true;
    if (bEnd) return load.fail("data after the end record");
    if (p[0] != '$') return load.fail("a record does not start with '$'");
    if ((n - 1) % 5 != 0 || n == 1)
      return load.fail("a record is not groups of five digits");
    const std::size_t iBytes = (n - 1) / 5 * 4;
    if (iBytes > sizeof bytes) return load.fail("record longer than its count");
    for (std::size_t g = 0; g < iBytes / 4; ++g) {
      u64 v = 0;
      for (int k = 0; k < 5; ++k) {
        const int d = digit(p[1 + 5 * g + k]);
        if (d < 0) return load.fail("bad digit");
        v = v * 85 + static_cast<unsigned int>(d);
      }
      if (v > 0xFFFFFFFF) return load.fail("bad digit");
      for (int k = 0; k < 4; ++k)
        bytes[4 * g + k] = static_cast<unsigned char>(v >> (24 - 8 * k));
    }
    if ((bytes[0] | bytes[1] | bytes[2] | bytes[3]) == 0) {
      if (iBytes != 4) return load.fail("end record longer than its count");
      return bEnd = true;
    }
    const unsigned int iCount = bytes[1];
    if (iBytes != (4 + iCount + 3) / 4 * 4)
      return load.fail(iBytes < 4 + iCount ? "record shorter than its count"
                                           : "record longer than its count");
    unsigned int sum = 0;
    for (unsigned int i = 0; i < 4 + iCount; ++i) sum += bytes[i];
    if ((sum & 0xFF) != 0 && !load.checksumMismatch()) return false;
    const unsigned int iFormat = bytes[2] << 8 | bytes[3];
    unsigned int iData = 4;
    if (iFormat == 0) {
      if (iCount < 4) return load.fail("record shorter than its address");
      iNext =
          (u64{bytes[4]} << 24 | bytes[5] << 16 | bytes[6] << 8 | bytes[7]) *
          iUnit;
      iData = 8;
    } else if (iFormat != 1) {
      return load.fail(iFormat == 2 ? "relative addresses are not supported"
                                    : "unknown format code");
    }
    const unsigned int iLength = 4 + iCount - iData;
    if (iNext + iLength > u64{1} << 32)
      return load.fail("data beyond address 0xFFFFFFFF");
    if (!load.put(iNext, bytes + iData, iLength)) return false;
    iNext += iLength;
    return true;
  }

  void end() {
    if (!bEnd) load.warn("no end record");
  }
};

class FpcWriter : public gcTextWriter {
 public:
  using gcTextWriter::gcTextWriter;
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    for (u64 i = 0; i < iLength; i += iRecord_) {
      const unsigned int n =
          static_cast<unsigned int>(std::min<u64>(iRecord_, iLength - i));
      unsigned char b[4 * 66] = {0, static_cast<unsigned char>(4 + n)};
      const u64 iAddr = (iFirst + i) / iUnit_;
      for (int k = 0; k < 4; ++k)
        b[4 + k] = static_cast<unsigned char>(iAddr >> (24 - 8 * k));
      unsigned int sum = b[1];
      for (unsigned int k = 0; k < 4; ++k) sum += b[4 + k];
      for (unsigned int k = 0; k < n; ++k)
        sum += b[8 + k] = static_cast<unsigned char>(pData[i + k]);
      b[0] = static_cast<unsigned char>(-sum);
      record(b, 8 + n);
    }
    iBytes_ += iLength;
    return save_.isOk();
  }
  // "$" and the n bytes at p, zeros after them to a whole group.
  void record(const unsigned char* p, unsigned int n) {
    char* q = save_.room(1 + (n + 3) / 4 * 5 + 2);
    *q++ = '$';
    for (unsigned int g = 0; g < n; g += 4) {
      std::uint32_t v = 0;
      for (unsigned int k = 0; k < 4; ++k) v = v << 8 | p[g + k];
      for (int k = 4; k >= 0; --k, v /= 85) q[k] = digitChar(v % 85);
      q += 5;
    }
    save_.advance(save_.lineEnd(q));
  }
  void end() {
    const unsigned char end[4] = {};
    if (!options_.getDataOnly()) record(end, 4);
  }

 private:
  const unsigned int iUnit_ = save_.addressUnit();
  // The count byte holds the address too: at most 251 data bytes, each
  // record from a unit.
  const unsigned int iRecord_ = std::max(
      std::min(options_.getRecordLength(), 251u) / iUnit_ * iUnit_, iUnit_);
};

}  // namespace

gcFileFormat* newFpcFile() {
  return new gcTextFormat<FpcReader, FpcWriter>("Four Packed Code");
}
