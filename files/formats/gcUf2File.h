// UF2 files, as boards that mount as a drive take them.
#ifndef DWXFILES_GCUF2FILE_H_
#define DWXFILES_GCUF2FILE_H_

#include <cstdint>
#include <string>

#include "gcFileFormat.h"

// Type name "UF2": 512-byte blocks, little-endian. A save writes one block
// for every 256-byte-aligned group of 256 addresses that holds a written
// byte, in address order, payload 256, the group's holes as the fill byte,
// and the options' family, if any (flag 0x2000). A load takes payloads of up
// to 476 bytes, skips blocks "not main flash" (flag 0x1) and counts them in
// the details, which also name the families found. A load fails, naming the
// block (0-based, in file order), for a bad magic, a payload over 476, a file
// container, a length not a multiple of 512, or block numbers that are not
// 0..N-1 with one N for each family. From a file of several families it
// loads only the options' family, and fails, listing them, without one.
class DWXFILES_EXPORT gcUf2File : public gcFileFormat {
 public:
  const char* getTypeName() override;
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override;
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override;

  // The family ID of a short name of the UF2 family list, in any case, or
  // of a number ("0x" hex or decimal); false for neither.
  static bool familyId(const std::string& sName, std::uint32_t* pId);
  // The short name of a family ID, or null for one not in the list.
  static const char* familyName(std::uint32_t iId);
  // "RP2040 (0xE48BFF56)", or "0x12345678" for an ID not in the list.
  static std::string describeFamily(std::uint32_t iId);
};

#endif  // DWXFILES_GCUF2FILE_H_
