#include <chrono>

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

TEST_F(ScratchDir, LoaderReadsInChunksThroughSetBlock) {
  Transcript log;
  BlockLog vmm;
  vmm.setMemoryModell(new gcVMM32BitFast);
  char name[] = "in.bin";
  for (const char* pBytes : {"", "abc"}) {  // nothing to load, or chunk 0
    spill(name, pBytes);
    loadBinaryToVMM(&vmm, name, 0x1000, *pBytes == 0 ? 4096 : 0);
  }
  loadBinaryToVMM(nullptr, name, 0, 2);  // read, written nowhere
  EXPECT_TRUE(vmm.calls.empty());
  spill(name, std::string(4096, 'v') + std::string(4096, 'w') + "xyz");
  loadBinaryToVMM(&vmm, name, 0xFFFFF000, 4096);  // wraps between chunks
  const std::vector<std::pair<vmm_int, vmm_int>> expected = {
      {0xFFFFF000, 4096}, {0, 4096}, {0x1000, 3}};
  EXPECT_EQ(expected, vmm.calls);
  EXPECT_EQ('v', vmm.getByte(0xFFFFFFFF));
  EXPECT_EQ('w', vmm.getByte(0));
  EXPECT_EQ('z', vmm.getByte(0x1002));
}

TEST(Loader, MissingFileEndsTheProcessWith77) {
  gcVMM vmm;
  char name[] = "no-such-file";
  EXPECT_EXIT(loadBinaryToVMM(&vmm, name, 0, 16), testing::ExitedWithCode(77),
              "Unable to open Source File!");
  EXPECT_EXIT(loadBinaryToVMM(&vmm, nullptr, 0, 16),
              testing::ExitedWithCode(77), "Unable to open Source File!");
}

TEST(PageCounter, CountsPagesAndTellsOnDestruction) {
  Transcript log;
  gcVMMPage page(nullptr, 0xFFF, 0);
  {
    gcPageCountHandler none, two;
    EXPECT_FALSE(none.handlePage(nullptr));
    EXPECT_TRUE(two.handlePage(&page) && two.handlePage(&page));
  }
  EXPECT_EQ(
      "gcPageCountHandler:: 2 pages are mapped.\n"
      "gcPageCountHandler:: 0 pages are mapped.\n",
      log.take());
}

TEST(StopClock, MeasuresFromTheLastStart) {
  tStopClock clock;
  auto now = [] {  // the wall clock in microseconds, as a bracket
    return std::uint64_t(
        std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::system_clock::now().time_since_epoch())
            .count());
  };
  const std::uint64_t iBefore = now();
  const std::uint64_t iSinceEpoch = clock.End();  // no Start: since the epoch
  const std::uint64_t iAfter = now();
  EXPECT_TRUE(iBefore / 1000 <= iSinceEpoch && iSinceEpoch <= iAfter / 1000);
  EXPECT_TRUE(iBefore <= clock.getDiffTime() && clock.getDiffTime() <= iAfter);
  const std::uint64_t iStart = clock.Start();
  EXPECT_EQ(0u, clock.getDiffTime());
  EXPECT_GE(clock.getTimerTicks(), iStart);
  usleep(3000);
  const std::uint64_t iEnd = clock.End();
  EXPECT_GE(iEnd, 2u);
  EXPECT_GE(clock.getDiffTime(), 1000 * iEnd);
}

}  // namespace
