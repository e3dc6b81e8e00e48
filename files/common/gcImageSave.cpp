#include "gcImageSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/gcVMMBase.h"
#include "gcFileWriter.h"
#include "tools/segments.h"

gcImageSave::gcImageSave(const std::string& sName, gcVMMBase* pVMM,
                         const gcImageOptions& options)
    : sFileName(sName),
      pVMM(pVMM),
      iUnit(options.getAddressUnit()),
      bUnitAsked(iUnit == 1),
      iFirst(1),
      iLast(0),
      iHighest(0),
      bCrlf(options.getCrlf()),
      pFile(nullptr),
      output(options.getOutput()),
      iUsed(0) {
  if (iUnit != 1 && iUnit != 2 && iUnit != 4) {
    fail("address unit " + std::to_string(iUnit) + " (1, 2 or 4)");
    return;
  }
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
  writer.reset();
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

unsigned int gcImageSave::addressUnit() {
  // The runs are checked at the first ask; a writer may ask again.
  if (bUnitAsked) return iUnit;
  bUnitAsked = true;
  if (!isOk() || iFirst > iLast) return iUnit;
  for (const gcRun& run : collectRuns(pVMM, iFirst, iLast)) {
    if (run.iFirst % iUnit == 0 && (run.iFirst + run.iLength) % iUnit == 0)
      continue;
    char reason[112];
    std::snprintf(reason, sizeof reason,
                  "address unit %u: the run at 0x%08llX does not begin and "
                  "end on a unit",
                  iUnit, static_cast<unsigned long long>(run.iFirst));
    fail(reason);
    break;
  }
  return iUnit;
}

std::uint64_t gcImageSave::fileStart(std::uint64_t iStart) {
  if (iStart % iUnit != 0) {
    char reason[96];
    std::snprintf(reason, sizeof reason,
                  "address unit %u: the start address 0x%08llX is not a "
                  "multiple of it",
                  iUnit, static_cast<unsigned long long>(iStart));
    fail(reason);
  }
  return iStart / iUnit;
}

bool gcImageSave::open() {
  if (isOk() && !bUnitAsked)
    fail("address unit " + std::to_string(iUnit) + ": this format takes none");
  if (!isOk()) return false;
  buffer.reset(new char[kBuffer]);
  if (output) return true;
  // Truncating, even an empty file such as the new one beside an output,
  // has ext4 write the file out at its close: only a file with bytes is cut.
  const int fd =
      ::open(sFileName.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0 ||
      (S_ISREG(st.st_mode) && st.st_size != 0 && ftruncate(fd, 0) != 0) ||
      (pFile = fdopen(fd, "wb")) == nullptr) {
    const int iError = errno;
    if (fd >= 0) ::close(fd);
    return fail(std::string("cannot write: ") + std::strerror(iError));
  }
  // The buffer above gathers the writes: a second one would split them.
  std::setvbuf(pFile, nullptr, _IONBF, 0);
  if (S_ISREG(st.st_mode)) writer.reset(new gcFileWriter(fd, kBuffer));
  return true;
}

void gcImageSave::flush() {
  if (output && iUsed != 0)
    output(buffer.get(), iUsed);
  else if (iUsed != 0 && writer) {
    // The save fails as soon as a write is known to have failed.
    if (const int iError = writer->write(&buffer, iUsed))
      fail(std::string("cannot write: ") + std::strerror(iError));
  } else if (iUsed != 0 && std::fwrite(buffer.get(), 1, iUsed, pFile) != iUsed)
    fail(std::string("cannot write: ") + std::strerror(errno));
  iUsed = 0;
}

gcFileResult gcImageSave::finish(std::uint64_t iDataBytes,
                                 std::uint64_t iFilledBytes) {
  if (output && buffer && isOk()) flush();
  if (pFile != nullptr) {
    flush();
    if (writer) {
      if (const int iError = writer->finish())
        fail(std::string("cannot write: ") + std::strerror(iError));
      writer.reset();
    }
    if (std::fclose(pFile) != 0)
      fail(std::string("cannot write: ") + std::strerror(errno));
    pFile = nullptr;
    if (!isOk()) std::remove(sFileName.c_str());
  }
  result.setDataBytes(iDataBytes);
  result.setFilledBytes(iFilledBytes);
  return result;
}
