// Internal: CRCs of any width from 1 to 64 bits, by their parameters, and
// the catalogue of named CRC algorithms.
#ifndef DWXFILES_GCCRC_H_
#define DWXFILES_GCCRC_H_

#include <array>
#include <cstddef>
#include <cstdint>

// A CRC as the catalogue states it: the polynomial without its top bit,
// init and xorout in the unreflected register's orientation.
// REQUIRES: 1 <= iBits <= 64; iPoly, iInit, iXorOut within iBits.
struct gcCrcParameters {
  unsigned int iBits;
  std::uint64_t iPoly;
  std::uint64_t iInit;
  bool bRefIn;
  bool bRefOut;
  std::uint64_t iXorOut;
};

// A named CRC: sNames is the catalogue name, then its aliases, split by
// '|'; iCheck is its value over the nine bytes "123456789".
struct gcCrcModel {
  const char* sNames;
  gcCrcParameters parameters;
  std::uint64_t iCheck;
};

// The catalogue, in order of width; *pCount gets its length.
const gcCrcModel* crcCatalogue(std::size_t* pCount);

// The low iBits bits of iValue in reverse order.
std::uint64_t reflectBits(std::uint64_t iValue, unsigned int iBits);

// A CRC being computed, eight bytes a step through tables built for its
// parameters (16 KiB, built by the constructor).
class gcCrcEngine {
 public:
  explicit gcCrcEngine(const gcCrcParameters& parameters);
  void add(const unsigned char* pData, std::size_t n);
  // The value so far, as the catalogue states it (refout and xorout
  // applied); add() may continue after it.
  std::uint64_t value() const;

 protected:
  gcCrcParameters parameters;
  // Reflected CRCs keep the register reflected in the low bits, the others
  // keep it in the high bits, so that one step shifts by a byte either way.
  std::uint64_t iRegister;
  std::array<std::array<std::uint64_t, 256>, 8> tables;
};

#endif  // DWXFILES_GCCRC_H_
