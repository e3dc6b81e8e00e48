// Internal: formats that are written, never read: data as source text for
// assemblers, BASIC, FORTH and VHDL, Lattice memory files, and dumps.
#ifndef DWXFILES_GCLISTINGFILE_H_
#define DWXFILES_GCLISTINGFILE_H_

#include "gcFileFormat.h"

// "ASM": DB lines of decimal bytes, ORG at every hole. "BASIC": DATA lines
// from the lowest to the highest byte, holes as the fill byte. "FORTH": a
// "C!" line a byte. "VHDL": a package of one constant, an entry a byte.
// "Lattice MEM": a byte a line from the lowest to the highest, holes as the
// fill byte. "Hex dump": 16 bytes a row with their characters, holes
// blank. Each keeps the layout other tools write, the header as a comment
// where the format has one. A load fails: they carry too little to read.
enum class gcListing { kAsm, kBasic, kForth, kVhdl, kMem, kHexDump };

gcFileFormat* newListingFile(gcListing eKind);

#endif  // DWXFILES_GCLISTINGFILE_H_
