#include <cstdio>

#include "gcDataTextFiles.h"
#include "gcHexCodec.h"
#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "gcTextLines.h"

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
struct Os65vReader {
  gcImageLoad& load;
  gcImageInfo& info;
  enum { kStart, kAddress, kData, kEnd } eMode = kStart;
  u64 iLine = 1;
  bool bCr = false;  // the last character was CR
  u64 iValue = 0;
  unsigned int iDigits = 0;
  u64 iAddr = 0;
  bool bDone = false;  // ".00FD/00" so far, nothing after

  bool bFirstOfRun = false;
  unsigned char run[4096] = {};  // bytes not yet staged, ending at iAddr
  std::size_t iRun = 0;

  bool fail(const char* pReason) { return load.failAt(iLine, pReason); }

  bool flush() {
    const std::size_t k = iRun;
    iRun = 0;
    return load.put(iAddr - k, run, k);
  }

  // Something followed ".00FD/00": the 00 is data after all.
  bool undefer() {
    bDone = false;
    iRun = 1, run[0] = 0;
    return flush();
  }

  bool store() {
    if (iDigits == 0) return true;
    if (iAddr > 0xFFFF) return fail("data beyond address 0xFFFF");
    const bool bFirst = bFirstOfRun;
    bFirstOfRun = false;
    if (bFirst && iAddr == kDoneAddr && iValue == 0) {
      bDone = true;
    } else {
      if (iRun == sizeof run && !flush()) return false;
      run[iRun++] = static_cast<unsigned char>(iValue);
    }
    ++iAddr, iValue = 0, iDigits = 0;
    return true;
  }

  bool character(char c) {
    if (c == '\n' || c == '\r') {
      if (!(c == '\n' && bCr)) ++iLine;
      bCr = c == '\r';
      return eMode != kData || store();
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
      if (eMode == kData && !(store() && flush())) return false;
      eMode = kAddress, iValue = 0, iDigits = 0;
      return true;
    }
    if (eMode == kAddress && (c == '/' || c == 'G') && iDigits > 0) {
      iAddr = iValue, iValue = 0, iDigits = 0;
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
};

class Os65vWriter : public gcSegmentHandler {
 public:
  explicit Os65vWriter(gcImageSave& save) : save_(save) {}
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    if (!checkFits(save_, "data", u64{iFirst} + iLength - 1, 0xFFFF, 16))
      return false;
    if (iFirst != iNext_) {
      char* p = save_.room(8);
      save_.advance(p + std::sprintf(p, ".%04X/", iFirst));
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
  u64 bytes() const { return iBytes_; }

 private:
  gcImageSave& save_;
  u64 iNext_ = ~u64{0};
  u64 iBytes_ = 0;
};

class Os65vFile : public gcFileFormat {
 public:
  const char* getTypeName() override { return "OS65V"; }
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override {
    gcImageLoad load(sFileName, pVMM, options);
    gcImageInfo info;
    Os65vReader reader{load, info};
    const char* pData = nullptr;
    bool bOk = true;
    for (std::size_t n;
         bOk && load.isOpen() && (n = load.nextBlock(&pData)) > 0;)
      for (std::size_t i = 0; bOk && i < n; ++i)
        bOk = reader.character(pData[i]);
    if (bOk && load.isOpen() && reader.eMode == Os65vReader::kData)
      bOk = reader.store() && reader.flush();
    if (bOk && load.isOpen() && reader.eMode != Os65vReader::kEnd &&
        !reader.bDone) {
      if (options.getStrict())
        load.failAt(reader.iLine, "no end record");
      else
        load.warn("no end record");
    }
    return load.finish(info, pInfo);
  }
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override {
    gcImageSave save(sFileName, pVMM, options);
    std::uint32_t iStart = 0;
    const bool bStart = startToWrite(options, pInfo, &iStart);
    if (bStart) checkFits(save, "start address", iStart, 0xFFFF, 16);
    if (!save.open()) return save.finish(0, 0);
    Os65vWriter writer(save);
    forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 1 << 16);
    char* p = save.room(16);
    if (bStart)
      p += std::sprintf(p, ".%04XG", iStart);
    else
      p += std::sprintf(p, ".%04llX/00",
                        static_cast<unsigned long long>(kDoneAddr));
    *p++ = '\r';
    save.advance(p);
    return save.finish(writer.bytes(), 0);
  }
};

}  // namespace

gcFileFormat* newOs65vFile() { return new Os65vFile; }
