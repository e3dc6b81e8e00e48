#include "loader.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "../core/gcVMM.h"
#include "../core/messages.h"

void loadBinaryToVMM(gcVMM* pVMM, char* pName, vmm_int iStart, vmm_int iChunk) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(
      pName == nullptr ? nullptr : std::fopen(pName, "rb"), &std::fclose);
  if (!file) {
    dwxvmm_detail::reportLine("Unable to open Source File!");
    std::exit(77);
  }
  std::unique_ptr<char[]> buffer(new char[iChunk]);
  vmm_int iOffset = 0;
  for (;;) {
    const std::size_t n = std::fread(buffer.get(), 1, iChunk, file.get());
    if (n == 0) break;
    if (pVMM != nullptr)
      pVMM->setBlock(iStart + iOffset, buffer.get(), static_cast<vmm_int>(n));
    iOffset += static_cast<vmm_int>(n);
  }
}
