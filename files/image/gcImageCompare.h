// Where two images differ, as ranges of addresses.
#ifndef DWXFILES_GCIMAGECOMPARE_H_
#define DWXFILES_GCIMAGECOMPARE_H_

#include <dwxvmm/dwxvmm.h>

#include <cstdint>
#include <vector>

#include "gcFileResult.h"

// iLength >= 1 consecutive addresses from iFirst that differ in one way:
// written only in A, only in B, or in both with other values.
struct gcDifference {
  enum Kind { kOnlyA, kOnlyB, kValues };
  Kind kind;
  vmm_int iFirst;
  std::uint64_t iLength;
};

// "only_a", "only_b" or "values": how the tool's JSON names a kind.
DWXFILES_EXPORT const char* differenceName(gcDifference::Kind kind);

// Every maximal range of addresses that differ in the same way, in address
// order; empty when both hold the same bytes at the same addresses. Maps
// nothing and gives no page memory. Throws bad_alloc.
DWXFILES_EXPORT std::vector<gcDifference> compareImages(gcVMMBase* pA,
                                                        gcVMMBase* pB);

#endif  // DWXFILES_GCIMAGECOMPARE_H_
