// The test program. It lives in the library, so a host that has no main of
// its own (the vmmtest executable) runs it; a host's own main takes
// precedence over this one.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "../core/gcVMM.h"
#include "../models/gcVMM32BitModels.h"
#include "gcFileSupport.h"
#include "tStopClock.h"

DWXVMM_EXPORT int main() {
  std::cerr << "VMM test v0.8" << std::endl;
  // Neither the VMM nor the file format is deleted: the process ends here.
  gcVMM* pVMM = new gcVMM;
  pVMM->setMemoryModell(new gcVMM32BitFast);
  std::cerr << "Memory usage before map big blocks: " << std::dec
            << pVMM->getUsedPhysicalMemory() << " bytes." << std::endl;
  std::cerr << "Starting timer..." << std::endl;
  tStopClock clock;
  clock.Start();

  FILE* pSource = std::fopen("source.in", "rb");
  if (pSource == nullptr) {
    std::cerr << "Unable to open Source File!" << std::endl;
    std::exit(77);
  }
  std::fclose(pSource);  // only a presence check

  pVMM->setByte(0x3230, 0x41);
  pVMM->setByte(0x4001, 0x41);
  pVMM->setByte(0xFFFF, 0x50);
  pVMM->setByte(0x10001, 0x65);

  gcFileSupport fileSupport;
  gcFileFormat* pFormat = fileSupport.createFileSupport("Binaray file");
  if (pFormat == nullptr) {
    std::cerr << "unknown file support type!" << std::endl;
    std::exit(122);
  }
  pFormat->saveFile("test.bin", pVMM, 0x3230, 0x4001, 10);

  std::cerr << "Time ellapsed: " << std::dec << clock.End() << std::endl;
  std::cerr << "Memory usage after  map big blocks: " << std::dec
            << pVMM->getUsedPhysicalMemory() << " bytes." << std::endl;
  return 0;
}
