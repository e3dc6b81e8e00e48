// Internal: the writer that TI-TXT and Verilog memory share: "@ADDR"
// blocks of hex words, a new block at every hole.
#ifndef DWXFILES_GCBLOCKWRITER_H_
#define DWXFILES_GCBLOCKWRITER_H_

#include <cstdint>

#include "gcImageSave.h"
#include "tools/segments.h"

// Writes each run as a block: its first address divided by the word's
// bytes and by iAddressUnit after '@' (at least iAddressDigits hex
// digits), then 16 bytes a
// line, each word's bytes from the highest address down, words separated
// by a blank. A run that does not start and end on a word boundary fails
// the save, naming the address.
class gcBlockWriter : public gcSegmentHandler {
 public:
  // REQUIRES: iWordBytes is 1, 2 or 4.
  gcBlockWriter(gcImageSave& save, unsigned int iWordBytes, int iAddressDigits,
                unsigned int iAddressUnit = 1);
  bool handleSegment(vmm_int iFirst, std::uint64_t iLength,
                     const char* pData) override;
  // Ends the last line; call after the walk.
  void endLine();
  std::uint64_t bytes() const { return iBytes_; }

 private:
  gcImageSave& save_;
  unsigned int iWordBytes_;
  int iAddressDigits_;
  unsigned int iAddressUnit_;
  std::uint64_t iNext_ = ~std::uint64_t{0};  // where the open block goes on
  unsigned int iOnLine_ = 0;                 // bytes on the open line
  std::uint64_t iBytes_ = 0;
};

#endif  // DWXFILES_GCBLOCKWRITER_H_
