// Edits of an image held in a VMM, as firmware builds make them: fill,
// crop, exclude, move, byte swap and checksums.
#ifndef DWXFILES_GCIMAGEEDIT_H_
#define DWXFILES_GCIMAGEEDIT_H_

#include <cstdint>
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

// Adds every written byte of pSource to pTarget (which may hold bytes): a
// byte that differs from one written there is an error naming the lowest
// such address, unless bLaterWins. Checked whole before anything is written.
DWXFILES_EXPORT gcFileResult mergeImage(gcVMMBase* pSource, gcVMMBase* pTarget,
                                        bool bLaterWins);
// The byte at A goes to A ^ (iGroup - 1) in pTarget; iGroup is 2, 4 or 8.
// Holes move too, so a partly written group swaps as if whole.
DWXFILES_EXPORT gcFileResult swapImage(gcVMMBase* pSource, unsigned int iGroup,
                                       gcVMMBase* pTarget);

// Computes sAlgorithm over iFirst..iLast and writes it at iAt in the
// algorithm's byte order. Fails, writing nothing, for an unknown name, a
// hole in the range (the message names its address), iAt..iAt+width-1
// overlapping the range or leaving the address space, a range that a
// word-wise algorithm cannot take, or a written byte at iAt..iAt+width-1
// that differs from the checksum's, unless bOverwrite.
DWXFILES_EXPORT gcFileResult
checksumImage(gcVMMBase* pVMM, const std::string& sAlgorithm, std::uint64_t iAt,
              std::uint64_t iFirst, std::uint64_t iLast, bool bOverwrite);

// The algorithm names checksumImage knows, in the order --help lists them.
DWXFILES_EXPORT const std::vector<std::string>& checksumNames();
// The width in bytes of the checksum sAlgorithm writes, or 0 for an unknown
// name.
DWXFILES_EXPORT unsigned int checksumWidth(const std::string& sAlgorithm);

#endif  // DWXFILES_GCIMAGEEDIT_H_
