#include "gcImageLoad.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/gcVMMBase.h"

namespace {
constexpr std::uint64_t kShownChecksums = 10;
}  // namespace

std::string sizeText(std::uint64_t iBytes) {
  for (const char* pUnit : {"GiB", "MiB", "KiB"}) {
    const int iShift = pUnit[0] == 'G' ? 30 : pUnit[0] == 'M' ? 20 : 10;
    if (iBytes >> iShift != 0 && iBytes % (std::uint64_t{1} << iShift) == 0)
      return std::to_string(iBytes >> iShift) + " " + pUnit;
  }
  return std::to_string(iBytes) + " bytes";
}

gcImageLoad::gcImageLoad(const std::string& sName, gcVMMBase* pTarget,
                         const gcImageOptions& options)
    : sFileName(sName),
      pVMM(pTarget),
      pFile(nullptr),
      pSource(options.getSourceData()),
      iSourceSize(options.getSourceSize()),
      iSourcePos(0),
      bSourceHead(options.getSourceHead()),
      iPos(0),
      iEnd(0),
      bEof(false),
      iLine(0),
      bStrict(options.getStrict()),
      iMaxMemory(options.getMaxMemory()),
      bIgnoreChecksums(options.getIgnoreChecksums()),
      iBadChecksums(0),
      iUnit(options.getAddressUnit()),
      bUnitAsked(iUnit == 1) {
  if (iUnit != 1 && iUnit != 2 && iUnit != 4) {
    fail("address unit " + std::to_string(iUnit) + " (1, 2 or 4)", false);
    return;
  }
  if (pVMM == nullptr || pVMM->getPageSize() == 0) {
    fail("no VMM with a memory model to load into", false);
    return;
  }
  if (pSource == nullptr) pFile = std::fopen(sFileName.c_str(), "rb");
  if (pSource == nullptr && pFile == nullptr) {
    fail(std::string("cannot open: ") + std::strerror(errno), false);
    return;
  }
  buffer.reset(new char[kBuffer]);
  stage.reset(
      new gcImageStage(pVMM, options.getLaterWins(), options.getMaxMemory()));
}

gcImageLoad::~gcImageLoad() {
  if (pFile != nullptr) std::fclose(pFile);
}

bool gcImageLoad::isOpen() const {
  return (pFile != nullptr || pSource != nullptr) && result.isOk();
}

std::size_t gcImageLoad::readSome(char* pOut, std::size_t n) {
  if (pFile != nullptr) return std::fread(pOut, 1, n, pFile);
  n = static_cast<std::size_t>(
      std::min<std::uint64_t>(n, iSourceSize - iSourcePos));
  if (n != 0) std::memcpy(pOut, pSource + iSourcePos, n);
  iSourcePos += n;
  return n;
}

bool gcImageLoad::error() const {
  return pFile != nullptr && std::ferror(pFile) != 0;
}

bool gcImageLoad::nextLine(const char** ppLine, std::size_t* pLength) {
  if (pSource != nullptr) return nextSourceLine(ppLine, pLength);
  for (;;) {
    char* pStart = buffer.get() + iPos;
    auto* pEnd = static_cast<char*>(std::memchr(pStart, '\n', iEnd - iPos));
    const bool bNewline = pEnd != nullptr;
    if (!bNewline && bEof && iPos < iEnd) pEnd = buffer.get() + iEnd;
    if (pEnd != nullptr) {
      iPos = pEnd - buffer.get() + bNewline;
      *ppLine = pStart;
      *pLength = pEnd - pStart - (pEnd > pStart && pEnd[-1] == '\r');
      ++iLine;
      return true;
    }
    if (bEof || !result.isOk()) return false;
    if (iPos == 0 && iEnd == kBuffer) {
      ++iLine;
      return fail("line too long");
    }
    std::memmove(buffer.get(), pStart, iEnd - iPos);
    iEnd -= iPos;
    iPos = 0;
    const std::size_t n = readSome(buffer.get() + iEnd, kBuffer - iEnd);
    if (n == 0 && error()) return fail("read error", false);
    bEof = n == 0;
    iEnd += n;
  }
}

// Lines of bytes in memory are read where they lie, held to the read
// buffer's length as a file's are.
bool gcImageLoad::nextSourceLine(const char** ppLine, std::size_t* pLength) {
  if (iSourcePos >= iSourceSize) return false;
  const char* pStart = pSource + iSourcePos;
  const std::size_t iLeft = static_cast<std::size_t>(
      std::min<std::uint64_t>(iSourceSize - iSourcePos, kBuffer));
  const auto* pEnd = static_cast<const char*>(std::memchr(pStart, '\n', iLeft));
  ++iLine;
  if (pEnd == nullptr && iSourceSize - iSourcePos >= kBuffer)
    return fail("line too long");
  if (pEnd == nullptr) pEnd = pSource + iSourceSize;
  iSourcePos = std::min<std::uint64_t>(pEnd - pSource + 1, iSourceSize);
  *ppLine = pStart;
  *pLength = pEnd - pStart - (pEnd > pStart && pEnd[-1] == '\r');
  return true;
}

std::size_t gcImageLoad::nextBlock(const char** ppData) {
  const std::size_t n = readSome(buffer.get(), kBuffer);
  if (n == 0 && error()) fail("read error", false);
  *ppData = buffer.get();
  return n;
}

std::size_t gcImageLoad::readAt(std::uint64_t iOffset, std::size_t n,
                                const char** ppData) {
  *ppData = buffer.get();
  n = std::min(n, kBuffer);
  if (pFile == nullptr) {
    iSourcePos = std::min(iOffset, iSourceSize);
  } else if (fseeko(pFile, static_cast<off_t>(iOffset), SEEK_SET) != 0) {
    fail(std::string("read error: ") + std::strerror(errno), false);
    return 0;
  }
  const std::size_t iRead = readSome(buffer.get(), n);
  if (iRead == 0 && error()) fail("read error", false);
  return iRead;
}

int gcImageLoad::getDescriptor() const {
  return pFile != nullptr ? fileno(pFile) : -1;
}

const char* gcImageLoad::getSource() const { return pSource; }

bool gcImageLoad::getSize(std::uint64_t* pSize) {
  struct stat st;
  if (pFile == nullptr)
    *pSize = iSourceSize;
  else if (fstat(fileno(pFile), &st) == 0)
    *pSize = static_cast<std::uint64_t>(st.st_size);
  else
    return fail("read error", false);
  return true;
}

void gcImageLoad::setContext(const std::string& sText) { sContext = sText; }

std::uint64_t gcImageLoad::getLine() const { return iLine; }
void gcImageLoad::setLine(std::uint64_t iAtLine) { iLine = iAtLine; }

unsigned int gcImageLoad::addressUnit() {
  bUnitAsked = true;
  return iUnit;
}

bool gcImageLoad::imageAddress(std::uint64_t iFileAddr, std::uint64_t n,
                               std::uint64_t* pImageAddr) {
  *pImageAddr = iFileAddr * iUnit;
  return *pImageAddr + n <= std::uint64_t{1} << 32 ||
         fail("data beyond address 0xFFFFFFFF");
}

bool gcImageLoad::unitUnasked() {
  return !bUnitAsked && !fail("address unit " + std::to_string(iUnit) +
                                  ": this format takes none",
                              false);
}

bool gcImageLoad::put(std::uint64_t iAddr, const unsigned char* pData,
                      std::uint64_t n) {
  if (!bUnitAsked && unitUnasked()) return false;
  std::uint32_t iConflict = 0;
  if (stage->put(iAddr, pData, n, &iConflict)) return true;
  if (stage->isOverLimit())
    return fail(
        "the load would pass the memory limit of " + sizeText(iMaxMemory),
        iLine != 0);
  char reason[80];
  std::snprintf(reason, sizeof reason,
                "address 0x%08X already holds another value", iConflict);
  return fail(reason, iLine != 0);
}

bool gcImageLoad::fail(const std::string& sReason, bool bAtLine) {
  return failAt(bAtLine ? iLine : 0, sReason);
}

bool gcImageLoad::failAt(std::uint64_t iAtLine, const std::string& sReason) {
  if (result.isOk())
    result = gcFileResult::failure(sFileName, iAtLine, sContext + sReason);
  return false;
}

void gcImageLoad::warn(const std::string& sReason) {
  if (bStrict)
    fail(sReason);
  else
    result.addWarning(sFileName, 0, sReason);
}

bool gcImageLoad::checksumMismatch() {
  if (!bIgnoreChecksums) return fail("checksum mismatch");
  if (++iBadChecksums <= kShownChecksums)
    result.addWarning(sFileName, iLine,
                      sContext + "checksum mismatch, loaded all the same");
  return true;
}

gcFileResult gcImageLoad::finish(const gcImageInfo& info, gcImageInfo* pInfo) {
  if (result.isOk()) unitUnasked();
  if (!result.isOk()) return result;
  if (iBadChecksums > kShownChecksums)
    result.addWarning(sFileName, 0,
                      std::to_string(iBadChecksums - kShownChecksums) +
                          " more records with a wrong checksum");
  stage->commit();
  result.setDataBytes(stage->getBytes());
  if (pInfo != nullptr) *pInfo = info;
  return result;
}
