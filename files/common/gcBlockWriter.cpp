#include "gcBlockWriter.h"

#include <algorithm>
#include <cstdio>

#include "gcHexCodec.h"
#include "gcTextLines.h"

namespace {

constexpr unsigned int kLineBytes = 16;

// n bytes as words of W bytes, each after a blank but the line's first.
// Writes one byte past the end.
template <unsigned int W>
char* words(char* p, const unsigned char* pByte, unsigned int n, bool bFirst) {
  const std::uint16_t* pDigits = hexPairDigits();
  for (unsigned int i = 0; i < n; i += W) {
    *p = ' ';
    p += i != 0 || !bFirst;
    for (unsigned int b = W; b-- > 0;) p = encodeHex(p, pDigits, pByte[i + b]);
  }
  return p;
}

template <>
char* words<1>(char* p, const unsigned char* pByte, unsigned int n,
               bool bFirst) {
  *p = ' ';
  p += !bFirst;
  return n == 0 ? p : gpHexKernels->encodeSpaced(p, pByte, n);
}

}  // namespace

gcBlockWriter::gcBlockWriter(gcImageSave& save, unsigned int iWordBytes,
                             int iAddressDigits, unsigned int iAddressUnit)
    : save_(save),
      iWordBytes_(iWordBytes),
      iAddressDigits_(iAddressDigits),
      iAddressUnit_(iAddressUnit) {}

bool gcBlockWriter::handleSegment(vmm_int iFirst, std::uint64_t iLength,
                                  const char* pData) {
  const std::uint64_t iEnd = iFirst + iLength;
  if (!checkWholeWords(save_, iFirst, iLength, iWordBytes_, true)) return false;
  if (iFirst != iNext_) {  // a hole, or the first run
    endLine();
    char* p = save_.room(16);
    p += std::sprintf(
        p, "@%0*llX", iAddressDigits_,
        static_cast<unsigned long long>(iFirst / iWordBytes_ / iAddressUnit_));
    save_.advance(save_.lineEnd(p));
  }
  const auto* pByte = reinterpret_cast<const unsigned char*>(pData);
  char* (*write)(char*, const unsigned char*, unsigned int, bool) =
      iWordBytes_ == 1   ? words<1>
      : iWordBytes_ == 2 ? words<2>
                         : words<4>;
  for (std::uint64_t i = 0; i < iLength;) {
    const unsigned int k = static_cast<unsigned int>(
        std::min<std::uint64_t>(kLineBytes - iOnLine_, iLength - i));
    char* p = save_.room(3 * kLineBytes + 2);
    p = write(p, pByte + i, k, iOnLine_ == 0);
    i += k;
    iOnLine_ += k;
    if (iOnLine_ == kLineBytes) {
      p = save_.lineEnd(p);
      iOnLine_ = 0;
    }
    save_.advance(p);
  }
  iNext_ = iEnd;
  iBytes_ += iLength;
  return save_.isOk();
}

void gcBlockWriter::endLine() {
  if (iOnLine_ == 0) return;
  save_.advance(save_.lineEnd(save_.room(2)));
  iOnLine_ = 0;
}
