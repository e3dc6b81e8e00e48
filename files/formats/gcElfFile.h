// ELF files: the image a firmware build makes first.
#ifndef DWXFILES_GCELFFILE_H_
#define DWXFILES_GCELFFILE_H_

#include "gcFileFormat.h"

// Type name "ELF". Reads ELF32 and ELF64, either byte order, through
// libelf. The image is every section that occupies memory
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
//
// A save writes an executable ELF32 (ET_EXEC) of the options' machine and
// byte order: a PT_LOAD segment and a PROGBITS section (".sec1", ".sec2",
// ..., flags AX) a run of written bytes, holes left out, the start
// address as the entry point (0 without one), a section-name table and no
// symbols; ARM gets e_flags EABI version 5, other machines 0. Fails for
// more runs than a section table holds without extended numbering (65277),
// naming the count, and for a file past 4 GiB.
class DWXFILES_EXPORT gcElfFile : public gcFileFormat {
 public:
  const char* getTypeName() override;
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override;
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override;
  // A machine by its name (none, arm, aarch64, riscv, avr, msp430, xtensa,
  // mips, ppc, sparc, x86, x86-64) or its number (0 to 65535): false for
  // anything else.
  static bool machineId(const std::string& sName, std::uint16_t* pId);
  // The machine names, ", " between them.
  static std::string machineWords();
};

#endif  // DWXFILES_GCELFFILE_H_
