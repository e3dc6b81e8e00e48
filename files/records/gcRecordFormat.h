// Internal: what one record format says of itself, for the record engine
// (gcRecordFile). A record is a line of fields laid out by a shape:
//   'A' a digit of the address     'C' a digit of the count
//   'T' a digit of the record type 'L' the number of address digits
//   'X' a digit of the first check 'Y' a digit of the second check
//   'D' the data                   any other character stands for itself
// A field's digits are hexadecimal, most significant first.
#ifndef DWXFILES_GCRECORDFORMAT_H_
#define DWXFILES_GCRECORDFORMAT_H_

#include <cstdint>

// What a check sums.
enum class gcCheck : std::uint8_t {
  kNone,
  kNegSum8,  // two's complement of the byte sum: the record sums to 0
  kSum16,    // the byte sum, 16 bits
  kNibble8,  // the sum of the digits' values, 8 bits
  kXorRol8,  // each byte XORed in, then rotated left by one
  kAddress,  // the address field again (MOS's end record)
};

// The fields a check covers.
enum : std::uint8_t {
  kCoverAddress = 1,
  kCoverCount = 2,
  kCoverType = 4,
  kCoverLength = 8,
  kCoverData = 16,
};

// What the count field counts.
enum class gcCount : std::uint8_t { kUnits, kChars };

// What the address of the end record holds.
enum class gcEndAddress : std::uint8_t { kStart, kRecords, kNext, kZero };

struct gcRecordFormat {
  const char* pTypeName = nullptr;
  const char* pData = nullptr;  // shape of a data record
  // Shape of the end record, or null for none. Without a type field the end
  // record is the one whose count is 0; it shares the data shape up to the
  // count.
  const char* pEnd = nullptr;
  gcEndAddress eEndAddress = gcEndAddress::kStart;
  // Only written with a start address: no end record, no start.
  bool bEndOnlyForStart = false;
  gcCheck check1 = gcCheck::kNone, check2 = gcCheck::kNone;
  std::uint8_t iCover1 = 0, iCover2 = 0;
  gcCheck endCheck = gcCheck::kNone;  // the end record's first check
  gcCount eCount = gcCount::kUnits;
  unsigned int iUnit = 1;       // bytes an address or a count step
  bool bSwap = false;           // a word's low byte first
  const char* pSeparator = "";  // after each data byte
  unsigned int iMaxData = 255;  // data bytes a record holds at most
  // Record types ('T'): data, end, the upper 16 bits of the address (a
  // 4-digit datum), the start address (8 digits); -1 for none.
  int iDataType = -1, iEndType = -1, iUpperType = -1, iStartType = -1;
};

// The description of a record format by its type name, or null.
const gcRecordFormat* findRecordFormat(const char* pTypeName);

#endif  // DWXFILES_GCRECORDFORMAT_H_
