// Internal: one load in progress, shared by the formats.
#ifndef DWXFILES_GCIMAGELOAD_H_
#define DWXFILES_GCIMAGELOAD_H_

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "gcFileResult.h"
#include "gcImageOptions.h"
#include "gcImageStage.h"

class gcVMMBase;

// "64 MiB" for a whole number of KiB, MiB or GiB, else "N bytes".
std::string sizeText(std::uint64_t iBytes);

// Opens the file (or takes the options' bytes in memory), streams it
// through a read buffer of fixed size (a line at a time, or a block at a
// time), stages the bytes, and keeps the first error with its line.
// finish() commits only when there was none.
class gcImageLoad {
 public:
  // On failure (no VMM, no model, file not readable) isOpen() is false and
  // finish() returns the error.
  gcImageLoad(const std::string& sFileName, gcVMMBase* pVMM,
              const gcImageOptions& options);
  ~gcImageLoad();
  gcImageLoad(const gcImageLoad&) = delete;
  gcImageLoad& operator=(const gcImageLoad&) = delete;

  bool isOpen() const;
  // The next line without its "\n" or "\r\n"; false at the end of the file
  // or after an error (a line longer than the buffer, a read error).
  bool nextLine(const char** ppLine, std::size_t* pLength);
  // The next block of the file; 0 at the end or after a read error.
  std::size_t nextBlock(const char** ppData);
  // Up to n bytes (at most the buffer's size) from iOffset of the file;
  // fewer only at its end, 0 after a read error (then failed).
  std::size_t readAt(std::uint64_t iOffset, std::size_t n, const char** ppData);
  // The open file's descriptor (for a reader of headers), or -1 for bytes
  // in memory (then getSource() gives them).
  int getDescriptor() const;
  // The bytes of a load from memory, or null for a file.
  const char* getSource() const;
  // Whether they are only a longer file's first bytes (the options' head).
  bool isSourceHead() const { return bSourceHead; }
  // The file's size in bytes; false (after fail()) if it cannot be told.
  bool getSize(std::uint64_t* pSize);
  // A prefix for the reasons of the errors that follow ("section .data: "),
  // for formats without lines.
  void setContext(const std::string& sContext);
  // Hands each non-empty line to readRecord(line, length) until it returns
  // false, the file ends or *pbEnd is set (by an end record); warns "no end
  // record" when the file ended without one.
  template <class ReadRecord>
  void readRecords(const bool* pbEnd, ReadRecord readRecord) {
    const char* pLine = nullptr;
    std::size_t iLength = 0;
    while (isOpen() && !*pbEnd && nextLine(&pLine, &iLength))
      if (iLength != 0 && !readRecord(pLine, iLength)) break;
    if (isOpen() && !*pbEnd) warn("no end record");
  }
  // Like readRecords, but reads on after the end record to fail at the first
  // line that is not blank; warns of a missing end record only if bNeeded.
  template <class ReadRecord>
  void readRecordsToEnd(const bool* pbEnd, bool bNeeded,
                        ReadRecord readRecord) {
    const char* pLine = nullptr;
    std::size_t iLength = 0;
    while (isOpen() && nextLine(&pLine, &iLength)) {
      if (iLength == 0) continue;
      if (*pbEnd) {
        fail("data after the end record");
        break;
      }
      if (!readRecord(pLine, iLength)) break;
    }
    if (isOpen() && !*pbEnd && bNeeded) warn("no end record");
  }
  // The line nextLine returned last (1-based).
  std::uint64_t getLine() const;
  // Sets it, for a reader that counts lines itself (CR alone ends them).
  void setLine(std::uint64_t iAtLine);
  // The unit the file's addresses count (the options' address unit): a
  // reader with an address field asks for it and takes its addresses
  // through imageAddress. A load with a unit other than 1 whose reader
  // never asked fails at its first byte or at its end.
  unsigned int addressUnit();
  // The image address of iFileAddr (x the unit); false after fail() when n
  // bytes from there pass 0xFFFFFFFF.
  bool imageAddress(std::uint64_t iFileAddr, std::uint64_t n,
                    std::uint64_t* pImageAddr);
  // Stages n bytes at iAddr; false after fail() on a conflict or at the
  // memory limit.
  // REQUIRES: iAddr + n <= 2^32.
  bool put(std::uint64_t iAddr, const unsigned char* pData, std::uint64_t n);
  // Records the first error, at the current line (0: none); returns false.
  bool fail(const std::string& sReason, bool bAtLine = true);
  // The same at another line, for statements that span lines.
  bool failAt(std::uint64_t iAtLine, const std::string& sReason);
  // A warning, or under a strict load an error at the current line.
  void warn(const std::string& sReason);
  // A record's checksum is wrong: fails, or when the options ignore
  // checksums warns at the line (the first ten, then a count; asked for,
  // so not an error when strict) and returns true.
  bool checksumMismatch();
  // Commits the staged bytes and hands info on when there was no error.
  gcFileResult finish(const gcImageInfo& info, gcImageInfo* pInfo);

 protected:
  // True (after the error) when the unit is not 1 and the reader never
  // asked for it.
  bool unitUnasked();

  static constexpr std::size_t kBuffer = 1 << 16;
  std::string sFileName;
  gcVMMBase* pVMM;
  std::unique_ptr<gcImageStage> stage;
  // Up to n bytes from the file's current place; 0 at its end or after a
  // read error.
  std::size_t readSome(char* pOut, std::size_t n);
  bool error() const;
  bool nextSourceLine(const char** ppLine, std::size_t* pLength);

  FILE* pFile;
  const char* pSource;  // bytes in memory instead of pFile
  std::uint64_t iSourceSize;
  std::uint64_t iSourcePos;
  bool bSourceHead;
  std::unique_ptr<char[]> buffer;
  std::size_t iPos;
  std::size_t iEnd;
  bool bEof;
  std::uint64_t iLine;
  std::string sContext;
  bool bStrict;
  std::uint64_t iMaxMemory;
  gcFileResult result;
  bool bIgnoreChecksums;
  std::uint64_t iBadChecksums;
  unsigned int iUnit;
  bool bUnitAsked;
};

#endif  // DWXFILES_GCIMAGELOAD_H_
