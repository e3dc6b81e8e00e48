// Motorola S-record images.
#ifndef DWXFILES_GCSRECORDFILE_H_
#define DWXFILES_GCSRECORDFILE_H_

#include "gcFileFormat.h"

// Type name "Motorola S-record". Reading: S0 (its data kept as the header),
// S1/S2/S3 data, S5/S6 counts (each must equal the data records read so
// far), S7/S8/S9 start address (also 0) and end; upper- or lower-case hex
// digits, "\n" or "\r\n"; blank lines are skipped and whatever follows the
// end record is not read. Writing: S0 when there is a header, data records
// of the narrowest type that holds the highest address and the start
// address (unless options name one), never covering a hole; an S5 or S6
// count (left out beyond 2^24 - 1 records) and the matching S9/S8/S7 with
// the start address, or 0 without one.
class DWXFILES_EXPORT gcSRecordFile : public gcFileFormat {
 public:
  const char* getTypeName() override;
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override;
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override;
};

#endif  // DWXFILES_GCSRECORDFILE_H_
