// An image's written bytes in pieces for a flash programmer: written by the
// page, erased by the sector.
#ifndef DWXFILES_GCIMAGECHUNKS_H_
#define DWXFILES_GCIMAGECHUNKS_H_

#include <dwxvmm/dwxvmm.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gcFileResult.h"

// Walks runs of written bytes in chunks, each inside one block
// [k * size, (k + 1) * size), in address order. Without whole blocks, a
// chunk is a maximal stretch of written bytes within a block. With them,
// every align-byte block that holds a written byte comes whole, as its
// size-byte blocks (the last cut at 0x100000000); the caller fills their
// holes.
class DWXFILES_EXPORT gcChunks {
 public:
  // Why iSize and iAlign make no chunks, or "": iSize must be a power of
  // two up to 2^32, iAlign a multiple of it up to 2^32.
  static std::string check(std::uint64_t iSize, std::uint64_t iAlign);

  // REQUIRES: check(iSize, iAlign) is "", runs sorted, disjoint and not
  // touching (as collectRuns gives them).
  gcChunks(std::vector<gcRun> runs, std::uint64_t iSize, std::uint64_t iAlign,
           bool bWhole);

  // The next chunk; false after the last.
  bool next(std::uint64_t* pFirst, std::uint64_t* pLength);

 private:
  std::vector<gcRun> runs_;
  std::uint64_t iSize_, iAlign_;
  bool bWhole_;
  std::size_t iRun_ = 0;
  std::uint64_t iNext_ = 0;      // where the next chunk may begin
  std::uint64_t iBlockEnd_ = 0;  // the end of the whole block under way
};

#endif  // DWXFILES_GCIMAGECHUNKS_H_
