#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli.h"

namespace cli {

Image::Image() : vmm(newVMM()) {}

std::unique_ptr<gcVMM> Image::newVMM() {
  auto pVMM = std::make_unique<gcVMM>();
  pVMM->setMemoryModell(new gcVMM32BitFast);
  return pVMM;
}

void load(Image* pImage, std::vector<Input> inputs, bool bLaterWins,
          unsigned int iWordBits) {
  for (Input& input : inputs) {
    input.type = !input.forced.empty() ? input.forced
                 : input.placed        ? "Binary file"
                                : gcFileSupport::detectFileType(input.path);
    // A file that cannot be read: the binary reader says why.
    if (input.type.empty()) input.type = "Binary file";
    gcImageOptions options = input.select;
    options.setLoadAddress(input.address).setLaterWins(bLaterWins);
    options.setWordBits(iWordBits);
    gcImageInfo info;
    // A moved input is loaded apart, moved, then added.
    std::unique_ptr<gcVMM> pLoaded = input.moved ? Image::newVMM() : nullptr;
    const gcFileResult result =
        pImage->formats.createFileSupport(input.type)
            ->loadImage(input.path,
                        input.moved ? pLoaded.get() : pImage->vmm.get(),
                        options, &info);
    if (!result.isOk()) throw InputError(result.getMessage());
    if (input.moved) {
      std::unique_ptr<gcVMM> pMoved = Image::newVMM();
      const gcFileResult moved =
          moveImage(pLoaded.get(), input.delta, pMoved.get(), &info);
      if (!moved.isOk())
        throw InputError(input.path + ": " + moved.getReason());
      pLoaded.reset();
      const gcFileResult merged =
          mergeImage(pMoved.get(), pImage->vmm.get(), bLaterWins);
      if (!merged.isOk())
        throw InputError(input.path + ": " + merged.getReason());
    }
    for (const std::string& warning : result.getWarnings())
      std::fprintf(stderr, "dwxvmm: warning: %s\n", warning.c_str());
    if (info.hasStartAddress())
      pImage->info.setStartAddress(info.getStartAddress(),
                                   info.isSegmentedStart());
    if (!info.getHeader().empty()) pImage->info.setHeader(info.getHeader());
    input.details = info.getDetails();
    pImage->inputs.push_back(input);
  }
}

std::string makeTemp(const std::string& sPath, bool bDirectory) {
  std::string name = sPath + ".dwxvmm-XXXXXX";
  bool bMade = false;
  if (bDirectory) {
    bMade = mkdtemp(&name[0]) != nullptr;
  } else {
    const int fd = mkstemp(&name[0]);
    if (fd >= 0) {
      // mkstemp's 0600 would become the output's mode: use the usual one.
      const mode_t mask = umask(0);
      umask(mask);
      bMade = fchmod(fd, 0666 & ~mask) == 0;
      close(fd);
      if (!bMade) std::remove(name.c_str());
    }
  }
  if (!bMade)
    throw InputError(sPath + ": cannot write: " + std::strerror(errno));
  return name;
}

void renameInto(const std::string& sTemp, const std::string& sPath) {
  if (std::rename(sTemp.c_str(), sPath.c_str()) != 0) {
    const std::string sWhy = std::strerror(errno);
    std::remove(sTemp.c_str());
    throw InputError(sPath + ": cannot write: " + sWhy);
  }
}

std::string inputName(const Input& input) {
  if (input.moved)
    return input.path + "@" + (input.delta < 0 ? "-" : "+") +
           hex(static_cast<std::uint64_t>(std::abs(input.delta)));
  return input.placed ? input.path + "@" + hex(input.address) : input.path;
}

Runs runs(gcVMMBase* pVMM) {
  struct Collect : gcSegmentHandler {
    std::vector<std::pair<std::uint32_t, std::uint64_t>> runs;
    bool handleSegment(vmm_int iFirst, std::uint64_t iLength,
                       const char*) override {
      // Pieces cut at 64 KiB boundaries join up again.
      if (!runs.empty() && runs.back().first + runs.back().second == iFirst)
        runs.back().second += iLength;
      else
        runs.emplace_back(iFirst, iLength);
      return true;
    }
  } collect;
  forAllSegments(pVMM, &collect, 0, 0xFFFFFFFF, 0x10000);
  return collect.runs;
}

}  // namespace cli
