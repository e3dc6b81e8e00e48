// The record formats: each says only what differs from its peers.
#include <cstring>

#include "gcRecordFormat.h"

namespace {

gcRecordFormat shaped(const char* pTypeName, const char* pData) {
  gcRecordFormat f;
  f.pTypeName = pTypeName;
  f.pData = pData;
  return f;
}

gcRecordFormat tektronixRecords() {
  gcRecordFormat f = shaped("Tektronix", "/AAAACCXXDYY");
  f.pEnd = "/AAAACCXX";  // the start address
  f.bEndOnlyForStart = true;
  f.check1 = f.check2 = f.endCheck = gcCheck::kNibble8;
  f.iCover1 = kCoverAddress | kCoverCount;
  f.iCover2 = kCoverData;
  return f;
}

gcRecordFormat tektronixExtended() {
  gcRecordFormat f = shaped("Tektronix extended", "%CCTXXLAAAAAAAAD");
  f.pEnd = f.pData;
  f.bEndOnlyForStart = true;
  f.check1 = f.endCheck = gcCheck::kNibble8;
  f.iCover1 =
      kCoverCount | kCoverType | kCoverLength | kCoverAddress | kCoverData;
  f.eCount = gcCount::kChars;
  f.iDataType = 6, f.iEndType = 8;
  return f;
}

gcRecordFormat mosTechnology() {
  gcRecordFormat f = shaped("MOS Technology", ";CCAAAADXXXX");
  f.pEnd = ";CCAAAAXXXX";
  f.eEndAddress = gcEndAddress::kRecords;
  f.check1 = gcCheck::kSum16;
  f.iCover1 = kCoverCount | kCoverAddress | kCoverData;
  f.endCheck = gcCheck::kAddress;
  return f;
}

gcRecordFormat signeticsRecords() {
  gcRecordFormat f = shaped("Signetics", ":AAAACCXXDYY");
  f.pEnd = ":AAAACC";
  f.eEndAddress = gcEndAddress::kNext;
  f.check1 = f.check2 = gcCheck::kXorRol8;
  f.iCover1 = kCoverAddress | kCoverCount;
  f.iCover2 = kCoverData;
  return f;
}

gcRecordFormat intelHex16() {
  gcRecordFormat f = shaped("Intel HEX-16", ":CCAAAATTDXX");
  f.pEnd = f.pData;
  f.eEndAddress = gcEndAddress::kZero;
  f.check1 = f.endCheck = gcCheck::kNegSum8;
  f.iCover1 = kCoverCount | kCoverAddress | kCoverType | kCoverData;
  f.iUnit = 2, f.bSwap = true;
  f.iDataType = 0, f.iEndType = 1, f.iUpperType = 4, f.iStartType = 5;
  return f;
}

gcRecordFormat bRecord() {
  gcRecordFormat f = shaped("B-Record", "AAAAAAAACCD");
  f.pEnd = "AAAAAAAACC";
  f.bEndOnlyForStart = true;
  f.iMaxData = 31;
  f.iCountFlags = 2;  // the mode, which says nothing to a loader
  return f;
}

gcRecordFormat elektorMonitor52() {
  gcRecordFormat f = shaped("Elektor Monitor (EMON52)", "CC AAAA:DXXXX");
  f.check1 = gcCheck::kSum16;
  f.iCover1 = kCoverData;
  f.pSeparator = " ";
  return f;
}

gcRecordFormat atmelGeneric() {
  gcRecordFormat f = shaped("Atmel Generic", "AAAAAA:D");  // a word a line
  f.iUnit = 2;
  f.iMaxData = 2;
  return f;
}

gcRecordFormat fairchildRecords() {
  gcRecordFormat f = shaped("Fairchild", "\\XDY");
  f.pAddress = "SAAAA";
  f.pEnd = "*";
  f.eEndAddress = gcEndAddress::kZero;
  f.check2 = gcCheck::kNibble8;  // its low digit
  f.iCover2 = kCoverData;
  f.iMaxData = 8, f.bWholeRecords = true;
  return f;
}

// A stream of tags rather than records of one shape: gcTaggedFile.cpp.
gcRecordFormat tiTagged(const char* pTypeName, unsigned int iUnit) {
  gcRecordFormat f = shaped(pTypeName, nullptr);
  f.eStream = gcRecordFormat::kTiTagged;
  f.iUnit = iUnit;
  return f;
}

// "*", lines of an address and bytes, "$S" and the sum: gcPpxFile.cpp.
gcRecordFormat ppxStream() {
  gcRecordFormat f = shaped("PPX", nullptr);
  f.eStream = gcRecordFormat::kPpx;
  return f;
}

// "!M", an address and bytes, ',' or ';' to go on: gcCosmacFile.cpp.
gcRecordFormat cosmacStream() {
  gcRecordFormat f = shaped("Cosmac", nullptr);
  f.eStream = gcRecordFormat::kCosmac;
  return f;
}

const gcRecordFormat kFormats[] = {
    tektronixRecords(),
    tektronixExtended(),
    mosTechnology(),
    signeticsRecords(),
    intelHex16(),
    bRecord(),
    elektorMonitor52(),
    atmelGeneric(),
    fairchildRecords(),
    tiTagged("TI-Tagged", 1),
    tiTagged("TI-Tagged-16", 2),
    ppxStream(),
    cosmacStream(),
};

}  // namespace

const gcRecordFormat* findRecordFormat(const char* pTypeName) {
  for (const gcRecordFormat& f : kFormats)
    if (std::strcmp(f.pTypeName, pTypeName) == 0) return &f;
  return nullptr;
}
