#include "gcImageLoad.h"

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
      iPos(0),
      iEnd(0),
      bEof(false),
      iLine(0),
      bStrict(options.getStrict()),
      iMaxMemory(options.getMaxMemory()),
      bIgnoreChecksums(options.getIgnoreChecksums()),
      iBadChecksums(0) {
  if (pVMM == nullptr || pVMM->getPageSize() == 0) {
    fail("no VMM with a memory model to load into", false);
    return;
  }
  pFile = std::fopen(sFileName.c_str(), "rb");
  if (pFile == nullptr) {
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

bool gcImageLoad::isOpen() const { return pFile != nullptr && result.isOk(); }

bool gcImageLoad::nextLine(const char** ppLine, std::size_t* pLength) {
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
    const std::size_t n =
        std::fread(buffer.get() + iEnd, 1, kBuffer - iEnd, pFile);
    if (n == 0 && std::ferror(pFile)) return fail("read error", false);
    bEof = n == 0;
    iEnd += n;
  }
}

std::size_t gcImageLoad::nextBlock(const char** ppData) {
  const std::size_t n = std::fread(buffer.get(), 1, kBuffer, pFile);
  if (n == 0 && std::ferror(pFile)) fail("read error", false);
  *ppData = buffer.get();
  return n;
}

std::size_t gcImageLoad::readAt(std::uint64_t iOffset, std::size_t n,
                                const char** ppData) {
  *ppData = buffer.get();
  n = std::min(n, kBuffer);
  if (fseeko(pFile, static_cast<off_t>(iOffset), SEEK_SET) != 0) {
    fail(std::string("read error: ") + std::strerror(errno), false);
    return 0;
  }
  const std::size_t iRead = std::fread(buffer.get(), 1, n, pFile);
  if (iRead == 0 && std::ferror(pFile)) fail("read error", false);
  return iRead;
}

int gcImageLoad::getDescriptor() const {
  return pFile != nullptr ? fileno(pFile) : -1;
}

void gcImageLoad::setContext(const std::string& sText) { sContext = sText; }

std::uint64_t gcImageLoad::getLine() const { return iLine; }
void gcImageLoad::setLine(std::uint64_t iAtLine) { iLine = iAtLine; }

bool gcImageLoad::put(std::uint64_t iAddr, const unsigned char* pData,
                      std::uint64_t n) {
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
                      "checksum mismatch, loaded all the same");
  return true;
}

gcFileResult gcImageLoad::finish(const gcImageInfo& info, gcImageInfo* pInfo) {
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
