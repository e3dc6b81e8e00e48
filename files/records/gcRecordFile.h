// The text formats that frame data as records of address, count, data and
// check: one reader and one writer, each format a description.
#ifndef DWXFILES_GCRECORDFILE_H_
#define DWXFILES_GCRECORDFILE_H_

#include "gcFileFormat.h"

struct gcRecordFormat;

// Type names "Tektronix", "Tektronix extended", "MOS Technology",
// "Signetics", "Intel HEX-16", "B-Record", "Elektor Monitor (EMON52)",
// "Atmel Generic", "Fairchild", "TI-Tagged", "TI-Tagged-16", "PPX",
// "Cosmac". Reading
// checks every record's digits, length against its count and checks before it
// is used, and fails at the first bad line; blank lines are skipped, and after
// the end record only blank lines may follow. A missing end record is a warning
// (an error when strict), except in the formats whose end record only carries
// the start address. Writing: data records that never cover a hole, then the
// start address and the end record where the format has them (none with data
// only). A save fails, naming the address, for data past the address field, a
// start address wider than its field (unless not written), or, in the
// word-addressed formats, a run that does not fill whole words (whole
// records at a multiple of their size, where every record is full).
// TI-Tagged and TI-Tagged-16 (word addresses) are a stream of tags, a line
// a record: 'K' a program identifier (the header), '0' a file header, '9'
// a 16-bit address, 'B' a data word, '*' a data byte, '7' the checksum (the
// two's complement of the 16-bit sum of the record's characters up to the
// '7'), '8' a checksum that is ignored, 'F' the record's end; ':' alone
// ends the file. Neither carries a start address. PPX: "*" alone, lines of
// a 16-bit address and bytes each after a blank, then "$S" and the 16-bit
// sum of every data byte (also at the end of the last data line). Cosmac:
// "!M", an address of up to 8 digits, bytes (blanks between them or not),
// and at a line's end ',' to go on at the next address on the next line or
// ';' to go on at an address there; a file that ends inside a command
// fails at its last line. Addresses and start count the options' address
// unit, except in the word-addressed formats, which refuse a unit but 1.
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
