// Internal: what one record format says of itself, for the record engine
// (gcRecordFile). A record is a line of fields laid out by a shape:
//   'A' a digit of the address     'C' a digit of the count
//   'T' a digit of the record type 'L' the number of address digits
//   'X' a digit of the first check 'Y' a digit of the second check
//   'D' the data                   any other character stands for itself,
// as does one after a backslash. A field's digits are hexadecimal, most
// significant first.
#ifndef DWXFILES_GCRECORDFORMAT_H_
#define DWXFILES_GCRECORDFORMAT_H_

#include <cstdint>
#include <string>

#include "gcTextLines.h"
#include "tools/segments.h"

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
  // Shape of a record that sets the address of the data records that
  // follow, which then have none of their own; null where they have one.
  // Records are then told apart by their first character.
  const char* pAddress = nullptr;
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
  bool bWholeRecords = false;   // always iMaxData, at a multiple of it
  // Formats that are a stream of fields rather than records of one shape,
  // each with a reader and writer of its own beside the engine.
  enum Stream : std::uint8_t {
    kRecords,
    kTiTagged,
    kPpx,
    kCosmac
  } eStream = kRecords;
  // High bits of the count that say something else (B-Record's mode); a
  // count past iMaxData in the bits below is an error.
  unsigned int iCountFlags = 0;
  // Record types ('T'): data, end, the upper 16 bits of the address (a
  // 4-digit datum), the start address (8 digits); -1 for none.
  int iDataType = -1, iEndType = -1, iUpperType = -1, iStartType = -1;
};

// The description of a record format by its type name, or null.
const gcRecordFormat* findRecordFormat(const char* pTypeName);

class gcImageSave;
class gcVMMBase;
class gcFileResult;
class gcImageOptions;
class gcImageInfo;
// Why the written bytes of the save's range do not fit: the first address
// at or past limit, or the first of a run that does not come in whole,
// aligned groups of g bytes (words, or with bRecords full records); empty
// when they fit.
std::string unfitRuns(gcImageSave& save, gcVMMBase* pVMM, std::uint64_t limit,
                      std::uint64_t g, bool bRecords);

// The user's address unit for a format, or 0 after failing the job (see
// gcTextLines.h).
template <class Job>
unsigned int userUnit(const gcRecordFormat& f, Job& job) {
  return userUnit(job, f.pTypeName, f.iUnit);
}

// Hands the runs of a save to piece() in pieces of at most iChunk bytes,
// and counts them.
class gcChunkWriter : public gcSegmentHandler {
 public:
  gcChunkWriter(gcImageSave& save, unsigned int iChunk)
      : save_(save), iChunk_(iChunk) {}
  bool handleSegment(vmm_int iFirst, std::uint64_t iLength,
                     const char* pData) override;
  // n >= 1 bytes from iAddr; bRunStart for the first piece of a run.
  virtual void piece(std::uint64_t iAddr, const unsigned char* p, std::size_t n,
                     bool bRunStart) = 0;
  std::uint64_t bytes() const { return iBytes_; }

 protected:
  gcImageSave& save_;
  unsigned int iChunk_;
  std::uint64_t iBytes_ = 0;
};

// The stream formats' readers and writers, as gcFileFormat's.
gcFileResult loadTagged(const gcRecordFormat& f, const std::string& sFileName,
                        gcVMMBase* pVMM, const gcImageOptions& options,
                        gcImageInfo* pInfo);
gcFileResult saveTagged(const gcRecordFormat& f, const std::string& sFileName,
                        gcVMMBase* pVMM, const gcImageOptions& options,
                        const gcImageInfo* pInfo);
gcFileResult loadPpx(const std::string& sFileName, gcVMMBase* pVMM,
                     const gcImageOptions& options, gcImageInfo* pInfo);
gcFileResult savePpx(const std::string& sFileName, gcVMMBase* pVMM,
                     const gcImageOptions& options);
gcFileResult loadCosmac(const std::string& sFileName, gcVMMBase* pVMM,
                        const gcImageOptions& options, gcImageInfo* pInfo);
gcFileResult saveCosmac(const std::string& sFileName, gcVMMBase* pVMM,
                        const gcImageOptions& options);

#endif  // DWXFILES_GCRECORDFORMAT_H_
