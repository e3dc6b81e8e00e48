#include "gcImage.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gcFileSupport.h"
#include "gcImageEdit.h"
#include "gcLayoutSvg.h"
#include "gcOutputFile.h"
#include "gcStandardStreams.h"

namespace {

typedef std::uint64_t u64;

const char kBinary[] = "Binary file";
const char kStandard[] = "-";  // standard input or output

std::string hex(u64 iValue) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llx",
                static_cast<unsigned long long>(iValue));
  return text;
}

// A failure of an operation on the input's bytes (a move, a merge): it has
// no line, and the message names the input's file.
gcFileResult inputFailure(const std::string& sPath, const gcFileResult& r) {
  return gcFileResult::failure(sPath, 0, r.getReason());
}

}  // namespace

std::string gcImageInput::getName() const {
  if (bMoved)
    return sPath + "@" + (iDelta < 0 ? "-" : "+") +
           hex(iDelta < 0 ? 0 - static_cast<u64>(iDelta)
                          : static_cast<u64>(iDelta));
  return bPlaced ? sPath + "@" + hex(iAddress) : sPath;
}

// Images are dense runs or scattered records: the hashed model loads and
// saves the first as fast as the static tables and the second faster, in
// less memory, since it keeps no 32 KiB table per 16 MiB region
// (bench/README.md).
gcVMemoryModell* makeImageModel() { return new gcVMM32BitHashed; }

gcImage::gcImage(gcModelMaker maker)
    : makeModel(maker != nullptr ? maker : makeImageModel), vmm(newVMM()) {}

gcImage::~gcImage() = default;

std::unique_ptr<gcVMM> gcImage::newVMM() const {
  auto pVMM = std::make_unique<gcVMM>();
  pVMM->setMemoryModell(makeModel());
  return pVMM;
}

void gcImage::setVMM(std::unique_ptr<gcVMM> pVMM) { vmm = std::move(pVMM); }
gcVMM* gcImage::getVMM() const { return vmm.get(); }
gcImageInfo& gcImage::getInfo() { return info; }
const gcImageInfo& gcImage::getInfo() const { return info; }
const std::vector<gcImageInput>& gcImage::getInputs() const { return inputs; }

gcFileResult gcImage::load(const std::vector<gcImageInput>& list,
                           const gcImageOptions& options) {
  gcFileResult all;
  for (gcImageInput input : list) {
    gcFileResult one = loadOne(&input, options);
    if (!one.isOk()) {
      gcFileResult failed =
          gcFileResult::failure(one.getFile(), one.getLine(), one.getReason());
      for (const std::string& warning : all.getWarnings())
        failed.addWarning(std::string(), 0, warning);
      return failed;
    }
    for (const std::string& warning : one.getWarnings())
      all.addWarning(std::string(), 0, warning);
    all.setDataBytes(all.getDataBytes() + one.getDataBytes());
    inputs.push_back(std::move(input));
  }
  return all;
}

gcFileResult gcImage::loadOne(gcImageInput* pInput,
                              const gcImageOptions& options) {
  if (pInput->sPath != kStandard)
    return loadFrom(pInput, pInput->sPath, options);
  std::string sCopy, sHead;
  const gcFileResult spooled =
      spoolStandardInput(options.getMaxMemory(), &sCopy, &sHead);
  if (!spooled.isOk()) return spooled;
  if (pInput->sType.empty()) {
    pInput->sType = gcFileSupport::detectType(sHead.data(), sHead.size());
    // A file's bytes may be anything; a pipe's must say what they are.
    if (pInput->sType == kBinary)
      return gcFileResult::failure(kStdinName, 0,
                                   "cannot tell the format: name it "
                                   "(-@FORMAT) or place a binary (-@ADDRESS)");
  }
  return renameInResult(loadFrom(pInput, sCopy, options), sCopy, kStdinName);
}

gcFileResult gcImage::loadFrom(gcImageInput* pInput, const std::string& sFile,
                               const gcImageOptions& options) {
  if (pInput->sType.empty())
    pInput->sType = gcFileSupport::detectFileType(sFile);
  // A file that cannot be read: the binary reader says why.
  if (pInput->sType.empty()) pInput->sType = kBinary;
  gcFileSupport formats;
  gcFileFormat* pFormat = formats.createFileSupport(pInput->sType);
  if (pFormat == nullptr)
    return gcFileResult::failure(sFile, 0,
                                 "unknown format '" + pInput->sType + "'");
  if (pInput->bPlaced && !gcFileSupport::isAddressless(pInput->sType))
    return gcFileResult::failure(
        sFile, 0,
        "a load address places a binary file; this is " + pInput->sType);
  gcImageOptions mine = options;
  mine.setLoadAddress(pInput->bPlaced ? pInput->iAddress : 0);
  if (pInput->bUf2Family) mine.setUf2Family(pInput->iUf2Family);
  if (pInput->bDfuAlt) mine.setDfuAlt(pInput->iDfuAlt);
  gcImageInfo loaded;
  gcFileResult result;
  if (!pInput->bMoved) {
    result = pFormat->loadImage(sFile, vmm.get(), mine, &loaded);
  } else {
    std::unique_ptr<gcVMM> pApart = newVMM(), pMoved = newVMM();
    result = pFormat->loadImage(sFile, pApart.get(), mine, &loaded);
    if (!result.isOk()) return result;
    const gcFileResult moved =
        moveImage(pApart.get(), pInput->iDelta, pMoved.get(), &loaded);
    if (!moved.isOk()) return inputFailure(sFile, moved);
    pApart.reset();
    const gcFileResult merged =
        mergeImage(pMoved.get(), vmm.get(), options.getLaterWins());
    if (!merged.isOk()) return inputFailure(sFile, merged);
  }
  if (!result.isOk()) return result;
  if (loaded.hasStartAddress())
    info.setStartAddress(loaded.getStartAddress(), loaded.isSegmentedStart());
  if (!loaded.getHeader().empty()) info.setHeader(loaded.getHeader());
  pInput->sDetails = loaded.getDetails();
  pInput->warnings = result.getWarnings();
  pInput->iDataBytes = result.getDataBytes();
  return result;
}

gcFileResult gcImage::save(const std::string& sPath, const std::string& sType,
                           const gcImageOptions& options) const {
  gcFileSupport formats;
  gcFileFormat* pFormat = formats.createFileSupport(sType);
  if (pFormat == nullptr)
    return gcFileResult::failure(sPath, 0, "unknown format '" + sType + "'");
  gcImageOptions mine = options;
  // The file written first has another name: the array's comes from sPath.
  if (mine.getArrayName().empty())
    mine.setArrayName(sPath == kStandard ? "image"
                                         : gcCArrayFile::nameFor(sPath));
  const auto write = [&](const std::string& sFile) {
    return pFormat->saveImage(sFile, vmm.get(), mine, &info);
  };
  if (sPath != kStandard) return replaceFile(sPath, write);
  if (sType == kBinary && isatty(STDOUT_FILENO))
    return gcFileResult::failure(kStdoutName, 0,
                                 "will not write a binary format to a "
                                 "terminal");
  return writeStandardOutput(write);
}

std::vector<gcRun> gcImage::getRuns() const { return collectRuns(vmm.get()); }

std::uint64_t gcImage::countPages() const {
  struct Count : gcVMMPageHandler {
    u64 n = 0;
    bool handlePage(gcVMMPage*) override { return ++n > 0; }
  } count;
  vmm->forAllMappedPages(&count, false);
  return count.n;
}

bool gcImage::read(u64 iFirst, u64 n, char* pOut, int iFill, u64* pHole) const {
  // Copies each run where it belongs; the holes before it take the fill.
  struct Copy : gcSegmentHandler {
    char* pOut;
    u64 iFirst, iNext;
    int iFill;
    bool gap(u64 iStop) {
      if (iNext == iStop) return true;
      if (iFill < 0) return false;
      std::memset(pOut + (iNext - iFirst), iFill, iStop - iNext);
      return true;
    }
    bool handleSegment(vmm_int iAt, u64 iLength, const char* pData) override {
      if (!gap(iAt)) return false;
      std::memcpy(pOut + (iAt - iFirst), pData, iLength);
      iNext = iAt + iLength;
      return true;
    }
  } copy;
  copy.pOut = pOut, copy.iFirst = iFirst, copy.iNext = iFirst;
  copy.iFill = iFill;
  if (n == 0) return true;
  // Page-sized pieces come straight from the pages, uncopied.
  forAllSegments(vmm.get(), &copy, iFirst, iFirst + n - 1, vmm->getPageSize());
  if (copy.gap(iFirst + n)) return true;
  *pHole = copy.iNext;
  return false;
}

void gcImage::write(u64 iFirst, const char* pData, u64 n) {
  // A block's length is a vmm_int: 4 GiB goes in two.
  for (u64 done = 0, piece; done < n; done += piece) {
    piece = std::min<u64>(n - done, 0x80000000);
    vmm->setBlock(static_cast<vmm_int>(iFirst + done),
                  const_cast<char*>(pData + done), static_cast<vmm_int>(piece));
  }
}

gcFileResult gcImage::layoutSvg(const gcImageOptions& options,
                                std::string* pSvg) const {
  std::vector<gcLayoutInput> layout;
  for (const gcImageInput& input : inputs) {
    // Alone in an image of its own, an input tells which bytes it wrote.
    gcImage alone(makeModel);
    const gcFileResult result = alone.load({input}, options);
    if (!result.isOk()) return result;
    layout.push_back({input.getName(), input.sType, alone.getRuns()});
  }
  *pSvg = ::layoutSvg(layout, getRuns(), info);
  return gcFileResult();
}

gcFileResult gcImage::saveText(const std::string& sPath,
                               const std::string& sText) {
  if (sPath != kStandard) return replaceFileWithText(sPath, sText);
  return writeStandardOutput(
      [&](const std::string& sFile) { return writeTextFile(sFile, sText); });
}

// The report writer writes "vmm.mmap" into the working folder: it does so
// in a folder of its own beside sPath, whose file then takes sPath's name.
gcFileResult gcImage::saveMemoryMap(const std::string& sPath) const {
  if (sPath == kStandard) {
    // The report goes to a scratch file first, then on as text.
    const char* pTemp = std::getenv("TMPDIR");
    std::string sScratch =
        std::string(pTemp != nullptr ? pTemp : "/tmp") + "/dwxvmm-map-XXXXXX";
    const int fd = mkstemp(&sScratch[0]);
    if (fd < 0) return gcFileResult::failure(kStdoutName, 0, "cannot write");
    close(fd);
    gcFileResult result = saveMemoryMap(sScratch);
    std::string sText;
    if (result.isOk() && !readTextFile(sScratch, &sText))
      result = gcFileResult::failure(kStdoutName, 0, "cannot write");
    std::remove(sScratch.c_str());
    return result.isOk() ? saveText(kStandard, sText) : result;
  }
  const gcFileResult failed =
      gcFileResult::failure(sPath, 0, "cannot write the report");
  std::string sFolder;
  if (!makeFolderBeside(sPath, &sFolder)) return failed;
  const std::string sReport = sFolder + "/vmm.mmap";
  const int home = open(".", O_RDONLY | O_DIRECTORY);
  const bool bThere = home >= 0 && chdir(sFolder.c_str()) == 0;
  if (bThere) writeMemoryMap(vmm.get());
  const bool bBack = home >= 0 && fchdir(home) == 0;
  if (home >= 0) close(home);
  const bool bWritten = bThere && bBack && access(sReport.c_str(), F_OK) == 0;
  const bool bMoved =
      bWritten && std::rename(sReport.c_str(), sPath.c_str()) == 0;
  if (!bMoved) std::remove(sReport.c_str());
  rmdir(sFolder.c_str());
  return bMoved ? gcFileResult() : failed;
}
