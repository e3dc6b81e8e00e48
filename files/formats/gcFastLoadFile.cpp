#include <cstring>

#include "gcDataTextFiles.h"
#include "gcTextFormat.h"

namespace {

typedef std::uint64_t u64;

constexpr char kDigits[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789,.";

// Each character's digit value, or -1.
struct DigitValues {
  signed char value[256];
  DigitValues() {
    std::memset(value, -1, sizeof value);
    for (int i = 0; i < 64; ++i)
      value[static_cast<unsigned char>(kDigits[i])] =
          static_cast<signed char>(i);
  }
};
const DigitValues kValues;

int digit(char c) { return kValues.value[static_cast<unsigned char>(c)]; }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

struct FastLoadReader : gcTextReader {
  using gcTextReader::gcTextReader;
  const u64 iUnit = load.addressUnit();
  u64 iAddr = 0;  // of the next byte, in the image
  unsigned int iSum = 0;
  bool bEnd = false;

  // The digits from p[*pI] on: exactly iCount of them, or with iCount 0 as
  // many as there are, at most iMost (an address's 6, a sum's 4).
  bool number(const char* p, std::size_t n, std::size_t* pI,
              unsigned int iCount, u64* pValue, const char* pWhat,
              unsigned int iMost = 6) {
    std::size_t i = *pI;
    u64 v = 0;
    for (; i < n && digit(p[i]) >= 0 && (iCount == 0 || i - *pI < iCount); ++i)
      v = v << 6 | static_cast<unsigned int>(digit(p[i]));
    if (i == *pI || (iCount != 0 && i - *pI != iCount) || i - *pI > iMost)
      return load.fail(std::string("bad ") + pWhat);
    *pI = i;
    *pValue = v;
    return true;
  }

  bool put(const unsigned char* pData, std::size_t n) {
    if (iAddr + n > u64{1} << 32)
      return load.fail("data beyond address 0xFFFFFFFF");
    for (std::size_t i = 0; i < n; ++i) iSum += pData[i];
    if (!load.put(iAddr, pData, n)) return false;
    iAddr += n;
    return true;
  }

  bool command(const char* p, std::size_t n, std::size_t* pI) {
    const char c = *pI < n ? p[(*pI)++] : '\0';
    u64 v = 0;
    switch (c) {
      case 'A':
        if (!number(p, n, pI, 0, &v, "address")) return false;
        if (v > 0xFFFFFFFF) return load.fail("address wider than 32 bits");
        iAddr = v * iUnit;
        return true;
      case 'B': {
        if (!number(p, n, pI, 2, &v, "byte")) return false;
        if (v > 0xFF) return load.fail("byte wider than 8 bits");
        const auto b = static_cast<unsigned char>(v);
        return put(&b, 1);
      }
      case 'C':
        if (!number(p, n, pI, 0, &v, "checksum", 4)) return false;
        return v == (iSum & 0xFFFF) || load.checksumMismatch();
      case 'E':
        if (!number(p, n, pI, 2, &v, "entry command")) return false;
        if (iAddr > 0xFFFFFFFF) return load.fail("start address past 4 GiB");
        info.setStartAddress(static_cast<std::uint32_t>(iAddr));
        return bEnd = true;
      case 'K':
        iSum = 0;
        return number(p, n, pI, 2, &v, "clear command");
      case 'S': {
        const char* pComma =
            static_cast<const char*>(std::memchr(p + *pI, ',', n - *pI));
        if (pComma == nullptr || pComma + 1 == p + n)
          return load.fail("bad symbol");
        *pI = pComma + 2 - p;
        return true;
      }
      case 'Z': {
        if (!number(p, n, pI, 2, &v, "zero count")) return false;
        const unsigned char zeros[4096] = {};
        return put(zeros, v);  // 2 digits: at most 4095
      }
      default:
        return load.fail("unknown command");
    }
  }

  bool line(const char* p, std::size_t n) {
    unsigned char bytes[3 * 4096];
    std::size_t k = 0;
    for (std::size_t i = 0; i < n;) {
      if (isBlank(p[i])) {
        ++i;
      } else if (bEnd) {
        return load.fail("data after the end record");
      } else if (p[i] == '/') {
        if (!put(bytes, k)) return false;
        k = 0, ++i;
        if (!command(p, n, &i)) return false;
      } else {
        u64 v = 0;
        if (!number(p, n, &i, 4, &v, "data digits")) return false;
        bytes[k] = static_cast<unsigned char>(v >> 16);
        bytes[k + 1] = static_cast<unsigned char>(v >> 8);
        bytes[k + 2] = static_cast<unsigned char>(v);
        k += 3;
        if (k == sizeof bytes) {
          if (!put(bytes, k)) return false;
          k = 0;
        }
      }
    }
    return put(bytes, k);
  }
};

// Lines of 80 characters: data in groups of 3 bytes, the 1 or 2 left of a
// run as B commands; the sum compared and cleared every 16 lines.
class FastLoadWriter : public gcTextWriter {
 public:
  FastLoadWriter(gcImageSave& save, const gcImageOptions& options,
                 const gcImageInfo* pInfo, bool bVariant)
      : gcTextWriter(save, options, pInfo, bVariant),
        iUnit_(save.addressUnit()),
        bStart_(startToWrite(options, pInfo, &iStart_)) {
    if (bStart_) iStart_ = static_cast<std::uint32_t>(save.fileStart(iStart_));
  }
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    const auto* pByte = reinterpret_cast<const unsigned char*>(pData);
    u64 i = 0;
    if (iFirst != iNext_) {
      finishRun();
      command('A', iFirst / iUnit_, 0);
      newLine();
    }
    while (iHeld_ != 0 && iHeld_ < 3 && i < iLength)
      held_[iHeld_++] = pByte[i++];
    if (iHeld_ == 3) group(held_), iHeld_ = 0;
    for (; i + 3 <= iLength; i += 3) group(pByte + i);
    for (; i < iLength; ++i) held_[iHeld_++] = pByte[i];
    iNext_ = u64{iFirst} + iLength;
    iBytes_ += iLength;
    return save_.isOk();
  }
  // The bytes held back of the last run as B commands.
  void finishRun() {
    for (unsigned int k = 0; k < iHeld_; ++k) {
      command('B', held_[k], 2);
      iSum_ += held_[k];
    }
    iHeld_ = 0;
  }
  void end() {
    finishRun();
    command('C', iSum_ & 0xFFFF, 3);
    newLine(false);
    if (bStart_) {  // on a line of its own, which only data leaves out
      command('A', iStart_, 0);
      command('E', 0, 2);
      newLine(false);
    }
  }

 private:
  void group(const unsigned char* p) {
    if (iColumn_ + 4 > 80) newLine();
    const unsigned int v = unsigned{p[0]} << 16 | unsigned{p[1]} << 8 | p[2];
    iSum_ += unsigned{p[0]} + p[1] + p[2];
    char* q = save_.room(4);
    for (int k = 3; k >= 0; --k) *q++ = kDigits[v >> 6 * k & 63];
    save_.advance(q);
    iColumn_ += 4;
  }
  // "/X" and the value in iDigits digits (0: as few as hold it, at least 3).
  void command(char c, u64 v, unsigned int iDigits) {
    if (iDigits == 0)
      for (iDigits = 3; iDigits < 6 && v >> 6 * iDigits != 0;) ++iDigits;
    char* q = save_.room(8);
    *q++ = '/', *q++ = c;
    for (unsigned int k = iDigits; k-- > 0;) *q++ = kDigits[v >> 6 * k & 63];
    save_.advance(q);
    iColumn_ += 2 + iDigits;
  }
  // With bCheck, every 16th line ends comparing and clearing the sum.
  void newLine(bool bCheck = true) {
    if (iColumn_ == 0) return;
    if (++iLines_ % 16 == 0 && bCheck) {
      command('C', iSum_ & 0xFFFF, 3);
      command('K', 0, 2);
      iSum_ = 0;
    }
    save_.advance(save_.lineEnd(save_.room(2)));
    iColumn_ = 0;
  }

  const unsigned int iUnit_;
  std::uint32_t iStart_ = 0;  // in units
  const bool bStart_;
  u64 iNext_ = ~u64{0};
  unsigned char held_[3];
  unsigned int iHeld_ = 0;
  unsigned int iColumn_ = 0;
  u64 iLines_ = 0;
  unsigned int iSum_ = 0;
};

}  // namespace

gcFileFormat* newFastLoadFile() {
  return new gcTextFormat<FastLoadReader, FastLoadWriter>("FastLoad");
}
