#include "gcImageOptions.h"

#include <utility>

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
      bIgnoreChecksums(false),
      eHexAddressing(kHexAsLoaded),
      bWriteStart(true),
      bHeader(false),
      bWriteHeader(true),
      bStrict(false),
      iMaxMemory(0),
      bFillByte(false),
      bUf2Family(false),
      iUf2Family(0),
      bDfuAlt(false),
      iDfuAlt(0),
      sDfuName("ST..."),
      iDfuVendor(0x0483),
      iDfuProduct(0xDF11),
      iDfuDevice(0xFFFF),
      iElfMachine(0),
      bElfBigEndian(false),
      bDataOnly(false),
      iAddressUnit(1),
      pSourceData(nullptr),
      iSourceSize(0),
      bSourceHead(false) {}

gcImageOptions& gcImageOptions::setSource(const char* pData,
                                          std::uint64_t iSize) {
  pSourceData = pData;
  iSourceSize = iSize;
  return *this;
}
const char* gcImageOptions::getSourceData() const { return pSourceData; }
std::uint64_t gcImageOptions::getSourceSize() const { return iSourceSize; }
gcImageOptions& gcImageOptions::setSourceHead(bool bHead) {
  bSourceHead = bHead;
  return *this;
}
bool gcImageOptions::getSourceHead() const { return bSourceHead; }

gcImageOptions& gcImageOptions::setOutput(OutputSink sink) {
  output = std::move(sink);
  return *this;
}
const gcImageOptions::OutputSink& gcImageOptions::getOutput() const {
  return output;
}

gcImageOptions& gcImageOptions::setIgnoreChecksums(bool bIgnore) {
  bIgnoreChecksums = bIgnore;
  return *this;
}
bool gcImageOptions::getIgnoreChecksums() const { return bIgnoreChecksums; }

gcImageOptions& gcImageOptions::setHexAddressing(HexAddressing e) {
  eHexAddressing = e;
  return *this;
}
gcImageOptions::HexAddressing gcImageOptions::getHexAddressing() const {
  return eHexAddressing;
}

gcImageOptions& gcImageOptions::setDataOnly(bool bOnly) {
  bDataOnly = bOnly;
  return *this;
}
bool gcImageOptions::getDataOnly() const { return bDataOnly; }

gcImageOptions& gcImageOptions::setWriteStart(bool bWrite) {
  bWriteStart = bWrite;
  return *this;
}
bool gcImageOptions::getWriteStart() const { return bWriteStart; }

gcImageOptions& gcImageOptions::setHeader(const std::string& sText,
                                          bool bWrite) {
  bHeader = true;
  sHeader = sText;
  bWriteHeader = bWrite;
  return *this;
}
bool gcImageOptions::hasHeader() const { return bHeader; }
const std::string& gcImageOptions::getHeader() const { return sHeader; }
bool gcImageOptions::getWriteHeader() const { return bWriteHeader; }

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
  bFillByte = true;
  return *this;
}
std::uint8_t gcImageOptions::getFillByte() const { return iFillByte; }
bool gcImageOptions::hasFillByte() const { return bFillByte; }

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

gcImageOptions& gcImageOptions::setUf2Family(std::uint32_t iId) {
  bUf2Family = true;
  iUf2Family = iId;
  return *this;
}
bool gcImageOptions::hasUf2Family() const { return bUf2Family; }
std::uint32_t gcImageOptions::getUf2Family() const { return iUf2Family; }

gcImageOptions& gcImageOptions::setDfuAlt(unsigned int iAlt) {
  bDfuAlt = true;
  iDfuAlt = iAlt;
  return *this;
}
bool gcImageOptions::hasDfuAlt() const { return bDfuAlt; }
unsigned int gcImageOptions::getDfuAlt() const { return iDfuAlt; }

gcImageOptions& gcImageOptions::setDfuName(const std::string& sName) {
  sDfuName = sName;
  return *this;
}
const std::string& gcImageOptions::getDfuName() const { return sDfuName; }

gcImageOptions& gcImageOptions::setDfuIds(std::uint16_t iVendor,
                                          std::uint16_t iProduct,
                                          std::uint16_t iDevice) {
  iDfuVendor = iVendor;
  iDfuProduct = iProduct;
  iDfuDevice = iDevice;
  return *this;
}
std::uint16_t gcImageOptions::getDfuVendor() const { return iDfuVendor; }
std::uint16_t gcImageOptions::getDfuProduct() const { return iDfuProduct; }
std::uint16_t gcImageOptions::getDfuDevice() const { return iDfuDevice; }

gcImageOptions& gcImageOptions::setElfMachine(std::uint16_t iMachine) {
  iElfMachine = iMachine;
  return *this;
}
std::uint16_t gcImageOptions::getElfMachine() const { return iElfMachine; }
gcImageOptions& gcImageOptions::setElfBigEndian(bool bBig) {
  bElfBigEndian = bBig;
  return *this;
}
bool gcImageOptions::getElfBigEndian() const { return bElfBigEndian; }

gcImageOptions& gcImageOptions::setAddressUnit(unsigned int iUnit) {
  iAddressUnit = iUnit;
  return *this;
}

unsigned int gcImageOptions::getAddressUnit() const { return iAddressUnit; }

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
