// Dumps of a VMM's content into files in the working directory.
#ifndef DWXVMM_TOOLS_MEMORY_MAP_H_
#define DWXVMM_TOOLS_MEMORY_MAP_H_

#include "../core/vmm_types.h"

class gcVMMBase;

// Writes the text report "vmm.mmap" (mode 0664 before the umask): for every
// run of consecutive existing pages a header "- Address 0x<first> - ", then
// one entry per address, sixteen to a line ("0x<hex> " for a written byte,
// sign-extended, "---- " for one never written), then two line feeds. A run
// that reaches 0xFFFFFFFF ends with that address's entry and the file with
// it. Reading makes the pages of a run physical. A null VMM is ignored; a
// VMM without translators gets an empty file; a file that cannot be opened
// gives "Unable to create file!". Throws bad_alloc, the file closed, when
// the report's buffer cannot be had.
DWXVMM_EXPORT void writeMemoryMap(gcVMMBase* pVMM);

// Writes the raw bytes of [iFirst, iLast] to "dst.mmap" (fopen mode "w+") as
// getBlock delivers them, mapping the pages of the range; copies in chunks,
// so no buffer of the range's size is needed. A range outside the contract
// (iLast < iFirst, or the whole address space, whose length does not fit in
// 32 bits) gives an empty file and leaves the VMM untouched. Failures are
// silent.
DWXVMM_EXPORT void writeVMMToDisc(gcVMMBase* pVMM, vmm_int iFirst,
                                  vmm_int iLast);

#endif  // DWXVMM_TOOLS_MEMORY_MAP_H_
