// Internal: an image as a memory of words from address 0, for the formats
// that initialise FPGA memories (MIF, COE).
#ifndef DWXFILES_GCWORDSTREAM_H_
#define DWXFILES_GCWORDSTREAM_H_

#include <cstdint>

#include "gcImageOptions.h"
#include "gcImageSave.h"

class gcVMMBase;

// Settles the memory a save writes: words of the options' width from
// address 0 to the one that holds the highest written byte of the range,
// holes as the fill byte (the options', else 0). Fails the save for another
// width, no written byte, or more than 16 M words.
class gcWordStream {
 public:
  gcWordStream(gcImageSave& save, const gcImageOptions& options);
  bool isOk() const { return save_.isOk(); }
  unsigned int bits() const { return iBytes_ * 8; }
  std::uint64_t depth() const { return iDepth_; }
  // Hands word(index, value) every word in order, bytes little-endian;
  // returns the data bytes.
  // REQUIRES: isOk().
  template <class Word>
  std::uint64_t forAllWords(gcVMMBase* pVMM, Word word);

 private:
  struct Sink {
    virtual void word(std::uint64_t iIndex, std::uint32_t iValue) = 0;
  };
  std::uint64_t walk(gcVMMBase* pVMM, Sink& sink);

  gcImageSave& save_;
  unsigned int iBytes_ = 1;
  std::uint8_t iFill_;
  std::uint64_t iDepth_ = 0;
};

template <class Word>
std::uint64_t gcWordStream::forAllWords(gcVMMBase* pVMM, Word word) {
  struct Fn : Sink {
    explicit Fn(Word& w) : w_(w) {}
    void word(std::uint64_t i, std::uint32_t v) override { w_(i, v); }
    Word& w_;
  } sink(word);
  return walk(pVMM, sink);
}

#endif  // DWXFILES_GCWORDSTREAM_H_
