// Internal: hex digits of the text formats.
#ifndef DWXFILES_GCHEXCODEC_H_
#define DWXFILES_GCHEXCODEC_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

// The byte that two hex digits (in memory order, as one 16-bit load) give,
// or 0x100 when either is no hex digit: one look-up per byte.
const std::uint16_t* hexPairValues();

// Decodes n bytes from 2n digits into pOut and adds them to *pSum; false
// if any is no hex digit.
inline bool decodeHex(const char* p, std::size_t n, unsigned char* pOut,
                      unsigned int* pSum) {
  const std::uint16_t* pPairs = hexPairValues();
  unsigned int bad = 0, sum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    std::uint16_t pair;
    std::memcpy(&pair, p + 2 * i, 2);
    const unsigned int v = pPairs[pair];
    bad |= v;
    sum += v;
    pOut[i] = static_cast<unsigned char>(v);
  }
  *pSum += sum;
  return bad < 0x100;
}

// Two upper-case hex digits of each byte, in memory order.
const std::uint16_t* hexPairDigits();

inline char* encodeHex(char* p, const std::uint16_t* pDigits,
                       unsigned int iByte) {
  std::memcpy(p, pDigits + (iByte & 0xFF), 2);
  return p + 2;
}

// The big-endian number in n bytes.
inline std::uint32_t bigEndian(const unsigned char* p, unsigned int n) {
  std::uint32_t v = 0;
  for (unsigned int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

#endif  // DWXFILES_GCHEXCODEC_H_
