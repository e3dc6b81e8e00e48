#include <cstdio>

#include "cli.h"
#include "gcImageDump.h"

namespace cli {

int dump(Args& args) {
  std::vector<gcImageInput> inputs;
  std::uint64_t iFirst = 0, iLast = 0xFFFFFFFF;
  unsigned iWidth = 16;
  bool bLaterWins = false;
  for (std::string name; !(name = args.next(&inputs)).empty();) {
    if (name == "--range") {
      parseRange(args.value(), &iFirst, &iLast);
    } else if (name == "--width") {
      const std::string width = args.value();
      if (width != "16" && width != "32")
        throw UsageError("bad width '" + width + "' (16 or 32)");
      iWidth = width == "16" ? 16 : 32;
    } else if (name == "--overwrite") {
      bLaterWins = true;
    } else {
      throw UsageError("unknown option " + name);
    }
  }
  if (inputs.empty()) throw UsageError("no input");
  gcImageOptions options = args.loadOptions();
  options.setLaterWins(bLaterWins);
  gcImage image;
  load(&image, inputs, options);
  const bool bWritten = dumpImage(
      image.getVMM(), static_cast<vmm_int>(iFirst), static_cast<vmm_int>(iLast),
      iWidth, [](const std::string& text) {
        return std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
      });
  if (!bWritten || std::fflush(stdout) != 0)
    throw InputError("<stdout>: cannot write");
  return kOk;
}

}  // namespace cli
