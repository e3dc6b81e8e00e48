// The VMM a host creates: a gcVMMBase whose chain a memory model builds.
#ifndef DWXVMM_CORE_GCVMM_H_
#define DWXVMM_CORE_GCVMM_H_

#include "gcVMMBase.h"

class gcVMemoryModell;

// Owns the model it was given. The model only builds the chain; deleting it
// leaves the chain and every byte in place.
class DWXVMM_EXPORT gcVMM : public gcVMMBase {
 public:
  gcVMM();
  // Deletes the model first, then the tree.
  ~gcVMM() override;

  // Takes ownership of pModell (made with new): stopVMM() releases the model
  // held so far, then pModell builds the chain and reloadVMM() runs. Null
  // builds nothing. A VMM keeps the chain it has: on a VMM that already
  // holds translators the new model is released unused and nothing changes,
  // so every byte stays readable and getPageSize() stays that of the chain
  // in use. Throws bad_alloc from the chain's construction; the part of the
  // chain built so far and pModell are then released, which leaves the VMM
  // as a new one, so that the call can be repeated.
  virtual void setMemoryModell(gcVMemoryModell* pModell);
  // Hook before a new model is stored: releases the current model.
  virtual void stopVMM();
  // Hook after a new model has built its chain: does nothing.
  virtual void reloadVMM();
  // Deletes the model; the chain stays.
  virtual void unsetMemoryModell();

 protected:
  gcVMemoryModell* pMemoryModell;  // owned
};

#endif  // DWXVMM_CORE_GCVMM_H_
