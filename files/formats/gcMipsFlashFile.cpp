#include <cstdio>
#include <cstring>

#include "gcDataTextFiles.h"
#include "gcHexCodec.h"
#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "gcTextLines.h"

namespace {

typedef std::uint64_t u64;

constexpr u64 kSegment = 0x20000;  // what one "!E" erases

bool isBlank(char c) { return c == ' ' || c == '\t'; }

struct MipsReader {
  gcImageLoad& load;
  bool bLittle;
  bool bReset = false;  // "!R" came
  u64 iAddr = 0;

  bool token(const char* p, std::size_t n) {
    if (!bReset && !(n == 2 && std::memcmp(p, "!R", 2) == 0))
      return load.fail("the file does not start with !R");
    if (p[0] == '!') {
      if (n != 2 || std::strchr("RECS", p[1]) == nullptr)
        return load.fail("unknown command '" + std::string(p, n) + "'");
      bReset = true;
      return true;
    }
    if (p[0] == '@') {
      if (!hexValue(p + 1, n - 1, &iAddr) || n > 9)
        return load.fail("bad address '" + std::string(p, n) + "'");
      return true;
    }
    u64 v;
    if (n != 8 || !hexValue(p, n, &v))
      return load.fail("a data word is not 8 hex digits");
    if (iAddr + 4 > u64{1} << 32)
      return load.fail("data beyond address 0xFFFFFFFF");
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i)
      bytes[bLittle ? i : 3 - i] = static_cast<unsigned char>(v >> 8 * i);
    if (!load.put(iAddr, bytes, 4)) return false;
    iAddr += 4;
    return true;
  }

  bool line(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
      if (isBlank(p[i])) {
        ++i;
        continue;
      }
      if (p[i] == '>') {  // a comment of 8 characters, even after a word
        i += 9;
        continue;
      }
      const std::size_t iFrom = i;
      while (i < n && !isBlank(p[i]) && p[i] != '>') ++i;
      if (!token(p + iFrom, i - iFrom)) return false;
    }
    return true;
  }
};

class MipsWriter : public gcSegmentHandler {
 public:
  MipsWriter(gcImageSave& save, bool bLittle)
      : save_(save), bLittle_(bLittle), lines_(save, "", ' ', 80) {}
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    if (!checkWholeWords(save_, iFirst, iLength, 4)) return false;
    const std::uint16_t* pDigits = hexPairDigits();
    const auto* pByte = reinterpret_cast<const unsigned char*>(pData);
    for (u64 i = 0; i < iLength; i += 4) {
      const u64 iAddr = iFirst + i;
      if (iAddr != iNext_ || iAddr / kSegment != iErased_) {
        lines_.endLine();
        if (iAddr / kSegment != iErased_) {
          iErased_ = iAddr / kSegment;
          line(">%05llxxxx @%08llx !E", iErased_ * kSegment >> 12,
               iErased_ * kSegment);
        }
        line("@%08llx", iAddr, 0);
        line(">%08llx", iAddr, 0);
      }
      char word[8], *p = word;
      for (int b = 0; b < 4; ++b)
        p = encodeHex(p, pDigits, pByte[i + (bLittle_ ? 3 - b : b)]);
      lines_.add(word, 8);
      iNext_ = iAddr + 4;
    }
    iBytes_ += iLength;
    return save_.isOk();
  }
  void endLine() { lines_.endLine(); }
  u64 bytes() const { return iBytes_; }

 private:
  void line(const char* pFormat, u64 a, u64 b) {
    char* p = save_.room(48);
    p += std::sprintf(p, pFormat, static_cast<unsigned long long>(a),
                      static_cast<unsigned long long>(b));
    save_.advance(save_.lineEnd(p));
  }

  gcImageSave& save_;
  bool bLittle_;
  gcItemLines lines_;
  u64 iNext_ = ~u64{0};
  u64 iErased_ = ~u64{0};
  u64 iBytes_ = 0;
};

class MipsFlashFile : public gcFileFormat {
 public:
  explicit MipsFlashFile(bool bLittle) : bLittle_(bLittle) {}
  const char* getTypeName() override {
    return bLittle_ ? "MIPS flash (little-endian)" : "MIPS flash (big-endian)";
  }
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override {
    gcImageLoad load(sFileName, pVMM, options);
    MipsReader reader{load, bLittle_};
    const char* pLine = nullptr;
    std::size_t n = 0;
    while (load.isOpen() && load.nextLine(&pLine, &n))
      if (!reader.line(pLine, n)) break;
    if (load.isOpen() && !reader.bReset)
      load.fail("the file does not start with !R", false);
    return load.finish(gcImageInfo(), pInfo);
  }
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo*) override {
    gcImageSave save(sFileName, pVMM, options);
    if (!save.open()) return save.finish(0, 0);
    putLine(save, "!R");
    MipsWriter writer(save, bLittle_);
    forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 1 << 16);
    writer.endLine();
    putLine(save, ">#DL_DONE");
    putLine(save, ">FINISHED");
    return save.finish(writer.bytes(), 0);
  }

 private:
  bool bLittle_;
};

}  // namespace

gcFileFormat* newMipsFlashFile(bool bLittleEndian) {
  return new MipsFlashFile(bLittleEndian);
}
