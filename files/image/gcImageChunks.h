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

class gcImage;

// Walks an image in chunks, each inside one block [k * size, (k + 1) *
// size), in address order. Without a fill, a chunk is a maximal stretch of
// written bytes within a block. With one, every align-byte block that holds
// a written byte comes whole, as its size-byte blocks (the last cut at
// 0x100000000), holes as the fill. The runs are the image's when the walk
// begins; the image must not change during it. Throws bad_alloc.
class DWXFILES_EXPORT gcChunks {
 public:
  // Why iSize and iAlign make no chunks, or "": iSize must be a power of
  // two up to 2^32, iAlign a multiple of it up to 2^32.
  static std::string check(std::uint64_t iSize, std::uint64_t iAlign);

  // iFill < 0: no fill. REQUIRES: check(iSize, iAlign) is "".
  gcChunks(const gcImage& image, std::uint64_t iSize, std::uint64_t iAlign,
           int iFill);

  // The next chunk: its address, length and bytes (valid until the next
  // call); false after the last.
  bool next(std::uint64_t* pFirst, std::uint64_t* pLength, const char** ppData);

 private:
  bool place(std::uint64_t* pFirst, std::uint64_t* pLength);

  const gcImage& image_;
  std::vector<gcRun> runs_;
  std::uint64_t iSize_, iAlign_;
  int iFill_;
  std::size_t iRun_ = 0;
  std::uint64_t iNext_ = 0;      // where the next chunk may begin
  std::uint64_t iBlockEnd_ = 0;  // the end of the whole block under way
  // Bytes are read a window at a time: a read walks the image's pages.
  std::uint64_t iWindowSize_;
  std::uint64_t iWindow_ = 0;
  std::string window_;
};

#endif  // DWXFILES_GCIMAGECHUNKS_H_
