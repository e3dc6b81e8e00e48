// Internal: how each binary record format reads and writes, for
// gcBinaryRecordFile.
#ifndef DWXFILES_GCBINARYRECORDFORMATS_H_
#define DWXFILES_GCBINARYRECORDFORMATS_H_

#include <cstdint>
#include <string>

#include "gcBinaryRecordFile.h"
#include "gcBinaryRecords.h"

// What a save writes beside the data, settled by gcBinaryRecordFile.
struct gcRecordFrame {
  bool bFrame;     // header, start and end records, where the format has them
  bool bStart;     // the start field is written (the format has one)
  bool bHasStart;  // the image has a start address: iStart, else 0
  std::uint32_t iStart;  // in the file's units
  std::string header;
};

struct gcBinaryRecordFile::Description {
  const char* pTypeName;
  int iAddressBits;  // of the data address field; 0 for none
  int iStartBits;    // of the start address field; 0 for none
  // Reads the records; false after failing. The reader has begun no record.
  bool (*read)(gcRecordReader& reader, const gcImageOptions& options,
               gcImageInfo* pInfo);
  // Writes the range; returns the data bytes (filled bytes in *pFilled).
  std::uint64_t (*write)(gcImageSave& save, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcRecordFrame& frame, std::uint64_t* pFilled);
};

extern const gcBinaryRecordFile::Description kAomf, kMsBin, kFormattedBinary,
    kDecBinary, kPpb, kTrs80, kIdt, kStewie, kWilson;

// The two's complement of the sum of n bytes, as one byte.
inline unsigned char negatedSum(const unsigned char* p, std::size_t n) {
  unsigned int s = 0;
  for (std::size_t i = 0; i < n; ++i) s += p[i];
  return static_cast<unsigned char>(0u - s);
}

// The data of records without any (memcpy takes no null pointer).
inline const unsigned char kNoData[1] = {};

// Room for n bytes of output; hand the end of what was written to wrote().
inline unsigned char* roomFor(gcImageSave& save, std::size_t n) {
  return reinterpret_cast<unsigned char*>(save.room(n));
}
inline void wrote(gcImageSave& save, unsigned char* pEnd) {
  save.advance(reinterpret_cast<char*>(pEnd));
}

// "text", naming a value in hex: failf(reader, "type 0x%02X", 7).
bool failf(gcRecordReader& reader, const char* pFormat, unsigned long iValue);

#endif  // DWXFILES_GCBINARYRECORDFORMATS_H_
