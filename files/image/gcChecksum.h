// Internal: the checksum algorithms of checksumImage.
#ifndef DWXFILES_GCCHECKSUM_H_
#define DWXFILES_GCCHECKSUM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gcCrc.h"

struct gcry_md_handle;

// One algorithm by its name: what it computes, its width in bytes and the
// byte order it is stored in. The kinds from kLength on read no data: they
// describe where the written bytes of the range lie.
struct gcChecksumAlgorithm {
  enum Kind {
    kCrc32,
    kStm32,
    kCrc,
    kSum,
    kNegSum,
    kNotSum,
    kAdler16,
    kAdler32,
    kFletcher16,
    kFletcher32,
    kDigest,
    kLength,
    kLowest,
    kEnd
  };
  std::string sName;
  Kind kind;
  unsigned int iWidth;
  bool bBigEndian;
  gcCrcParameters crc;  // kCrc and kStm32
  int iDigest = 0;      // kDigest: libgcrypt's algorithm number
};

// Our own names (not the catalogue's), in the order of checksumNames().
const std::vector<gcChecksumAlgorithm>& checksumAlgorithms();
// Finds an algorithm by one of our names, by a catalogue name or alias with
// "-le" or "-be" (optional for one byte), or by "crc(width=W,poly=P,...)"
// with the suffix; names in any case. False with *pWhy set for an unknown
// name or bad parameters, or for a digest when libgcrypt cannot be loaded.
bool findChecksum(const std::string& sName, gcChecksumAlgorithm* pAlgorithm,
                  std::string* pWhy);
// Every name with its parameters and check value, a line each, and where a
// name of ours looks like a catalogue alias for another algorithm.
std::string describeChecksums();

// A checksum being computed: bytes in address order, then value() or
// bytes(). Throws bad_alloc (also where libgcrypt has no memory).
// REQUIRES (stm32): a multiple of 4 bytes in all.
// REQUIRES: a kind that reads data (below kLength).
class gcChecksumState {
 public:
  explicit gcChecksumState(const gcChecksumAlgorithm& algorithm);
  ~gcChecksumState();
  gcChecksumState(const gcChecksumState&) = delete;
  gcChecksumState& operator=(const gcChecksumState&) = delete;
  void add(const unsigned char* pData, std::size_t n);
  // The value, within the algorithm's width (a digest: 0).
  std::uint64_t value() const;
  // The iWidth bytes to write: the value in the algorithm's byte order, or
  // the digest as libgcrypt gives it.
  std::vector<unsigned char> bytes() const;

 protected:
  void addWords(const unsigned char* pData, std::size_t n);
  void addSums(const unsigned char* pData, std::size_t n);
  const gcChecksumAlgorithm& algorithm;
  std::unique_ptr<gcCrcEngine> engine;
  gcry_md_handle* digest;
  std::uint32_t iCrc;
  std::uint64_t iSum;
  std::uint64_t iSum2;       // Adler and Fletcher: the second sum
  bool bNonZero;             // Fletcher: a sum that is not all zeros
  unsigned char partial[4];  // stm32: the bytes of a word not yet complete
  unsigned int iPartial;
};

// "0x" and hex digits (either case) or decimal digits: kNumber with
// *pValue set, kNotNumber, or kTooBig beyond 64 bits.
enum gcNumberParse { kNumber, kNotNumber, kTooBig };
gcNumberParse parseUnsigned(const std::string& sText, std::uint64_t* pValue);

// The low iWidth bytes of iValue at pOut, in the byte order asked for.
void storeValue(std::uint64_t iValue, unsigned int iWidth, bool bBigEndian,
                unsigned char* pOut);

#endif  // DWXFILES_GCCHECKSUM_H_
