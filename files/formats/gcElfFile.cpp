#include "gcElfFile.h"

#include <gelf.h>
#include <libelf.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "tools/segments.h"

namespace {

typedef std::uint64_t u64;
constexpr u64 kSpace = u64{1} << 32;

// A section to load: where its contents lie in the file and in memory.
struct Contents {
  std::string name;
  u64 iOffset, iSize, iAddress;
};

struct ElfCloser {
  void operator()(Elf* pElf) const { elf_end(pElf); }
};

std::string hexText(u64 iValue) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX",
                static_cast<unsigned long long>(iValue));
  return text;
}

std::string libelfError() {
  const char* pWhy = elf_errmsg(-1);
  return pWhy != nullptr ? pWhy : "invalid";
}

std::string machineName(unsigned int iMachine) {
  static const struct {
    unsigned int iMachine;
    const char* pName;
  } kMachines[] = {
      {EM_386, "i386"},        {EM_68K, "m68k"},         {EM_MIPS, "MIPS"},
      {EM_PPC, "PowerPC"},     {EM_PPC64, "PowerPC64"},  {EM_ARM, "ARM"},
      {EM_SH, "SuperH"},       {EM_SPARCV9, "SPARC V9"}, {EM_X86_64, "x86-64"},
      {EM_AVR, "AVR"},         {EM_XTENSA, "Xtensa"},    {EM_MSP430, "MSP430"},
      {EM_AARCH64, "AArch64"}, {EM_RISCV, "RISC-V"},     {258, "LoongArch"},
  };
  for (const auto& m : kMachines)
    if (m.iMachine == iMachine) return m.pName;
  return "machine " + std::to_string(iMachine);
}

bool outside(u64 iOffset, u64 iSize, u64 iFileSize) {
  return iOffset > iFileSize || iSize > iFileSize - iOffset;
}

bool hasContentsOutside(const GElf_Shdr& sh, u64 iFileSize) {
  return sh.sh_type != SHT_NOBITS && sh.sh_size != 0 &&
         outside(sh.sh_offset, sh.sh_size, iFileSize);
}

// n entries of iEntry bytes at iOffset ("program" or "section" headers).
bool tableInFile(gcImageLoad& load, const char* pKind, u64 iOffset, u64 n,
                 u64 iEntry, u64 iFileSize) {
  const std::string what = std::string(pKind) + " header table at " +
                           hexText(iOffset) + " (" + std::to_string(n) + " x " +
                           std::to_string(iEntry) + " bytes) ";
  if (iOffset > iFileSize)
    return load.fail(what + "starts past the end of the file (" +
                         std::to_string(iFileSize) + " bytes)",
                     false);
  if (iEntry != 0 && n > (iFileSize - iOffset) / iEntry)
    return load.fail(what + "reaches past the end of the file (" +
                         std::to_string(iFileSize) + " bytes)",
                     false);
  return true;
}

// Reads and checks the headers; lists the contents to load.
// *pCopy holds bytes in memory for libelf as long as it reads them.
bool readHeaders(gcImageLoad& load, gcImageInfo& info,
                 std::vector<Contents>* pContents, std::string* pCopy) {
  u64 iFileSize = 0;
  if (!load.getSize(&iFileSize)) return false;
  std::unique_ptr<Elf, ElfCloser> handle;
  if (load.getSource() == nullptr) {
    handle.reset(elf_begin(load.getDescriptor(), ELF_C_READ_MMAP, nullptr));
  } else {
    // libelf may convert headers in place: it gets a copy, not the caller's.
    pCopy->assign(load.getSource(), iFileSize);
    handle.reset(elf_memory(&(*pCopy)[0], pCopy->size()));
  }
  GElf_Ehdr eh;
  if (!handle || elf_kind(handle.get()) != ELF_K_ELF ||
      gelf_getehdr(handle.get(), &eh) == nullptr)
    return load.fail("ELF header: " + libelfError(), false);
  const unsigned char iData = eh.e_ident[EI_DATA];
  if (iData != ELFDATA2LSB && iData != ELFDATA2MSB)
    return load.fail("ELF header: unknown byte order", false);
  info.setDetails(std::string(gelf_getclass(handle.get()) == ELFCLASS64
                                  ? "ELF64, "
                                  : "ELF32, ") +
                  (iData == ELFDATA2LSB ? "little-endian, " : "big-endian, ") +
                  machineName(eh.e_machine));
  if (eh.e_entry >= kSpace)
    return load.fail(
        "ELF header: entry point " + hexText(eh.e_entry) + " past 0xFFFFFFFF",
        false);
  if (eh.e_entry != 0)
    info.setStartAddress(static_cast<std::uint32_t>(eh.e_entry));

  // libelf reads a table cut short as no table at all, or fails without
  // saying which: check them first, in file order. Counts past 0xFFFF are in
  // section 0.
  auto programTable = [&](u64 n) {
    return (eh.e_phoff == 0 && n == 0) ||
           tableInFile(load, "program", eh.e_phoff, n, eh.e_phentsize,
                       iFileSize);
  };
  if (eh.e_phnum != PN_XNUM && !programTable(eh.e_phnum)) return false;
  std::size_t iSections = 0;
  if (eh.e_shoff != 0) {
    if (!tableInFile(load, "section", eh.e_shoff, std::max<u64>(eh.e_shnum, 1),
                     eh.e_shentsize, iFileSize))
      return false;
    if (elf_getshdrnum(handle.get(), &iSections) != 0)
      return load.fail("section headers: " + libelfError(), false);
    if (!tableInFile(load, "section", eh.e_shoff, iSections, eh.e_shentsize,
                     iFileSize))
      return false;
  }
  std::size_t iHeaders = 0;
  if (elf_getphdrnum(handle.get(), &iHeaders) != 0)
    return load.fail("program headers: " + libelfError(), false);
  if (!programTable(iHeaders)) return false;

  std::vector<GElf_Phdr> loads;
  bool bAllZero = true;
  for (std::size_t i = 0; i < iHeaders; ++i) {
    GElf_Phdr ph;
    const std::string where = "program header " + std::to_string(i) + ": ";
    if (gelf_getphdr(handle.get(), static_cast<int>(i), &ph) == nullptr)
      return load.fail(where + libelfError(), false);
    bAllZero = bAllZero && ph.p_paddr == 0;
    // An empty range may point anywhere (objcopy's debug files do).
    if (ph.p_type != PT_NULL && ph.p_filesz != 0 &&
        outside(ph.p_offset, ph.p_filesz, iFileSize))
      return load.fail(where + "contents outside the file", false);
    if (ph.p_type == PT_LOAD) loads.push_back(ph);
  }

  std::size_t iNames = eh.e_shstrndx;
  if (iSections != 0 &&
      (elf_getshdrstrndx(handle.get(), &iNames) != 0 || iNames >= iSections))
    return load.fail("section-name table index " + std::to_string(iNames) +
                         " out of range (" + std::to_string(iSections) +
                         " sections)",
                     false);
  std::vector<GElf_Shdr> headers(iSections);
  for (std::size_t i = 1; i < iSections; ++i) {
    Elf_Scn* pScn = elf_getscn(handle.get(), i);
    if (pScn == nullptr || gelf_getshdr(pScn, &headers[i]) == nullptr)
      return load.fail(
          "section header " + std::to_string(i) + ": " + libelfError(), false);
  }
  // Names only from a name table that lies whole in the file.
  const bool bNames = iSections != 0 && iNames != 0 &&
                      !hasContentsOutside(headers[iNames], iFileSize);
  for (std::size_t i = 1; i < iSections; ++i) {
    const GElf_Shdr& sh = headers[i];
    const bool bLoad = (sh.sh_flags & SHF_ALLOC) != 0 &&
                       sh.sh_type != SHT_NOBITS && sh.sh_size != 0;
    const bool bOutside = hasContentsOutside(sh, iFileSize);
    if (!bLoad && !bOutside) continue;
    const char* pName =
        bNames ? elf_strptr(handle.get(), iNames, sh.sh_name) : nullptr;
    const std::string name = pName != nullptr && *pName != '\0'
                                 ? std::string(pName)
                                 : "[" + std::to_string(i) + "]";
    const std::string where = "section " + name + ": ";
    // Unloaded sections too: a cut that only loses debug data is still a
    // cut file.
    if (bOutside) return load.fail(where + "contents outside the file", false);
    u64 iAddress = sh.sh_addr;
    for (const GElf_Phdr& ph : bAllZero ? std::vector<GElf_Phdr>() : loads) {
      if (sh.sh_offset >= ph.p_offset &&
          sh.sh_size <=
              ph.p_filesz - std::min(ph.p_filesz, sh.sh_offset - ph.p_offset) &&
          sh.sh_addr >= ph.p_vaddr &&
          sh.sh_size <=
              ph.p_memsz - std::min(ph.p_memsz, sh.sh_addr - ph.p_vaddr)) {
        iAddress = ph.p_paddr + (sh.sh_offset - ph.p_offset);
        break;
      }
    }
    if (iAddress >= kSpace || sh.sh_size > kSpace - iAddress)
      return load.fail(where + "load address " + hexText(iAddress) +
                           " and size " + hexText(sh.sh_size) +
                           " reach past 0xFFFFFFFF",
                       false);
    pContents->push_back({name, sh.sh_offset, sh.sh_size, iAddress});
  }
  return true;
}

}  // namespace

const char* gcElfFile::getTypeName() { return "ELF"; }

gcFileResult gcElfFile::loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                                  const gcImageOptions& options,
                                  gcImageInfo* pInfo) {
  static const unsigned int iVersion = elf_version(EV_CURRENT);
  gcImageLoad load(sFileName, pVMM, options);
  gcImageInfo info;
  std::vector<Contents> contents;
  if (iVersion == EV_NONE) load.fail("libelf is out of date", false);
  std::string copy;
  if (load.isOpen() && readHeaders(load, info, &contents, &copy)) {
    // Every header has proved sound: only now the contents.
    for (const Contents& c : contents) {
      load.setContext("section " + c.name + ": ");
      for (u64 i = 0; i < c.iSize && load.isOpen();) {
        const char* pData = nullptr;
        const std::size_t n = load.readAt(
            c.iOffset + i, std::min<u64>(c.iSize - i, 1 << 16), &pData);
        if (n == 0) {
          load.fail("contents outside the file", false);
          break;
        }
        load.put(c.iAddress + i, reinterpret_cast<const unsigned char*>(pData),
                 n);
        i += n;
      }
    }
  }
  return load.finish(info, pInfo);
}

namespace {

// The machines a save takes by name; any other by its number.
const struct {
  const char* pWord;
  unsigned int iMachine;
} kMachineWords[] = {
    {"none", EM_NONE},     {"arm", EM_ARM},   {"aarch64", EM_AARCH64},
    {"riscv", EM_RISCV},   {"avr", EM_AVR},   {"msp430", EM_MSP430},
    {"xtensa", EM_XTENSA}, {"mips", EM_MIPS}, {"ppc", EM_PPC},
    {"sparc", EM_SPARC},   {"x86", EM_386},   {"x86-64", EM_X86_64},
};

// Without extended numbering, the section count (runs, the null section
// and the name table) stays below SHN_LORESERVE.
constexpr std::size_t kMaxRuns = SHN_LORESERVE - 3;

// The bytes of n headers of type eType in the file's byte order.
std::string fileBytes(const void* pHeaders, std::size_t n, Elf_Type eType,
                      unsigned int iEncoding) {
  std::string out(n, '\0');
  Elf_Data from{const_cast<void*>(pHeaders), eType, EV_CURRENT, n, 0, 0};
  Elf_Data to{&out[0], eType, EV_CURRENT, n, 0, 0};
  if (n != 0 && elf32_xlatetof(&to, &from, iEncoding) == nullptr) out.clear();
  return out;
}

// Hands bytes of any length to the save in pieces its buffer takes.
void put(gcImageSave& save, const char* p, std::size_t n) {
  for (std::size_t i = 0; i < n;) {
    const std::size_t m = std::min<std::size_t>(n - i, 1 << 15);
    char* pTo = save.room(m);
    std::memcpy(pTo, p + i, m);
    save.advance(pTo + m);
    i += m;
  }
}

struct RunWriter : gcSegmentHandler {
  explicit RunWriter(gcImageSave& save) : save(save) {}
  bool handleSegment(vmm_int, std::uint64_t n, const char* p) override {
    put(save, p, n);
    return true;
  }
  gcImageSave& save;
};

}  // namespace

bool gcElfFile::machineId(const std::string& sName, std::uint16_t* pId) {
  for (const auto& m : kMachineWords)
    if (sName == m.pWord) return *pId = m.iMachine, true;
  u64 v = 0;
  if (sName.empty() || sName.size() > 5 ||
      sName.find_first_not_of("0123456789") != std::string::npos)
    return false;
  v = std::stoull(sName);
  if (v > 0xFFFF) return false;
  *pId = static_cast<std::uint16_t>(v);
  return true;
}

std::string gcElfFile::machineWords() {
  std::string out;
  for (const auto& m : kMachineWords)
    out += (out.empty() ? "" : ", ") + std::string(m.pWord);
  return out;
}

gcFileResult gcElfFile::saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                                  const gcImageOptions& options,
                                  const gcImageInfo* pInfo) {
  static const unsigned int iVersion = elf_version(EV_CURRENT);
  gcImageSave save(sFileName, pVMM, options);
  if (iVersion == EV_NONE) save.fail("libelf is out of date");
  std::vector<gcRun> runs;
  if (save.isOk() && save.getFirst() <= save.getLast())
    runs = collectRuns(pVMM, save.getFirst(), save.getLast());
  const std::size_t n = runs.size();
  if (n > kMaxRuns)
    save.fail(std::to_string(n) + " runs: an ELF section table holds " +
              std::to_string(kMaxRuns) + " without extended numbering");
  const unsigned int iEncoding =
      options.getElfBigEndian() ? ELFDATA2MSB : ELFDATA2LSB;

  // Headers, one segment and one section a run, the run's bytes in file
  // order, the section names, then the section headers.
  std::vector<Elf32_Phdr> segments(n);
  std::vector<Elf32_Shdr> sections(n + 2);
  std::string names(1, '\0');
  u64 iOffset = sizeof(Elf32_Ehdr) + n * sizeof(Elf32_Phdr), iData = 0;
  for (std::size_t i = 0; i < n && save.isOk(); ++i) {
    const gcRun& run = runs[i];
    if (run.iLength >= kSpace) save.fail("a run of 4 GiB does not fit ELF32");
    const auto a = static_cast<Elf32_Addr>(run.iFirst);
    const auto size = static_cast<Elf32_Word>(run.iLength);
    const auto offset = static_cast<Elf32_Off>(iOffset);
    segments[i] = {PT_LOAD, offset, a, a, size, size, PF_R | PF_X, 1};
    sections[i + 1] = {static_cast<Elf32_Word>(names.size()),
                       SHT_PROGBITS,
                       SHF_ALLOC | SHF_EXECINSTR,
                       a,
                       offset,
                       size,
                       0,
                       0,
                       1,
                       0};
    names += ".sec" + std::to_string(i + 1) + '\0';
    iOffset += run.iLength;
    iData += run.iLength;
  }
  const u64 iNames = iOffset;
  sections[n + 1] = {static_cast<Elf32_Word>(names.size()),
                     SHT_STRTAB,
                     0,
                     0,
                     static_cast<Elf32_Off>(iNames),
                     0,
                     0,
                     0,
                     1,
                     0};
  names += std::string(".shstrtab") + '\0';
  sections[n + 1].sh_size = static_cast<Elf32_Word>(names.size());
  const u64 iTable = (iNames + names.size() + 3) & ~u64{3};
  if (iTable + sections.size() * sizeof(Elf32_Shdr) >= kSpace)
    save.fail("the file would pass 4 GiB, beyond ELF32's offsets");

  Elf32_Ehdr eh{};
  std::memcpy(eh.e_ident, ELFMAG, SELFMAG);
  eh.e_ident[EI_CLASS] = ELFCLASS32;
  eh.e_ident[EI_DATA] = static_cast<unsigned char>(iEncoding);
  eh.e_ident[EI_VERSION] = EV_CURRENT;
  eh.e_type = ET_EXEC;
  eh.e_machine = options.getElfMachine();
  eh.e_version = EV_CURRENT;
  if (pInfo != nullptr && pInfo->hasStartAddress() && options.getWriteStart())
    eh.e_entry = pInfo->getLinearStartAddress();
  eh.e_phoff = n == 0 ? 0 : sizeof(Elf32_Ehdr);
  eh.e_shoff = static_cast<Elf32_Off>(iTable);
  // ARM's tools take an image without an EABI version for the old ABI.
  eh.e_flags = eh.e_machine == EM_ARM ? EF_ARM_EABI_VER5 : 0;
  eh.e_ehsize = sizeof(Elf32_Ehdr);
  eh.e_phentsize = sizeof(Elf32_Phdr);
  eh.e_phnum = static_cast<Elf32_Half>(n);
  eh.e_shentsize = sizeof(Elf32_Shdr);
  eh.e_shnum = static_cast<Elf32_Half>(n + 2);
  eh.e_shstrndx = static_cast<Elf32_Half>(n + 1);

  if (!save.open()) return save.finish(0, 0);
  const std::string header = fileBytes(&eh, sizeof eh, ELF_T_EHDR, iEncoding);
  const std::string programs =
      fileBytes(segments.data(), n * sizeof(Elf32_Phdr), ELF_T_PHDR, iEncoding);
  const std::string table =
      fileBytes(sections.data(), sections.size() * sizeof(Elf32_Shdr),
                ELF_T_SHDR, iEncoding);
  if (header.empty() || table.empty() ||
      programs.size() != n * sizeof(Elf32_Phdr)) {
    save.fail("ELF headers: " + libelfError());
    return save.finish(0, 0);
  }
  put(save, header.data(), header.size());
  put(save, programs.data(), programs.size());
  RunWriter writer(save);
  if (n != 0)
    forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 0x10000);
  names.resize(iTable - iNames, '\0');
  put(save, names.data(), names.size());
  put(save, table.data(), table.size());
  return save.finish(iData, 0);
}
