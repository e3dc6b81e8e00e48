// Runs a test inside a fresh temporary folder, removed afterwards.
#ifndef DWXVMM_TESTS_SUPPORT_SCRATCH_DIR_H_
#define DWXVMM_TESTS_SUPPORT_SCRATCH_DIR_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class ScratchDir : public testing::Test {
 protected:
  ScratchDir() : old_(std::filesystem::current_path()) {
    char name[] = "/tmp/dwxvmm_test_XXXXXX";
    std::filesystem::current_path(dir_ = mkdtemp(name));
  }
  ~ScratchDir() override {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  static std::string slurp(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void spill(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
  }
  std::filesystem::path dir_, old_;
};

#endif  // DWXVMM_TESTS_SUPPORT_SCRATCH_DIR_H_
