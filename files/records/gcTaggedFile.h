// Texas Instruments' tagged object format (SDSMAC): a stream of tagged
// fields rather than records of fixed shape.
#ifndef DWXFILES_GCTAGGEDFILE_H_
#define DWXFILES_GCTAGGEDFILE_H_

#include "gcFileFormat.h"

// Type names "TI-Tagged" (byte addresses) and "TI-Tagged-16" (word
// addresses, whole 16-bit words only). A line is a record of tags: 'K' a
// program identifier, '0' a file header, '9' an address (16 bits), 'B' a
// data word, '*' a data byte, '7' the record's checksum (the two's
// complement of the 16-bit sum of its characters up to the '7'), '8' a
// checksum that is ignored, 'F' the record's end; ':' alone ends the file.
// Reading checks every tag and checksum and fails at the first bad line,
// changing nothing; after ':' only blank lines may follow; a missing ':' is
// a warning (an error when strict). Writing: the image's header as 'K' (not
// with data only), a record a line (an address, the data as words, an odd
// last byte as '*', the checksum), then ':'. A save fails for data past the
// address field, naming the address, and in TI-Tagged-16 for a run that
// does not fill whole words. Neither carries a start address.
class DWXFILES_EXPORT gcTaggedFile : public gcFileFormat {
 public:
  // REQUIRES: isTaggedFormat(pTypeName).
  explicit gcTaggedFile(const char* pTypeName);
  static bool isTaggedFormat(const char* pTypeName);

  const char* getTypeName() override;
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override;
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override;

 private:
  unsigned int iUnit_;  // bytes an address steps
};

#endif  // DWXFILES_GCTAGGEDFILE_H_
