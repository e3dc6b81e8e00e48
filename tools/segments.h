// Runs of written bytes ("segments"): the data of an image, without holes.
#ifndef DWXVMM_TOOLS_SEGMENTS_H_
#define DWXVMM_TOOLS_SEGMENTS_H_

#include <cstdint>
#include <vector>

#include "../core/vmm_types.h"

class gcVMMBase;

// Receives the runs that forAllSegments finds. Derive and override
// handleSegment.
class DWXVMM_EXPORT gcSegmentHandler {
 public:
  gcSegmentHandler() = default;
  gcSegmentHandler(const gcSegmentHandler&) = delete;
  gcSegmentHandler& operator=(const gcSegmentHandler&) = delete;
  virtual ~gcSegmentHandler();

  // iLength >= 1 written bytes from iFirst (iFirst + iLength <= 2^32). pData
  // is valid only during the call and belongs to the VMM or the walk.
  // False stops the walk.
  virtual bool handleSegment(vmm_int iFirst, std::uint64_t iLength,
                             const char* pData) = 0;
};

// Hands pHandler every run of written bytes of pVMM from iFirst to iLast
// (inclusive), in ascending address order, whatever order the model keeps
// its pages in. A run ends only before an unwritten byte, after iLast, or
// before an address that is a multiple of iCut (0: never): a run over
// several pages comes as one, gathered in a buffer of at most iCut bytes
// (with iCut 0, as long as the run). Reads the bitmaps a word at a time and
// only of pages that have memory: maps nothing and gives no page memory.
// True after a complete walk (also for a null VMM or one without a model),
// false when the handler stopped it. Throws bad_alloc.
// REQUIRES: iCut is 0 or a power of two.
DWXVMM_EXPORT bool forAllSegments(gcVMMBase* pVMM, gcSegmentHandler* pHandler,
                                  std::uint64_t iFirst = 0,
                                  std::uint64_t iLast = 0xFFFFFFFF,
                                  vmm_int iCut = 0);

// The lowest and highest written address from iFirst to iLast. False, with
// *pLow and *pHigh unchanged, when no byte there was written. Like
// forAllSegments, maps nothing.
DWXVMM_EXPORT bool findWrittenBounds(gcVMMBase* pVMM, std::uint64_t iFirst,
                                     std::uint64_t iLast, vmm_int* pLow,
                                     vmm_int* pHigh);

// A run of written bytes: iLength >= 1 bytes from iFirst.
struct gcRun {
  vmm_int iFirst;
  std::uint64_t iLength;
};

// Every run of written bytes of pVMM from iFirst to iLast, in ascending
// address order, each whole however many pages it spans. Like
// forAllSegments, maps nothing and gives no page memory. Throws bad_alloc.
DWXVMM_EXPORT std::vector<gcRun> collectRuns(gcVMMBase* pVMM,
                                             std::uint64_t iFirst = 0,
                                             std::uint64_t iLast = 0xFFFFFFFF);

#endif  // DWXVMM_TOOLS_SEGMENTS_H_
