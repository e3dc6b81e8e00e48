// A page handler that counts the pages it is shown.
#ifndef DWXVMM_TOOLS_GCPAGECOUNTHANDLER_H_
#define DWXVMM_TOOLS_GCPAGECOUNTHANDLER_H_

#include <cstdint>

#include "../core/gcVMMPageHandler.h"

// Writes "gcPageCountHandler:: N pages are mapped." when destroyed, so a
// handler passed with bDeleteHandler reports once the VMM deletes it.
class DWXVMM_EXPORT gcPageCountHandler : public gcVMMPageHandler {
 public:
  gcPageCountHandler();
  ~gcPageCountHandler() override;
  // False for a null page (not counted), else true.
  bool handlePage(gcVMMPage* pPage) override;

 protected:
  std::uint32_t iPageCount;
};

#endif  // DWXVMM_TOOLS_GCPAGECOUNTHANDLER_H_
