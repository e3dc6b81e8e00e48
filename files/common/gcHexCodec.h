// Internal: hex digits of the text formats.
#ifndef DWXFILES_GCHEXCODEC_H_
#define DWXFILES_GCHEXCODEC_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Each character's value as a hex digit, or 0x100 when it is none: a table
// of 512 bytes, where one keyed by digit pairs would take 128 KiB of every
// process that reads hex.
extern const std::array<std::uint16_t, 256> kHexDigitValues;

// The byte that hex digits hi and lo give, or a value over 0xFF when either
// is no hex digit.
inline unsigned int hexByte(char hi, char lo) {
  return kHexDigitValues[static_cast<unsigned char>(hi)] << 4 |
         kHexDigitValues[static_cast<unsigned char>(lo)];
}

// The runs of digits, done a vector at a time where the CPU can: a set of
// kernels chosen once, when the library loads, by what the CPU has (AVX2,
// else SSE2 on x86-64; plain C++ elsewhere). The environment variable
// DWXVMM_SIMD caps the choice ("portable": plain C++; "sse2"), so that
// tests run every path of one build. Every set gives the same results.
struct gcHexKernels {
  const char* pName;
  // Decodes n bytes from 2n digits (either case) into pOut and adds them
  // to *pSum; false if any is no hex digit (pOut then holds anything).
  bool (*decode)(const char* p, std::size_t n, unsigned char* pOut,
                 unsigned int* pSum);
  // Encodes n bytes as 2n upper-case digits and adds them to *pSum;
  // returns the end.
  char* (*encode)(char* p, const unsigned char* pData, std::size_t n,
                  unsigned int* pSum);
  // n >= 1 bytes from "HH HH ... HH" (3n - 1 characters, one blank between
  // bytes); false for any other character.
  bool (*decodeSpaced)(const char* p, std::size_t n, unsigned char* pOut);
  // The same text from n >= 1 bytes; returns the end.
  char* (*encodeSpaced)(char* p, const unsigned char* pData, std::size_t n);
};

extern const gcHexKernels* gpHexKernels;

// The sets this CPU can run, the portable one first; null-terminated.
const gcHexKernels* const* hexKernelSets();

inline bool decodeHex(const char* p, std::size_t n, unsigned char* pOut,
                      unsigned int* pSum) {
  return gpHexKernels->decode(p, n, pOut, pSum);
}

inline char* encodeHex(char* p, const unsigned char* pData, std::size_t n,
                       unsigned int* pSum) {
  return gpHexKernels->encode(p, pData, n, pSum);
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
