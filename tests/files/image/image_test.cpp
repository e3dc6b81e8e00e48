// The one path from files to an image: loading lists of inputs, saving
// beside and renaming, runs, reads, and differences as ranges.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <random>

#include "../../support/scratch_dir.h"
#include "../../support/written_bytes.h"
#include "gcImage.h"
#include "gcImageCompare.h"

namespace {

using Image = ScratchDir;

gcImageInput input(const std::string& path) {
  gcImageInput in;
  in.sPath = path;
  return in;
}

TEST_F(Image, LoadsAListInOrderEachInputAllOrNothing) {
  spill("a.hex", ":0400100001020304E2\n:00000001FF\n");
  spill("b.bin", "\x05\x06");
  spill("bad.hex", ":0100200011CE\n:01001000FFF0\n:00000001FF\n");
  gcImage image;
  gcImageInput placed = input("b.bin"), moved = input("a.hex");
  placed.bPlaced = true, placed.iAddress = 0x14;
  moved.bMoved = true, moved.iDelta = 0x100;
  const gcFileResult ok =
      image.load({input("a.hex"), placed, moved}, gcImageOptions());
  ASSERT_TRUE(ok.isOk()) << ok.getMessage();
  EXPECT_EQ(10u, ok.getDataBytes());
  const auto runs = image.getRuns();  // a.hex and b.bin touch: one run
  ASSERT_EQ(2u, runs.size());
  EXPECT_EQ(0x10u, runs[0].iFirst);
  EXPECT_EQ(6u, runs[0].iLength);
  EXPECT_EQ(0x110u, runs[1].iFirst);
  ASSERT_EQ(3u, image.getInputs().size());
  EXPECT_EQ("Intel HEX", image.getInputs()[0].sType);
  EXPECT_EQ("b.bin@0x00000014", image.getInputs()[1].getName());
  EXPECT_EQ("a.hex@+0x00000100", image.getInputs()[2].getName());

  // A conflict in the second file of a list: the first stays, the second
  // adds nothing, and the error names its line.
  gcImage two;
  const gcFileResult bad =
      two.load({input("a.hex"), input("bad.hex")}, gcImageOptions());
  EXPECT_EQ("bad.hex:2: ", bad.getMessage().substr(0, 11));
  EXPECT_EQ(4u, writtenBytes(*two.getVMM()).size());
  EXPECT_EQ(1u, two.getInputs().size());

  // A load address is for a binary file only.
  gcImageInput hexAt = input("a.hex");
  hexAt.bPlaced = true;
  EXPECT_FALSE(gcImage().load({hexAt}, gcImageOptions()).isOk());
}

TEST_F(Image, SavesWholeOrLeavesTheTargetAsItWas) {
  gcImage image;
  image.write(0xFFFFFFFE, "\x01\x02", 2);
  spill("out.hex", "old");
  gcImageOptions bad;
  bad.setRange(5, 4);
  const gcFileResult failed = image.save("out.hex", "Intel HEX", bad);
  EXPECT_EQ("out.hex: empty range", failed.getMessage());
  EXPECT_EQ("old", slurp("out.hex"));
  ASSERT_TRUE(image.save("out.hex", "Intel HEX", gcImageOptions()).isOk());
  ASSERT_TRUE(image.save("out.c", "C array", gcImageOptions()).isOk());
  EXPECT_NE(std::string::npos, slurp("out.c").find("out_runs["));
  std::size_t files = 0;  // nothing left beside the outputs
  for (const auto& entry : std::filesystem::directory_iterator("."))
    files += entry.path().filename().string().find("dwxvmm") == 0 ? 1 : 0;
  EXPECT_EQ(0u, files);
  gcImage back;
  ASSERT_TRUE(back.load({input("out.hex")}, gcImageOptions()).isOk());
  EXPECT_EQ(writtenBytes(*image.getVMM()), writtenBytes(*back.getVMM()));
}

// Outputs of many buffers are written from a thread: in order, and a write
// that fails there still fails the save and leaves the old file.
TEST_F(Image, ALargeSaveIsWholeOrFailsLeavingTheOldFile) {
  gcImage image;
  std::mt19937 random(7);
  std::string bytes(3 << 20, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  image.write(0x1000, bytes.data(), bytes.size());
  spill("big.hex", "old");
  rlimit old{};
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &old));
  rlimit small = old;
  small.rlim_cur = 1 << 20;
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
  const gcFileResult failed =
      image.save("big.hex", "Intel HEX", gcImageOptions());
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, handler);
  EXPECT_EQ("big.hex: cannot write: File too large", failed.getMessage());
  EXPECT_EQ("old", slurp("big.hex"));
  EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator("."),
                             std::filesystem::directory_iterator()));

  ASSERT_TRUE(image.save("big.hex", "Intel HEX", gcImageOptions()).isOk());
  gcImage back;
  ASSERT_TRUE(back.load({input("big.hex")}, gcImageOptions()).isOk());
  EXPECT_EQ(writtenBytes(*image.getVMM()), writtenBytes(*back.getVMM()));
}

TEST_F(Image, WritesTheReportOrFailsWithNothingLeft) {
  gcImage image;
  image.write(0x10, "ab", 2);
  const auto here = std::filesystem::current_path();
  ASSERT_TRUE(image.saveMemoryMap("r.txt").isOk());
  EXPECT_NE(std::string::npos, slurp("r.txt").find("----"));
  EXPECT_EQ("no/such/r.txt: cannot write the report",
            image.saveMemoryMap("no/such/r.txt").getMessage());
  EXPECT_EQ(here, std::filesystem::current_path());
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(1u, files);
}

// The picture's caption and legend: counts, plurals, and names whose bytes
// are not UTF-8 escaped, each byte alone.
TEST_F(Image, PictureCaptionCountsAndEscapesNames) {
  for (auto [name, shown] : {std::pair{"\xE2\x82\xAC\xF0\x9F\x9A\x80", ""},
                             {"\xE0\xA4\x80\xDF\xBF", ""},
                             {"\xBF\x80", "\\xbf\\x80"},
                             {"\xC3(", "\\xc3("},
                             {"\xC0\x80", "\\xc0\\x80"},
                             {"\xED\xA0\x80", "\\xed\\xa0\\x80"},
                             {"a<&\"\x01", "a&lt;&amp;&quot;\\x01"}}) {
    const std::string sName = name, sShown = *shown ? shown : name;
    spill(sName, "\x01\x02\x03");
    gcImageInput one = input(sName), two = input(sName);
    one.bPlaced = true, one.iAddress = 0x10;
    two.bPlaced = true, two.iAddress = 0x20;
    std::string svg;
    gcImage image;
    ASSERT_TRUE(image.load({one}, gcImageOptions()).isOk());
    ASSERT_TRUE(image.layoutSvg(gcImageOptions(), &svg).isOk());
    EXPECT_NE(std::string::npos,
              svg.find(">3 bytes in 1 run, 0x00000010 to 0x00000012<"));
    EXPECT_NE(std::string::npos,
              svg.find(">" + sShown + "@0x00000010 (Binary file): 3 bytes<"))
        << svg;
    ASSERT_TRUE(image.load({two}, gcImageOptions()).isOk());
    ASSERT_TRUE(image.layoutSvg(gcImageOptions(), &svg).isOk());
    EXPECT_NE(std::string::npos,
              svg.find(">6 bytes in 2 runs, 0x00000010 to 0x00000022<"));
    EXPECT_NE(std::string::npos,
              svg.find("0x00000020-0x00000022, 3 bytes\nfrom " + sShown +
                       "@0x00000020</title>"));
    EXPECT_EQ(std::string::npos,
              svg.find(".0\"", svg.find('\n')));  // 20, not 20.0
    std::remove(sName.c_str());
  }
  gcImage image;
  std::string svg;
  spill("b", "\x01");
  gcImageInput b = input("b");
  b.bPlaced = true;
  ASSERT_TRUE(image.load({b}, gcImageOptions()).isOk());
  ASSERT_TRUE(image.layoutSvg(gcImageOptions(), &svg).isOk());
  EXPECT_NE(std::string::npos,
            svg.find(">1 byte in 1 run, 0x00000000 to 0x00000000<"));
}

// Bytes in memory load as their file does but are not listed to load
// again; an output in memory holds the whole file or nothing.
TEST_F(Image, LoadsAndSavesInMemoryAsFiles) {
  const std::string text = ":0400100001020304E2\n:0100200011CE\n";
  spill("a.hex", text);
  gcImage fromFile, fromMemory;
  ASSERT_TRUE(fromFile.load({input("a.hex")}, gcImageOptions()).isOk());
  gcImageInput bytes = input("<bytes>");
  bytes.pData = text.data(), bytes.iSize = text.size();
  const gcFileResult loaded = fromMemory.load({bytes}, gcImageOptions());
  ASSERT_TRUE(loaded.isOk());
  EXPECT_EQ("<bytes>: no end record", loaded.getWarnings().at(0));
  EXPECT_TRUE(fromMemory.equals(fromFile));
  EXPECT_TRUE(fromMemory.getInputs().empty());
  std::string out = "junk";
  gcImageOptions bad;
  bad.setRange(5, 4);
  EXPECT_EQ(
      "<bytes>: empty range",
      fromMemory.saveToMemory("<bytes>", "Intel HEX", bad, &out).getMessage());
  EXPECT_EQ("", out);
  ASSERT_TRUE(fromFile.save("b.hex", "Intel HEX", gcImageOptions()).isOk());
  ASSERT_TRUE(
      fromMemory.saveToMemory("<bytes>", "Intel HEX", gcImageOptions(), &out)
          .isOk());
  EXPECT_EQ(slurp("b.hex"), out);
}

TEST_F(Image, ReadsFillOrStopAtTheFirstHole) {
  gcImage image;
  image.write(0x0FFE, "abcd", 4);  // across a page
  EXPECT_EQ(2u, image.countPages());
  std::string out(8, '?');
  std::uint64_t hole = 0;
  EXPECT_TRUE(image.read(0x0FFC, 8, &out[0], '.', &hole));
  EXPECT_EQ("..abcd..", out);
  EXPECT_FALSE(image.read(0x0FFE, 5, &out[0], -1, &hole));
  EXPECT_TRUE(image.read(0x0FFC, 0, &out[0], -1, &hole));
  EXPECT_EQ(0x1002u, hole);
}

// Differences against a byte map, over images whose differences of every
// kind lie next to each other.
TEST(ImageCompare, RangesMatchAByteMap) {
  std::mt19937 random(5);
  for (int round = 0; round < 20; ++round) {
    gcImage a, b;
    std::map<std::uint64_t, int> bytesA, bytesB;
    for (int i = 0; i < 300; ++i) {
      const std::uint64_t at = 0xFFFFE000u + random() % 0x2000;
      const char value = static_cast<char>(random() % 3);
      if (random() % 3 != 0) a.write(at, &value, 1), bytesA[at] = value;
      if (random() % 3 != 0) b.write(at, &value, 1), bytesB[at] = value;
      if (random() % 5 == 0) {
        const char other = static_cast<char>(value + 1);
        b.write(at, &other, 1), bytesB[at] = other;
      }
    }
    std::map<std::uint64_t, int> expected;  // address: kind
    for (const auto& [at, value] : bytesA)
      if (!bytesB.count(at))
        expected[at] = gcDifference::kOnlyA;
      else if (bytesB[at] != value)
        expected[at] = gcDifference::kValues;
    for (const auto& [at, value] : bytesB)
      if (!bytesA.count(at)) expected[at] = gcDifference::kOnlyB;
    std::map<std::uint64_t, int> found;
    const auto differences = compareImages(a.getVMM(), b.getVMM());
    for (std::size_t i = 0; i < differences.size(); ++i) {
      const gcDifference& d = differences[i];
      for (std::uint64_t k = 0; k < d.iLength; ++k)
        found[d.iFirst + k] = d.kind;
      if (i > 0) {  // maximal: no two neighbours of one kind touch
        const gcDifference& p = differences[i - 1];
        EXPECT_LT(p.iFirst + p.iLength, d.iFirst + (p.kind != d.kind));
      }
    }
    EXPECT_EQ(expected, found);
  }
}

}  // namespace
