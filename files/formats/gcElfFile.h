// ELF files: the image a firmware build makes first.
#ifndef DWXFILES_GCELFFILE_H_
#define DWXFILES_GCELFFILE_H_

#include "gcFileFormat.h"

// Type name "ELF"; read only (saveImage fails). ELF32 and ELF64, either byte
// order, through libelf. The image is every section that occupies memory
// and has contents in the file (SHF_ALLOC, not NOBITS), at its load
// address: the physical address of the loadable program header that holds
// it plus the section's offset within it, or the section's own address
// where none holds it or every program header's physical address is 0. A
// non-zero entry point is the start address; the info's details name the
// class, byte order and machine. A header table, program header or
// section (loaded or not) whose bytes pass the end of the file, a
// section-name table index out of range, a load address or entry point past
// 0xFFFFFFFF, or sections that give one address different values fail the
// load, naming the header or section, with nothing loaded: a cut file never
// loads as less than it held.
class DWXFILES_EXPORT gcElfFile : public gcFileFormat {
 public:
  const char* getTypeName() override;
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override;
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override;
};

#endif  // DWXFILES_GCELFFILE_H_
