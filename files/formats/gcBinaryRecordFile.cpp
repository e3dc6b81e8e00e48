#include "gcBinaryRecordFile.h"

#include <algorithm>
#include <cstdio>

#include "gcBinaryRecordFormats.h"

namespace {

const gcBinaryRecordFile::Description* const kDescriptions[] = {
    &kAomf,  &kMsBin, &kFormattedBinary, &kDecBinary, &kPpb,
    &kTrs80, &kIdt,   &kStewie,          &kWilson};

}  // namespace

gcBinaryRecordFile::gcBinaryRecordFile(const Description& description)
    : description_(description) {}

gcFileFormat* gcBinaryRecordFile::create(const std::string& sTypeName) {
  for (const Description* d : kDescriptions)
    if (sTypeName == d->pTypeName) return new gcBinaryRecordFile(*d);
  return nullptr;
}

const char* gcBinaryRecordFile::getTypeName() { return description_.pTypeName; }

gcFileResult gcBinaryRecordFile::loadImage(const std::string& sFileName,
                                           gcVMMBase* pVMM,
                                           const gcImageOptions& options,
                                           gcImageInfo* pInfo) {
  gcImageLoad load(sFileName, pVMM, options);
  gcImageInfo info;
  if (load.isOpen()) {
    gcRecordReader reader(load, description_.iAddressBits != 0);
    description_.read(reader, options, &info);
  }
  return load.finish(info, pInfo);
}

gcFileResult gcBinaryRecordFile::saveImage(const std::string& sFileName,
                                           gcVMMBase* pVMM,
                                           const gcImageOptions& options,
                                           const gcImageInfo* pInfo) {
  gcImageSave save(sFileName, pVMM, options);
  const Description& d = description_;
  gcRecordFrame frame{!options.getDataOnly(), false, false, 0,
                      pInfo ? pInfo->getHeader() : ""};
  if (options.hasHeader())
    frame.header = options.getWriteHeader() ? options.getHeader() : "";
  frame.bStart = d.iStartBits != 0 && options.getWriteStart();
  frame.bHasStart = pInfo != nullptr && pInfo->hasStartAddress();
  // The fields count units of the save: their limits are in units too.
  const unsigned int iUnit = d.iAddressBits != 0 ? save.addressUnit() : 1;
  const std::uint32_t iStart =
      frame.bStart && frame.bHasStart ? pInfo->getLinearStartAddress() : 0;
  if (frame.bStart && frame.bHasStart)
    frame.iStart = static_cast<std::uint32_t>(
        frame.bFrame ? save.fileStart(iStart) : iStart / iUnit);
  char reason[120];
  const std::uint64_t iLimit = std::min<std::uint64_t>(
      (std::uint64_t{iUnit} << d.iAddressBits) - 1, 0xFFFFFFFF);
  vmm_int iLow = 0, iHigh = 0;
  if (save.isOk() && d.iAddressBits != 0 && save.getLast() > iLimit &&
      save.getFirst() <= save.getLast() &&
      findWrittenBounds(pVMM, std::max(save.getFirst(), iLimit + 1),
                        save.getLast(), &iLow, &iHigh)) {
    std::snprintf(reason, sizeof reason,
                  "address 0x%08X is past the address field (below 0x%08llX)",
                  iLow, static_cast<unsigned long long>(iLimit + 1));
    save.fail(reason);
  }
  if (frame.bStart && d.iStartBits < 32 && frame.iStart >> d.iStartBits != 0) {
    std::snprintf(reason, sizeof reason,
                  "start address 0x%08X does not fit the start field", iStart);
    save.fail(reason);
  }
  if (!save.open()) return save.finish(0, 0);
  std::uint64_t iFilled = 0;
  const std::uint64_t iBytes = d.write(save, pVMM, options, frame, &iFilled);
  return save.finish(iBytes, iFilled);
}
