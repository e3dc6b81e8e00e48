#include "gcSerials.h"

#include <cstdio>

#include "gcChecksum.h"

namespace {

typedef std::uint64_t u64;

gcFileResult fail(const std::string& sReason) {
  return gcFileResult::failure("", 0, sReason);
}

// The digits a text or BCD serial holds, or 0 for an integer type; -1 for
// an unknown type.
int digitsOf(const std::string& sType, unsigned int* pBits) {
  static const struct {
    const char* pName;
    unsigned int iBits;
  } kIntegers[] = {{"u8", 8},     {"u16le", 16}, {"u16be", 16}, {"u32le", 32},
                   {"u32be", 32}, {"u64le", 64}, {"u64be", 64}};
  for (const auto& t : kIntegers)
    if (sType == t.pName) return *pBits = t.iBits, 0;
  const std::size_t colon = sType.find(':');
  const std::string kind = sType.substr(0, colon);
  u64 n = 0;
  if (colon == std::string::npos || (kind != "text" && kind != "bcd") ||
      parseUnsigned(sType.substr(colon + 1), &n) != kNumber || n < 1 ||
      n > (kind == "text" ? 64u : 32u))
    return -1;
  *pBits = 0;
  return static_cast<int>(kind == "text" ? n : 2 * n);
}

}  // namespace

gcFileResult checkSerialType(const std::string& sType) {
  unsigned int iBits = 0;
  if (digitsOf(sType, &iBits) < 0)
    return fail("bad serial type '" + sType +
                "' (u8, u16le, u16be, u32le, u32be, u64le, u64be, "
                "text:WIDTH 1 to 64, bcd:BYTES 1 to 32)");
  return gcFileResult();
}

gcFileResult serialValue(const std::string& sType, u64 iSerial,
                         std::string* pValue) {
  unsigned int iBits = 0;
  const int iDigits = digitsOf(sType, &iBits);
  if (iDigits < 0) return checkSerialType(sType);
  const std::string decimal = std::to_string(iSerial);
  if ((iDigits == 0 && iBits < 64 && iSerial >> iBits != 0) ||
      (iDigits > 0 && decimal.size() > static_cast<unsigned>(iDigits)))
    return fail("serial " + decimal + " does not fit " + sType);
  if (iDigits == 0) {
    *pValue = sType + ":" + decimal;
    return gcFileResult();
  }
  const std::string padded =
      std::string(iDigits - decimal.size(), '0') + decimal;
  // BCD digits are hex digits of the same value.
  *pValue = (sType[0] == 't' ? "text:" : "bytes:") + padded;
  return gcFileResult();
}

gcFileResult checkSerials(const std::string& sType, u64 iFirst, u64 iCount,
                          u64 iStep) {
  const gcFileResult known = checkSerialType(sType);
  if (!known.isOk()) return known;
  if (iCount == 0 || iStep == 0)
    return fail("serials need a count and a step of at least 1");
  // The last serial is the largest: it alone may not fit, unless it passes
  // 64 bits, where the first that does decides.
  const u64 iMax = ~u64{0};
  if (iCount - 1 > (iMax - iFirst) / iStep) {
    const u64 i = (iMax - iFirst) / iStep + 1;
    return fail("serial " + std::to_string(iFirst) + " + " + std::to_string(i) +
                " x " + std::to_string(iStep) + " passes 2^64 - 1");
  }
  std::string value;
  // Values grow with i: the first that does not fit, by a binary search.
  u64 lo = 0, hi = iCount - 1;
  if (serialValue(sType, iFirst + hi * iStep, &value).isOk())
    return gcFileResult();
  while (lo < hi) {
    const u64 mid = lo + (hi - lo) / 2;
    if (serialValue(sType, iFirst + mid * iStep, &value).isOk())
      lo = mid + 1;
    else
      hi = mid;
  }
  return serialValue(sType, iFirst + lo * iStep, &value);
}
