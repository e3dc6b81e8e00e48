#include "gcChecksum.h"

#include <zlib.h>

#include <array>
#include <cstring>

namespace {

// Tables of the MSB-first CRCs (poly 0x04C11DB7 and 0x1021), sliced by four
// so that a step takes four bytes: table k is a byte followed by k zeros.
struct Tables {
  std::array<std::array<std::uint32_t, 256>, 4> crc32;
  std::array<std::array<std::uint16_t, 256>, 4> crc16;
  Tables() {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i << 24;
      std::uint16_t s = static_cast<std::uint16_t>(i << 8);
      for (int bit = 0; bit < 8; ++bit) {
        c = c & 0x80000000u ? c << 1 ^ 0x04C11DB7u : c << 1;
        s = static_cast<std::uint16_t>(s & 0x8000 ? s << 1 ^ 0x1021 : s << 1);
      }
      crc32[0][i] = c;
      crc16[0][i] = s;
    }
    for (int k = 1; k < 4; ++k)
      for (std::uint32_t i = 0; i < 256; ++i) {
        crc32[k][i] = crc32[k - 1][i] << 8 ^ crc32[0][crc32[k - 1][i] >> 24];
        crc16[k][i] = static_cast<std::uint16_t>(
            crc16[k - 1][i] << 8 ^ crc16[0][crc16[k - 1][i] >> 8]);
      }
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

std::vector<gcChecksumAlgorithm> makeAlgorithms() {
  using A = gcChecksumAlgorithm;
  std::vector<A> all;
  auto both = [&](const std::string& name, A::Kind kind, unsigned width,
                  std::uint16_t init) {
    all.push_back({name + "-le", kind, width, init, false});
    all.push_back({name + "-be", kind, width, init, true});
  };
  both("crc32", A::kCrc32, 4, 0);
  both("stm32", A::kStm32, 4, 0);
  both("crc16-xmodem", A::kCrc16, 2, 0);
  both("crc16-ccitt", A::kCrc16, 2, 0xFFFF);
  both("crc16-aug", A::kCrc16, 2, 0x1D0F);  // 0xFFFF, augmented
  for (auto [prefix, kind] :
       {std::pair{"", A::kSum}, std::pair{"neg", A::kNegSum},
        std::pair{"not", A::kNotSum}}) {
    all.push_back({std::string(prefix) + "sum8", kind, 1, 0, false});
    both(std::string(prefix) + "sum16", kind, 2, 0);
    both(std::string(prefix) + "sum32", kind, 4, 0);
  }
  return all;
}

}  // namespace

const std::vector<gcChecksumAlgorithm>& checksumAlgorithms() {
  static const std::vector<gcChecksumAlgorithm> all = makeAlgorithms();
  return all;
}

const gcChecksumAlgorithm* findChecksum(const std::string& sName) {
  for (const gcChecksumAlgorithm& a : checksumAlgorithms())
    if (a.sName == sName) return &a;
  return nullptr;
}

gcChecksumState::gcChecksumState(const gcChecksumAlgorithm& a)
    : algorithm(a), iCrc(0), iSum(0), partial(), iPartial(0) {
  if (a.kind == gcChecksumAlgorithm::kCrc32)
    iCrc = static_cast<std::uint32_t>(crc32(0, Z_NULL, 0));
  else if (a.kind == gcChecksumAlgorithm::kStm32)
    iCrc = 0xFFFFFFFF;
  else
    iCrc = a.iInit;
}

void gcChecksumState::add(const unsigned char* p, std::size_t n) {
  switch (algorithm.kind) {
    case gcChecksumAlgorithm::kCrc32:
      while (n > 0) {  // zlib takes an unsigned int length
        const auto piece =
            static_cast<uInt>(std::min<std::size_t>(n, 1u << 30));
        iCrc = static_cast<std::uint32_t>(crc32(iCrc, p, piece));
        p += piece, n -= piece;
      }
      return;
    case gcChecksumAlgorithm::kStm32: {
      const auto& t = tables().crc32;
      auto word = [&](const unsigned char* w) {
        // The unit reads a little-endian word and shifts it in MSB first.
        const std::uint32_t c =
            iCrc ^ (std::uint32_t{w[0]} | std::uint32_t{w[1]} << 8 |
                    std::uint32_t{w[2]} << 16 | std::uint32_t{w[3]} << 24);
        iCrc = t[3][c >> 24] ^ t[2][c >> 16 & 0xFF] ^ t[1][c >> 8 & 0xFF] ^
               t[0][c & 0xFF];
      };
      while (n > 0 && iPartial != 0) {
        partial[iPartial++] = *p++, --n;
        if (iPartial == 4) word(partial), iPartial = 0;
      }
      for (; n >= 4; p += 4, n -= 4) word(p);
      std::memcpy(partial, p, n);
      iPartial = static_cast<unsigned>(n);
      return;
    }
    case gcChecksumAlgorithm::kCrc16: {
      const auto& t = tables().crc16;
      std::uint32_t c = iCrc;
      for (; n >= 4; p += 4, n -= 4) {
        c ^= std::uint32_t{p[0]} << 8 | p[1];
        c = t[3][c >> 8] ^ t[2][c & 0xFF] ^ t[1][p[2]] ^ t[0][p[3]];
      }
      for (std::size_t i = 0; i < n; ++i)
        c = (c << 8 ^ t[0][(c >> 8 ^ p[i]) & 0xFF]) & 0xFFFF;
      iCrc = c;
      return;
    }
    default: {
      std::uint64_t s = 0;
      for (std::size_t i = 0; i < n; ++i) s += p[i];
      iSum += s;
    }
  }
}

std::uint32_t gcChecksumState::value() const {
  const std::uint32_t mask =
      algorithm.iWidth == 4 ? 0xFFFFFFFFu : (1u << 8 * algorithm.iWidth) - 1;
  const auto sum = static_cast<std::uint32_t>(iSum);
  switch (algorithm.kind) {
    case gcChecksumAlgorithm::kSum:
      return sum & mask;
    case gcChecksumAlgorithm::kNegSum:
      return (0u - sum) & mask;
    case gcChecksumAlgorithm::kNotSum:
      return ~sum & mask;
    default:
      return iCrc & mask;
  }
}

void gcChecksumState::store(unsigned char* pOut) const {
  const std::uint32_t v = value();
  const unsigned int w = algorithm.iWidth;
  for (unsigned int i = 0; i < w; ++i)
    pOut[algorithm.bBigEndian ? w - 1 - i : i] =
        static_cast<unsigned char>(v >> 8 * i);
}
