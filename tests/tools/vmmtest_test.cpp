#include <sys/wait.h>

#include "../support/recording_vmm.h"
#include "../support/scratch_dir.h"

namespace {

// Runs the installed-style test program in the scratch folder; its VMM is
// deliberately never deleted, so leak detection is off for it alone.
class TestProgram : public ScratchDir {
 protected:
  int runProgram(const std::string& env = "") {
    const std::string command =
        env + " ASAN_OPTIONS=detect_leaks=0 '" VMMTEST_PATH "' 2>err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  static std::string usageLine(const char* pWhen, vmm_int iBytes) {
    return std::string("Memory usage ") + pWhen +
           " map big blocks: " + std::to_string(iBytes) + " bytes.\n";
  }
  const vmm_int iBefore = 256 * kEntry + 4096 * kEntry + 2 * kTable + kPage;
  const std::string kHead =
      "VMM test v0.8\nCreate space for 256 base Entrys...\nCreate space for "
      "4096 base Entrys...\n" +
      usageLine("before", iBefore) + "Starting timer...\n";
};

TEST_F(TestProgram, LinesAndStatuses) {
  EXPECT_EQ(77, runProgram());
  EXPECT_EQ(kHead + "Unable to open Source File!\n", slurp("err.txt"));
  spill("source.in", "");
  EXPECT_EQ(122, runProgram("LD_LIBRARY_PATH='" NO_FORMATS_DIR "'"));
  EXPECT_EQ(kHead + "unknown file support type!\n", slurp("err.txt"));
  EXPECT_EQ(0, runProgram());
  const std::string err = slurp("err.txt");
  ASSERT_EQ(kHead, err.substr(0, kHead.size()));
  EXPECT_EQ(kHead.size(), err.find("Time ellapsed: "));
  EXPECT_NE(std::string::npos,
            err.find("\n" + usageLine("after ", iBefore + 4 * (kPage + 4608))));
  EXPECT_EQ(7, std::count(err.begin(), err.end(), '\n'));
  // The file operation saved the bytes from 0x3230 to 0x4001.
  const std::string saved = slurp("test.bin");
  ASSERT_EQ(0x4001u - 0x3230 + 1, saved.size());
  EXPECT_EQ('A', saved.front());
  EXPECT_EQ('A', saved.back());
}

}  // namespace
