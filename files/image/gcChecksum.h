// Internal: the checksum algorithms of checksumImage.
#ifndef DWXFILES_GCCHECKSUM_H_
#define DWXFILES_GCCHECKSUM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One algorithm by its name: what it computes, its width in bytes and the
// byte order it is stored in.
struct gcChecksumAlgorithm {
  enum Kind { kCrc32, kStm32, kCrc16, kSum, kNegSum, kNotSum };
  std::string sName;
  Kind kind;
  unsigned int iWidth;
  std::uint16_t iInit;  // CRC-16 only
  bool bBigEndian;
};

// Every algorithm, in the order of checksumNames().
const std::vector<gcChecksumAlgorithm>& checksumAlgorithms();
// Null for an unknown name.
const gcChecksumAlgorithm* findChecksum(const std::string& sName);

// A checksum being computed: bytes in address order, then value().
// REQUIRES (stm32): a multiple of 4 bytes in all.
class gcChecksumState {
 public:
  explicit gcChecksumState(const gcChecksumAlgorithm& algorithm);
  void add(const unsigned char* pData, std::size_t n);
  // The value, within the algorithm's width.
  std::uint32_t value() const;
  // The value's iWidth bytes in the algorithm's byte order.
  void store(unsigned char* pOut) const;

 protected:
  const gcChecksumAlgorithm& algorithm;
  std::uint32_t iCrc;
  std::uint64_t iSum;
  unsigned char partial[4];  // stm32: the bytes of a word not yet complete
  unsigned int iPartial;
};

#endif  // DWXFILES_GCCHECKSUM_H_
