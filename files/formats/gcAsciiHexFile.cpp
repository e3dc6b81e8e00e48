#include <cstdio>
#include <cstring>

#include "gcDataTextFiles.h"
#include "gcHexCodec.h"
#include "gcTextFormat.h"

namespace {

typedef std::uint64_t u64;

constexpr char kStx = 0x02, kEtx = 0x03;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isExecution(char c) {
  return c == ' ' || c == '%' || c == '\'' || c == ',';
}

// bVariant: guarded (ASCII-Hex); else Needham, whose data starts at once.
struct AsciiHexReader : gcTextReader {
  using gcTextReader::gcTextReader;
  enum { kBefore, kData, kAfter, kDone } eState = bVariant ? kBefore : kData;
  char cExecution = 0;  // the first one other than a blank
  const u64 iUnit = load.addressUnit();
  u64 iAddr = 0;  // of the next byte, in the image
  unsigned int iSum = 0;

  // "$A...," or "$S...," from p[i] == '$'; the end of the command in *pI.
  bool command(const char* p, std::size_t n, std::size_t* pI) {
    std::size_t i = *pI + 2;
    if (*pI + 1 >= n || (p[*pI + 1] != 'A' && p[*pI + 1] != 'S'))
      return load.fail("unknown command");
    const bool bAddress = p[*pI + 1] == 'A';
    const std::size_t iFrom = i;
    while (i < n && p[i] != ',' && p[i] != '.') ++i;
    u64 v = 0;
    const gcHexField field =
        i == n ? gcHexField::kNotHex
               : hexField(p + iFrom, i - iFrom, bAddress ? 8 : 4, &v);
    // After a comma as execution character, a dot ends the command.
    if (field == gcHexField::kNotHex ||
        (cExecution != 0 && (p[i] == '.') != (cExecution == ',')))
      return load.fail(bAddress ? "bad address" : "bad checksum");
    if (field == gcHexField::kTooWide)
      return load.fail(bAddress ? "address wider than 32 bits"
                                : "checksum wider than 16 bits");
    *pI = i + 1;
    if (bAddress)
      iAddr = v * iUnit;
    else if (v != (iSum & 0xFFFF) && !load.checksumMismatch())
      return false;
    return true;
  }

  // The rest of the line as bytes one blank apart (as writers write them),
  // in one pass; false, having read nothing, for anything else.
  bool rest(const char* p, std::size_t n, std::size_t* pI,
            unsigned char* pBytes, std::size_t* pK) {
    while (n > *pI && isBlank(p[n - 1])) --n;
    const std::size_t m = (n - *pI + 1) / 3;
    if ((n - *pI + 1) % 3 != 0 || iAddr + m > u64{1} << 32 ||
        !gpHexKernels->decodeSpaced(p + *pI, m, pBytes + *pK))
      return false;
    for (std::size_t j = 0; j < m; ++j) iSum += pBytes[*pK + j];
    iAddr += m, *pK += m, *pI = n;
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
    bool bTried = false;
    while (i < n) {
      const char c = p[i];
      if (isBlank(c)) {
        ++i;
      } else if (!bTried) {  // once a line: a failed try reads nothing
        bTried = true;
        rest(p, n, &i, bytes, &k);
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
        if (iAddr >= u64{1} << 32)
          return load.fail("data beyond address 0xFFFFFFFF");
        iSum += sum, ++iAddr, ++k;
      }
    }
    return load.put(iAddr - k, bytes, k);
  }

  bool done() const { return eState == kDone; }
  void end() {
    if (eState == kBefore)
      load.fail("no STX (0x02) before the data", false);
    else if (eState == kData && bVariant)
      load.warn("no end record");
  }
};

// Needham's programmers read the same without the guards: no STX, ETX or
// sum, 8-digit addresses, and the data simply ends with the file.
class AsciiHexWriter : public gcTextWriter {
 public:
  using gcTextWriter::gcTextWriter;
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    if (iFirst != iNext_) {
      char* p = save_.room(16);
      p += std::sprintf(p, "$A%0*llX,", iDigits_,
                        static_cast<unsigned long long>(iFirst / iUnit_));
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
  void begin() {
    if (!bGuarded_) return;
    char* p = save_.room(2);
    *p++ = kStx, *p++ = ' ';
    save_.advance(p);
  }
  void end() {
    if (!bGuarded_) return;
    char* p = save_.room(4);
    *p++ = kEtx;
    save_.advance(save_.lineEnd(p));
    char sum[16];
    std::snprintf(sum, sizeof sum, "$S%04X,", iSum_ & 0xFFFF);
    if (!options_.getDataOnly()) putLine(save_, sum);
  }

 private:
  const unsigned int iUnit_ = save_.addressUnit();
  const bool bGuarded_ = bVariant_;
  const int iDigits_ = bGuarded_ ? 4 : 8;  // of an address
  u64 iNext_ = ~u64{0};
  unsigned int iOnLine_ = 0;
  unsigned int iSum_ = 0;
};

}  // namespace

gcFileFormat* newAsciiHexFile() {
  return new gcTextFormat<AsciiHexReader, AsciiHexWriter>("ASCII-Hex", true);
}
gcFileFormat* newNeedhamFile() {
  return new gcTextFormat<AsciiHexReader, AsciiHexWriter>("Needham", false);
}
