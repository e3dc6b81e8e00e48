// Edits of an image held in a VMM, as firmware builds make them: fill,
// crop, exclude, move, byte swap, checksums, stamps, alignment, bit
// operations, patterns, banks.
#ifndef DWXFILES_GCIMAGEEDIT_H_
#define DWXFILES_GCIMAGEEDIT_H_

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "gcFileResult.h"
#include "gcImageOptions.h"

class gcVMMBase;

// Errors are gcFileResult values without a file or line: getMessage() is
// the reason. On any failure the VMMs and *pInfo are as they were (a target
// still empty). Only bad_alloc throws; if it does, part of an edit may be
// done. Every edit walks the written runs and writes blocks: none reads or
// writes the 4 GiB address space byte by byte. A source must not be its
// target.

// An inclusive address range; iLast <= 0xFFFFFFFF, iFirst <= iLast.
struct gcAddressRange {
  std::uint64_t iFirst;
  std::uint64_t iLast;
};

// Every hole from iFirst to iLast becomes iByte; written bytes stay. Fails
// for a VMM without a model or a bad range.
DWXFILES_EXPORT gcFileResult fillImage(gcVMMBase* pVMM, std::uint8_t iByte,
                                       std::uint64_t iFirst,
                                       std::uint64_t iLast);

// Write into pTarget (a VMM with a model and nothing written) the written
// bytes of pSource that lie in some range (crop) / in no range (exclude).
// The ranges may overlap and come in any order; an empty list keeps nothing
// (crop) or everything (exclude).
DWXFILES_EXPORT gcFileResult
cropImage(gcVMMBase* pSource, const std::vector<gcAddressRange>& ranges,
          gcVMMBase* pTarget);
DWXFILES_EXPORT gcFileResult
excludeImage(gcVMMBase* pSource, const std::vector<gcAddressRange>& ranges,
             gcVMMBase* pTarget);

// Every written byte at A goes to A + iDelta in pTarget; pInfo's start
// address (if any, may be null) moves with them: a segmented one keeps its
// form where the delta is a multiple of 16 and CS stays within 16 bits, else
// becomes linear. An error, with nothing changed, if any byte (or the start)
// would leave 0..0xFFFFFFFF.
DWXFILES_EXPORT gcFileResult moveImage(gcVMMBase* pSource, std::int64_t iDelta,
                                       gcVMMBase* pTarget, gcImageInfo* pInfo);

// What a merge does with a byte of the source over a written byte of the
// target of another value: fails, writes the source's, or keeps the target's.
enum gcOverlap { kOverlapError, kOverlapReplace, kOverlapIgnore };

// Adds every written byte of pSource to pTarget (which may hold bytes); a
// clash under kOverlapError is an error naming the lowest such address,
// checked whole before anything is written.
DWXFILES_EXPORT gcFileResult mergeImage(gcVMMBase* pSource, gcVMMBase* pTarget,
                                        gcOverlap eOverlap);
// The byte at A goes to A ^ (iGroup - 1) in pTarget; iGroup is 2, 4 or 8.
// Holes move too, so a partly written group swaps as if whole.
DWXFILES_EXPORT gcFileResult swapImage(gcVMMBase* pSource, unsigned int iGroup,
                                       gcVMMBase* pTarget);

// Computes sAlgorithm over iFirst..iLast and writes it at iAt in the
// algorithm's byte order. sAlgorithm is one of checksumNames() in any case,
// a catalogue CRC's name or alias with -le or -be (see checksumList()), or
// "crc(width=W,poly=P,init=I,refin=B,refout=B,xorout=X)-le" (or -be).
// lengthN-le/-be write iLast - iFirst + 1 instead, lowestN the lowest
// written address in the range and endN the highest plus one; these three
// may sit inside the range. Digests (md5 ... whirlpool) are written as
// libgcrypt gives their bytes. Fails, writing nothing, for an unknown name,
// a hole in the range (the message names its address; a length, lowest and
// end allow holes, the last two not a range without data), iAt..iAt+width-1
// overlapping the range or leaving the address space, a range that a
// word-wise algorithm cannot take, a length that does not fit, or a written
// byte at iAt..iAt+width-1 that differs from the checksum's, unless
// bOverwrite.
DWXFILES_EXPORT gcFileResult
checksumImage(gcVMMBase* pVMM, const std::string& sAlgorithm, std::uint64_t iAt,
              std::uint64_t iFirst, std::uint64_t iLast, bool bOverwrite);
// The bytes checksumImage would write for sAlgorithm over iFirst..iLast, in
// *pBytes; writes nothing into the VMM. Fails as checksumImage does for the
// name, the range, a hole or a value that does not fit.
DWXFILES_EXPORT gcFileResult checksumValue(gcVMMBase* pVMM,
                                           const std::string& sAlgorithm,
                                           std::uint64_t iFirst,
                                           std::uint64_t iLast,
                                           std::vector<unsigned char>* pBytes);

// What verifyChecksum found: the bytes stored at the address, the bytes
// checksumImage would write there, and the range they were computed over.
struct gcChecksumCheck {
  bool bOk = false;
  std::vector<unsigned char> stored, computed;
  std::uint64_t iFirst = 0, iLast = 0;
};
// Computes sAlgorithm over iFirst..iLast as checksumImage would write it at
// iAt and compares it with the bytes at iAt. Without bRange, the range is
// the lowest to the highest written byte, less the stored value's own bytes
// where they lie at either end (where checksumImage put them). Fails, as
// checksumImage does, for the name or the range, and for a hole in the
// stored value (naming its address); a stored value that differs is
// success with bOk false.
DWXFILES_EXPORT gcFileResult verifyChecksum(gcVMMBase* pVMM,
                                            const std::string& sAlgorithm,
                                            std::uint64_t iAt, bool bRange,
                                            std::uint64_t iFirst,
                                            std::uint64_t iLast,
                                            gcChecksumCheck* pCheck);

// Our own algorithm names and each catalogue CRC's name with -le and -be,
// in the order checksumList() gives them.
DWXFILES_EXPORT const std::vector<std::string>& checksumNames();
// The width in bytes of the checksum sAlgorithm writes, or 0 for an unknown
// name or bad parameters.
DWXFILES_EXPORT unsigned int checksumWidth(const std::string& sAlgorithm);
// Success when checksumImage knows sAlgorithm, else the reason.
DWXFILES_EXPORT gcFileResult checkChecksumName(const std::string& sAlgorithm);
// For people, a line each: every name with its parameters and check value,
// and where a name of ours looks like a catalogue alias of another CRC.
DWXFILES_EXPORT std::string checksumList();

// The bytes of "TYPE:VALUE": u8, u16le, u16be, u32le, u32be, u64le, u64be
// and a number (0x hex or decimal) that fits; bytes:HEX (an even number of
// digits); text:STRING (its bytes, as given: UTF-8 from a UTF-8 caller);
// textz:STRING (and a NUL). Fails for anything else or no bytes at all.
DWXFILES_EXPORT gcFileResult parseValue(const std::string& sValue,
                                        std::vector<unsigned char>* pBytes);
// Writes parseValue(sValue)'s bytes at iAt. Fails, writing nothing, for a
// bad value, bytes past 0xFFFFFFFF, or a written byte there of another
// value unless bOverwrite.
DWXFILES_EXPORT gcFileResult setImage(gcVMMBase* pVMM,
                                      const std::string& sValue,
                                      std::uint64_t iAt, bool bOverwrite);
// Grows every run of written bytes down and up to multiples of iAlign (a
// power of two, 2 to 1 MiB), the new bytes iFill; fails for another
// alignment. Runs that meet become one.
DWXFILES_EXPORT gcFileResult alignImage(gcVMMBase* pVMM, std::uint32_t iAlign,
                                        std::uint8_t iFill);

// Each written byte from iFirst to iLast becomes byte AND, OR, XOR iValue,
// its complement (kNot), or its bits in reverse order (kBitReverse; both
// ignore iValue). Holes stay holes. Fails for a bad range.
enum gcTransform { kAnd, kOr, kXor, kNot, kBitReverse };
DWXFILES_EXPORT gcFileResult transformImage(gcVMMBase* pVMM, gcTransform eOp,
                                            std::uint8_t iValue,
                                            std::uint64_t iFirst,
                                            std::uint64_t iLast);

// A stream of bytes for random fills (std::mt19937_64, each word's bytes
// from the lowest): a seeded one gives the same bytes on every run and
// platform, however they are asked for; the unseeded one draws its seed
// from the system.
class DWXFILES_EXPORT gcRandomBytes {
 public:
  gcRandomBytes();
  explicit gcRandomBytes(std::uint64_t iSeed);
  void fill(unsigned char* pOut, std::size_t n);

 protected:
  std::mt19937_64 engine;
  std::uint64_t iWord = 0;  // what the last draw left, from its low byte
  unsigned int iLeft = 0;
};
// Every hole from iFirst to iLast gets the next bytes of *pSource (in
// address order) / the byte (A - iFirst) mod the pattern's length of
// pattern at A; written bytes stay. Fail for a bad range or an empty
// pattern.
DWXFILES_EXPORT gcFileResult randomFillImage(gcVMMBase* pVMM,
                                             gcRandomBytes* pSource,
                                             std::uint64_t iFirst,
                                             std::uint64_t iLast);
DWXFILES_EXPORT gcFileResult
patternFillImage(gcVMMBase* pVMM, const std::vector<unsigned char>& pattern,
                 std::uint64_t iFirst, std::uint64_t iLast);
// Writes into pTarget (a VMM with a model and nothing written) every
// written byte of pSource but those in runs of at least iMinRun (>= 1)
// consecutive written bytes equal to iByte.
DWXFILES_EXPORT gcFileResult unfillImage(gcVMMBase* pSource, std::uint8_t iByte,
                                         std::uint64_t iMinRun,
                                         gcVMMBase* pTarget);

// Banks of a wide bus. Split keeps the iWidth bytes at iOffset of every
// iMultiple: A goes to (A / iMultiple) * iWidth + (A % iMultiple -
// iOffset). Unsplit spreads a lane back: A goes to (A / iWidth) * iMultiple
// + iOffset + (A % iWidth); an address past 0xFFFFFFFF fails, naming it.
// Both write into an empty pTarget; pInfo's start address (if any; may be
// null) is dropped with a warning in the result. Fail for iMultiple < 2,
// iWidth < 1, iWidth >= iMultiple or iOffset + iWidth > iMultiple.
DWXFILES_EXPORT gcFileResult splitImage(gcVMMBase* pSource,
                                        std::uint32_t iMultiple,
                                        std::uint32_t iOffset,
                                        std::uint32_t iWidth,
                                        gcVMMBase* pTarget, gcImageInfo* pInfo);
DWXFILES_EXPORT gcFileResult
unsplitImage(gcVMMBase* pSource, std::uint32_t iMultiple, std::uint32_t iOffset,
             std::uint32_t iWidth, gcVMMBase* pTarget, gcImageInfo* pInfo);

#endif  // DWXFILES_GCIMAGEEDIT_H_
