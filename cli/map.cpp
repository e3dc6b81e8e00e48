#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <fstream>

#include "cli.h"

namespace cli {

namespace {

bool isSvg(const std::string& sPath) {
  if (sPath.size() < 4) return false;
  std::string ext = sPath.substr(sPath.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(c));
  return ext == ".svg";
}

// Each input alone in a VMM of its own tells which bytes it wrote.
void drawLayout(Image& image, bool bLaterWins,
                const gcImageOptions& loadOptions, const std::string& sOutput) {
  std::vector<LayoutInput> inputs;
  for (const Input& input : image.inputs) {
    Image alone;
    load(&alone, {input}, bLaterWins, loadOptions);
    inputs.push_back({inputName(input), input.type, runs(alone.vmm.get())});
  }
  const std::string svg = layoutSvg(inputs, runs(image.vmm.get()), image.info);
  writeBeside(sOutput, [&](const std::string& sTemp) {
    std::ofstream out(sTemp, std::ios::binary);
    out << svg;
    out.close();
    return out ? std::string() : sOutput + ": cannot write";
  });
}

}  // namespace

// The report writer writes "vmm.mmap" into the working folder: it does so
// in a folder of its own beside REPORT, whose file then takes REPORT's name.
int map(Args& args) {
  std::vector<Input> inputs;
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
  Image image;
  load(&image, inputs, bLaterWins, args.loadOptions());
  if (isSvg(sOutput)) {
    drawLayout(image, bLaterWins, args.loadOptions(), sOutput);
    return kOk;
  }
  const std::string sDir = makeTemp(sOutput, true);
  const std::string sReport = sDir + "/vmm.mmap";
  const int home = open(".", O_RDONLY | O_DIRECTORY);
  const bool bThere = home >= 0 && chdir(sDir.c_str()) == 0;
  if (bThere) writeMemoryMap(image.vmm.get());
  const bool bBack = home >= 0 && fchdir(home) == 0;
  if (home >= 0) close(home);
  if (!bThere || !bBack || access(sReport.c_str(), F_OK) != 0) {
    std::remove(sReport.c_str());
    rmdir(sDir.c_str());
    throw InputError(sOutput + ": cannot write the report");
  }
  try {
    renameInto(sReport, sOutput);
  } catch (...) {
    rmdir(sDir.c_str());
    throw;
  }
  rmdir(sDir.c_str());
  return kOk;
}

}  // namespace cli
