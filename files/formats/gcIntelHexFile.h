// Intel HEX images.
#ifndef DWXFILES_GCINTELHEXFILE_H_
#define DWXFILES_GCINTELHEXFILE_H_

#include "gcFileFormat.h"

// Type name "Intel HEX". Reading takes records 00 to 05 in upper or lower
// case with "\n" or "\r\n" line ends; blank lines are skipped and whatever
// follows the end record (01) is not read. 02 and 04 set the base of the
// data records that follow (02: the offset wraps within its 64 KiB segment;
// 04: linear, wrapping at 4 GiB); 03 (CS:IP) and 05 give the start address.
// Every record's byte count and checksum is checked before it is used.
// Writing: an 04 record before the first data record (so that files can be
// concatenated) and wherever the upper 16 bits change, data records that
// never cross a 64 KiB boundary nor cover a hole, a 03 or 05 record for a
// start address, then the end record.
class DWXFILES_EXPORT gcIntelHexFile : public gcFileFormat {
 public:
  const char* getTypeName() override;
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override;
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override;
};

#endif  // DWXFILES_GCINTELHEXFILE_H_
