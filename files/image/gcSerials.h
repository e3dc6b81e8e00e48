// Serial numbers for a batch of images, one a device: the value each
// image gets, as the --set edit writes it.
#ifndef DWXFILES_GCSERIALS_H_
#define DWXFILES_GCSERIALS_H_

#include <cstdint>
#include <string>

#include "gcFileResult.h"

// A serial's type: u8, u16le, u16be, u32le, u32be, u64le or u64be (as
// setImage's integers), text:WIDTH (decimal digits zero-padded to WIDTH, 1
// to 64) or bcd:BYTES (two decimal digits a byte, the most significant
// pair first, 1 to 32 bytes). Fails, naming it, for anything else.
DWXFILES_EXPORT gcFileResult checkSerialType(const std::string& sType);
// The setImage value that writes iSerial as sType ("u32le:1234",
// "text:000123", "bytes:001234"). Fails naming iSerial where it does not
// fit the type.
DWXFILES_EXPORT gcFileResult serialValue(const std::string& sType,
                                         std::uint64_t iSerial,
                                         std::string* pValue);
// Success when every serial iFirst + i x iStep (i < iCount) fits sType;
// else the failure naming the first that does not (also one past 2^64 - 1).
// Fails for iCount or iStep 0.
DWXFILES_EXPORT gcFileResult checkSerials(const std::string& sType,
                                          std::uint64_t iFirst,
                                          std::uint64_t iCount,
                                          std::uint64_t iStep);

#endif  // DWXFILES_GCSERIALS_H_
