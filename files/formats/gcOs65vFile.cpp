#include <cstdio>

#include "gcDataTextFiles.h"
#include "gcHexCodec.h"
#include "gcTextFormat.h"

namespace {

typedef std::uint64_t u64;

// The loader's convention for "done, nothing to run": 00 stored at 0x00FD
// as the last thing in the file.
constexpr u64 kDoneAddr = 0xFD;

int hexDigit(char c) {
  return c >= '0' && c <= '9'   ? c - '0'
         : c >= 'A' && c <= 'F' ? c - 'A' + 10
         : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                : -1;
}

// Reads a character at a time: the file may use CR alone between bytes,
// so it has no lines a line reader could take.
struct Os65vReader : gcTextReader {
  using gcTextReader::gcTextReader;
  static constexpr bool kByCharacter = true;
  const u64 iUnit = load.addressUnit();
  enum { kStart, kAddress, kData, kEnd } eMode = kStart;
  u64 iLine = 1;
  bool bCr = false;  // the last character was CR
  u64 iValue = 0;
  unsigned int iDigits = 0;
  u64 iAddr = 0;       // of the next byte, in the image
  bool bDone = false;  // ".00FD/00" so far, nothing after

  bool bFirstOfRun = false;

  bool fail(const char* pReason) { return load.fail(pReason); }

  bool put(u64 iAt, unsigned char iByte) {
    load.setLine(iLine);
    return load.put(iAt, &iByte, 1);
  }

  // Something followed ".00FD/00": the 00 is data after all.
  bool undefer() {
    bDone = false;
    return put(kDoneAddr * iUnit, 0);
  }

  bool store() {
    if (iDigits == 0) return true;
    if (iAddr >= 0x10000 * iUnit) {
      char reason[48];
      std::snprintf(reason, sizeof reason, "data beyond address 0x%llX",
                    static_cast<unsigned long long>(0x10000 * iUnit - 1));
      return fail(reason);
    }
    const bool bFirst = bFirstOfRun;
    bFirstOfRun = false;
    if (bFirst && iAddr == kDoneAddr * iUnit && iValue == 0)
      bDone = true;
    else if (!put(iAddr, static_cast<unsigned char>(iValue)))
      return false;
    ++iAddr, iValue = 0, iDigits = 0;
    return true;
  }

  bool character(char c) {
    load.setLine(iLine);
    if (c == '\n' || c == '\r') {
      if (eMode == kData && !store()) return false;
      if (!(c == '\n' && bCr)) ++iLine;
      bCr = c == '\r';
      return true;
    }
    bCr = false;
    if (eMode == kEnd) return fail("data after the end record");
    if (bDone && !undefer()) return false;
    const int d = hexDigit(c);
    if (d >= 0 && eMode != kStart) {
      if (eMode == kData && iDigits == 2)
        return fail("a data byte of more than two hex digits");
      iValue = iValue << 4 | static_cast<unsigned int>(d);
      if (eMode == kAddress && ++iDigits > 4)
        return fail("address wider than 16 bits");
      iDigits += eMode == kData;
      return true;
    }
    if (c == '.') {
      if (eMode == kData && !store()) return false;
      eMode = kAddress, iValue = 0, iDigits = 0;
      return true;
    }
    if (eMode == kAddress && (c == '/' || c == 'G') && iDigits > 0) {
      iAddr = iValue * iUnit, iValue = 0, iDigits = 0;
      if (c == 'G') {
        info.setStartAddress(static_cast<std::uint32_t>(iAddr));
        eMode = kEnd;
      } else {
        eMode = kData, bFirstOfRun = true;
      }
      return true;
    }
    char reason[48];
    std::snprintf(reason, sizeof reason, "unexpected character 0x%02X",
                  static_cast<unsigned char>(c));
    return fail(reason);
  }

  void end() {
    if (eMode == kData && !store()) return;
    if (eMode != kEnd && !bDone) load.warn("no end record");
  }
};

class Os65vWriter : public gcTextWriter {
 public:
  Os65vWriter(gcImageSave& save, const gcImageOptions& options,
              const gcImageInfo* pInfo, bool bVariant)
      : gcTextWriter(save, options, pInfo, bVariant),
        iUnit_(save.addressUnit()),
        bStart_(startToWrite(options, pInfo, &iStart_)) {
    if (bStart_ && checkStartFits(save, iStart_, 0x10000 * iUnit_))
      iStart_ = static_cast<std::uint32_t>(save.fileStart(iStart_));
  }
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    if (!checkFits(save_, iFirst, iLength, 0x10000 * iUnit_)) return false;
    if (iFirst != iNext_) {
      char* p = save_.room(8);
      save_.advance(p + std::sprintf(p, ".%04X/", iFirst / iUnit_));
    }
    const std::uint16_t* pDigits = hexPairDigits();
    for (u64 i = 0; i < iLength; ++i) {
      char* p = encodeHex(save_.room(3), pDigits, pData[i] & 0xFF);
      *p++ = '\r';
      save_.advance(p);
    }
    iNext_ = u64{iFirst} + iLength;
    iBytes_ += iLength;
    return save_.isOk();
  }
  void end() {
    char* p = save_.room(16);
    if (bStart_)
      p += std::sprintf(p, ".%04XG\r", iStart_);
    else if (!options_.getDataOnly())
      p += std::sprintf(p, ".%04llX/00\r",
                        static_cast<unsigned long long>(kDoneAddr));
    save_.advance(p);
  }

 private:
  const unsigned int iUnit_;
  std::uint32_t iStart_ = 0;  // in units
  const bool bStart_;
  u64 iNext_ = ~u64{0};
};

}  // namespace

gcFileFormat* newOs65vFile() {
  return new gcTextFormat<Os65vReader, Os65vWriter>("OS65V");
}
