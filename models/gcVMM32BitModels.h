// The 32-bit memory models. The first three split the address space into
// 256 regions of 16 MiB at the top level; the hashed one goes from the page
// number straight to the page.
#ifndef DWXVMM_MODELS_GCVMM32BITMODELS_H_
#define DWXVMM_MODELS_GCVMM32BITMODELS_H_

#include "gcVMemoryModell.h"

// Directory 0xFF000000, table 0x00FFF000, 4096-byte pages: memory only for
// the regions in use, at the price of a list search per lookup.
class DWXVMM_EXPORT gcVMM32BitCompact : public gcVMemoryModell {
 public:
  ~gcVMM32BitCompact() override;
  void initializeAddressConversion(gcVMM* pVMM) override;
  std::string getShortDescription() override;
};

// Table 0xFF000000, table 0x00FFF000, 4096-byte pages: two array lookups,
// at the price of a 4096-entry table for every region that holds data.
class DWXVMM_EXPORT gcVMM32BitFast : public gcVMemoryModell {
 public:
  ~gcVMM32BitFast() override;
  void initializeAddressConversion(gcVMM* pVMM) override;
  std::string getShortDescription() override;
};

// Directory 0xFF000000, table 0x00FF0000, 65536-byte pages.
class DWXVMM_EXPORT gcVMM32BitSmall : public gcVMemoryModell {
 public:
  ~gcVMM32BitSmall() override;
  void initializeAddressConversion(gcVMM* pVMM) override;
  std::string getShortDescription() override;
};

// Hashed directory 0xFFFFF000, 4096-byte pages: one lookup in a table of
// the pages in use, so that scattered pages cost neither a 32 KiB table per
// region nor a list search. Pages, bitmaps, messages and walks in address
// order as with gcVMM32BitFast; tables are reported as dynamic memory.
class DWXVMM_EXPORT gcVMM32BitHashed : public gcVMemoryModell {
 public:
  ~gcVMM32BitHashed() override;
  void initializeAddressConversion(gcVMM* pVMM) override;
  std::string getShortDescription() override;
};

#endif  // DWXVMM_MODELS_GCVMM32BITMODELS_H_
