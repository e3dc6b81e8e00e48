#include "../support/recording_vmm.h"
#include "../support/scratch_dir.h"

namespace {

// Records every setBlock call before doing it.
struct BlockLog : gcVMM {
  std::vector<std::pair<vmm_int, vmm_int>> calls;
  void setBlock(vmm_int a, void* p, vmm_int n) override {
    calls.push_back({a, n});
    gcVMM::setBlock(a, p, n);
  }
};

class Loader : public ScratchDir {
 protected:
  Loader() {
    stderrOf([&] { vmm.setMemoryModell(new gcVMM32BitFast); });
  }
  void load(const std::string& bytes, vmm_int start, vmm_int chunk) {
    spill("in.bin", bytes);
    char name[] = "in.bin";
    loadBinaryToVMM(&vmm, name, start, chunk);
  }
  BlockLog vmm;
};

TEST_F(Loader, ReadsInChunksThroughSetBlock) {
  std::string file(10000, '\0');
  for (std::size_t i = 0; i < file.size(); ++i) file[i] = char(i % 251);
  load(file, 0x20000, 4096);
  const std::vector<std::pair<vmm_int, vmm_int>> expected = {
      {0x20000, 4096}, {0x21000, 4096}, {0x22000, 1808}};
  EXPECT_EQ(expected, vmm.calls);
  std::string back(file.size(), 'u');
  vmm.getBlock(0x20000, back.data(), vmm_int(back.size()));
  EXPECT_TRUE(file == back);
}

TEST_F(Loader, EmptyFileAndChunkZeroLoadNothing) {
  load("", 0x1000, 4096);
  load("abc", 0x1000, 0);
  EXPECT_TRUE(vmm.calls.empty());
  char name[] = "in.bin";
  loadBinaryToVMM(nullptr, name, 0, 2);  // read, written nowhere
}

TEST_F(Loader, AddressesWrapBetweenChunks) {
  load(std::string(8192, 'w'), 0xFFFFF000, 4096);
  const std::vector<std::pair<vmm_int, vmm_int>> expected = {{0xFFFFF000, 4096},
                                                             {0, 4096}};
  EXPECT_EQ(expected, vmm.calls);
  EXPECT_EQ('w', vmm.getByte(0xFFFFFFFF));
  EXPECT_EQ('w', vmm.getByte(0));
}

TEST_F(Loader, MissingFileEndsTheProcessWith77) {
  char name[] = "no-such-file";
  EXPECT_EXIT(loadBinaryToVMM(&vmm, name, 0, 16), testing::ExitedWithCode(77),
              "Unable to open Source File!");
  EXPECT_EXIT(loadBinaryToVMM(&vmm, nullptr, 0, 16),
              testing::ExitedWithCode(77), "Unable to open Source File!");
}

TEST(PageCounter, CountsPagesAndTellsOnDestruction) {
  EXPECT_EQ("gcPageCountHandler:: 0 pages are mapped.\n", stderrOf([] {
              gcPageCountHandler counter;
              EXPECT_FALSE(counter.handlePage(nullptr));
            }));
  gcVMMPage page(nullptr, 0xFFF, 0);
  EXPECT_EQ("gcPageCountHandler:: 2 pages are mapped.\n", stderrOf([&] {
              gcPageCountHandler counter;
              EXPECT_TRUE(counter.handlePage(&page));
              EXPECT_TRUE(counter.handlePage(&page));
            }));
}

TEST(StopClock, MeasuresFromTheLastStart) {
  tStopClock clock;
  EXPECT_EQ(0u, clock.getDiffTime());
  const std::uint64_t iEpochMs = clock.End();  // no Start: since the epoch
  EXPECT_GT(iEpochMs, 1600000000000u);
  const std::uint64_t iStart = clock.Start();
  EXPECT_EQ(0u, clock.getDiffTime());
  EXPECT_GE(clock.getTimerTicks(), iStart);
  const std::uint64_t first = clock.End();
  usleep(3000);
  const std::uint64_t second = clock.End();
  EXPECT_LE(first, second);
  EXPECT_GE(second, 2u);
  EXPECT_GE(clock.getDiffTime(), 1000 * second);
}

}  // namespace
