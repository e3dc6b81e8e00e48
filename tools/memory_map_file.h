// Internal: the memory-map report written to a path of the caller's choice,
// for the file library's report, which must not change the working folder.
#ifndef DWXVMM_TOOLS_MEMORY_MAP_FILE_H_
#define DWXVMM_TOOLS_MEMORY_MAP_FILE_H_

#include "../core/vmm_types.h"

class gcVMMBase;

namespace dwxvmm_detail {

enum class MapFile { kWritten, kNotOpened, kNotWritten };

// writeMemoryMap's report, to pPath (created 0664 before the umask, or
// truncated), saying nothing: kNotOpened if the file could not be opened,
// kNotWritten if a write or the close failed (the file then holds part of
// the report). REQUIRES: pVMM is not null.
DWXVMM_EXPORT MapFile writeMemoryMapFile(gcVMMBase* pVMM, const char* pPath);

}  // namespace dwxvmm_detail

#endif  // DWXVMM_TOOLS_MEMORY_MAP_FILE_H_
