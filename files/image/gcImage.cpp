#include "gcImage.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "gcCArrayFile.h"
#include "gcFormatTable.h"
#include "gcImageEdit.h"
#include "gcLayoutSvg.h"
#include "gcOutputFile.h"
#include "gcStandardStreams.h"
#include "tools/memory_map_file.h"

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

const char kArrayName[] = "image";  // a C array's without a file name

gcFileResult unknownFormat(const std::string& sName, const std::string& sType) {
  return gcFileResult::failure(sName, 0, "unknown format '" + sType + "'");
}

// A failure of an operation on the input's bytes (a move, a merge): it has
// no line, and the message names the input's file.
gcFileResult inputFailure(const std::string& sPath, const gcFileResult& r) {
  return gcFileResult::failure(sPath, 0, r.getReason());
}

// The format of bytes with no file name (a pipe, data in memory) into
// pInput->sType: only their content tells it, and only a load address makes
// bytes that no format claims binary. Else a failure naming sName, sWhy.
gcFileResult detectUnnamed(gcImageInput* pInput, const std::string& sName,
                           const char* pHead, u64 iSize, const char* pWhy) {
  if (!pInput->sType.empty()) return gcFileResult();
  const bool bTold =
      gcFileSupport::detectInput(sName, pHead,
                                 static_cast<std::size_t>(std::min<u64>(
                                     iSize, gcFileSupport::kDetectBytes)),
                                 &pInput->sType)
          .isOk();
  if ((!bTold || pInput->sType == kBinary) && !pInput->bPlaced)
    return gcFileResult::failure(sName, 0, pWhy);
  if (!bTold) pInput->sType = kBinary;
  return gcFileResult();
}

}  // namespace

std::string gcImageInput::getName() const {
  std::string name = sPath;
  if (bMoved)
    name += "@" + std::string(iDelta < 0 ? "-" : "+") +
            hex(iDelta < 0 ? 0 - static_cast<u64>(iDelta)
                           : static_cast<u64>(iDelta));
  else if (bPlaced)
    name += "@" + hex(iAddress);
  if (iUnit != 1) name += "@unit=" + std::to_string(iUnit);
  if (bUnsplit)
    name += "@unsplit=" + std::to_string(iUnsplitMultiple) + ":" +
            std::to_string(iUnsplitOffset) + ":" +
            std::to_string(iUnsplitWidth);
  return name;
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
    // Bytes in memory are gone after the load: nothing to load again.
    if (input.pData == nullptr) inputs.push_back(std::move(input));
  }
  return all;
}

gcFileResult gcImage::loadOne(gcImageInput* pInput,
                              const gcImageOptions& options) {
  if (pInput->pData != nullptr) {
    const gcFileResult told = detectUnnamed(
        pInput, pInput->sPath, pInput->pData, pInput->iSize,
        "cannot tell the format: name it, or give a binary a load address");
    if (!told.isOk()) return told;
    gcImageOptions mine = options;
    mine.setSource(pInput->pData, pInput->iSize);
    return loadFrom(pInput, pInput->sPath, mine);
  }
  if (pInput->sPath != kStandard)
    return loadFrom(pInput, pInput->sPath, options);
  std::string sCopy, sHead;
  const gcFileResult spooled =
      spoolStandardInput(options.getMaxMemory(), &sCopy, &sHead);
  if (!spooled.isOk()) return spooled;
  // A file's bytes may be anything; a pipe's must say what they are.
  const gcFileResult told =
      detectUnnamed(pInput, kStdinName, sHead.data(), sHead.size(),
                    "cannot tell the format: name it (-@FORMAT) or place a "
                    "binary (-@ADDRESS)");
  if (!told.isOk()) return told;
  return renameInResult(loadFrom(pInput, sCopy, options), sCopy, kStdinName);
}

gcFileResult gcImage::loadFrom(gcImageInput* pInput, const std::string& sFile,
                               const gcImageOptions& options) {
  if (pInput->sType.empty()) {
    const gcFileResult told =
        gcFileSupport::detectInputFile(sFile, &pInput->sType);
    // A load address asks for a binary file, text or not.
    if (!told.isOk() && !pInput->bPlaced) return told;
    if (!told.isOk()) pInput->sType = kBinary;
  }
  gcFileSupport formats;
  gcFileFormat* pFormat = formats.createFileSupport(pInput->sType);
  if (pFormat == nullptr) return unknownFormat(sFile, pInput->sType);
  if (pInput->bPlaced && !gcFileSupport::isAddressless(pInput->sType))
    return gcFileResult::failure(
        sFile, 0,
        "a load address places a binary file; this is " + pInput->sType);
  gcImageOptions mine = options;
  mine.setLoadAddress(pInput->bPlaced ? pInput->iAddress : 0);
  if (pInput->bUf2Family) mine.setUf2Family(pInput->iUf2Family);
  if (pInput->bDfuAlt) mine.setDfuAlt(pInput->iDfuAlt);
  mine.setAddressUnit(pInput->iUnit);
  gcImageInfo loaded;
  gcFileResult result;
  if (!pInput->bMoved && !pInput->bUnsplit) {
    result = pFormat->loadImage(sFile, vmm.get(), mine, &loaded);
  } else {
    // Loaded apart, spread, moved, then added.
    std::unique_ptr<gcVMM> pApart = newVMM();
    result = pFormat->loadImage(sFile, pApart.get(), mine, &loaded);
    if (!result.isOk()) return result;
    const auto step = [&](auto edit) {
      std::unique_ptr<gcVMM> pNew = newVMM();
      const gcFileResult r = edit(pApart.get(), pNew.get());
      for (const std::string& warning : r.getWarnings())
        result.addWarning(sFile, 0, warning);
      pApart = std::move(pNew);
      return r.isOk() ? r : inputFailure(sFile, r);
    };
    if (pInput->bUnsplit) {
      const gcFileResult r = step([&](gcVMMBase* pFrom, gcVMMBase* pTo) {
        return unsplitImage(pFrom, pInput->iUnsplitMultiple,
                            pInput->iUnsplitOffset, pInput->iUnsplitWidth, pTo,
                            &loaded);
      });
      if (!r.isOk()) return r;
    }
    if (pInput->bMoved) {
      const gcFileResult r = step([&](gcVMMBase* pFrom, gcVMMBase* pTo) {
        return moveImage(pFrom, pInput->iDelta, pTo, &loaded);
      });
      if (!r.isOk()) return r;
    }
    const gcFileResult merged =
        mergeImage(pApart.get(), vmm.get(),
                   options.getLaterWins() ? kOverlapReplace : kOverlapError);
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
  if (pFormat == nullptr) return unknownFormat(sPath, sType);
  gcImageOptions mine = options;
  // The file written first has another name: the array's comes from sPath.
  if (mine.getArrayName().empty())
    mine.setArrayName(sPath == kStandard ? kArrayName
                                         : gcCArrayFile::nameFor(sPath));
  const auto write = [&](const std::string& sFile) {
    return pFormat->saveImage(sFile, vmm.get(), mine, &info);
  };
  if (sPath != kStandard) return replaceFile(sPath, write);
  if (gcFileSupport::isBinary(sType) && isatty(STDOUT_FILENO))
    return gcFileResult::failure(kStdoutName, 0,
                                 "will not write a binary format to a "
                                 "terminal");
  return writeStandardOutput(write);
}

gcFileResult gcImage::saveToMemory(
    const std::string& sName, const std::string& sType,
    const gcImageOptions& options,
    const gcImageOptions::OutputSink& sink) const {
  gcFileSupport formats;
  gcFileFormat* pFormat = formats.createFileSupport(sType);
  if (pFormat == nullptr) return unknownFormat(sName, sType);
  gcImageOptions mine = options;
  mine.setOutput(sink);
  if (mine.getArrayName().empty()) mine.setArrayName(kArrayName);
  return pFormat->saveImage(sName, vmm.get(), mine, &info);
}

gcFileResult gcImage::saveToMemory(const std::string& sName,
                                   const std::string& sType,
                                   const gcImageOptions& options,
                                   std::string* pOut) const {
  pOut->clear();
  const gcFileResult result = saveToMemory(
      sName, sType, options,
      [pOut](const char* pData, std::size_t n) { pOut->append(pData, n); });
  if (!result.isOk()) pOut->clear();
  return result;
}

gcFileResult gcImage::merge(const gcImage& other, gcOverlap eOverlap) {
  if (&other == this) return gcFileResult();
  const gcFileResult result = mergeImage(other.vmm.get(), vmm.get(), eOverlap);
  if (!result.isOk()) return result;
  const gcImageInfo& theirs = other.info;
  if (!info.hasStartAddress() && theirs.hasStartAddress())
    info.setStartAddress(theirs.getStartAddress(), theirs.isSegmentedStart());
  if (info.getHeader().empty()) info.setHeader(theirs.getHeader());
  inputs.insert(inputs.end(), other.inputs.begin(), other.inputs.end());
  return result;
}

bool gcImage::equals(const gcImage& other) const {
  const gcImageInfo& theirs = other.info;
  if (info.hasStartAddress() != theirs.hasStartAddress() ||
      (info.hasStartAddress() &&
       (info.getStartAddress() != theirs.getStartAddress() ||
        info.isSegmentedStart() != theirs.isSegmentedStart())) ||
      info.getHeader() != theirs.getHeader())
    return false;
  const std::vector<gcRun> mine = getRuns(), others = other.getRuns();
  const auto sameRun = [](const gcRun& a, const gcRun& b) {
    return a.iFirst == b.iFirst && a.iLength == b.iLength;
  };
  if (!std::equal(mine.begin(), mine.end(), others.begin(), others.end(),
                  sameRun))
    return false;
  // Both hold the same addresses: their bytes a piece at a time.
  const u64 kPiece = 1 << 16;
  std::string a(kPiece, '\0'), b(kPiece, '\0');
  u64 iHole = 0;
  for (const gcRun& run : mine)
    for (u64 done = 0; done < run.iLength; done += kPiece) {
      const u64 n = std::min(kPiece, run.iLength - done);
      read(run.iFirst + done, n, &a[0], 0, &iHole);
      other.read(run.iFirst + done, n, &b[0], 0, &iHole);
      if (std::memcmp(a.data(), b.data(), n) != 0) return false;
    }
  return true;
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

// The report goes to a file of its own beside sPath, never through the
// working folder: that is the process's, shared by every thread.
gcFileResult gcImage::saveMemoryMap(const std::string& sPath) const {
  gcVMM* pVMM = vmm.get();
  const auto write = [pVMM](const std::string& sFile) {
    return dwxvmm_detail::writeMemoryMapFile(pVMM, sFile.c_str()) ==
                   dwxvmm_detail::MapFile::kWritten
               ? gcFileResult()
               : gcFileResult::failure(sFile, 0, "cannot write");
  };
  if (sPath == kStandard) {
    const gcFileResult result = writeStandardOutput(write);
    return result.isOk()
               ? result
               : gcFileResult::failure(kStdoutName, 0, "cannot write");
  }
  const gcFileResult result = replaceFile(sPath, write);
  return result.isOk()
             ? result
             : gcFileResult::failure(sPath, 0, "cannot write the report");
}
