// The visitor that gcVMMBase::forAllMappedPages hands every page to.
#ifndef DWXVMM_CORE_GCVMMPAGEHANDLER_H_
#define DWXVMM_CORE_GCVMMPAGEHANDLER_H_

#include "vmm_types.h"

class gcVMMPage;

// Derive and override handlePage. The pages stay owned by the VMM's tree.
class DWXVMM_EXPORT gcVMMPageHandler {
 public:
  gcVMMPageHandler() = default;
  gcVMMPageHandler(const gcVMMPageHandler&) = delete;
  gcVMMPageHandler& operator=(const gcVMMPageHandler&) = delete;

  virtual ~gcVMMPageHandler();
  // Called once per existing page, written or not; false stops the walk.
  virtual bool handlePage(gcVMMPage* pPage);
  // Called once after a walk that ran to its end.
  virtual void finish();
};

#endif  // DWXVMM_CORE_GCVMMPAGEHANDLER_H_
