#include <cctype>

#include "cli.h"

namespace cli {

namespace {

bool isSvg(const std::string& sPath) {
  if (sPath.size() < 4) return false;
  std::string ext = sPath.substr(sPath.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(c));
  return ext == ".svg";
}

}  // namespace

int map(Args& args) {
  std::vector<gcImageInput> inputs;
  std::string sOutput;
  bool bLaterWins = false;
  for (std::string name; !(name = args.next(&inputs)).empty();) {
    if (name == "--overwrite") {
      bLaterWins = true;
    } else if (name == "-o" || name == "--output") {
      sOutput = args.value();
    } else {
      throw UsageError("unknown option " + name);
    }
  }
  if (inputs.empty()) throw UsageError("no input");
  if (sOutput.empty()) throw UsageError("no output: give -o REPORT");
  gcImageOptions options = args.loadOptions();
  options.setLaterWins(bLaterWins);
  gcImage image;
  load(&image, inputs, options);
  if (!isSvg(sOutput)) {
    check(image.saveMemoryMap(sOutput));
    return kOk;
  }
  std::string svg;
  check(image.layoutSvg(options, &svg));
  check(gcImage::saveText(sOutput, svg));
  return kOk;
}

}  // namespace cli
