// Internal: hex digits of the text formats.
#ifndef DWXFILES_GCHEXCODEC_H_
#define DWXFILES_GCHEXCODEC_H_

#include <array>
#include <cstddef>
#include <cstdint>

// Value of each character as a hex digit, -1 for any other.
constexpr std::array<signed char, 256> makeHexValues() {
  std::array<signed char, 256> values{};
  for (int c = 0; c < 256; ++c)
    values[c] = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                       : -1;
  return values;
}
inline constexpr std::array<signed char, 256> kHexValues = makeHexValues();

// Decodes n bytes from 2n digits; false if any is no hex digit.
inline bool decodeHex(const char* p, std::size_t n, unsigned char* pOut) {
  int bad = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const int hi = kHexValues[static_cast<unsigned char>(p[2 * i])];
    const int lo = kHexValues[static_cast<unsigned char>(p[2 * i + 1])];
    bad |= hi | lo;  // negative once any digit was bad
    pOut[i] = static_cast<unsigned char>((hi & 15) << 4 | (lo & 15));
  }
  return bad >= 0;
}

// The big-endian number in n bytes.
inline std::uint32_t bigEndian(const unsigned char* p, unsigned int n) {
  std::uint32_t v = 0;
  for (unsigned int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

#endif  // DWXFILES_GCHEXCODEC_H_
