// Internal: one save in progress, shared by the formats.
#ifndef DWXFILES_GCIMAGESAVE_H_
#define DWXFILES_GCIMAGESAVE_H_

#include <cassert>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "gcFileResult.h"
#include "gcImageOptions.h"

class gcVMMBase;
class gcFileWriter;

// Settles the range, opens the file, gathers output in a buffer that goes
// to the file (or the options' output sink) in large writes, and keeps the
// first error. A save that fails after the file was opened removes the
// file.
class gcImageSave {
 public:
  // Fails for a null VMM or a bad range.
  gcImageSave(const std::string& sFileName, gcVMMBase* pVMM,
              const gcImageOptions& options);
  ~gcImageSave();
  gcImageSave(const gcImageSave&) = delete;
  gcImageSave& operator=(const gcImageSave&) = delete;

  bool isOk() const;
  // False (after the error) when the range holds no written byte and was
  // not given: then getFirst() > getLast().
  std::uint64_t getFirst() const;
  std::uint64_t getLast() const;
  // The highest written address in the range, or 0 without one.
  std::uint64_t getHighest() const;
  bool fail(const std::string& sReason);
  // The unit the file's addresses count (the options' address unit), for a
  // writer with an address field: it divides its addresses by it. Fails
  // the save for a run of the range that does not begin and end on a unit,
  // naming its first address (at the first ask; asking again is cheap).
  // Without the ask, open() fails for a unit other than 1.
  unsigned int addressUnit();
  // The start address iStart in units; fails the save when it is not a
  // multiple of the unit.
  std::uint64_t fileStart(std::uint64_t iStart);
  // Opens the file (none for an output sink) for writing; false after the
  // error.
  bool open();
  // Room for n more bytes of output; write them, then call advance().
  // REQUIRES: n <= 64 KiB (putLine() writes a longer line in pieces).
  char* room(std::size_t n) {
    assert(n <= kBuffer);
    if (kBuffer - iUsed < n) flush();
    return buffer.get() + iUsed;
  }
  void advance(char* pEnd) { iUsed = pEnd - buffer.get(); }
  char* lineEnd(char* p) const {
    if (bCrlf) *p++ = '\r';
    *p++ = '\n';
    return p;
  }
  // Flushes and closes; the result carries the counts.
  gcFileResult finish(std::uint64_t iDataBytes, std::uint64_t iFilledBytes);

 protected:
  void flush();

  static constexpr std::size_t kBuffer = 1 << 16;
  std::string sFileName;
  gcVMMBase* pVMM;
  unsigned int iUnit;
  bool bUnitAsked;
  std::uint64_t iFirst;
  std::uint64_t iLast;
  std::uint64_t iHighest;
  bool bCrlf;
  FILE* pFile;
  std::unique_ptr<gcFileWriter> writer;  // writes a regular pFile
  gcImageOptions::OutputSink output;     // instead of pFile
  std::unique_ptr<char[]> buffer;
  std::size_t iUsed;
  gcFileResult result;
};

#endif  // DWXFILES_GCIMAGESAVE_H_
