// Writes small ELF files of either class and byte order, for the format
// tests and their fuzz target: headers exactly as asked, also unsound ones.
#ifndef DWXVMM_TESTS_SUPPORT_ELF_BUILDER_H_
#define DWXVMM_TESTS_SUPPORT_ELF_BUILDER_H_

#include <cstdint>
#include <string>
#include <vector>

struct ElfSection {
  std::string name;
  std::uint64_t address;
  std::string data;
  std::uint32_t type = 1;    // SHT_PROGBITS
  std::uint64_t flags = 2;   // SHF_ALLOC
  std::uint64_t offset = 0;  // 0: where the builder puts the data
};

// A PT_LOAD over sections first..first+count-1, which lie one after the
// other: its virtual address is the first one's, its physical one paddr.
struct ElfSegment {
  std::uint64_t paddr;
  std::size_t first, count;
};

// ELF header, program headers, section data, names, section headers.
inline std::string buildElf(bool b64, bool bBig, std::uint64_t entry,
                            std::vector<ElfSection> sections,
                            const std::vector<ElfSegment>& segments) {
  std::string out;
  auto put = [&](std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i)
      out += static_cast<char>(v >> 8 * (bBig ? n - 1 - i : i));
  };
  const int w = b64 ? 8 : 4;  // addresses and offsets
  const std::uint64_t ehSize = b64 ? 64 : 52, phSize = b64 ? 56 : 32;
  std::uint64_t at = ehSize + phSize * segments.size();
  std::string names(1, '\0'), data;
  for (ElfSection& s : sections) {
    if (s.offset == 0) s.offset = at + data.size();
    data += s.data;
  }
  const std::uint64_t namesAt = at + data.size();
  sections.push_back({".shstrtab", 0, "", 3, 0, 0});
  std::vector<std::uint64_t> nameOffsets;
  for (const ElfSection& s : sections) {
    nameOffsets.push_back(names.size());
    names += s.name + '\0';
  }
  sections.back().data = names;
  sections.back().offset = namesAt;
  out += std::string(
             "\x7F"
             "ELF",
             4) +
         char(b64 ? 2 : 1) + char(bBig ? 2 : 1) + '\x01' + std::string(9, '\0');
  put(2, 2), put(40, 2), put(1, 4), put(entry, w);  // EXEC, ARM
  put(segments.empty() ? 0 : ehSize, w);
  put(namesAt + names.size(), w);  // section headers
  put(0, 4), put(ehSize, 2), put(phSize, 2), put(segments.size(), 2);
  put(b64 ? 64 : 40, 2), put(sections.size() + 1, 2), put(sections.size(), 2);
  for (const ElfSegment& g : segments) {
    const ElfSection &a = sections[g.first],
                     &z = sections[g.first + g.count - 1];
    const std::uint64_t size = z.offset + z.data.size() - a.offset;
    put(1, 4);
    if (b64) put(7, 4);
    put(a.offset, w), put(a.address, w), put(g.paddr, w);
    put(size, w), put(size, w);
    if (!b64) put(7, 4);
    put(1, w);
  }
  out += data + names;
  out += std::string(b64 ? 64 : 40, '\0');  // the null section
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const ElfSection& s = sections[i];
    put(nameOffsets[i], 4), put(s.type, 4), put(s.flags, w), put(s.address, w);
    put(s.offset, w), put(s.data.size(), w), put(0, 4), put(0, 4);
    put(1, w), put(0, w);
  }
  return out;
}

#endif  // DWXVMM_TESTS_SUPPORT_ELF_BUILDER_H_
