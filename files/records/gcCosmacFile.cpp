// RCA Cosmac's "!M" monitor commands (see gcRecordFile.h).

#include <algorithm>

#include "gcHexCodec.h"
#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "gcRecordFormat.h"
#include "tools/segments.h"

namespace {

typedef std::uint64_t u64;

bool isHexDigit(char c) {
  return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}

struct CosmacReader {
  gcImageLoad& load;
  enum { kCommand, kAddress, kData } eNext = kCommand;
  u64 iAddr = 0;

  bool line(const char* p, std::size_t n) {
    std::size_t i = 0;
    if (eNext == kCommand) {
      if (n < 2 || p[0] != '!' || p[1] != 'M')
        return load.fail("\"!M\" expected");
      i = 2;
      eNext = kAddress;
    }
    while (i < n && p[i] == ' ') ++i;
    if (eNext == kAddress && i < n && p[i] == ';') ++i;  // "!M; aaaa"
    while (i < n && p[i] == ' ') ++i;
    if (eNext == kAddress) {
      if (i == n) return true;  // the address on the next line
      std::size_t k = i;
      u64 a = 0;
      for (; k < n && isHexDigit(p[k]) && k - i < 8; ++k)
        a = a << 4 | digit(p[k]);
      if (k == i || (k < n && p[k] != ' ' && p[k] != ';' && p[k] != ','))
        return load.fail("bad address");
      if (!load.imageAddress(a, 0, &iAddr)) return false;
      i = k, eNext = kData;
    }
    unsigned char bytes[1 << 15];
    std::size_t m = 0;
    eNext = kCommand;
    for (; i < n; ++i) {
      if (p[i] == ' ') continue;
      if (p[i] == ',' || p[i] == ';') {
        eNext = p[i] == ',' ? kData : kAddress;
        if (std::find_if(p + i + 1, p + n, [](char c) { return c != ' '; }) !=
            p + n)
          return load.fail("text after the line's ',' or ';'");
        break;
      }
      unsigned int sum = 0;
      if (n - i < 2 || !decodeHex(p + i, 1, bytes + m, &sum))
        return load.fail("a data byte is not two hex digits");
      if (iAddr + ++m > u64{1} << 32)
        return load.fail("data past address 0xFFFFFFFF");
      ++i;
    }
    iAddr += m;
    return load.put(iAddr - m, bytes, m);
  }
  static unsigned int digit(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
  }
};

class CosmacWriter : public gcChunkWriter {
 public:
  CosmacWriter(gcImageSave& save, unsigned int iChunk)
      : gcChunkWriter(save, iChunk), iUnit_(save.addressUnit()) {}
  // A line goes on where the last ended: only a run's first has an address.
  void piece(u64 iAddr, const unsigned char* pData, std::size_t n,
             bool bRunStart) override {
    const std::uint16_t* pDigits = hexPairDigits();
    char* p = save_.room(2 * n + 20);
    iAddr /= iUnit_;
    if (bLine_) *p++ = bRunStart ? ';' : ',', p = save_.lineEnd(p);
    if (!bLine_) *p++ = '!', *p++ = 'M';
    if (bRunStart) {
      if (iAddr > 0xFFFFFF) p = encodeHex(p, pDigits, iAddr >> 24);
      if (iAddr > 0xFFFF) p = encodeHex(p, pDigits, iAddr >> 16);
      p = encodeHex(encodeHex(p, pDigits, iAddr >> 8), pDigits, iAddr);
      *p++ = ' ';
    }
    unsigned int sum = 0;
    save_.advance(encodeHex(p, pData, n, &sum));
    bLine_ = true;
  }
  void finish() {
    if (bLine_) save_.advance(save_.lineEnd(save_.room(2)));
  }

 private:
  const unsigned int iUnit_;
  bool bLine_ = false;  // a line is open
};

}  // namespace

gcFileResult loadCosmac(const std::string& sFileName, gcVMMBase* pVMM,
                        const gcImageOptions& options, gcImageInfo* pInfo) {
  gcImageLoad load(sFileName, pVMM, options);
  CosmacReader reader{load};
  load.addressUnit();  // imageAddress scales every address
  const bool bNever = false;
  load.readRecordsToEnd(&bNever, false, [&](const char* p, std::size_t n) {
    return reader.line(p, n);
  });
  if (load.isOpen() && reader.eNext != CosmacReader::kCommand)
    load.fail("the file ends inside a command");
  return load.finish(gcImageInfo(), pInfo);
}

gcFileResult saveCosmac(const std::string& sFileName, gcVMMBase* pVMM,
                        const gcImageOptions& options) {
  gcImageSave save(sFileName, pVMM, options);
  save.addressUnit();
  if (!save.open()) return save.finish(0, 0);
  CosmacWriter writer(save, options.getRecordLength());
  forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 0x10000);
  writer.finish();
  return save.finish(writer.bytes(), 0);
}
