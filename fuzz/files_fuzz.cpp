// The differential fuzz target of the image formats. An input either
// writes a few runs into a VMM, saves them in one format and loads the file
// into a fresh VMM, which must then hold exactly the bytes written (holes
// stay holes; in binary they hold the fill byte); or makes the runs the
// sections of an ELF file, some held by program headers at other physical
// addresses, which must load at their load addresses or fail where two
// sections give one address different values; or hands the rest of the
// input to a reader as a file over a VMM that already holds bytes, with its
// byte counts and checksums mended or not: the reader may fail, but must not
// crash, and a failure leaves the VMM as it was.
#include <dwxvmm/dwxvmm.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "../files/gcFileSupport.h"
#include "../tests/support/elf_builder.h"
#include "../tests/support/written_bytes.h"

namespace {

const char* const kTypes[] = {"Binary file", "Intel HEX", "Motorola S-record",
                              "TI-TXT", "ELF"};
std::string gFile;

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "DIVERGENCE: %s\n", what);
  std::abort();
}

gcVMemoryModell* newModel(int i) {
  if (i == 0) return new gcVMM32BitFast;
  if (i == 1) return new gcVMM32BitCompact;
  return new gcVMM32BitSmall;
}

// Everything a failed load must leave as it was: the pages, their memory,
// data and bitmaps, and the usage.
std::string snapshot(gcVMM& vmm) {
  struct Pages : gcVMMPageHandler {
    std::string out;
    bool handlePage(gcVMMPage* p) override {
      out += std::to_string(p->getVAddr()) + (p->isPhysical() ? "+" : "-");
      if (p->isPhysical()) out.append(p->getPageBuffer(), p->getPageMemSize());
      return true;
    }
  } pages;
  vmm.forAllMappedPages(&pages, false);
  return pages.out + std::to_string(vmm.getUsedPhysicalMemory());
}

// Sets each record's byte count and checksum to what its digits need.
std::string mend(std::string text) {
  static const char kDigits[] = "0123456789ABCDEF";
  auto value = [](char c) {
    return std::string(kDigits).find(static_cast<char>(std::toupper(c)));
  };
  for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
    end = std::min(text.find('\n', at), text.size());
    const std::size_t skip = text[at] == ':' ? 1 : text[at] == 'S' ? 2 : 0;
    const std::size_t n = (end - at - skip) / 2;
    if (skip == 0 || n < skip * 3 + 2 || n > 260) continue;
    unsigned int sum = skip == 1 ? n - 5 : n - 1;
    for (std::size_t i = 1; i + 1 < n; ++i) {
      const std::size_t hi = value(text[at + skip + 2 * i]),
                        lo = value(text[at + skip + 2 * i + 1]);
      if (hi > 15 || lo > 15) break;
      sum += hi * 16 + lo;
    }
    const unsigned int last = skip == 1 ? -sum & 0xFF : ~sum & 0xFF;
    const unsigned int count = skip == 1 ? n - 5 : n - 1;
    text[at + skip] = kDigits[count >> 4 & 15];
    text[at + skip + 1] = kDigits[count & 15];
    text[at + skip + 2 * n - 2] = kDigits[last >> 4];
    text[at + skip + 2 * n - 1] = kDigits[last & 15];
  }
  return text;
}

void elfTrip(FuzzedDataProvider& in) {
  std::vector<ElfSection> sections;
  std::vector<ElfSegment> segments;
  std::map<vmm_int, char> shadow;
  bool bConflict = false, bAllZero = true;
  for (int runs = in.ConsumeIntegralInRange(1, 6); runs > 0; --runs) {
    // Small addresses overlap often, large ones reach the top.
    const std::uint64_t a = in.ConsumeBool()
                                ? in.ConsumeIntegral<std::uint16_t>()
                                : in.ConsumeIntegral<vmm_int>();
    const std::uint64_t n = std::min<std::uint64_t>(
        in.ConsumeIntegralInRange(1, 300), (std::uint64_t{1} << 32) - a);
    std::string data(n, '\0');
    for (char& c : data)
      c = static_cast<char>(in.ConsumeIntegral<std::uint8_t>());
    sections.push_back({".s" + std::to_string(sections.size()), a, data});
    if (in.ConsumeBool()) {
      const std::uint64_t p = std::min<std::uint64_t>(
          in.ConsumeIntegral<vmm_int>(), (std::uint64_t{1} << 32) - n);
      segments.push_back({p, sections.size() - 1, 1});
      bAllZero = bAllZero && p == 0;
    }
  }
  for (std::size_t i = 0, g = 0; i < sections.size(); ++i) {
    std::uint64_t a = sections[i].address;
    if (g < segments.size() && segments[g].first == i && !bAllZero)
      a = segments[g++].paddr;
    else if (g < segments.size() && segments[g].first == i)
      ++g;
    for (std::size_t k = 0; k < sections[i].data.size(); ++k) {
      const auto [it, bNew] =
          shadow.emplace(static_cast<vmm_int>(a + k), sections[i].data[k]);
      bConflict = bConflict || (!bNew && it->second != sections[i].data[k]);
    }
  }
  const bool b64 = in.ConsumeBool(), bBig = in.ConsumeBool();
  const vmm_int entry = in.ConsumeIntegral<vmm_int>();
  std::ofstream(gFile, std::ios::binary)
      << buildElf(b64, bBig, entry, sections, segments);
  gcVMM vmm;
  vmm.setMemoryModell(newModel(in.ConsumeIntegralInRange(0, 2)));
  gcFileSupport support;
  gcImageInfo info;
  const gcFileResult r = support.createFileSupport("ELF")->loadImage(
      gFile, &vmm, gcImageOptions(), &info);
  check(r.isOk() != bConflict, "ELF load");
  check(writtenBytes(vmm) == (bConflict ? std::map<vmm_int, char>() : shadow),
        "ELF bytes loaded");
  check(bConflict || info.hasStartAddress() == (entry != 0), "ELF entry");
}

void roundTrip(FuzzedDataProvider& in) {
  const int type = in.ConsumeIntegralInRange(0, 4);
  if (type == 4) return elfTrip(in);
  gcVMM vmm, back;
  const int model = in.ConsumeIntegralInRange(0, 2);
  vmm.setMemoryModell(newModel(model));
  back.setMemoryModell(newModel(model));
  std::map<vmm_int, char> shadow;
  // Binary saves every address between the ends: keep the span small.
  const vmm_int base = type == 0 ? in.ConsumeIntegral<vmm_int>() & ~0xFFFFu : 0;
  for (int runs = in.ConsumeIntegralInRange(1, 6); runs > 0; --runs) {
    vmm_int a = base + in.ConsumeIntegral<std::uint16_t>();
    if (type != 0 && in.ConsumeBool()) a = in.ConsumeIntegral<vmm_int>();
    const std::uint64_t n = std::min<std::uint64_t>(
        in.ConsumeIntegralInRange(1, 600), (std::uint64_t{1} << 32) - a);
    std::string data(n, '\0');
    for (std::uint64_t i = 0; i < n; ++i)
      shadow[a + i] = data[i] =
          static_cast<char>(in.ConsumeIntegral<std::uint8_t>() ^ i);
    vmm.setBlock(a, &data[0], n);
  }
  gcImageOptions options;
  options.setRecordLength(in.ConsumeIntegralInRange(1, 250))
      .setCrlf(in.ConsumeBool())
      .setAddressBytes(in.ConsumeBool() ? 4 : 0)
      .setFillByte(in.ConsumeIntegral<std::uint8_t>());
  gcImageInfo info, got;
  if (in.ConsumeBool())
    info.setStartAddress(in.ConsumeIntegral<std::uint32_t>(), in.ConsumeBool());
  gcFileSupport support;
  gcFileFormat* pFormat = support.createFileSupport(kTypes[type]);
  check(pFormat->saveImage(gFile, &vmm, options, &info).isOk(), "save");
  options.setLoadAddress(shadow.begin()->first);
  const gcFileResult r = pFormat->loadImage(gFile, &back, options, &got);
  check(r.isOk() && r.getWarnings().empty(), "load of a saved file");
  if (type == 0)  // the holes hold the fill byte
    for (vmm_int a = shadow.begin()->first; a != shadow.rbegin()->first; ++a)
      shadow.emplace(a, static_cast<char>(options.getFillByte()));
  check(writtenBytes(back) == shadow, "bytes loaded");
  if ((type == 1 || type == 2) && info.hasStartAddress())
    check(got.getLinearStartAddress() == info.getLinearStartAddress(), "start");
  const std::string before = snapshot(back);  // equal values are no conflict
  check(pFormat->loadImage(gFile, &back, options, nullptr).isOk(), "reload");
  check(snapshot(back) == before, "reload changed the VMM");
}

void readText(FuzzedDataProvider& in) {
  const int type = in.ConsumeIntegralInRange(0, 4);
  gcVMM vmm;
  vmm.setMemoryModell(newModel(in.ConsumeIntegralInRange(0, 2)));
  char data[0x40];
  for (int i = 0; i < 0x40; ++i) data[i] = static_cast<char>(i);
  vmm.setBlock(0, data, sizeof data);
  vmm.setBlock(in.ConsumeIntegral<vmm_int>(), data, sizeof data);
  gcImageOptions options;
  options.setLaterWins(in.ConsumeBool())
      .setLoadAddress(in.ConsumeBool() ? 0 : in.ConsumeIntegral<vmm_int>());
  const bool bMend = in.ConsumeBool();
  std::string text = in.ConsumeRemainingBytesAsString();
  std::ofstream(gFile, std::ios::binary) << (bMend ? mend(text) : text);
  const std::string before = snapshot(vmm);
  gcFileSupport support;
  const gcFileResult r = support.createFileSupport(kTypes[type])
                             ->loadImage(gFile, &vmm, options, nullptr);
  check(r.isOk() || snapshot(vmm) == before, "a failed load changed the VMM");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::cerr.rdbuf(nullptr);  // the library's notices are not under test here
  char name[] = "/tmp/dwxfiles_fuzz.XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) std::abort();
  close(fd);
  gFile = name;
  std::atexit([] { unlink(gFile.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData,
                                      std::size_t iSize) {
  FuzzedDataProvider in(pData, iSize);
  (in.ConsumeBool() ? readText : roundTrip)(in);
  return 0;
}
