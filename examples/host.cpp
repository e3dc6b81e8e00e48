// A host: writes a small image into a sparse memory and reads it back.
#include <dwxvmm/dwxvmm.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  gcVMM vmm;  // owns the model and every page
  vmm.setMemoryModell(new gcVMM32BitCompact);

  char image[] = "firmware v1";
  vmm.setBlock(0x08000000, image, sizeof image);
  char back[sizeof image];
  vmm.getBlock(0x08000000, back, sizeof back);

  std::printf("%s read \"%s\" back; %u bytes in use\n",
              argc > 0 ? argv[0] : "host", back, vmm.getUsedPhysicalMemory());
  const bool ok = std::strcmp(image, back) == 0 &&
                  vmm.isByteMapped(0x08000000) &&
                  !vmm.isByteMapped(0x08000000 + sizeof image);
  return ok ? 0 : 1;
}
