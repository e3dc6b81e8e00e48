#include "gcHexCodec.h"

#include <memory>

namespace {

int digitValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Keyed by the two characters as they lie in memory, whatever the byte
// order: the table is built from the same 16-bit loads.
std::uint16_t* buildPairValues() {
  static std::uint16_t values[1 << 16];
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) {
      const char pair[2] = {static_cast<char>(a), static_cast<char>(b)};
      std::uint16_t key;
      std::memcpy(&key, pair, 2);
      const int hi = digitValue(a), lo = digitValue(b);
      values[key] = hi < 0 || lo < 0 ? 0x100 : hi * 16 + lo;
    }
  return values;
}

std::uint16_t* buildPairDigits() {
  static std::uint16_t digits[256];
  static const char kDigits[] = "0123456789ABCDEF";
  for (int v = 0; v < 256; ++v) {
    const char pair[2] = {kDigits[v >> 4], kDigits[v & 15]};
    std::memcpy(&digits[v], pair, 2);
  }
  return digits;
}

}  // namespace

const std::uint16_t* hexPairValues() {
  static const std::uint16_t* pValues = buildPairValues();
  return pValues;
}

const std::uint16_t* hexPairDigits() {
  static const std::uint16_t* pDigits = buildPairDigits();
  return pDigits;
}
