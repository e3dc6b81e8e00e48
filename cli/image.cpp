#include <cstdio>

#include "cli.h"

namespace cli {

void check(const gcFileResult& result) {
  if (!result.isOk()) throw InputError(result.getMessage());
  for (const std::string& warning : result.getWarnings())
    std::fprintf(stderr, "dwxvmm: warning: %s\n", warning.c_str());
}

void load(gcImage* pImage, const std::vector<gcImageInput>& inputs,
          const gcImageOptions& options) {
  const gcFileResult result = pImage->load(inputs, options);
  if (!result.isOk())
    for (const std::string& warning : result.getWarnings())
      std::fprintf(stderr, "dwxvmm: warning: %s\n", warning.c_str());
  check(result);
}

}  // namespace cli
