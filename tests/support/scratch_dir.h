// Runs a test inside a fresh temporary folder, removed afterwards.
#ifndef DWXVMM_TESTS_SUPPORT_SCRATCH_DIR_H_
#define DWXVMM_TESTS_SUPPORT_SCRATCH_DIR_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

class ScratchDir : public testing::Test {
 protected:
  ScratchDir() {
    char name[] = "/tmp/dwxvmm_test_XXXXXX";
    dir_ = mkdtemp(name);
    old_ = getcwd(nullptr, 0);
    EXPECT_EQ(0, chdir(dir_.c_str()));
  }
  ~ScratchDir() override {
    EXPECT_EQ(0, chdir(old_));
    std::free(old_);
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }
  static std::string slurp(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void spill(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
  }
  std::string dir_;

 private:
  char* old_;
};

#endif  // DWXVMM_TESTS_SUPPORT_SCRATCH_DIR_H_
