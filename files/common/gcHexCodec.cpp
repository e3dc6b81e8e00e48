#include "gcHexCodec.h"

#include <array>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

bool decodePortable(const char* p, std::size_t n, unsigned char* pOut,
                    unsigned int* pSum) {
  unsigned int bad = 0, sum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned int v = hexByte(p[2 * i], p[2 * i + 1]);
    bad |= v;
    sum += v;
    pOut[i] = static_cast<unsigned char>(v);
  }
  *pSum += sum;
  return bad < 0x100;
}

char* encodePortable(char* p, const unsigned char* pData, std::size_t n,
                     unsigned int* pSum) {
  const std::uint16_t* pDigits = hexPairDigits();
  unsigned int sum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    p = encodeHex(p, pDigits, pData[i]);
    sum += pData[i];
  }
  *pSum += sum;
  return p;
}

bool decodeSpacedPortable(const char* p, std::size_t n, unsigned char* pOut) {
  unsigned int bad = 0;
  for (std::size_t i = 0; i + 1 < n; ++i, p += 3) {
    const unsigned int v = hexByte(p[0], p[1]);
    bad |= v | (p[2] != ' ') << 8;
    pOut[i] = static_cast<unsigned char>(v);
  }
  const unsigned int v = hexByte(p[0], p[1]);
  pOut[n - 1] = static_cast<unsigned char>(v);
  return (bad | v) < 0x100;
}

// Each byte as a pair and a blank, four bytes stored for three: the last
// blank is left out.
char* encodeSpacedPortable(char* p, const unsigned char* pData, std::size_t n) {
  const std::uint16_t* pDigits = hexPairDigits();
  for (std::size_t i = 0; i + 1 < n; ++i, p += 3) {
    char item[4] = {0, 0, ' ', ' '};
    std::memcpy(item, pDigits + pData[i], 2);
    std::memcpy(p, item, 4);
  }
  return encodeHex(p, pDigits, pData[n - 1]);
}

const gcHexKernels kPortable = {"portable", decodePortable, encodePortable,
                                decodeSpacedPortable, encodeSpacedPortable};

#if defined(__x86_64__)

// SSE2, which every x86-64 CPU has: 16 digits and 8 bytes a step.
bool decode16Sse2(const char* p, unsigned char* pOut, unsigned int* pSum) {
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

bool decodeSse2(const char* p, std::size_t n, unsigned char* pOut,
                unsigned int* pSum) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8)
    if (!decode16Sse2(p + 2 * i, pOut + i, pSum)) return false;
  return decodePortable(p + 2 * i, n - i, pOut + i, pSum);
}

char* encodeSse2(char* p, const unsigned char* pData, std::size_t n,
                 unsigned int* pSum) {
  std::size_t i = 0;
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
  return encodePortable(p, pData + i, n - i, pSum);
}

const gcHexKernels kSse2 = {"sse2", decodeSse2, encodeSse2,
                            decodeSpacedPortable, encodeSpacedPortable};

// AVX2: 32 digits a step. A run longer than a step ends with one that
// overlaps the step before (the same bytes again), so that a record's
// digits take two or three steps and no scalar tail; the sum is then taken
// over the decoded bytes.
#define DWX_AVX2 __attribute__((target("avx2")))

// Each character's digit value; *pValid gets a bit for each that is a digit.
DWX_AVX2 inline __m256i digitValues256(__m256i c, int* pValid) {
  const __m256i d = _mm256_sub_epi8(c, _mm256_set1_epi8('0'));
  const __m256i l = _mm256_sub_epi8(_mm256_or_si256(c, _mm256_set1_epi8(0x20)),
                                    _mm256_set1_epi8('a'));
  const __m256i isDigit =
      _mm256_cmpeq_epi8(_mm256_min_epu8(d, _mm256_set1_epi8(9)), d);
  const __m256i isLetter =
      _mm256_cmpeq_epi8(_mm256_min_epu8(l, _mm256_set1_epi8(5)), l);
  *pValid = _mm256_movemask_epi8(_mm256_or_si256(isDigit, isLetter));
  return _mm256_blendv_epi8(_mm256_add_epi8(l, _mm256_set1_epi8(10)), d,
                            isDigit);
}

DWX_AVX2 inline __m128i digitValues128(__m128i c, int* pMask) {
  const __m128i d = _mm_sub_epi8(c, _mm_set1_epi8('0'));
  const __m128i l =
      _mm_sub_epi8(_mm_or_si128(c, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
  const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d);
  const __m128i isLetter = _mm_cmpeq_epi8(_mm_min_epu8(l, _mm_set1_epi8(5)), l);
  *pMask = _mm_movemask_epi8(_mm_or_si128(isDigit, isLetter));
  return _mm_blendv_epi8(_mm_add_epi8(l, _mm_set1_epi8(10)), d, isDigit);
}

// Digit pairs (high, low) in 16-bit lanes to their bytes.
DWX_AVX2 inline __m128i pairsToBytes(__m128i v) {
  return _mm_packus_epi16(_mm_maddubs_epi16(v, _mm_set1_epi16(0x0110)),
                          _mm_setzero_si128());
}

// 16 bytes from 32 digits, stored and returned.
DWX_AVX2 inline __m128i decode32(const char* p, unsigned char* pOut,
                                 int* pValid) {
  const __m256i v = digitValues256(
      _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), pValid);
  const __m256i w = _mm256_maddubs_epi16(v, _mm256_set1_epi16(0x0110));
  const __m128i b = _mm256_castsi256_si128(
      _mm256_permute4x64_epi64(_mm256_packus_epi16(w, w), 0xD8));  // 0 2 1 3
  _mm_storeu_si128(reinterpret_cast<__m128i*>(pOut), b);
  return b;
}

// 8 bytes from 16 digits, stored and returned (the upper half 0).
DWX_AVX2 inline __m128i decode16(const char* p, unsigned char* pOut,
                                 int* pValid) {
  const __m128i b = pairsToBytes(digitValues128(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), pValid));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(pOut), b);
  return b;
}

// Lanes from 16 - s on, for the bytes an overlapping last step adds.
DWX_AVX2 inline __m128i lanesFrom(std::size_t s) {
  static const unsigned char kMask[32] = {
      0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
      0,    0,    0,    0,    0,    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
      0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(kMask + s));
}

DWX_AVX2 inline unsigned int sum128(__m128i acc) {
  return static_cast<unsigned int>(_mm_cvtsi128_si32(acc) +
                                   _mm_cvtsi128_si32(_mm_srli_si128(acc, 8)));
}

// The sum comes from the registers: reading the bytes back would wait on
// the stores, which a load across two of them cannot take from.
DWX_AVX2 bool decodeAvx2(const char* p, std::size_t n, unsigned char* pOut,
                         unsigned int* pSum) {
  if (n < 8) return decodePortable(p, n, pOut, pSum);
  const __m128i zero = _mm_setzero_si128();
  int iValid = 0, iLast = -1;
  __m128i acc;
  if (n < 16) {
    const __m128i a = decode16(p, pOut, &iValid);
    const __m128i b = decode16(p + 2 * n - 16, pOut + n - 8, &iLast);
    acc = _mm_add_epi64(_mm_sad_epu8(a, zero),
                        _mm_sad_epu8(_mm_and_si128(b, lanesFrom(n)), zero));
    iValid = (iValid & iLast) | ~0xFFFF;
  } else {
    acc = zero;
    iValid = -1;
    std::size_t i = 0;
    for (; i + 16 <= n && iValid == -1; i += 16)
      acc = _mm_add_epi64(
          acc, _mm_sad_epu8(decode32(p + 2 * i, pOut + i, &iValid), zero));
    if (i < n && iValid == -1) {
      const __m128i b = decode32(p + 2 * n - 32, pOut + n - 16, &iValid);
      acc = _mm_add_epi64(
          acc, _mm_sad_epu8(_mm_and_si128(b, lanesFrom(n - i)), zero));
    }
  }
  if (iValid != -1) return false;
  *pSum += sum128(acc);
  return true;
}

DWX_AVX2 inline __m128i hexTable128() {
  return _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A',
                       'B', 'C', 'D', 'E', 'F');
}

// 8 bytes' 16 digits, stored; returns the bytes (the upper half 0).
DWX_AVX2 inline __m128i encode8(char* p, const unsigned char* pData) {
  const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pData));
  const __m128i low = _mm_set1_epi8(0x0F);
  const __m128i nibbles = _mm_unpacklo_epi8(
      _mm_and_si128(_mm_srli_epi16(b, 4), low), _mm_and_si128(b, low));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                   _mm_shuffle_epi8(hexTable128(), nibbles));
  return b;
}

// 16 bytes' 32 digits, stored; returns the bytes.
DWX_AVX2 inline __m128i encode16(char* p, const unsigned char* pData) {
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pData));
  const __m128i low = _mm_set1_epi8(0x0F);
  const __m128i hi = _mm_and_si128(_mm_srli_epi16(b, 4), low);
  const __m128i lo = _mm_and_si128(b, low);
  const __m256i nibbles =
      _mm256_set_m128i(_mm_unpackhi_epi8(hi, lo), _mm_unpacklo_epi8(hi, lo));
  const __m256i table = _mm256_broadcastsi128_si256(hexTable128());
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p),
                      _mm256_shuffle_epi8(table, nibbles));
  return b;
}

DWX_AVX2 char* encodeAvx2(char* p, const unsigned char* pData, std::size_t n,
                          unsigned int* pSum) {
  if (n < 8) return encodePortable(p, pData, n, pSum);
  const __m128i zero = _mm_setzero_si128();
  __m128i acc;
  if (n < 16) {
    const __m128i a = encode8(p, pData);
    const __m128i b = encode8(p + 2 * n - 16, pData + n - 8);
    acc = _mm_add_epi64(_mm_sad_epu8(a, zero),
                        _mm_sad_epu8(_mm_and_si128(b, lanesFrom(n)), zero));
  } else {
    acc = zero;
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16)
      acc = _mm_add_epi64(acc,
                          _mm_sad_epu8(encode16(p + 2 * i, pData + i), zero));
    if (i < n) {
      const __m128i b = encode16(p + 2 * n - 32, pData + n - 16);
      acc = _mm_add_epi64(
          acc, _mm_sad_epu8(_mm_and_si128(b, lanesFrom(n - i)), zero));
    }
  }
  *pSum += sum128(acc);
  return p + 2 * n;
}

// Ten "HH" items one blank apart, five a lane: each lane's 16 characters
// from p + iLow and p + iHigh, the digits gathered by the masks to bytes 0
// to 9 and the blanks to bytes 10 to 14, checked and paired.
DWX_AVX2 inline bool spaced10(const char* p, std::size_t iLow,
                              std::size_t iHigh, __m256i gather,
                              unsigned char* pOut) {
  const __m256i c = _mm256_inserti128_si256(
      _mm256_castsi128_si256(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + iLow))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + iHigh)), 1);
  const __m256i g = _mm256_shuffle_epi8(c, gather);
  int iValid = 0;
  const __m256i v = digitValues256(g, &iValid);
  const int iBlanks =
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(g, _mm256_set1_epi8(' ')));
  const __m256i w = _mm256_maddubs_epi16(v, _mm256_set1_epi16(0x0110));
  const __m256i b = _mm256_packus_epi16(w, w);
  const std::uint64_t lo =
      static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm256_castsi256_si128(b)));
  const std::uint64_t hi = static_cast<std::uint64_t>(
      _mm_cvtsi128_si64(_mm256_extracti128_si256(b, 1)));
  std::memcpy(pOut, &lo, 5);
  std::memcpy(pOut + 5, &hi, 5);
  return (iValid & 0x03FF03FF) == 0x03FF03FF &&
         (iBlanks & 0x7C007C00) == 0x7C007C00;
}

DWX_AVX2 bool decodeSpacedAvx2(const char* p, std::size_t n,
                               unsigned char* pOut) {
  if (n < 10) return decodeSpacedPortable(p, n, pOut);
  // Each lane from an item's first digit: its 16 characters reach the next
  // item's first digit, there while another item follows.
  const __m256i ahead =
      _mm256_setr_epi8(0, 1, 3, 4, 6, 7, 9, 10, 12, 13, 2, 5, 8, 11, 14, -1, 0,
                       1, 3, 4, 6, 7, 9, 10, 12, 13, 2, 5, 8, 11, 14, -1);
  std::size_t i = 0;
  for (; i + 10 < n; i += 10)
    if (!spaced10(p + 3 * i, 0, 15, ahead, pOut + i)) return false;
  // The last ten items, which may overlap those before: the high lane's
  // characters end with the last digit.
  const __m256i last =
      _mm256_setr_epi8(0, 1, 3, 4, 6, 7, 9, 10, 12, 13, 2, 5, 8, 11, 14, -1, 2,
                       3, 5, 6, 8, 9, 11, 12, 14, 15, 4, 7, 10, 13, 13, -1);
  return spaced10(p, 3 * n - 30, 3 * n - 17, last, pOut + n - 10);
}

const gcHexKernels kAvx2 = {"avx2", decodeAvx2, encodeAvx2, decodeSpacedAvx2,
                            encodeSpacedPortable};

#endif  // __x86_64__

struct KernelSets {
  const gcHexKernels* sets[4] = {&kPortable};
  KernelSets() {
#if defined(__x86_64__)
    sets[1] = &kSse2;
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) sets[2] = &kAvx2;
#endif
  }
};

const gcHexKernels* const* availableSets() {
  static const KernelSets kSets;
  return kSets.sets;
}

const gcHexKernels* chooseKernels() {
  const gcHexKernels* const* sets = availableSets();
  const char* pCap = std::getenv("DWXVMM_SIMD");
  const gcHexKernels* pChosen = sets[0];
  for (int i = 0; sets[i] != nullptr; ++i) {
    pChosen = sets[i];
    if (pCap != nullptr && std::strcmp(pCap, sets[i]->pName) == 0) break;
  }
  return pChosen;
}

}  // namespace

constexpr std::array<std::uint16_t, 256> kHexDigitValues = digitValues();

// Constant-initialized, so that whatever runs before the choice (another
// static initializer) reads digits too, on the portable path.
const gcHexKernels* gpHexKernels = &kPortable;
namespace {
const bool kChosen = (gpHexKernels = chooseKernels(), true);
}  // namespace

const gcHexKernels* const* hexKernelSets() { return availableSets(); }

const std::uint16_t* hexPairDigits() {
  static const std::uint16_t* pDigits = buildPairDigits();
  return pDigits;
}
