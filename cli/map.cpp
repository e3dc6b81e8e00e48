#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "cli.h"

namespace cli {

// The report writer writes "vmm.mmap" into the working folder: it does so
// in a folder of its own beside REPORT, whose file then takes REPORT's name.
int map(Args& args) {
  std::vector<Input> inputs;
  std::string sOutput;
  for (std::string name; !(name = args.next(&inputs)).empty();) {
    if (name != "-o" && name != "--output")
      throw UsageError("unknown option " + name);
    sOutput = args.value();
  }
  if (inputs.empty()) throw UsageError("no input");
  if (sOutput.empty()) throw UsageError("no output: give -o REPORT");
  Image image;
  load(&image, inputs, false);
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
