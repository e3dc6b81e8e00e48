// What a caller asks of a load or a save, and what an image carries beside
// its data.
#ifndef DWXFILES_GCIMAGEOPTIONS_H_
#define DWXFILES_GCIMAGEOPTIONS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "gcFileResult.h"

// Settings with defaults; each setter returns the object, so that they
// chain. A setting that a format has no use for is ignored by it.
class DWXFILES_EXPORT gcImageOptions {
 public:
  gcImageOptions();

  // Loading. Where a binary file's first byte goes (default 0).
  gcImageOptions& setLoadAddress(std::uint32_t iAddr);
  std::uint32_t getLoadAddress() const;
  // Whether a byte loaded over a written byte of another value replaces it
  // (default false: the load fails). Equal values are never an error.
  gcImageOptions& setLaterWins(bool bLaterWins);
  bool getLaterWins() const;
  // Whether a record whose checksum is wrong loads all the same (Intel HEX,
  // S-record, the record formats of gcRecordFile; default false: the load
  // fails). Each such record is a
  // warning naming its line, the first ten and then their count.
  gcImageOptions& setIgnoreChecksums(bool bIgnore);
  bool getIgnoreChecksums() const;
  // Whether a warning (a missing end record) fails the load instead, at the
  // file's last line (default false).
  gcImageOptions& setStrict(bool bStrict);
  bool getStrict() const;
  // The most memory in bytes a load may take: its staging and the VMM's
  // usage together, a staged 4 KiB page with its bitmap counted as the VMM
  // counts one (4608 bytes). 0, the default, is no limit. A load that would
  // pass it fails at that record and changes nothing.
  gcImageOptions& setMaxMemory(std::uint64_t iBytes);
  std::uint64_t getMaxMemory() const;
  // The file's bytes are the iSize bytes at pData, not the named file's,
  // which then only names them in messages (default: the file is read).
  // The load reads them in place: they must outlive it and not change.
  gcImageOptions& setSource(const char* pData, std::uint64_t iSize);
  const char* getSourceData() const;  // null: none
  std::uint64_t getSourceSize() const;
  // The source is only the first bytes of a longer file, as detection
  // reads them (default false): where their end cuts a binary record after
  // the first, the load ends there, as at a file's end without its end
  // record, instead of failing.
  gcImageOptions& setSourceHead(bool bHead);
  bool getSourceHead() const;

  // Saving. The inclusive range to save (default: from the lowest to the
  // highest written byte). A save fails for iFirst > iLast or an iLast
  // beyond 0xFFFFFFFF.
  gcImageOptions& setRange(std::uint64_t iFirst, std::uint64_t iLast);
  bool hasRange() const;
  std::uint64_t getFirst() const;
  std::uint64_t getLast() const;
  // Data bytes per record of the text formats, 1 to 255 (default 32).
  gcImageOptions& setRecordLength(unsigned int iBytes);
  unsigned int getRecordLength() const;
  // S-record address width in bytes: 2 (S1), 3 (S2), 4 (S3), or 0 (default)
  // for the narrowest that holds the highest address and the start address.
  gcImageOptions& setAddressBytes(unsigned int iBytes);
  unsigned int getAddressBytes() const;
  // Intel HEX: kHexAsLoaded (default) writes 04 records and the start
  // address in the form it came in (03 or 05); kHexLinear 04 and 05;
  // kHexSegment 02 and 03, and a save fails for data or a start address
  // at or above 1 MiB.
  enum HexAddressing { kHexAsLoaded, kHexLinear, kHexSegment };
  gcImageOptions& setHexAddressing(HexAddressing eAddressing);
  HexAddressing getHexAddressing() const;
  // Whether the start address is written (default true): false writes no
  // 03 or 05 record, and no S7, S8 or S9 record.
  gcImageOptions& setWriteStart(bool bWrite);
  bool getWriteStart() const;
  // S-record: the S0 header text written instead of the image's (at most
  // 252 bytes), or with bWrite false no S0 record at all. Default: the
  // image's header, none if empty.
  gcImageOptions& setHeader(const std::string& sHeader, bool bWrite = true);
  // Whether setHeader was called; the text and whether to write it.
  bool hasHeader() const;
  const std::string& getHeader() const;
  bool getWriteHeader() const;
  // "\r\n" line ends instead of "\n" (default false).
  gcImageOptions& setCrlf(bool bCrlf);
  bool getCrlf() const;
  // Only data records (default false): no header, start address, record
  // count or end record, in the formats that have them.
  gcImageOptions& setDataOnly(bool bDataOnly);
  bool getDataOnly() const;
  // The byte a binary or UF2 save writes for every hole (default 0xFF);
  // MIF and COE take it only once set (else 0).
  gcImageOptions& setFillByte(std::uint8_t iFill);
  std::uint8_t getFillByte() const;
  bool hasFillByte() const;
  // Verilog memory, MIF and COE: bits a word, 8, 16 or 32 (default 8); other
  // widths make the save or load fail.
  gcImageOptions& setWordBits(unsigned int iBits);
  unsigned int getWordBits() const;
  // C array: the prefix of the names it defines (default empty: from the
  // file name, as gcCArrayFile::nameFor gives it).
  gcImageOptions& setArrayName(const std::string& sName);
  const std::string& getArrayName() const;
  // The output goes to sink, a piece at a time in order, instead of the
  // named file, which then only names it in messages (default empty: the
  // file). A save that fails may have given the sink part of the output.
  typedef std::function<void(const char* pData, std::size_t n)> OutputSink;
  gcImageOptions& setOutput(OutputSink sink);
  const OutputSink& getOutput() const;

  // UF2: the family a save writes (flag 0x2000), and the one family a load
  // takes from a file that holds several (default none; see gcUf2File).
  gcImageOptions& setUf2Family(std::uint32_t iId);
  bool hasUf2Family() const;
  std::uint32_t getUf2Family() const;
  // DfuSe: the alternate setting a save gives its target (default 0), and
  // the one a load takes from a file of several targets (default none).
  gcImageOptions& setDfuAlt(unsigned int iAlt);
  bool hasDfuAlt() const;
  unsigned int getDfuAlt() const;
  // DfuSe saves: the target's name (at most 255 bytes; default "ST...") and
  // the suffix's IDs (default vendor 0x0483, product 0xDF11, device 0xFFFF).
  gcImageOptions& setDfuName(const std::string& sName);
  const std::string& getDfuName() const;
  gcImageOptions& setDfuIds(std::uint16_t iVendor, std::uint16_t iProduct,
                            std::uint16_t iDevice);
  std::uint16_t getDfuVendor() const;
  std::uint16_t getDfuProduct() const;
  std::uint16_t getDfuDevice() const;
  // ELF saves: the machine (e_machine, default 0: none) and the byte order
  // (default little-endian).
  gcImageOptions& setElfMachine(std::uint16_t iMachine);
  std::uint16_t getElfMachine() const;
  gcImageOptions& setElfBigEndian(bool bBig);
  bool getElfBigEndian() const;

  // Loading and saving: the N-byte unit the file's addresses count (1, the
  // default, or 2 or 4): image address = file address x N, the start
  // address too; record lengths stay in bytes. Formats whose addresses
  // count bytes honour it; the others (without addresses, or with words of
  // their own) fail for any N but 1. A save fails for a run that does not
  // begin and end on a unit or a start address that is not a multiple of N.
  gcImageOptions& setAddressUnit(unsigned int iUnit);
  unsigned int getAddressUnit() const;

 protected:
  std::uint32_t iLoadAddress;
  bool bLaterWins;
  bool bRange;
  std::uint64_t iFirst;
  std::uint64_t iLast;
  unsigned int iRecordLength;
  unsigned int iAddressBytes;
  bool bCrlf;
  std::uint8_t iFillByte;
  unsigned int iWordBits;
  std::string sArrayName;
  bool bIgnoreChecksums;
  HexAddressing eHexAddressing;
  bool bWriteStart;
  bool bHeader;
  bool bWriteHeader;
  std::string sHeader;
  bool bStrict;
  std::uint64_t iMaxMemory;
  bool bFillByte;
  bool bUf2Family;
  std::uint32_t iUf2Family;
  bool bDfuAlt;
  unsigned int iDfuAlt;
  std::string sDfuName;
  std::uint16_t iDfuVendor;
  std::uint16_t iDfuProduct;
  std::uint16_t iDfuDevice;
  std::uint16_t iElfMachine;
  bool bElfBigEndian;
  bool bDataOnly;
  unsigned int iAddressUnit;
  const char* pSourceData;
  std::uint64_t iSourceSize;
  OutputSink output;
  bool bSourceHead;
};

// What an image carries beside its data: a start address (Intel HEX 03 or
// 05, S-record S7/S8/S9, ELF entry point, C array NAME_start) and a header
// text (S-record S0). A load fills it in; a save writes what the format can
// hold.
class DWXFILES_EXPORT gcImageInfo {
 public:
  gcImageInfo();

  bool hasStartAddress() const;
  // For a segmented start (Intel HEX 03): CS in the upper, IP in the lower
  // 16 bits; its linear address is CS * 16 + IP.
  std::uint32_t getStartAddress() const;
  bool isSegmentedStart() const;
  std::uint32_t getLinearStartAddress() const;
  void setStartAddress(std::uint32_t iAddr, bool bSegmented = false);
  void clearStartAddress();

  // Any bytes; an S-record header holds at most 252.
  const std::string& getHeader() const;
  void setHeader(const std::string& sHeader);

  // What the file says of itself beside its data, for people: ELF's class,
  // byte order and machine ("ELF32, little-endian, ARM"); empty for the
  // other formats. A save ignores it.
  const std::string& getDetails() const;
  void setDetails(const std::string& sDetails);

 protected:
  bool bStart;
  bool bSegmentedStart;
  std::uint32_t iStartAddress;
  std::string sHeader;
  std::string sDetails;
};

#endif  // DWXFILES_GCIMAGEOPTIONS_H_
