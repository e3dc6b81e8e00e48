// Separate images in separate threads share nothing: each thread loads,
// edits, saves and reports its own image, and every output is what the
// same steps make alone. Run under ThreadSanitizer by scripts/test.sh.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <random>
#include <thread>

#include "../../support/scratch_dir.h"
#include "gcImage.h"
#include "gcImageEdit.h"

namespace {

const int kThreads = 8;
const std::uint32_t kRun = 40000;  // three runs, a hole of kRun between each
const std::uint32_t kSpan = 5 * kRun;

std::uint32_t base(int i) { return 0x08000000 + i * 0x00100000 + i * 77; }

// The bytes thread i writes: three runs with holes between them.
std::vector<std::string> runs(int i) {
  std::mt19937 random(i);
  std::vector<std::string> out(3, std::string(kRun, '\0'));
  for (std::string& run : out)
    for (char& c : run) c = static_cast<char>(random());
  return out;
}

// What thread i's saved image must hold from base(i): its runs, the holes
// filled with i, then the CRC-32 of the span, little-endian.
std::string expected(int i) {
  const std::vector<std::string> r = runs(i);
  const std::string hole(kRun, static_cast<char>(i));
  std::string s = r[0] + hole + r[1] + hole + r[2];
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(s.data()),
                          static_cast<uInt>(s.size()));
  for (int k = 0; k < 4; ++k) s += static_cast<char>(crc >> (8 * k));
  return s;
}

// Every model in turn: those with tables write their notices meanwhile.
gcModelMaker model(int i) {
  static const gcModelMaker kModels[] = {
      makeImageModel, []() -> gcVMemoryModell* { return new gcVMM32BitFast(); },
      []() -> gcVMemoryModell* { return new gcVMM32BitCompact(); },
      []() -> gcVMemoryModell* { return new gcVMM32BitSmall(); }};
  return kModels[i % 4];
}

std::string name(const char* pStem, int i) { return pStem + std::to_string(i); }

// Each step's failure is kept to be reported by the main thread.
std::string work(int i) {
  gcImage source(model(i));
  const std::vector<std::string> r = runs(i);
  for (int k = 0; k < 3; ++k)
    source.write(base(i) + 2 * k * kRun, r[k].data(), kRun);
  gcFileResult result =
      source.save(name("in", i) + ".hex", "Intel HEX", gcImageOptions());
  gcImage image(model(i));
  gcImageInput input;
  input.sPath = name("in", i) + ".hex";
  if (result.isOk()) result = image.load({input}, gcImageOptions());
  if (result.isOk())
    result = fillImage(image.getVMM(), static_cast<std::uint8_t>(i), base(i),
                       base(i) + kSpan - 1);
  if (result.isOk())
    result = checksumImage(image.getVMM(), "crc32-le", base(i) + kSpan, base(i),
                           base(i) + kSpan - 1, false);
  if (result.isOk())
    result = image.save(name("out", i) + ".srec", "Motorola S-record",
                        gcImageOptions());
  if (result.isOk()) result = image.saveMemoryMap(name("map", i));
  return result.isOk() ? std::string() : result.getMessage();
}

using Threads = ScratchDir;

TEST_F(Threads, EightImagesLoadEditSaveAndReportAsAlone) {
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&failures, i] { failures[i] = work(i); });
  for (std::thread& t : threads) t.join();

  EXPECT_EQ(dir_, std::filesystem::current_path());
  EXPECT_FALSE(std::filesystem::exists("vmm.mmap"));
  for (int i = 0; i < kThreads; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ("", failures[i]);
    gcImage image(model(i));
    gcImageInput input;
    input.sPath = name("out", i) + ".srec";
    const gcFileResult result = image.load({input}, gcImageOptions());
    ASSERT_TRUE(result.isOk()) << result.getMessage();
    const auto written = image.getRuns();
    ASSERT_EQ(1u, written.size());
    EXPECT_EQ(base(i), written[0].iFirst);
    std::string bytes(kSpan + 4, '\0');
    std::uint64_t iHole = 0;
    ASSERT_TRUE(image.read(base(i), bytes.size(), &bytes[0], -1, &iHole));
    EXPECT_TRUE(bytes == expected(i));
    // The library's own report of the same image, into the working folder.
    writeMemoryMap(image.getVMM());
    EXPECT_TRUE(slurp("vmm.mmap") == slurp(name("map", i)));
  }
  EXPECT_EQ("none/map: cannot write the report",
            gcImage().saveMemoryMap("none/map").getMessage());
  EXPECT_EQ(kThreads * 3 + 1,
            std::distance(std::filesystem::directory_iterator(dir_), {}));
}

}  // namespace
