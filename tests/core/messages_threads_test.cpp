// The library's lines from eight threads at once: each line whole, and a
// stream whose base no host changed is never written by the library (run
// under ThreadSanitizer by scripts/test.sh, which sees such a write).
#include <dwxvmm/dwxvmm.h>
#include <fcntl.h>
#include <unistd.h>

#include <iostream>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "../support/scratch_dir.h"

namespace {

const int kThreads = 8;
const int kRounds = 100;

// A table's line, then an address that its chain cannot map.
void speak(int i) {
  for (int k = 0; k < kRounds; ++k) {
    gcVMMBase vmm;
    vmm.addAddressTranslator(new gcVMMPageTable(&vmm, 0xFF000000, 0));
    vmm.addAddressTranslator(new gcVMMPageBase(&vmm, 0xFFF, 0));
    vmm.mapPage(0xA0000000u + i);
  }
}

using Threads = ScratchDir;

TEST_F(Threads, EightSpeakWholeLinesAndLeaveTheBaseAlone) {
  // The file descriptor, not the stream's buffer: a string buffer would be
  // raced on by the writers themselves.
  const int saved = dup(2);
  const int file = open("lines", O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_LE(0, saved);
  ASSERT_LE(0, file);
  dup2(file, 2);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) threads.emplace_back(speak, i);
  for (std::thread& t : threads) t.join();
  dup2(saved, 2);
  close(file);
  close(saved);

  std::map<std::string, int> seen;
  std::istringstream lines(slurp("lines"));
  for (std::string line; std::getline(lines, line);) ++seen[line];
  std::map<std::string, int> expected{
      {"Create space for 256 base Entrys...", kThreads * kRounds}};
  for (int i = 0; i < kThreads; ++i)
    expected
        ["gcVMMBase::translateVirtualAddress(vmm_int iAddr): UNABLE TO "
         "MAP PAGE AT ADDRESS a000000" +
         std::to_string(i)] = kRounds;
  EXPECT_EQ(expected, seen);
  EXPECT_EQ(std::ios_base::dec, std::cerr.flags() & std::ios_base::basefield);
}

}  // namespace
