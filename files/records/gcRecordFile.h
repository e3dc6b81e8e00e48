// The text formats that frame data as records of address, count, data and
// check: one reader and one writer, each format a description.
#ifndef DWXFILES_GCRECORDFILE_H_
#define DWXFILES_GCRECORDFILE_H_

#include "gcFileFormat.h"

struct gcRecordFormat;

// Type names "Tektronix", "Tektronix extended", "MOS Technology",
// "Signetics", "Intel HEX-16", "B-Record", "Elektor Monitor (EMON52)",
// "Atmel Generic". Reading checks every record's digits, length against its
// count and checks before it is used, and fails at the first bad line;
// blank lines are skipped, and after the end record only blank lines may
// follow. A missing end record is a warning (an error when strict), except
// in the formats whose end record only carries the start address.
// Writing: data records that never cover a hole, then the start address
// and the end record where the format has them (none with data only). A
// save fails, naming the address, for data past the address field, a
// start address wider than its field (unless not written), or, in the
// word-addressed formats, a run that does not fill whole words.
class DWXFILES_EXPORT gcRecordFile : public gcFileFormat {
 public:
  // REQUIRES: isRecordFormat(pTypeName).
  explicit gcRecordFile(const char* pTypeName);
  static bool isRecordFormat(const char* pTypeName);

  const char* getTypeName() override;
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override;
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override;

 private:
  const gcRecordFormat& format_;
};

#endif  // DWXFILES_GCRECORDFILE_H_
