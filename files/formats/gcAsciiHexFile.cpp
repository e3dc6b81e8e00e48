#include <cstdio>
#include <cstring>

#include "gcDataTextFiles.h"
#include "gcHexCodec.h"
#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "gcTextLines.h"

namespace {

typedef std::uint64_t u64;

constexpr char kStx = 0x02, kEtx = 0x03;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isExecution(char c) {
  return c == ' ' || c == '%' || c == '\'' || c == ',';
}

struct AsciiHexReader {
  gcImageLoad& load;
  enum { kBefore, kData, kAfter, kDone } eState = kBefore;
  char cExecution = 0;  // the first one other than a blank
  u64 iAddr = 0;
  unsigned int iSum = 0;

  // "$A...," or "$S...," from p[i] == '$'; the end of the command in *pI.
  bool command(const char* p, std::size_t n, std::size_t* pI) {
    std::size_t i = *pI + 2;
    if (*pI + 1 >= n || (p[*pI + 1] != 'A' && p[*pI + 1] != 'S'))
      return load.fail("unknown command");
    const std::size_t iFrom = i;
    while (i < n && p[i] != ',' && p[i] != '.') ++i;
    u64 v;
    // After a comma as execution character, a dot ends the command.
    if (i == n || !hexValue(p + iFrom, i - iFrom, &v) ||
        (cExecution != 0 && (p[i] == '.') != (cExecution == ',')))
      return load.fail(p[*pI + 1] == 'A' ? "bad address" : "bad checksum");
    *pI = i + 1;
    if (p[iFrom - 1] == 'S') {
      if (v != (iSum & 0xFFFF) && !load.checksumMismatch()) return false;
    } else if (v > 0xFFFFFFFF) {
      return load.fail("address wider than 32 bits");
    } else {
      iAddr = v;
    }
    return true;
  }

  bool line(const char* p, std::size_t n) {
    std::size_t i = 0;
    if (eState == kBefore) {
      const char* pStx = static_cast<const char*>(std::memchr(p, kStx, n));
      if (pStx == nullptr) return true;
      i = pStx + 1 - p;
      eState = kData;
    }
    if (eState == kAfter) {  // only a checksum may follow ETX
      while (i < n && isBlank(p[i])) ++i;
      if (i == n) return true;
      eState = kDone;
      return p[i] != '$' || i + 1 == n || p[i + 1] != 'S' || command(p, n, &i);
    }
    unsigned char bytes[1 << 15];
    std::size_t k = 0;
    while (i < n) {
      const char c = p[i];
      if (isBlank(c)) {
        ++i;
      } else if (c == kEtx || c == '$') {
        if (!load.put(iAddr - k, bytes, k)) return false;
        k = 0;
        if (c == kEtx) {
          eState = kAfter;
          return line(p + i + 1, n - i - 1);
        }
        if (!command(p, n, &i)) return false;
      } else {
        unsigned int sum = 0;
        if (n - i < 2 || !decodeHex(p + i, 1, bytes + k, &sum))
          return load.fail("a data byte is not two hex digits");
        i += 2;
        if (i < n && p[i] != kEtx && !isBlank(p[i])) {
          if (cExecution == 0 && isExecution(p[i])) cExecution = p[i];
          if (p[i] != cExecution)
            return load.fail(
                "a data byte is not followed by its execution "
                "character");
          ++i;
        }
        if (iAddr == u64{1} << 32)
          return load.fail("data beyond address 0xFFFFFFFF");
        iSum += sum, ++iAddr, ++k;
      }
    }
    return load.put(iAddr - k, bytes, k);
  }
};

class AsciiHexWriter : public gcSegmentHandler {
 public:
  explicit AsciiHexWriter(gcImageSave& save) : save_(save) {}
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    if (iFirst != iNext_) {
      char* p = save_.room(16);
      p +=
          std::sprintf(p, "$A%04llX,", static_cast<unsigned long long>(iFirst));
      save_.advance(save_.lineEnd(p));
      iOnLine_ = 0;
    }
    const std::uint16_t* pDigits = hexPairDigits();
    for (u64 i = 0; i < iLength; ++i) {
      char* p = save_.room(4);
      const auto b = static_cast<unsigned char>(pData[i]);
      p = encodeHex(p, pDigits, b);
      iSum_ += b;
      if (++iOnLine_ == 16) {
        p = save_.lineEnd(p);
        iOnLine_ = 0;
      } else {
        *p++ = ' ';
      }
      save_.advance(p);
    }
    iNext_ = u64{iFirst} + iLength;
    iBytes_ += iLength;
    return save_.isOk();
  }
  u64 bytes() const { return iBytes_; }
  unsigned int sum() const { return iSum_ & 0xFFFF; }

 private:
  gcImageSave& save_;
  u64 iNext_ = ~u64{0};
  unsigned int iOnLine_ = 0;
  unsigned int iSum_ = 0;
  u64 iBytes_ = 0;
};

class AsciiHexFile : public gcFileFormat {
 public:
  const char* getTypeName() override { return "ASCII-Hex"; }
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override {
    gcImageLoad load(sFileName, pVMM, options);
    std::unique_ptr<AsciiHexReader> reader(new AsciiHexReader{load});
    const char* pLine = nullptr;
    std::size_t n = 0;
    while (load.isOpen() && reader->eState != AsciiHexReader::kDone &&
           load.nextLine(&pLine, &n))
      if (!reader->line(pLine, n)) break;
    if (load.isOpen() && reader->eState == AsciiHexReader::kBefore)
      load.fail("no STX (0x02) before the data", false);
    else if (load.isOpen() && reader->eState == AsciiHexReader::kData)
      load.warn("no end record");
    return load.finish(gcImageInfo(), pInfo);
  }
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo*) override {
    gcImageSave save(sFileName, pVMM, options);
    if (!save.open()) return save.finish(0, 0);
    char* p = save.room(2);
    *p++ = kStx, *p++ = ' ';
    save.advance(p);
    AsciiHexWriter writer(save);
    forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 1 << 16);
    p = save.room(4);
    *p++ = kEtx;
    save.advance(save.lineEnd(p));
    char sum[16];
    std::snprintf(sum, sizeof sum, "$S%04X,", writer.sum());
    putLine(save, sum);
    return save.finish(writer.bytes(), 0);
  }
};

}  // namespace

gcFileFormat* newAsciiHexFile() { return new AsciiHexFile; }
