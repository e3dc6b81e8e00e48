// Runs the fuzz target over every file named on the command line and every
// file in the folders named there, so that any compiler's test build
// replays the corpus and the findings kept in it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* pArgc, char*** pArgv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData,
                                      std::size_t iSize);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  LLVMFuzzerInitialize(&argc, &argv);
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i)
    if (fs::is_directory(argv[i]))
      for (const fs::directory_entry& e : fs::directory_iterator(argv[i]))
        inputs.push_back(e.path());
    else
      inputs.push_back(argv[i]);
  std::sort(inputs.begin(), inputs.end());
  for (const fs::path& p : inputs) {
    std::ifstream in(p, std::ios::binary);
    const std::vector<char> data{std::istreambuf_iterator<char>(in), {}};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(data.data()),
                           data.size());
  }
  std::printf("%zu inputs replayed\n", inputs.size());
  return inputs.empty() ? 1 : 0;
}
