#include "gcImageOptions.h"

gcImageOptions::gcImageOptions()
    : iLoadAddress(0),
      bLaterWins(false),
      bRange(false),
      iFirst(0),
      iLast(0xFFFFFFFF),
      iRecordLength(32),
      iAddressBytes(0),
      bCrlf(false),
      iFillByte(0xFF),
      iWordBits(8),
      bStrict(false),
      iMaxMemory(0) {}

gcImageOptions& gcImageOptions::setLoadAddress(std::uint32_t iAddr) {
  iLoadAddress = iAddr;
  return *this;
}
std::uint32_t gcImageOptions::getLoadAddress() const { return iLoadAddress; }

gcImageOptions& gcImageOptions::setLaterWins(bool bWins) {
  bLaterWins = bWins;
  return *this;
}
bool gcImageOptions::getLaterWins() const { return bLaterWins; }

gcImageOptions& gcImageOptions::setStrict(bool bOn) {
  bStrict = bOn;
  return *this;
}
bool gcImageOptions::getStrict() const { return bStrict; }

gcImageOptions& gcImageOptions::setMaxMemory(std::uint64_t iBytes) {
  iMaxMemory = iBytes;
  return *this;
}
std::uint64_t gcImageOptions::getMaxMemory() const { return iMaxMemory; }

gcImageOptions& gcImageOptions::setRange(std::uint64_t iFrom,
                                         std::uint64_t iTo) {
  bRange = true;
  iFirst = iFrom;
  iLast = iTo;
  return *this;
}
bool gcImageOptions::hasRange() const { return bRange; }
std::uint64_t gcImageOptions::getFirst() const { return iFirst; }
std::uint64_t gcImageOptions::getLast() const { return iLast; }

gcImageOptions& gcImageOptions::setRecordLength(unsigned int iBytes) {
  iRecordLength = iBytes;
  return *this;
}
unsigned int gcImageOptions::getRecordLength() const { return iRecordLength; }

gcImageOptions& gcImageOptions::setAddressBytes(unsigned int iBytes) {
  iAddressBytes = iBytes;
  return *this;
}
unsigned int gcImageOptions::getAddressBytes() const { return iAddressBytes; }

gcImageOptions& gcImageOptions::setCrlf(bool bOn) {
  bCrlf = bOn;
  return *this;
}
bool gcImageOptions::getCrlf() const { return bCrlf; }

gcImageOptions& gcImageOptions::setFillByte(std::uint8_t iFill) {
  iFillByte = iFill;
  return *this;
}
std::uint8_t gcImageOptions::getFillByte() const { return iFillByte; }

gcImageOptions& gcImageOptions::setWordBits(unsigned int iBits) {
  iWordBits = iBits;
  return *this;
}
unsigned int gcImageOptions::getWordBits() const { return iWordBits; }

gcImageOptions& gcImageOptions::setArrayName(const std::string& sName) {
  sArrayName = sName;
  return *this;
}
const std::string& gcImageOptions::getArrayName() const { return sArrayName; }

gcImageInfo::gcImageInfo()
    : bStart(false), bSegmentedStart(false), iStartAddress(0) {}

bool gcImageInfo::hasStartAddress() const { return bStart; }
std::uint32_t gcImageInfo::getStartAddress() const { return iStartAddress; }
bool gcImageInfo::isSegmentedStart() const { return bSegmentedStart; }

std::uint32_t gcImageInfo::getLinearStartAddress() const {
  if (!bSegmentedStart) return iStartAddress;
  return (iStartAddress >> 16) * 16 + (iStartAddress & 0xFFFF);
}

void gcImageInfo::setStartAddress(std::uint32_t iAddr, bool bSegmented) {
  bStart = true;
  bSegmentedStart = bSegmented;
  iStartAddress = iAddr;
}

void gcImageInfo::clearStartAddress() {
  bStart = false;
  bSegmentedStart = false;
  iStartAddress = 0;
}

const std::string& gcImageInfo::getHeader() const { return sHeader; }
void gcImageInfo::setHeader(const std::string& sText) { sHeader = sText; }

const std::string& gcImageInfo::getDetails() const { return sDetails; }
void gcImageInfo::setDetails(const std::string& sText) { sDetails = sText; }
