// The bytes of an image as text, for people: rows of hex and ASCII.
#ifndef DWXFILES_GCIMAGEDUMP_H_
#define DWXFILES_GCIMAGEDUMP_H_

#include <dwxvmm/dwxvmm.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gcFileResult.h"
#include "gcImageOptions.h"

// Dumps the written bytes of pVMM from iFirst to iLast (inclusive) in rows
// of iWidth addresses, each row starting at a multiple of iWidth:
//   0x00000010: 41 42 -- ... |AB  ...|
// "--" and a blank stand for a hole (and for an address outside the range).
// A row without a written byte is not shown: between two shown rows, the
// rows left out are one line "... 0x00001000 bytes unwritten". A row equal
// to the one just before it (holes included) is one line "*"; when the dump
// ends on such rows, a last line holds the address after them. The text
// grows with the data, not with the span. write() gets it in pieces; false
// from it stops the dump, and then dumpImage returns false. Maps nothing.
// REQUIRES: 1 <= iWidth <= 64, iFirst <= iLast.
DWXFILES_EXPORT bool dumpImage(
    gcVMMBase* pVMM, vmm_int iFirst, vmm_int iLast, unsigned iWidth,
    const std::function<bool(const std::string&)>& write);

// The whole dump as one string.
DWXFILES_EXPORT std::string dumpImage(gcVMMBase* pVMM, vmm_int iFirst,
                                      vmm_int iLast, unsigned iWidth);

// What an image holds, in one line: "6 data bytes in 2 runs,
// 0x00000010-0x00000021, start 0x00000123", or "no data" and the start.
DWXFILES_EXPORT std::string describeImage(const std::vector<gcRun>& runs,
                                          const gcImageInfo& info);

#endif  // DWXFILES_GCIMAGEDUMP_H_
