#include "gcImageSave.h"

#include <cerrno>
#include <cstring>

#include "core/gcVMMBase.h"
#include "tools/segments.h"

gcImageSave::gcImageSave(const std::string& sName, gcVMMBase* pVMM,
                         const gcImageOptions& options)
    : sFileName(sName),
      iFirst(1),
      iLast(0),
      iHighest(0),
      bCrlf(options.getCrlf()),
      pFile(nullptr),
      output(options.getOutput()),
      iUsed(0) {
  if (pVMM == nullptr) {
    fail("no VMM to save");
    return;
  }
  vmm_int iLow = 0, iHigh = 0;
  const bool bData = findWrittenBounds(pVMM, options.getFirst(),
                                       options.getLast(), &iLow, &iHigh);
  if (bData) iHighest = iHigh;
  if (!options.hasRange()) {
    if (bData) iFirst = iLow, iLast = iHigh;
  } else if (options.getFirst() > options.getLast()) {
    fail("empty range");
  } else if (options.getLast() > 0xFFFFFFFF) {
    fail("range beyond address 0xFFFFFFFF");
  } else {
    iFirst = options.getFirst();
    iLast = options.getLast();
  }
}

gcImageSave::~gcImageSave() {
  if (pFile == nullptr) return;
  std::fclose(pFile);
  std::remove(sFileName.c_str());  // only an unfinished save gets here
}

bool gcImageSave::isOk() const { return result.isOk(); }
std::uint64_t gcImageSave::getFirst() const { return iFirst; }
std::uint64_t gcImageSave::getLast() const { return iLast; }
std::uint64_t gcImageSave::getHighest() const { return iHighest; }

bool gcImageSave::fail(const std::string& sReason) {
  if (result.isOk()) result = gcFileResult::failure(sFileName, 0, sReason);
  return false;
}

bool gcImageSave::open() {
  if (!isOk()) return false;
  buffer.reset(new char[kBuffer]);
  if (output) return true;
  pFile = std::fopen(sFileName.c_str(), "wb");
  if (pFile == nullptr)
    return fail(std::string("cannot write: ") + std::strerror(errno));
  return true;
}

void gcImageSave::flush() {
  if (output && iUsed != 0)
    output(buffer.get(), iUsed);
  else if (iUsed != 0 && std::fwrite(buffer.get(), 1, iUsed, pFile) != iUsed)
    fail(std::string("cannot write: ") + std::strerror(errno));
  iUsed = 0;
}

gcFileResult gcImageSave::finish(std::uint64_t iDataBytes,
                                 std::uint64_t iFilledBytes) {
  if (output && buffer && isOk()) flush();
  if (pFile != nullptr) {
    flush();
    if (std::fclose(pFile) != 0)
      fail(std::string("cannot write: ") + std::strerror(errno));
    pFile = nullptr;
    if (!isOk()) std::remove(sFileName.c_str());
  }
  result.setDataBytes(iDataBytes);
  result.setFilledBytes(iFilledBytes);
  return result;
}
