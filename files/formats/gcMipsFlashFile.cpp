#include <algorithm>
#include <cstdio>
#include <cstring>

#include "gcDataTextFiles.h"
#include "gcHexCodec.h"
#include "gcTextFormat.h"

namespace {

typedef std::uint64_t u64;

constexpr u64 kSegment = 0x20000;  // what one "!E" erases

bool isBlank(char c) { return c == ' ' || c == '\t'; }

struct MipsReader : gcTextReader {
  using gcTextReader::gcTextReader;
  const bool bLittle = bVariant;
  const u64 iUnit = load.addressUnit();
  bool bReset = false;                // "!R" came
  u64 iAddr = 0;                      // of the next word, in the image
  unsigned char words[1 << 15] = {};  // a line's words, staged at its end
  std::size_t iHeld = 0;

  bool flush() {
    const std::size_t n = iHeld;
    iHeld = 0;
    return load.put(iAddr - n, words, n);
  }

  bool token(const char* p, std::size_t n) {
    if (!bReset && !(n == 2 && std::memcmp(p, "!R", 2) == 0))
      return load.fail("the file does not start with !R");
    unsigned int sum = 0;
    if (n == 8 && decodeHex(p, 4, words + iHeld, &sum)) {
      if (iAddr + 4 > u64{1} << 32)
        return load.fail("data beyond address 0xFFFFFFFF");
      if (bLittle) std::reverse(words + iHeld, words + iHeld + 4);
      iHeld += 4, iAddr += 4;
      return true;
    }
    if (!flush()) return false;
    if (p[0] == '!') {
      if (n != 2 || std::strchr("RECS", p[1]) == nullptr)
        return load.fail("unknown command '" + std::string(p, n) + "'");
      bReset = true;
      return true;
    }
    if (p[0] != '@') return load.fail("a data word is not 8 hex digits");
    if (hexField(p + 1, n - 1, 8, &iAddr) != gcHexField::kValue)
      return load.fail("bad address '" + std::string(p, n) + "'");
    iAddr *= iUnit;
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
    return flush();
  }

  void end() {
    if (!bReset) load.fail("the file does not start with !R", false);
  }
};

class MipsWriter : public gcTextWriter {
 public:
  using gcTextWriter::gcTextWriter;
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    if (!checkWholeWords(save_, iFirst, iLength, 4)) return false;
    const std::uint16_t* pDigits = hexPairDigits();
    const auto* pByte = reinterpret_cast<const unsigned char*>(pData);
    const u64 iWordUnits = 4 / iUnit_;
    for (u64 i = 0, iAddr = iFirst / iUnit_; i < iLength;
         i += 4, iAddr += iWordUnits) {  // iAddr: in the file
      if (iFirst + i != iNext_ || iAddr / kSegment != iErased_) {
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
      iNext_ = iFirst + i + 4;
    }
    iBytes_ += iLength;
    return save_.isOk();
  }
  void begin() { putLine(save_, "!R"); }
  void end() {
    lines_.endLine();
    putLine(save_, ">#DL_DONE");
    putLine(save_, ">FINISHED");
  }

 private:
  void line(const char* pFormat, u64 a, u64 b) {
    char* p = save_.room(48);
    p += std::sprintf(p, pFormat, static_cast<unsigned long long>(a),
                      static_cast<unsigned long long>(b));
    save_.advance(save_.lineEnd(p));
  }

  const bool bLittle_ = bVariant_;
  const unsigned int iUnit_ = save_.addressUnit();
  gcItemLines lines_{save_, "", ' ', 80};
  u64 iNext_ = ~u64{0};
  u64 iErased_ = ~u64{0};
};

}  // namespace

gcFileFormat* newMipsFlashFile(bool bLittleEndian) {
  return new gcTextFormat<MipsReader, MipsWriter>(
      bLittleEndian ? "MIPS flash (little-endian)" : "MIPS flash (big-endian)",
      bLittleEndian);
}
