// The binary record formats that srecord's tools also read and write:
// AOMF, MsBin, Formatted binary, DEC binary, IDT, PPB, Stewie, TRS-80 and
// Wilson.
#ifndef DWXFILES_GCBINARYRECORDFILE_H_
#define DWXFILES_GCBINARYRECORDFILE_H_

#include <string>

#include "gcFileFormat.h"

// One of the formats above, by its description. A load fails, naming the
// byte offset of the broken record (for a file cut short: its end), for a
// bad field, a wrong count or checksum (unless checksums are ignored), data
// past the address field or after the end record; a file without its end
// record loads with a warning (an error if strict). A save fails, leaving
// no file, for a written byte past the address field or a start address
// wider than the start field (unless the start is not written), naming
// the first that does not fit; a format without a start field carries none.
// Addresses and start count the options' address unit (each record from a
// unit; the field's reach in units); Formatted binary, without addresses,
// refuses a unit but 1.
class DWXFILES_EXPORT gcBinaryRecordFile : public gcFileFormat {
 public:
  struct Description;
  // The format of a type name ("AOMF", "MsBin", "Formatted binary", "DEC
  // binary", "IDT", "PPB", "Stewie", "TRS-80", "Wilson"); null for another.
  static gcFileFormat* create(const std::string& sTypeName);

  const char* getTypeName() override;
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override;
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override;

 protected:
  explicit gcBinaryRecordFile(const Description& description);
  const Description& description_;
};

#endif  // DWXFILES_GCBINARYRECORDFILE_H_
