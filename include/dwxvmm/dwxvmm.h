// libdwxvmm: a sparse, paged, byte-addressable memory over 32-bit addresses.
// Hosts include this header and link -ldwxvmm.
#ifndef DWXVMM_DWXVMM_H_
#define DWXVMM_DWXVMM_H_

#include "core/gcVMM.h"
#include "core/gcVMMBase.h"
#include "core/gcVMMPageHandler.h"
#include "core/vmm_types.h"
#include "models/gcVMM32BitModels.h"
#include "models/gcVMemoryModell.h"
#include "page/gcVMMPage.h"
#include "tools/gcPageCountHandler.h"
#include "tools/loader.h"
#include "tools/memory_map.h"
#include "tools/segments.h"
#include "tools/tStopClock.h"
#include "tree/gcVMMPageBase.h"
#include "tree/gcVMMPageDir.h"
#include "tree/gcVMMPageHash.h"
#include "tree/gcVMMPageTable.h"

#endif  // DWXVMM_DWXVMM_H_
