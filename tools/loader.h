// Loads a file into a VMM.
#ifndef DWXVMM_TOOLS_LOADER_H_
#define DWXVMM_TOOLS_LOADER_H_

#include "../core/vmm_types.h"

class gcVMM;

// Copies the file pName byte for byte to consecutive addresses from iStart,
// reading iChunk bytes at a time and writing each chunk with setBlock; the
// address wraps modulo 2^32 between chunks. A chunk size of 0 loads nothing.
// Ends the process with status 77 after "Unable to open Source File!" when
// the file cannot be opened. Throws bad_alloc when no chunk buffer can be
// had; read errors end the load silently, like the end of the file.
DWXVMM_EXPORT void loadBinaryToVMM(gcVMM* pVMM, char* pName, vmm_int iStart,
                                   vmm_int iChunk);

#endif  // DWXVMM_TOOLS_LOADER_H_
