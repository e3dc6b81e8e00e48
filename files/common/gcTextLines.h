// Internal: what the formats that write data as lines of text share, and
// the image's start and header as a save is asked to write them.
#ifndef DWXFILES_GCTEXTLINES_H_
#define DWXFILES_GCTEXTLINES_H_

#include <cstdint>
#include <string>

#include "gcImageSave.h"
#include "tools/segments.h"

// Packs items into lines: each line starts with pPrefix, items are
// separated by cSeparator, and a line takes the next item only while it
// stays within iWidth characters (its first item always).
class gcItemLines {
 public:
  gcItemLines(gcImageSave& save, const char* pPrefix, char cSeparator,
              unsigned int iWidth);
  // REQUIRES: n <= 32.
  void add(const char* p, unsigned int n);
  // Ends the open line, if any.
  void endLine();

 private:
  gcImageSave& save_;
  const char* pPrefix_;
  unsigned int iPrefix_;
  char cSeparator_;
  unsigned int iWidth_;
  unsigned int iColumn_ = 0;  // 0: no line open
};

// Hands pHandler every byte from the save's first to its last address in
// order: the written runs as they are, each hole as runs of iFill. False
// when the handler stopped the walk. *pFilled counts the hole bytes.
bool forFilledRange(gcVMMBase* pVMM, gcImageSave& save, std::uint8_t iFill,
                    gcSegmentHandler* pHandler, std::uint64_t* pFilled);

// The start address a save writes: the image's, unless the options ask
// for none or only data. False when there is none to write.
bool startToWrite(const gcImageOptions& options, const gcImageInfo* pInfo,
                  std::uint32_t* pStart);
// The header text a save writes (options over the image's; none for only
// data), with each line end made a blank so that it stays on one line;
// empty for none.
std::string headerToWrite(const gcImageOptions& options,
                          const gcImageInfo* pInfo);

// Appends s and a line end to the save.
void putLine(gcImageSave& save, const std::string& s);

// Fails the save unless the run from iFirst of iLength bytes starts and
// ends on a word of iWordBytes: "address A does not fill a whole N-bit
// word", with bAsRun (Verilog memory's wording) "a run of written bytes
// starts (ends) at A, not on an N-bit word boundary".
bool checkWholeWords(gcImageSave& save, std::uint64_t iFirst,
                     std::uint64_t iLength, unsigned int iWordBytes,
                     bool bAsRun = false);
// Fails the save, naming the first address from iFirst of iLength bytes at
// or past iLimit (the end of the format's address field), if there is one.
bool checkFits(gcImageSave& save, std::uint64_t iFirst, std::uint64_t iLength,
               std::uint64_t iLimit);
// Fails the save unless iStart is below iLimit (the end of the start field).
bool checkStartFits(gcImageSave& save, std::uint32_t iStart,
                    std::uint64_t iLimit);

// The user's address unit for a format (job: its gcImageLoad or
// gcImageSave, asked for it) whose addresses count iWordBytes: the unit,
// or 0 after failing the job when the format has words of its own.
template <class Job>
unsigned int userUnit(Job& job, const char* pTypeName,
                      unsigned int iWordBytes) {
  const unsigned int unit = job.addressUnit();
  if (unit == 1 || iWordBytes == 1) return unit;
  job.fail("address unit " + std::to_string(unit) + ": " + pTypeName +
           "'s addresses count its own " + std::to_string(8 * iWordBytes) +
           "-bit words");
  return 0;
}

// What a field of hex digits held.
enum class gcHexField : std::uint8_t { kValue, kNotHex, kTooWide };
// Reads a field of 1 to iDigits hex digits, either case (iDigits, at most
// 16, the width its format gives it): its value in *pValue, or kNotHex for
// none or any other character, or kTooWide for more digits than iDigits,
// leading zeros too.
gcHexField hexField(const char* p, std::size_t n, unsigned int iDigits,
                    std::uint64_t* pValue);

#endif  // DWXFILES_GCTEXTLINES_H_
