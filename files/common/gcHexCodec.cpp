#include "gcHexCodec.h"

#include <array>
#include <memory>

namespace {

constexpr std::array<std::uint16_t, 256> digitValues() {
  std::array<std::uint16_t, 256> v{};
  for (int c = 0; c < 256; ++c)
    v[c] = c >= '0' && c <= '9'   ? c - '0'
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : 0x100;
  return v;
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

constexpr std::array<std::uint16_t, 256> kHexDigitValues = digitValues();

const std::uint16_t* hexPairDigits() {
  static const std::uint16_t* pDigits = buildPairDigits();
  return pDigits;
}
