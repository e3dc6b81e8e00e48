// Dumps checked against a naive formatter that walks every row of the
// range, and one dump written out by hand.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <random>

#include "gcImage.h"
#include "gcImageDump.h"

namespace {

typedef std::uint64_t u64;
typedef std::map<u64, unsigned char> Bytes;

std::string hex8(u64 v) {
  char s[24];  // room for any 64-bit value: gcc -O2 checks
  std::snprintf(s, sizeof s, "0x%08llx", static_cast<unsigned long long>(v));
  return s;
}

std::string naiveDump(const Bytes& bytes, u64 first, u64 last, unsigned width) {
  std::string out, previous;
  bool bAny = false, bStar = false;
  u64 gap = 0, lastRow = 0;
  for (u64 row = first - first % width; row <= last; row += width) {
    std::string cells, ascii;
    bool bData = false;
    for (u64 a = row; a < row + width; ++a) {
      const auto it = bytes.find(a);
      if (a < first || a > last || it == bytes.end()) {
        cells += " --", ascii += ' ';
        continue;
      }
      char cell[8];
      std::snprintf(cell, sizeof cell, " %02x", it->second);
      cells += cell;
      ascii += std::isprint(it->second) ? static_cast<char>(it->second) : '.';
      bData = true;
    }
    if (!bData) {
      gap += bAny ? width : 0;
      continue;
    }
    const std::string line = cells + " |" + ascii + "|\n";
    if (gap != 0) {
      out += "... " + hex8(gap) + " bytes unwritten\n";
      bStar = false;
    } else if (bAny && line == previous) {
      out += bStar ? "" : "*\n";
      bStar = true, lastRow = row;
      continue;
    }
    out += hex8(row) + ":" + line;
    previous = line, bAny = true, bStar = false, gap = 0, lastRow = row;
  }
  return bStar ? out + hex8(lastRow + width) + "\n" : out;
}

void put(gcImage* pImage, const Bytes& bytes) {
  for (const auto& [a, b] : bytes)
    pImage->write(a, reinterpret_cast<const char*>(&b), 1);
}

TEST(Dump, ShowsRowsHolesGapsAndRepeatsAsWrittenOut) {
  gcImage image;
  Bytes bytes;
  for (u64 a = 0x100; a < 0x140; ++a) bytes[a] = 0xFF;  // a row and 3 repeats
  bytes[0x1000] = 'A', bytes[0x1001] = 0x7F, bytes[0x100F] = ' ';
  bytes[0xFFFFFFFF] = 'z';
  put(&image, bytes);
  const std::string ff = " ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff";
  EXPECT_EQ("0x00000100:" + ff +
                " |................|\n*\n"
                "... 0x00000ec0 bytes unwritten\n"
                "0x00001000: 41 7f -- -- -- -- -- -- -- -- -- -- -- -- -- 20 "
                "|A.              |\n"
                "... 0xffffefe0 bytes unwritten\n"
                "0xfffffff0: -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- 7a "
                "|               z|\n",
            dumpImage(image.getVMM(), 0, 0xFFFFFFFF, 16));
  EXPECT_EQ("0x00000120:" + ff + ff.substr(0, 15) +
                " -- -- -- -- -- -- -- -- -- -- -- |" + std::string(21, '.') +
                std::string(11, ' ') + "|\n",
            dumpImage(image.getVMM(), 0x120, 0x134, 32));
  EXPECT_EQ("0x00000100:" + ff + " |................|\n*\n0x00000140\n",
            dumpImage(image.getVMM(), 0, 0x1000 - 1, 16));
}

TEST(Dump, MatchesNaiveRowsOverRandomImagesAndRanges) {
  std::mt19937 rnd(29);
  for (int round = 0; round < 30; ++round) {
    gcImage image;
    Bytes bytes;
    const u64 base = round % 3 == 0 ? 0xFFFFC000 : 0x08000000 + round * 0x10000;
    for (int block = 0; block < 12; ++block) {
      const u64 at = base + rnd() % 0x3F00, n = 1 + rnd() % 200;
      const bool bRepeat = rnd() % 2 == 0;  // rows equal to the row before
      for (u64 i = 0; i < n && at + i <= 0xFFFFFFFF; ++i)
        bytes[at + i] = bRepeat ? static_cast<unsigned char>(i % 16 + 0x60)
                                : static_cast<unsigned char>(rnd());
    }
    for (u64 a = base + 0x3FF0; a <= base + 0x3FFF; ++a) bytes[a] = 0;
    put(&image, bytes);
    const unsigned width = round % 2 == 0 ? 16 : 32;
    u64 first = base + rnd() % 0x4000, last = base + rnd() % 0x4000;
    if (first > last) std::swap(first, last);
    for (const auto& [f, l] : {std::pair<u64, u64>{base, base + 0x3FFF},
                               std::pair<u64, u64>{first, last}})
      ASSERT_EQ(naiveDump(bytes, f, l, width),
                dumpImage(image.getVMM(), static_cast<vmm_int>(f),
                          static_cast<vmm_int>(l), width))
          << "round " << round << " " << hex8(f) << "-" << hex8(l);
    // Rows outside the written bytes are never shown: the whole space dumps
    // as the written span does.
    EXPECT_EQ(naiveDump(bytes, base, base + 0x3FFF, width),
              dumpImage(image.getVMM(), 0, 0xFFFFFFFF, width));
  }
}

TEST(Dump, StopsWhenTheWriterRefusesAndDescribesTheImage) {
  gcImage image;
  std::string data(1 << 20, '\0');
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7 / 16);
  image.write(0x20000000, data.data(), data.size());
  int calls = 0;
  EXPECT_FALSE(
      dumpImage(image.getVMM(), 0, 0xFFFFFFFF, 16, [&](const std::string&) {
        ++calls;
        return false;
      }));
  EXPECT_EQ(1, calls);
  image.write(0x10, "ab", 2);
  EXPECT_EQ("1048578 data bytes in 2 runs, 0x00000010-0x200fffff",
            describeImage(image.getRuns(), image.getInfo()));
  gcImage empty;
  empty.getInfo().setStartAddress(0x123, false);
  EXPECT_EQ("no data, start 0x00000123",
            describeImage(empty.getRuns(), empty.getInfo()));
}

}  // namespace
