// Internal: hex digits of the text formats.
#ifndef DWXFILES_GCHEXCODEC_H_
#define DWXFILES_GCHEXCODEC_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)
// 8 bytes from 16 digits at once: false if any is no hex digit.
inline bool decodeHex16(const char* p, unsigned char* pOut,
                        unsigned int* pSum) {
  const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i d = _mm_sub_epi8(c, _mm_set1_epi8('0'));
  const __m128i l = _mm_sub_epi8(_mm_or_si128(c, _mm_set1_epi8(0x20)),
                                 _mm_set1_epi8('a'));  // either case
  const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d);
  const __m128i isLetter = _mm_cmpeq_epi8(_mm_min_epu8(l, _mm_set1_epi8(5)), l);
  if (_mm_movemask_epi8(_mm_or_si128(isDigit, isLetter)) != 0xFFFF)
    return false;
  const __m128i v = _mm_or_si128(
      _mm_and_si128(isDigit, d),
      _mm_andnot_si128(isDigit, _mm_add_epi8(l, _mm_set1_epi8(10))));
  // Each 16-bit lane: the high digit in its low byte, the low in its high.
  const __m128i w =
      _mm_or_si128(_mm_slli_epi16(_mm_and_si128(v, _mm_set1_epi16(0xFF)), 4),
                   _mm_srli_epi16(v, 8));
  const __m128i bytes = _mm_packus_epi16(w, _mm_setzero_si128());
  _mm_storel_epi64(reinterpret_cast<__m128i*>(pOut), bytes);
  *pSum += _mm_cvtsi128_si32(_mm_sad_epu8(bytes, _mm_setzero_si128()));
  return true;
}
#endif

// Decodes n bytes from 2n digits into pOut and adds them to *pSum; false
// if any is no hex digit.
inline bool decodeHex(const char* p, std::size_t n, unsigned char* pOut,
                      unsigned int* pSum) {
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 8 <= n; i += 8)
    if (!decodeHex16(p + 2 * i, pOut + i, pSum)) return false;
#endif
  unsigned int bad = 0, sum = 0;
  for (; i < n; ++i) {
    const unsigned int v = hexByte(p[2 * i], p[2 * i + 1]);
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

// Encodes n bytes as 2n digits and adds them to *pSum; returns the end.
inline char* encodeHex(char* p, const unsigned char* pData, std::size_t n,
                       unsigned int* pSum) {
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 8 <= n; i += 8, p += 16) {
    const __m128i b =
        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pData + i));
    const __m128i low = _mm_set1_epi8(0x0F);
    const __m128i nibbles = _mm_unpacklo_epi8(
        _mm_and_si128(_mm_srli_epi16(b, 4), low), _mm_and_si128(b, low));
    const __m128i letters = _mm_and_si128(
        _mm_cmpgt_epi8(nibbles, _mm_set1_epi8(9)), _mm_set1_epi8(7));
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(p),
        _mm_add_epi8(_mm_add_epi8(nibbles, _mm_set1_epi8('0')), letters));
    *pSum += _mm_cvtsi128_si32(_mm_sad_epu8(b, _mm_setzero_si128()));
  }
#endif
  const std::uint16_t* pDigits = hexPairDigits();
  for (; i < n; ++i) {
    p = encodeHex(p, pDigits, pData[i]);
    *pSum += pData[i];
  }
  return p;
}

// The big-endian number in n bytes.
inline std::uint32_t bigEndian(const unsigned char* p, unsigned int n) {
  std::uint32_t v = 0;
  for (unsigned int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

#endif  // DWXFILES_GCHEXCODEC_H_
