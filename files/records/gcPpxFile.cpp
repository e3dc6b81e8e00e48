// The Stag programmers' PPX format (see gcRecordFile.h).

#include <algorithm>
#include <cstdio>

#include "gcHexCodec.h"
#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "gcRecordFormat.h"
#include "tools/segments.h"

namespace {

typedef std::uint64_t u64;

struct PpxReader {
  gcImageLoad& load;
  const u64 iUnit = load.addressUnit();
  bool bHeader = false;
  bool bEnd = false;
  unsigned int iSum = 0;

  bool line(const char* p, std::size_t n) {
    if (!bHeader) {
      bHeader = true;
      return (n == 1 && p[0] == '*') || load.fail("'*' expected first");
    }
    std::size_t i = 0;
    if (p[0] != '$') {
      unsigned char a[2], bytes[1 << 15];
      unsigned int sum = 0, unused = 0;
      if (n < 4 || (n > 4 && p[4] != ' ') || !decodeHex(p, 2, a, &unused))
        return load.fail("an address of four hex digits expected");
      const u64 first = bigEndian(a, 2) * iUnit;
      std::size_t k = 0;
      for (i = 4; i < n && p[i] == ' ';) {
        while (i < n && p[i] == ' ') ++i;
        if (i == n || p[i] == '$') break;
        if (n - i < 2 || !decodeHex(p + i, 1, bytes + k, &sum) ||
            (n - i > 2 && p[i + 2] != ' '))
          return load.fail("a data byte is not two hex digits");
        if (first + ++k > 0x10000 * iUnit) {
          char reason[48];
          std::snprintf(reason, sizeof reason, "data past address 0x%08llX",
                        static_cast<unsigned long long>(0x10000 * iUnit - 1));
          return load.fail(reason);
        }
        i += 2;
      }
      iSum += sum;
      if (!load.put(first, bytes, k)) return false;
      if (i == n) return true;
    }
    unsigned char s[2];
    unsigned int sum = 0;
    if (n - i != 6 || p[i] != '$' || p[i + 1] != 'S' ||
        !decodeHex(p + i + 2, 2, s, &sum))
      return load.fail("bad end record (\"$S\" and four hex digits)");
    bEnd = true;
    return bigEndian(s, 2) == (iSum & 0xFFFF) || load.checksumMismatch();
  }
};

class PpxWriter : public gcChunkWriter {
 public:
  PpxWriter(gcImageSave& save, unsigned int iChunk)
      : gcChunkWriter(save, iChunk), iUnit_(save.addressUnit()) {}
  void piece(u64 iAddr, const unsigned char* pData, std::size_t n,
             bool) override {
    const std::uint16_t* pDigits = hexPairDigits();
    char* p = save_.room(3 * n + 8);
    iAddr /= iUnit_;
    p = encodeHex(encodeHex(p, pDigits, iAddr >> 8), pDigits, iAddr);
    for (std::size_t k = 0; k < n; ++k) {
      *p++ = ' ';
      p = encodeHex(p, pDigits, pData[k]);
      iSum_ += pData[k];
    }
    save_.advance(save_.lineEnd(p));
  }
  unsigned int sum() const { return iSum_ & 0xFFFF; }

 private:
  const unsigned int iUnit_;
  unsigned int iSum_ = 0;
};

}  // namespace

gcFileResult loadPpx(const std::string& sFileName, gcVMMBase* pVMM,
                     const gcImageOptions& options, gcImageInfo* pInfo) {
  gcImageLoad load(sFileName, pVMM, options);
  PpxReader reader{load};
  load.readRecordsToEnd(&reader.bEnd, true, [&](const char* p, std::size_t n) {
    return reader.line(p, n);
  });
  return load.finish(gcImageInfo(), pInfo);
}

gcFileResult savePpx(const std::string& sFileName, gcVMMBase* pVMM,
                     const gcImageOptions& options) {
  gcImageSave save(sFileName, pVMM, options);
  const unsigned int iUnit = save.addressUnit();
  if (save.isOk() && save.getFirst() <= save.getLast()) {
    const std::string reason = unfitRuns(save, pVMM, 0x10000 * iUnit, 1, false);
    if (!reason.empty()) save.fail(reason);
  }
  if (!save.open()) return save.finish(0, 0);
  // The '*' frames the file, which no reader takes without it: data only
  // leaves out the sum alone.
  char* p = save.room(3);
  *p++ = '*';
  save.advance(save.lineEnd(p));
  // Each line from a unit.
  const unsigned int iLength = options.getRecordLength();
  PpxWriter writer(save, std::max(iLength - iLength % iUnit, iUnit));
  forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 0x10000);
  if (!options.getDataOnly()) {
    p = save.room(8);
    p += std::sprintf(p, "$S%04X", writer.sum());
    save.advance(save.lineEnd(p));
  }
  return save.finish(writer.bytes(), 0);
}
