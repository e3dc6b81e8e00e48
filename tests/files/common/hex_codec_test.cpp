// Every set of hex kernels this CPU runs against the portable one: the same
// text, bytes and sums, the same refusals, and no read past the digits
// (each text sits at the very end of its own allocation).
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "gcHexCodec.h"

namespace {

// A copy of s that ends where its allocation ends.
std::unique_ptr<char[]> exact(const std::string& s) {
  std::unique_ptr<char[]> p(new char[s.size() + 1]);
  std::memcpy(p.get(), s.data(), s.size());
  return p;
}

TEST(HexCodec, EveryKernelSetAgreesWithThePortableOne) {
  const gcHexKernels* const* sets = hexKernelSets();
  const gcHexKernels& plain = *sets[0];
  std::mt19937 random(20261208);
  const char kNoDigit[] = "gG /:@`\x80\xff";
  for (int iCase = 0; iCase < 4000; ++iCase) {
    const std::size_t n = 1 + random() % (iCase < 2000 ? 40 : 300);
    std::string data(n, 0);
    for (char& c : data) c = static_cast<char>(random());
    const auto* pData = reinterpret_cast<const unsigned char*>(data.data());
    std::string hex(2 * n, 0), spaced(3 * n + 2, 0);
    unsigned int iSum = 0;
    plain.encode(&hex[0], pData, n, &iSum);
    spaced.resize(plain.encodeSpaced(&spaced[0], pData, n) - &spaced[0]);
    ASSERT_EQ(spaced.size(), 3 * n - 1);
    const std::string cleanHex = hex, cleanSpaced = spaced;
    if (iCase % 3 == 0)  // lower case reads the same
      for (char& c : hex) c = static_cast<char>(std::tolower(c));
    // A case in four has one character that is no digit, or no blank.
    const bool bBad = iCase % 4 == 1;
    if (bBad) hex[random() % hex.size()] = kNoDigit[random() % 9];
    if (bBad) spaced[random() % spaced.size()] = kNoDigit[random() % 2];
    for (int s = 0; sets[s] != nullptr; ++s) {
      const gcHexKernels& k = *sets[s];
      SCOPED_TRACE(std::string(k.pName) + ", " + std::to_string(n) + " bytes");
      std::string text(2 * n + 1, 0), line(3 * n + 2, 0);
      unsigned int iTextSum = 7;
      EXPECT_EQ(k.encode(&text[0], pData, n, &iTextSum), &text[2 * n]);
      EXPECT_EQ(iTextSum, iSum + 7);
      EXPECT_EQ(k.encodeSpaced(&line[0], pData, n), &line[3 * n - 1]);
      EXPECT_EQ(line.substr(0, 3 * n - 1), cleanSpaced);
      const auto pHex = exact(hex), pSpaced = exact(spaced);
      std::string back(n, 0);
      auto* pBack = reinterpret_cast<unsigned char*>(&back[0]);
      unsigned int iBackSum = 7;
      EXPECT_EQ(k.decode(pHex.get(), n, pBack, &iBackSum), !bBad);
      if (!bBad) {
        EXPECT_EQ(back, data);
        EXPECT_EQ(iBackSum, iSum + 7);
      }
      std::string backSpaced(n, 0);
      EXPECT_EQ(
          k.decodeSpaced(pSpaced.get(), n,
                         reinterpret_cast<unsigned char*>(&backSpaced[0])),
          !bBad);
      if (!bBad) {
        EXPECT_EQ(backSpaced, data);
      }
    }
  }
}

}  // namespace
