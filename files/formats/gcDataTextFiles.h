// Internal: text formats of data without records of their own: each made
// by its function, found by its type name through gcFileSupport. Loads are
// as strict as the record formats' (whole or nothing; errors name the
// line); saves fail, naming the address, for data or a start address past
// the format's field. Addresses and start count the options' address
// unit (the bytes after an address at address x unit on); SPASM, whose
// addresses count its own words, and Logisim, without any, refuse a unit.
#ifndef DWXFILES_GCDATATEXTFILES_H_
#define DWXFILES_GCDATATEXTFILES_H_

#include "gcFileFormat.h"

// "ASCII-Hex": STX (0x02), "$Annnn," addresses, bytes as two hex digits
// each followed by one execution character (blank, '%', '\'' or ','; the
// same throughout), ETX (0x03); after ETX only an optional "$Snnnn," (the
// 16-bit sum of the data) is read. 32-bit addresses; no start address.
gcFileFormat* newAsciiHexFile();
// "Needham": the same without STX, ETX and sum; "$Annnnnnnn," addresses;
// the data ends with the file.
gcFileFormat* newNeedhamFile();

// "FastLoad": data in groups of four base-64 digits (3 bytes); '/'
// commands: A address, B byte, C compare the 16-bit sum of the data since
// the last K, K clear it, Z zero bytes, S symbol (skipped), E entry point
// (the current address) and end. 32-bit addresses.
gcFileFormat* newFastLoadFile();

// "Four Packed Code": "$" and groups of five base-85 digits, each group 4
// bytes of a record: checksum, count, format (0: absolute address, 1: the
// next address), 32-bit address, data; "$%%%%%" ends. No start address.
gcFileFormat* newFpcFile();

// "OS65V": ".AAAA/" then bytes of two hex digits each ended by CR (LF and
// CR LF read as well), ".AAAAG" the start address and end, or ".00FD/00"
// the end without one. 16-bit addresses; a save writes CR, whatever the
// line ends asked for.
gcFileFormat* newOs65vFile();

// "SPASM": lines "AAAA DDDD" of a 16-bit word address and a 16-bit word
// whose digits give the byte at the odd address first, as the format's own
// example has it (little-endian: the even one first). Byte addresses up to
// 0x1FFFF; runs saved must fill whole words.
gcFileFormat* newSpasmFile(bool bLittleEndian);

// "MIPS flash": "!R", erase lines for each 128 KiB segment, "@ADDR", words
// of 8 hex digits most significant byte first (little-endian: the bytes of
// each word reversed), ">" comments of 8 characters. Runs saved must fill
// whole 32-bit words.
gcFileFormat* newMipsFlashFile(bool bLittleEndian);

// "Logisim": "v2.0 raw", then bytes in hex from the load address (runs of
// four or more as "N*HH"), '#' comments. A save writes from the lowest to
// the highest byte, holes as the fill byte.
gcFileFormat* newLogisimFile();

#endif  // DWXFILES_GCDATATEXTFILES_H_
