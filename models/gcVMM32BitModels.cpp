#include "gcVMM32BitModels.h"

#include "../core/gcVMM.h"
#include "../page/gcVMMPage.h"
#include "../tree/gcVMMPageDir.h"
#include "../tree/gcVMMPageHash.h"
#include "../tree/gcVMMPageTable.h"

namespace {

// The texts are the models' own; the first two are the same on purpose.
const char kStaticTablesText[] =
    "This memory modell uses three a step adress translation procedure. All "
    "pagetables are static tables and so it can require a lot of phyiscal "
    "memory. The page size is 4096 bytes.";

template <class Root, class Second>
void buildChain(gcVMM* pVMM, vmm_int iSecondMask, vmm_int iPageMask) {
  if (pVMM == nullptr) return;
  pVMM->addAddressTranslator(new Root(pVMM, 0xFF000000, 0));
  pVMM->addAddressTranslator(new Second(pVMM, iSecondMask, 0));
  pVMM->addAddressTranslator(new gcVMMPage(pVMM, iPageMask, 0));
}

}  // namespace

gcVMemoryModell::~gcVMemoryModell() = default;

gcVMM32BitCompact::~gcVMM32BitCompact() = default;

void gcVMM32BitCompact::initializeAddressConversion(gcVMM* pVMM) {
  buildChain<gcVMMPageDir, gcVMMPageTable>(pVMM, 0x00FFF000, 0x00000FFF);
}

std::string gcVMM32BitCompact::getShortDescription() {
  return kStaticTablesText;
}

gcVMM32BitFast::~gcVMM32BitFast() = default;

void gcVMM32BitFast::initializeAddressConversion(gcVMM* pVMM) {
  buildChain<gcVMMPageTable, gcVMMPageTable>(pVMM, 0x00FFF000, 0x00000FFF);
}

std::string gcVMM32BitFast::getShortDescription() { return kStaticTablesText; }

gcVMM32BitSmall::~gcVMM32BitSmall() = default;

void gcVMM32BitSmall::initializeAddressConversion(gcVMM* pVMM) {
  buildChain<gcVMMPageDir, gcVMMPageTable>(pVMM, 0x00FF0000, 0x0000FFFF);
}

std::string gcVMM32BitSmall::getShortDescription() {
  return "This memory modell uses two a step adress translation procedure. "
         "There are one dynamic and one static pagetables. The page size is "
         "4kbytes.";
}

gcVMM32BitHashed::~gcVMM32BitHashed() = default;

void gcVMM32BitHashed::initializeAddressConversion(gcVMM* pVMM) {
  if (pVMM == nullptr) return;
  pVMM->addAddressTranslator(new gcVMMPageHash(pVMM, 0xFFFFF000, 0));
  pVMM->addAddressTranslator(new gcVMMPage(pVMM, 0x00000FFF, 0));
}

std::string gcVMM32BitHashed::getShortDescription() {
  return "This memory model finds a page in one step, in a hash table of the "
         "pages in use. The page size is 4096 bytes.";
}
