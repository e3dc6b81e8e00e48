#include "gcFileResult.h"

namespace {

// "file:line: ", "file: ", or nothing for an edit's result, which has no file.
std::string place(const std::string& sFile, std::uint64_t iLine) {
  if (sFile.empty() && iLine == 0) return "";
  return (iLine == 0 ? sFile : sFile + ":" + std::to_string(iLine)) + ": ";
}

}  // namespace

gcFileResult::gcFileResult()
    : bOk(true), iLine(0), iDataBytes(0), iFilledBytes(0) {}

gcFileResult gcFileResult::failure(std::string sFile, std::uint64_t iLine,
                                   std::string sReason) {
  gcFileResult result;
  result.bOk = false;
  result.sFile = std::move(sFile);
  result.iLine = iLine;
  result.sReason = std::move(sReason);
  return result;
}

bool gcFileResult::isOk() const { return bOk; }
const std::string& gcFileResult::getFile() const { return sFile; }
std::uint64_t gcFileResult::getLine() const { return iLine; }
const std::string& gcFileResult::getReason() const { return sReason; }

std::string gcFileResult::getMessage() const {
  return bOk ? std::string() : place(sFile, iLine) + sReason;
}

const std::vector<std::string>& gcFileResult::getWarnings() const {
  return warnings;
}

void gcFileResult::addWarning(const std::string& sWarningFile,
                              std::uint64_t iWarningLine,
                              const std::string& sWarning) {
  warnings.push_back(place(sWarningFile, iWarningLine) + sWarning);
}

std::uint64_t gcFileResult::getDataBytes() const { return iDataBytes; }
void gcFileResult::setDataBytes(std::uint64_t iBytes) { iDataBytes = iBytes; }
std::uint64_t gcFileResult::getFilledBytes() const { return iFilledBytes; }
void gcFileResult::setFilledBytes(std::uint64_t iBytes) {
  iFilledBytes = iBytes;
}
