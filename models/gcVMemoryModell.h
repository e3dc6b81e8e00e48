// The memory model interface: a builder of the translator chain.
#ifndef DWXVMM_MODELS_GCVMEMORYMODELL_H_
#define DWXVMM_MODELS_GCVMEMORYMODELL_H_

#include <string>

#include "../core/vmm_types.h"

class gcVMM;

// Stateless: it keeps no pointer to the VMM or to the nodes it created, so
// it can be deleted at any time without effect on the chain.
class DWXVMM_EXPORT gcVMemoryModell {
 public:
  gcVMemoryModell() = default;
  gcVMemoryModell(const gcVMemoryModell&) = delete;
  gcVMemoryModell& operator=(const gcVMemoryModell&) = delete;

  virtual ~gcVMemoryModell();
  // Creates one node per level at virtual address 0 and appends them, root
  // first, to pVMM. Null creates nothing. Throws bad_alloc; the nodes
  // appended before stay in the chain.
  virtual void initializeAddressConversion(gcVMM* pVMM) = 0;
  // A fixed text for display.
  virtual std::string getShortDescription() = 0;
};

#endif  // DWXVMM_MODELS_GCVMEMORYMODELL_H_
