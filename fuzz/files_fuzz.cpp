// The differential fuzz target of the image formats. An input either
// writes a few runs into a VMM, saves them in one format and loads the file
// into a fresh VMM, which must then hold exactly the bytes written (holes
// stay holes; binary, Logisim, UF2 and MIF fill them as they define; word
// formats get whole words; formats whose addresses count bytes may count
// units of 2 or 4 instead); or makes the runs
// the sections of an ELF file, some held by program headers at other physical
// addresses, which must load at their load addresses or fail where two
// sections give one address different values, and whose every strict
// prefix must fail; or hands the rest of the
// input to a reader as a file over a VMM that already holds bytes, with its
// byte counts, checksums and magic numbers mended or not: the reader may fail,
// but must not crash, and a failure leaves the VMM as it was; or runs a random
// sequence of edits over a random image against a map of bytes, with the
// checksums (and any CRC by its parameters) computed bit by bit as their
// catalogue defines them, Adler and Fletcher sums a byte at a time, digests
// from libgcrypt's one-shot call, stamps, alignment, bit operations, fills,
// unfill, split and unsplit, where every edit that fails must leave the
// image as it was. A loaded image's dump must show exactly its bytes. The
// record formats (one input in eight) save random runs, with or without a
// unit, which load back as exactly those bytes unless the save refused them
// and left no file, and then load the file with random bytes changed, which
// must leave a VMM that already holds bytes as it was unless it loads.
#include <dwxvmm/dwxvmm.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <gcrypt.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "../tests/support/elf_builder.h"
#include "../tests/support/written_bytes.h"
#include "gcFileSupport.h"
#include "gcImageDump.h"

namespace {

const char* const kTypes[] = {"Binary file",
                              "Intel HEX",
                              "Motorola S-record",
                              "TI-TXT",
                              "ELF",
                              "UF2",
                              "DfuSe",
                              "Verilog memory",
                              "MIF",
                              "AOMF",
                              "MsBin",
                              "Formatted binary",
                              "DEC binary",
                              "IDT",
                              "PPB",
                              "Stewie",
                              "TRS-80",
                              "Wilson",
                              "ASCII-Hex",
                              "FastLoad",
                              "Four Packed Code",
                              "OS65V",
                              "SPASM (big-endian)",
                              "SPASM (little-endian)",
                              "MIPS flash (big-endian)",
                              "MIPS flash (little-endian)",
                              "Logisim"};
enum {
  kBinary = 0,
  kElf = 4,
  kUf2,
  kDfuSe,
  kVmem,
  kMif,
  kAomf,
  kMsBin,
  kFormatted,
  kAsciiHex = kAomf + 9,
  kFastLoad,
  kFpc,
  kOs65v,
  kSpasmBe,
  kSpasmLe,
  kMipsBe,
  kMipsLe,
  kLogisim,
  kLastType = kLogisim
};
// The binary record formats from kAomf on: 16-bit addresses; the start
// (0: none, 1: an end record of the start or 0, 2: only an image's start);
// a header.
const struct {
  bool b16;
  int iStart;
  bool bHeader;
} kRecords[] = {{true, 0, true},   {false, 1, false}, {false, 0, false},
                {true, 2, false},  {false, 1, true},  {false, 0, false},
                {false, 0, false}, {true, 2, true},   {false, 1, false}};
std::string gFile;

bool isRecordType(int type) { return type >= kAomf && type < kAsciiHex; }

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

// The binary formats' magic numbers and checksum, so that a reader gets
// past them.
std::string mendBinary(int type, std::string bytes) {
  if (type == kUf2)
    for (std::size_t at = 0; at + 512 <= bytes.size(); at += 512) {
      bytes.replace(at, 8, "UF2\nWQ]\x9E", 8);
      bytes.replace(at + 508, 4, "0o\xB1\n", 4);
    }
  if (type == kDfuSe && bytes.size() >= 16) {
    bytes.replace(0, 5, "DfuSe");
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i + 4 < bytes.size(); ++i) {
      crc ^= static_cast<std::uint8_t>(bytes[i]);
      for (int k = 0; k < 8; ++k) crc = crc >> 1 ^ (0xEDB88320 & -(crc & 1));
    }
    for (int i = 0; i < 4; ++i)
      bytes[bytes.size() - 4 + i] = static_cast<char>(crc >> 8 * i);
  }
  return bytes;
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
  const std::string whole = buildElf(b64, bBig, entry, sections, segments);
  std::ofstream(gFile, std::ios::binary) << whole;
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
  // Any strict prefix of a file is refused and changes nothing.
  std::ofstream(gFile, std::ios::binary) << whole.substr(
      0, in.ConsumeIntegralInRange<std::size_t>(0, whole.size() - 1));
  const std::string before = snapshot(vmm);
  check(!support.createFileSupport("ELF")
             ->loadImage(gFile, &vmm, gcImageOptions(), nullptr)
             .isOk(),
        "a cut ELF file loaded");
  check(snapshot(vmm) == before, "a cut ELF file changed the VMM");
}

// The bytes a dump shows: each row's cells, rows after a "*" repeating the
// row before it up to the next row shown (less a gap) or the end address.
std::map<vmm_int, char> undump(const std::string& text, unsigned width) {
  std::map<vmm_int, char> out;
  std::istringstream lines(text);
  std::string line, cells;
  std::uint64_t next = 0, gap = 0;
  bool star = false;
  const auto put = [&](std::uint64_t row) {
    for (unsigned i = 0; i < width; ++i)
      if (cells[3 * i + 1] != '-')
        out[static_cast<vmm_int>(row + i)] = static_cast<char>(
            std::stoul(cells.substr(3 * i + 1, 2), nullptr, 16));
  };
  while (std::getline(lines, line)) {
    if (line == "*") {
      star = true;
    } else if (line.compare(0, 4, "... ") == 0) {
      gap = std::stoull(line.substr(4), nullptr, 16);
    } else {
      // A row, or the address after the last one (0x100000000 at the top).
      const std::size_t iColon = line.find(':');
      const std::uint64_t row =
          std::stoull(line.substr(0, iColon), nullptr, 16);
      for (; star && next < row - gap; next += width) put(next);
      star = false, gap = 0;
      if (iColon == std::string::npos) break;
      cells = line.substr(iColon + 1, 3 * width);
      put(row);
      next = row + width;
    }
  }
  return out;
}

void roundTrip(FuzzedDataProvider& in) {
  const int type = in.ConsumeIntegralInRange(0, int{kLastType});
  if (type == kElf) return elfTrip(in);
  gcVMM vmm, back;
  const int model = in.ConsumeIntegralInRange(0, 2);
  vmm.setMemoryModell(newModel(model));
  back.setMemoryModell(newModel(model));
  std::map<vmm_int, char> shadow;
  // Binary, Formatted binary and Logisim save every address between the
  // ends, MIF every word from 0: keep the span small. Word formats take
  // whole words, and the 16-bit formats, OS65V and SPASM only their fields'
  // addresses.
  const bool bFilled =
      type == kBinary || type == kFormatted || type == kLogisim;
  const bool bSpan = bFilled || type == kMif;
  const auto record = isRecordType(type)
                          ? kRecords[type - kAomf]
                          : decltype(kRecords[0]){false, 0, false};
  const vmm_int base = bFilled ? in.ConsumeIntegral<vmm_int>() & ~0xFFFFu : 0;
  // Formats whose addresses count bytes save with a unit of 2 or 4 too,
  // their runs and start on it.
  const bool bUnits = (isRecordType(type) && type != kFormatted) ||
                      (type >= kAsciiHex && type <= kOs65v) ||
                      type == kMipsBe || type == kMipsLe;
  const unsigned int unit = bUnits ? 1u << in.ConsumeIntegralInRange(0, 2) : 1;
  const std::uint64_t iWord =
      std::max<std::uint64_t>(type == kSpasmBe || type == kSpasmLe ? 2
                              : type == kMipsBe || type == kMipsLe ? 4
                                                                   : 1,
                              unit);
  const std::uint64_t iEnd = record.b16 || type == kOs65v ? 0x10000
                             : type == kSpasmBe || type == kSpasmLe
                                 ? 0x20000
                                 : std::uint64_t{1} << 32;
  for (int runs = in.ConsumeIntegralInRange(1, 6); runs > 0; --runs) {
    vmm_int a = base + in.ConsumeIntegral<std::uint16_t>();
    if (type == kMif) a &= 0x0FFF;  // a memory of every word: keep it short
    if (!bSpan && in.ConsumeBool()) a = in.ConsumeIntegral<vmm_int>();
    a = static_cast<vmm_int>(a % iEnd / iWord * iWord);
    // MsBin: 0 marks the start.
    a = std::max<vmm_int>(a, type == kMsBin ? iWord : 0);
    std::uint64_t n =
        std::min<std::uint64_t>(in.ConsumeIntegralInRange(1, 600), iEnd - a);
    if ((n -= n % iWord) == 0) continue;
    std::string data(n, '\0');
    for (std::uint64_t i = 0; i < n; ++i)
      shadow[a + i] = data[i] =
          static_cast<char>(in.ConsumeIntegral<std::uint8_t>() ^ i);
    vmm.setBlock(a, &data[0], n);
  }
  if (shadow.empty()) return;
  gcImageOptions options;
  options.setRecordLength(in.ConsumeIntegralInRange(1, type == 1 ? 255 : 250))
      .setCrlf(in.ConsumeBool())
      .setAddressBytes(in.ConsumeBool() ? 4 : 0)
      .setFillByte(in.ConsumeIntegral<std::uint8_t>())
      .setDfuAlt(in.ConsumeIntegral<std::uint8_t>())
      .setWordBits(type == kMif ? 8u << in.ConsumeIntegralInRange(0, 2) : 8)
      .setAddressUnit(unit);
  if (in.ConsumeBool())
    options.setUf2Family(in.ConsumeIntegral<std::uint32_t>());
  gcImageInfo info, got;
  if (in.ConsumeBool())
    info.setStartAddress(in.ConsumeIntegral<std::uint32_t>(), in.ConsumeBool());
  if (unit != 1 && info.hasStartAddress())
    info.setStartAddress(info.getLinearStartAddress() / unit * unit);
  // Record shapes: HEX addressing, no start record, an S0 header or none.
  const auto mode = static_cast<gcImageOptions::HexAddressing>(
      type == 1 ? in.ConsumeIntegralInRange(0, 2) : 0);
  const bool bStart = in.ConsumeBool(), bHeader = in.ConsumeBool();
  const std::string header = in.ConsumeRandomLengthString(20);
  options.setHexAddressing(mode).setWriteStart(bStart);
  if (type == 2 || record.bHeader) options.setHeader(header, bHeader);
  // OS65V holds a 16-bit start address.
  const bool bStartFits = type != kOs65v || !bStart ||
                          !info.hasStartAddress() ||
                          info.getLinearStartAddress() / unit <= 0xFFFF;
  const bool bBelow1M =
      shadow.rbegin()->first < 0x100000 &&
      (!bStart || !info.hasStartAddress() || info.isSegmentedStart() ||
       info.getStartAddress() < 0x100000);
  gcFileSupport support;
  gcFileFormat* pFormat = support.createFileSupport(kTypes[type]);
  const bool bSaved = pFormat->saveImage(gFile, &vmm, options, &info).isOk();
  const bool bWideStart = record.b16 && record.iStart != 0 && bStart &&
                          info.hasStartAddress() &&
                          info.getLinearStartAddress() / unit > 0xFFFF;
  check(bSaved == ((mode != gcImageOptions::kHexSegment || bBelow1M) &&
                   !bWideStart && bStartFits),
        "save");
  if (!bSaved) return;
  std::string saved;
  gcImageOptions toMemory = options;
  toMemory.setOutput(
      [&saved](const char* p, std::size_t n) { saved.append(p, n); });
  std::ifstream file(gFile, std::ios::binary);
  check(pFormat->saveImage(gFile, &vmm, toMemory, &info).isOk() &&
            saved == std::string(std::istreambuf_iterator<char>(file), {}),
        "a save to memory differs from the file");
  options.setLoadAddress(shadow.begin()->first);
  const gcFileResult r = pFormat->loadImage(gFile, &back, options, &got);
  // S-records end with their start record: without one, a warning.
  check(r.isOk() && r.getWarnings().empty() ==
                        ((type != 2 && record.iStart != 1) || bStart),
        "load of a saved file");
  if (type == 2 || record.bHeader)
    check(got.getHeader() == (bHeader ? header : ""), "header");
  if (isRecordType(type))
    check(got.hasStartAddress() == (record.iStart == 1 ? bStart
                                    : record.iStart == 2
                                        ? bStart && info.hasStartAddress()
                                        : false),
          "start of a binary record format");
  // An S9 of address 0 stands in for no start address.
  if (type == kFastLoad || type == kOs65v)
    check(got.hasStartAddress() == (bStart && info.hasStartAddress()) &&
              (!got.hasStartAddress() ||
               got.getStartAddress() == info.getLinearStartAddress()),
          "start of FastLoad or OS65V");
  if (type == 1 || type == 2)
    check(got.hasStartAddress() ==
              (type == 2 ? bStart : bStart && info.hasStartAddress()),
          "start written or not");
  if (!bStart) info.clearStartAddress();
  // The holes hold the fill byte: binary's between the ends, UF2's in each
  // group of 256 with a written byte, MIF's from 0 to the highest word.
  const char fill = static_cast<char>(options.getFillByte());
  if (bFilled)
    for (vmm_int a = shadow.begin()->first; a != shadow.rbegin()->first; ++a)
      shadow.emplace(a, fill);
  if (type == kUf2)
    for (auto [a, v] : std::map<vmm_int, char>(shadow))
      for (vmm_int g = a & ~0xFFu, i = 0; i < 0x100; ++i)
        shadow.emplace(g + i, fill);
  if (type == kMif) {
    const vmm_int n = options.getWordBits() / 8;
    for (vmm_int a = 0, e = (shadow.rbegin()->first / n + 1) * n; a < e; ++a)
      shadow.emplace(a, fill);
  }
  check(writtenBytes(back) == shadow, "bytes loaded");
  const unsigned width = in.ConsumeBool() ? 32 : 16;
  check(undump(dumpImage(&back, 0, 0xFFFFFFFF, width), width) == shadow,
        "bytes dumped");
  if ((type == 1 || type == 2 || record.iStart != 0) && info.hasStartAddress())
    check(got.getLinearStartAddress() == info.getLinearStartAddress(), "start");
  const std::string before = snapshot(back);  // equal values are no conflict
  check(pFormat->loadImage(gFile, &back, options, nullptr).isOk(), "reload");
  check(snapshot(back) == before, "reload changed the VMM");
}

void readText(FuzzedDataProvider& in) {
  const int type = in.ConsumeIntegralInRange(0, int{kLastType});
  gcVMM vmm, twin;
  const int model = in.ConsumeIntegralInRange(0, 2);
  const vmm_int at = in.ConsumeIntegral<vmm_int>();
  char data[0x40];
  for (int i = 0; i < 0x40; ++i) data[i] = static_cast<char>(i);
  for (gcVMM* pVMM : {&vmm, &twin}) {
    pVMM->setMemoryModell(newModel(model));
    pVMM->setBlock(0, data, sizeof data);
    pVMM->setBlock(at, data, sizeof data);
  }
  gcImageOptions options;
  options.setLaterWins(in.ConsumeBool())
      .setLoadAddress(in.ConsumeBool() ? 0 : in.ConsumeIntegral<vmm_int>());
  if (in.ConsumeBool())
    options.setUf2Family(in.ConsumeIntegral<std::uint32_t>());
  if (in.ConsumeBool()) options.setDfuAlt(in.ConsumeIntegral<std::uint8_t>());
  options.setWordBits(8u << in.ConsumeIntegralInRange(0, 2))
      .setAddressUnit(1u << in.ConsumeIntegralInRange(0, 2));
  const bool bMend = in.ConsumeBool();
  std::string text = in.ConsumeRemainingBytesAsString();
  if (bMend)
    text = type >= kUf2 && type <= kDfuSe ? mendBinary(type, text) : mend(text);
  std::ofstream(gFile, std::ios::binary) << text;
  const std::string before = snapshot(vmm);
  gcFileSupport support;
  const gcFileResult r = support.createFileSupport(kTypes[type])
                             ->loadImage(gFile, &vmm, options, nullptr);
  check(r.isOk() || snapshot(vmm) == before, "a failed load changed the VMM");
  // The same bytes in memory: the same result.
  gcImageOptions fromMemory = options;
  fromMemory.setSource(text.data(), text.size());
  const gcFileResult m = support.createFileSupport(kTypes[type])
                             ->loadImage(gFile, &twin, fromMemory, nullptr);
  check(m.getMessage() == r.getMessage() &&
            m.getWarnings() == r.getWarnings() &&
            snapshot(twin) == snapshot(vmm),
        "a load from memory differs from the file's");
  // Detection runs the readers over any first bytes.
  gcFileSupport::detectType(text.data(),
                            std::min(text.size(), gcFileSupport::kDetectBytes));
}

typedef std::uint64_t u64;
typedef std::map<vmm_int, char> Bytes;

std::string hexOf(u64 v, int digits = 1) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*llx", digits,
                static_cast<unsigned long long>(v));
  return text;
}

// MSB first, bit by bit; augmented: the message shifted through a register
// of zeros, then as many zero bits as the register holds.
u64 crcMsb(const std::vector<unsigned char>& d, u64 poly, u64 c, int w,
           bool bAugmented) {
  const u64 top = u64{1} << (w - 1), mask = (top << 1) - 1;
  auto step = [&](bool bit) {
    const bool t = (c & top) != 0;
    if (bAugmented) {
      c = (c << 1 | bit) & mask;
      if (t) c ^= poly;
    } else {
      c = c << 1 & mask;
      if (t != bit) c ^= poly;
    }
  };
  for (unsigned char b : d)
    for (int i = 7; i >= 0; --i) step(b >> i & 1);
  if (bAugmented)
    for (int i = 0; i < w; ++i) step(false);
  return c;
}

// A CRC by its parameters, bit by bit: reflected input is each byte's bits
// in reverse, then the register MSB first.
struct CrcParameters {
  int w;
  u64 poly, init;
  bool bRefIn, bRefOut;
  u64 xorout;
};
u64 reflect(u64 v, int w) {
  u64 r = 0;
  for (int i = 0; i < w; ++i) r |= (v >> i & 1) << (w - 1 - i);
  return r;
}
u64 crcBits(std::vector<unsigned char> d, const CrcParameters& p) {
  if (p.bRefIn)
    for (unsigned char& b : d) b = static_cast<unsigned char>(reflect(b, 8));
  const u64 c = crcMsb(d, p.poly, p.init, p.w, false);
  return (p.bRefOut ? reflect(c, p.w) : c) ^ p.xorout;
}

// The value and width of a checksum over d, or nullopt for an unknown name.
std::optional<std::pair<u64, unsigned>> reference(
    const std::string& name, std::vector<unsigned char> d) {
  const std::string base = name.size() > 3 && name[name.size() - 3] == '-'
                               ? name.substr(0, name.size() - 3)
                               : name;
  if (base == "crc32") {
    std::uint32_t c = 0xFFFFFFFF;
    for (unsigned char b : d) {
      c ^= b;
      for (int i = 0; i < 8; ++i) c = c & 1 ? c >> 1 ^ 0xEDB88320 : c >> 1;
    }
    return std::pair<u64, unsigned>{~c, 4};
  }
  if (base == "stm32") {
    for (std::size_t i = 0; i + 4 <= d.size(); i += 4)
      std::reverse(d.begin() + i, d.begin() + i + 4);
    return std::pair<u64, unsigned>{
        crcMsb(d, 0x04C11DB7, 0xFFFFFFFF, 32, false), 4};
  }
  if (base == "crc16-xmodem" || base == "crc16-ccitt" || base == "crc16-aug")
    return std::pair<u64, unsigned>{
        crcMsb(d, 0x1021, base == "crc16-xmodem" ? 0 : 0xFFFF, 16,
               base == "crc16-aug"),
        2};
  // Sums that wrap past their modulus M back to 1, as ones' complement
  // sums do (Fletcher), or to 0 (Adler).
  for (auto [kind, m, w] :
       {std::tuple{"adler16", 251u, 2u}, std::tuple{"adler32", 65521u, 4u},
        std::tuple{"fletcher16", 255u, 2u},
        std::tuple{"fletcher32", 65535u, 4u}}) {
    if (base != kind) continue;
    const bool bAdler = kind[0] == 'a';
    u64 s1 = bAdler ? 1 : w == 4 ? m : 0, s2 = w == 4 && !bAdler ? m : 0;
    for (unsigned char b : d) {
      s1 += b, s1 -= s1 > m || (bAdler && s1 == m) ? m : 0;
      s2 += s1, s2 -= s2 > m || (bAdler && s2 == m) ? m : 0;
    }
    const unsigned half = 8 * w / 2;
    return std::pair<u64, unsigned>{
        w == 2 && !bAdler ? s1 << half | s2 : s2 << half | s1, w};
  }
  for (const char* kind : {"sum", "negsum", "notsum"})
    for (unsigned w : {1u, 2u, 4u}) {
      if (base != kind + std::to_string(8 * w)) continue;
      u64 sum = 0;
      for (unsigned char b : d) sum += b;
      if (kind[1] == 'e') sum = 0 - sum;
      if (kind[1] == 'o') sum = ~sum;
      return std::pair<u64, unsigned>{sum & ((u64{1} << 8 * w) - 1), w};
    }
  return std::nullopt;
}

// Edits against the map. Ranges start near the data, the boundaries and the
// top of the address space; some are bad.
struct Edits {
  explicit Edits(FuzzedDataProvider& provider) : in(provider) {}
  FuzzedDataProvider& in;
  int model = 0;
  Bytes bytes;
  std::optional<u64> start;
  std::vector<u64> anchors{0, 0xFFFF, 0xFFFFFF, 0xFFFFFFF0};
  bool bNew = false;  // the last edit wrote a new image

  u64 pick() {
    const u64 a =
        anchors[in.ConsumeIntegralInRange<std::size_t>(0, anchors.size() - 1)];
    const int off = in.ConsumeIntegralInRange(-40, 40);
    return off < 0 && a < u64(-off) ? 0 : a + off;
  }
  gcAddressRange range() {
    const u64 first = pick();
    if (in.ConsumeIntegralInRange(0, 15) == 0) return {first + 1, first};
    return {first, first + in.ConsumeIntegralInRange(0, 300)};
  }
  static bool valid(const gcAddressRange& r) {
    return r.iFirst <= r.iLast && r.iLast <= 0xFFFFFFFF;
  }

  // Runs one edit; returns whether it should have worked, and applies it to
  // the map if so. *pHole: the hole a checksum should name; *pClash: the
  // address a merge should name.
  bool step(gcVMM* pVMM, std::unique_ptr<gcVMM>* pTarget, gcImageInfo* pInfo,
            gcFileResult* pResult, std::optional<u64>* pHole,
            std::optional<u64>* pClash) {
    const int op = in.ConsumeIntegralInRange(0, 13);
    bNew = (op >= 1 && op <= 4) || op >= 12;
    switch (op) {
      case 9: {
        const auto kind =
            static_cast<gcTransform>(in.ConsumeIntegralInRange(0, 4));
        const auto v = in.ConsumeIntegral<std::uint8_t>();
        const gcAddressRange r = range();
        *pResult = transformImage(pVMM, kind, v, r.iFirst, r.iLast);
        if (!valid(r)) return false;
        for (auto& [a, byte] : bytes) {
          if (a < r.iFirst || a > r.iLast) continue;
          unsigned b = static_cast<unsigned char>(byte), out = 0;
          for (int i = 0; i < 8; ++i) out |= (b >> i & 1) << (7 - i);
          b = kind == kAnd   ? b & v
              : kind == kOr  ? b | v
              : kind == kXor ? b ^ v
              : kind == kNot ? ~b
                             : out;
          byte = static_cast<char>(b);
        }
        return true;
      }
      case 10:
      case 11: {  // a pattern, or a seeded stream checked against its twin
        const gcAddressRange r = range();
        const std::string pattern = in.ConsumeRandomLengthString(5);
        const u64 seed = in.ConsumeIntegral<u64>();
        if (op == 10)
          *pResult = patternFillImage(
              pVMM, std::vector<unsigned char>(pattern.begin(), pattern.end()),
              r.iFirst, r.iLast);
        gcRandomBytes random(seed), twin(seed);
        if (op == 11)
          *pResult = randomFillImage(pVMM, &random, r.iFirst, r.iLast);
        if (!valid(r) || (op == 10 && pattern.empty())) return false;
        for (u64 a = r.iFirst; a <= r.iLast; ++a) {
          unsigned char b = 0;
          if (bytes.count(static_cast<vmm_int>(a)) != 0) continue;
          if (op == 10) b = pattern[(a - r.iFirst) % pattern.size()];
          if (op == 11) twin.fill(&b, 1);
          bytes[static_cast<vmm_int>(a)] = static_cast<char>(b);
        }
        return true;
      }
      case 12: {
        const auto v = static_cast<char>(in.ConsumeBool() ? 0xFF : 0x5A);
        const u64 least = in.ConsumeIntegralInRange(0, 4);
        *pResult = unfillImage(pVMM, static_cast<std::uint8_t>(v), least,
                               pTarget->get());
        if (least == 0) return false;
        std::vector<vmm_int> run;
        auto end = [&] {
          if (run.size() >= least)
            for (vmm_int a : run) bytes.erase(a);
          run.clear();
        };
        for (auto [a, b] : Bytes(bytes)) {
          if (!run.empty() && a != run.back() + 1) end();
          if (b == v)
            run.push_back(a);
          else
            end();
        }
        end();
        return true;
      }
      case 13: {
        const bool bSplit = in.ConsumeBool();
        const u64 m = in.ConsumeIntegralInRange(0, 5);
        const u64 o = in.ConsumeIntegralInRange(0, 4);
        const u64 w = in.ConsumeIntegralInRange(0, 4);
        const auto s32 = [](u64 v) { return static_cast<std::uint32_t>(v); };
        *pResult = (bSplit ? splitImage : unsplitImage)(
            pVMM, s32(m), s32(o), s32(w), pTarget->get(), pInfo);
        if (m < 2 || w < 1 || w >= m || o + w > m) return false;
        Bytes moved;
        for (auto [a, b] : bytes) {
          if (bSplit && a % m >= o && a % m < o + w)
            moved[static_cast<vmm_int>(a / m * w + a % m - o)] = b;
          if (!bSplit && a / w * m + o + a % w > 0xFFFFFFFF) return false;
          if (!bSplit) moved[static_cast<vmm_int>(a / w * m + o + a % w)] = b;
        }
        bytes.swap(moved);
        start.reset();
        return true;
      }
      case 0: {
        const gcAddressRange r = range();
        const auto b = in.ConsumeIntegral<std::uint8_t>();
        *pResult = fillImage(pVMM, b, r.iFirst, r.iLast);
        if (!valid(r)) return false;
        for (u64 a = r.iFirst; a <= r.iLast; ++a)
          bytes.emplace(static_cast<vmm_int>(a), static_cast<char>(b));
        return true;
      }
      case 1:
      case 2: {
        const bool bCrop = in.ConsumeBool();
        std::vector<gcAddressRange> ranges(in.ConsumeIntegralInRange(0, 3));
        bool bValid = true;
        for (gcAddressRange& r : ranges) bValid &= valid(r = range());
        *pResult =
            (bCrop ? cropImage : excludeImage)(pVMM, ranges, pTarget->get());
        if (!bValid) return false;
        Bytes kept;
        for (auto [a, v] : bytes) {
          bool bIn = false;
          for (const gcAddressRange& r : ranges)
            bIn |= a >= r.iFirst && a <= r.iLast;
          if (bIn == bCrop) kept[a] = v;
        }
        bytes.swap(kept);
        return true;
      }
      case 3: {
        std::int64_t delta = in.ConsumeIntegralInRange<std::int64_t>(-300, 300);
        if (in.ConsumeBool())
          delta = static_cast<std::int64_t>(pick()) -
                  static_cast<std::int64_t>(pick());
        *pResult = moveImage(pVMM, delta, pTarget->get(), pInfo);
        auto inside = [&](u64 a) {
          return static_cast<std::int64_t>(a) + delta >= 0 &&
                 static_cast<std::int64_t>(a) + delta <= 0xFFFFFFFF;
        };
        // A move of 4 GiB or more fits nothing, even an empty image.
        if (delta <= -(std::int64_t{1} << 32) ||
            delta >= std::int64_t{1} << 32 ||
            (!bytes.empty() && (!inside(bytes.begin()->first) ||
                                !inside(bytes.rbegin()->first))) ||
            (start && !inside(*start)))
          return false;
        Bytes moved;
        for (auto [a, v] : bytes) moved[static_cast<vmm_int>(a + delta)] = v;
        bytes.swap(moved);
        if (start) *start += delta;
        return true;
      }
      case 4: {
        const unsigned group = in.ConsumeIntegralInRange(0, 7) == 0
                                   ? in.ConsumeIntegralInRange(0, 9)
                                   : 2u << in.ConsumeIntegralInRange(0, 2);
        *pResult = swapImage(pVMM, group, pTarget->get());
        if (group != 2 && group != 4 && group != 8) return false;
        Bytes swapped;
        for (auto [a, v] : bytes) swapped[a ^ (group - 1)] = v;
        bytes.swap(swapped);
        return true;
      }
      case 6: {  // other bytes merged in, as a moved input is
        gcVMM source;
        source.setMemoryModell(newModel(model));
        Bytes added;
        for (int runs = in.ConsumeIntegralInRange(1, 3); runs > 0; --runs) {
          const u64 a = pick();
          const u64 n = std::min<u64>(in.ConsumeIntegralInRange(1, 40),
                                      (u64{1} << 32) - a);
          std::string data = in.ConsumeBytesAsString(n);
          data.resize(n, static_cast<char>(in.ConsumeIntegral<std::uint8_t>()));
          for (u64 i = 0; i < n; ++i)
            added[static_cast<vmm_int>(a + i)] = data[i];
          source.setBlock(static_cast<vmm_int>(a), &data[0],
                          static_cast<vmm_int>(n));
        }
        const auto overlap =
            static_cast<gcOverlap>(in.ConsumeIntegralInRange(0, 2));
        *pResult = mergeImage(&source, pVMM, overlap);
        for (auto [a, v] : added) {
          const auto it = bytes.find(a);
          if (overlap == kOverlapError && it != bytes.end() &&
              it->second != v) {
            *pClash = a;
            return false;
          }
        }
        for (auto [a, v] : added)
          if (overlap != kOverlapIgnore || bytes.count(a) == 0) bytes[a] = v;
        return true;
      }
      case 7: {
        const u64 at = pick();
        const bool bOverwrite = in.ConsumeBool();
        std::vector<unsigned char> value;
        std::string text;
        bool bValid = true;
        const int type = in.ConsumeIntegralInRange(0, 10);
        if (type < 7) {  // u8, then u16, u32, u64 in either order
          const unsigned w = 1u << (type + 1) / 2;
          const bool bBig = type % 2 == 0;
          u64 v = in.ConsumeIntegral<u64>();
          if (in.ConsumeBool()) v >>= 8 * (8 - w);  // mostly fits
          text = "u" + std::to_string(8 * w) +
                 (w == 1 ? ""
                  : bBig ? "be"
                         : "le") +
                 ":" + (in.ConsumeBool() ? std::to_string(v) : "0x" + hexOf(v));
          bValid = w == 8 || v >> 8 * w == 0;
          for (unsigned k = 0; k < w; ++k)
            value.push_back(
                static_cast<unsigned char>(v >> 8 * (bBig ? w - 1 - k : k)));
        } else {
          const std::string data = in.ConsumeRandomLengthString(12);
          value.assign(data.begin(), data.end());
          if (type == 7) {
            text = "bytes:";
            for (unsigned char c : value) text += hexOf(c, 2);
            if (in.ConsumeIntegralInRange(0, 7) == 0)
              text += "a", bValid = false;
          } else {
            text = (type == 8   ? "text:"
                    : type == 9 ? "textz:"
                                : "u24le:") +
                   data;
            if (type == 9) value.push_back(0);
            bValid = type != 10;
          }
          bValid = bValid && !value.empty();
        }
        *pResult = setImage(pVMM, text, at, bOverwrite);
        if (!bValid || at + value.size() > u64{1} << 32) return false;
        return put(at, value.data(), value.size(), bOverwrite);
      }
      case 8: {
        const int k = in.ConsumeIntegralInRange(0, 14);
        const std::uint32_t n = k == 13 ? 3 : k == 14 ? 1u << 21 : 1u << k;
        const auto fill = in.ConsumeIntegral<std::uint8_t>();
        *pResult = alignImage(pVMM, n, fill);
        if (n < 2 || n > 0x100000 || (n & (n - 1)) != 0) return false;
        std::vector<u64> blocks;
        for (const auto& byte : bytes)
          if (blocks.empty() || blocks.back() != (byte.first & ~u64{n - 1}))
            blocks.push_back(byte.first & ~u64{n - 1});
        for (u64 b : blocks)
          for (u64 a = b; a < b + n; ++a)
            bytes.emplace(static_cast<vmm_int>(a), static_cast<char>(fill));
        return true;
      }
      default: {
        const auto& names = checksumNames();
        const std::size_t i =
            in.ConsumeIntegralInRange<std::size_t>(0, names.size());
        std::string name = i < names.size() ? names[i] : "crc8";
        // The catalogue's names are checked against their check values
        // elsewhere; here any CRC by its parameters, against crcBits.
        std::optional<CrcParameters> crc;
        if (name.find('/') != std::string::npos) {
          const int w = in.ConsumeIntegralInRange(1, 64);
          const u64 mask = ~u64{0} >> (64 - w);
          crc = CrcParameters{w,
                              in.ConsumeIntegral<u64>() & mask,
                              in.ConsumeIntegral<u64>() & mask,
                              in.ConsumeBool(),
                              in.ConsumeBool(),
                              in.ConsumeIntegral<u64>() & mask};
          auto flag = [](bool b) { return b ? "true" : "false"; };
          name = "crc(width=" + std::to_string(w) + ",poly=0x" +
                 hexOf(crc->poly) + ",init=" + std::to_string(crc->init) +
                 ",refin=" + flag(crc->bRefIn) +
                 ",refout=" + flag(crc->bRefOut) + ",xorout=0x" +
                 hexOf(crc->xorout) + ")" + (in.ConsumeBool() ? "-be" : "-le");
        }
        const bool bLength = name.compare(0, 6, "length") == 0;
        const bool bBounds =
            name.compare(0, 6, "lowest") == 0 || name.compare(0, 3, "end") == 0;
        int digest = 0;
        for (auto [dname, id] :
             {std::pair{"md5", GCRY_MD_MD5}, std::pair{"sha1", GCRY_MD_SHA1},
              std::pair{"sha224", GCRY_MD_SHA224},
              std::pair{"sha256", GCRY_MD_SHA256},
              std::pair{"sha384", GCRY_MD_SHA384},
              std::pair{"sha512", GCRY_MD_SHA512},
              std::pair{"rmd160", GCRY_MD_RMD160},
              std::pair{"tiger", GCRY_MD_TIGER},
              std::pair{"whirlpool", GCRY_MD_WHIRLPOOL}})
          if (name == dname) digest = id;
        const u64 at = pick();
        const gcAddressRange r = range();
        const bool bOverwrite = in.ConsumeBool();
        *pResult = checksumImage(pVMM, name, at, r.iFirst, r.iLast, bOverwrite);
        std::vector<unsigned char> data;
        auto kind = reference(name, data);
        if (crc) kind = std::pair<u64, unsigned>{0, (crc->w + 7) / 8};
        if (bLength || bBounds)
          kind = std::pair<u64, unsigned>{
              0, name[name.size() - 5] == '1' ? 2u : 4u};
        if (digest != 0)
          kind = std::pair<u64, unsigned>{0, gcry_md_get_algo_dlen(digest)};
        if (!kind || !valid(r) || at + kind->second > u64{1} << 32 ||
            (!bLength && !bBounds && at <= r.iLast &&
             at + kind->second > r.iFirst) ||
            (name.compare(0, 5, "stm32") == 0 &&
             (r.iFirst % 4 != 0 || (r.iLast - r.iFirst + 1) % 4 != 0)))
          return false;
        if (bLength) {
          const u64 length = r.iLast - r.iFirst + 1;
          if (length >> 8 * kind->second != 0) return false;
          return stamp(name, at, length, kind->second, bOverwrite);
        }
        if (bBounds) {
          const auto low = bytes.lower_bound(static_cast<vmm_int>(r.iFirst));
          if (low == bytes.end() || low->first > r.iLast) return false;
          u64 v = low->first;
          if (name[0] == 'e')
            v = u64{std::prev(bytes.upper_bound(static_cast<vmm_int>(r.iLast)))
                        ->first} +
                1;
          if (v >> 8 * kind->second != 0) return false;
          return stamp(name, at, v, kind->second, bOverwrite);
        }
        for (u64 a = r.iFirst; a <= r.iLast; ++a) {
          const auto it = bytes.find(static_cast<vmm_int>(a));
          if (it == bytes.end()) {
            *pHole = a;
            return false;
          }
          data.push_back(static_cast<unsigned char>(it->second));
        }
        if (digest != 0) {
          std::vector<unsigned char> md(kind->second);
          gcry_md_hash_buffer(digest, md.data(), data.data(), data.size());
          return put(at, md.data(), md.size(), bOverwrite);
        }
        const auto [value, width] =
            crc ? std::pair<u64, unsigned>{crcBits(data, *crc), kind->second}
                : *reference(name, data);
        return stamp(name, at, value, width, bOverwrite);
      }
    }
  }

  // Writes n bytes at `at` into the map, unless one of another value is
  // there and not bOverwrite.
  bool put(u64 at, const unsigned char* p, std::size_t n, bool bOverwrite) {
    Bytes written = bytes;
    for (std::size_t k = 0; k < n; ++k) {
      const auto v = static_cast<char>(p[k]);
      const auto a = static_cast<vmm_int>(at + k);
      if (!bOverwrite && bytes.count(a) != 0 && bytes[a] != v) return false;
      written[a] = v;
    }
    bytes.swap(written);
    return true;
  }
  bool stamp(const std::string& name, u64 at, u64 value, unsigned width,
             bool bOverwrite) {
    const bool bBig = name.size() > 3 && name.substr(name.size() - 3) == "-be";
    unsigned char out[8];
    for (unsigned k = 0; k < width; ++k)
      out[k] =
          static_cast<unsigned char>(value >> 8 * (bBig ? width - 1 - k : k));
    return put(at, out, width, bOverwrite);
  }
};

void edits(FuzzedDataProvider& in) {
  Edits e(in);
  e.model = in.ConsumeIntegralInRange(0, 2);
  auto vmm = std::make_unique<gcVMM>();
  vmm->setMemoryModell(newModel(e.model));
  for (int runs = in.ConsumeIntegralInRange(0, 4); runs > 0; --runs) {
    const u64 a = in.ConsumeBool() ? e.pick() : in.ConsumeIntegral<vmm_int>();
    const u64 n =
        std::min<u64>(in.ConsumeIntegralInRange(1, 200), (u64{1} << 32) - a);
    std::string data = in.ConsumeBytesAsString(n);
    data.resize(n, '\x5a');
    for (u64 i = 0; i < n; ++i) e.bytes[static_cast<vmm_int>(a + i)] = data[i];
    vmm->setBlock(static_cast<vmm_int>(a), &data[0], static_cast<vmm_int>(n));
    e.anchors.push_back(a);
  }
  gcImageInfo info;
  if (in.ConsumeBool()) {
    e.start = e.pick() & 0xFFFFFFFF;
    info.setStartAddress(static_cast<std::uint32_t>(*e.start));
  }
  for (int steps = in.ConsumeIntegralInRange(1, 8); steps > 0; --steps) {
    auto target = std::make_unique<gcVMM>();
    target->setMemoryModell(newModel(e.model));
    const std::string before = snapshot(*vmm);
    gcFileResult r;
    std::optional<u64> hole, clash;
    const bool bOk = e.step(vmm.get(), &target, &info, &r, &hole, &clash);
    check(r.isOk() == bOk, "an edit's outcome");
    if (!bOk) {
      check(snapshot(*vmm) == before && writtenBytes(*target).empty(),
            "a failed edit changed the image");
      check(!hole || r.getMessage().find("hole at 0x") != std::string::npos,
            "a hole named");
      for (const auto& where : {hole, clash}) {
        if (!where) continue;
        char text[16];
        std::snprintf(text, sizeof text, "0x%08llX",
                      static_cast<unsigned long long>(*where));
        check(r.getMessage().find(text) != std::string::npos,
              "the hole or the clash named");
      }
      continue;
    }
    if (e.bNew) vmm.swap(target);
    check(writtenBytes(*vmm) == e.bytes, "bytes after an edit");
    check(info.hasStartAddress() == e.start.has_value() &&
              (!e.start || info.getLinearStartAddress() == *e.start),
          "start address after a move");
  }
}

// The text formats of the record engine, and Needham's.
const char* const kRecordTypes[] = {"Tektronix",
                                    "Tektronix extended",
                                    "MOS Technology",
                                    "Signetics",
                                    "Intel HEX-16",
                                    "B-Record",
                                    "Atmel Generic",
                                    "Fairchild",
                                    "Elektor Monitor (EMON52)",
                                    "TI-Tagged",
                                    "TI-Tagged-16",
                                    "Needham",
                                    "PPX",
                                    "Cosmac"};

void records(FuzzedDataProvider& in) {
  const char* pType = in.PickValueInArray(kRecordTypes);
  gcVMM vmm, back;
  vmm.setMemoryModell(newModel(in.ConsumeIntegralInRange(0, 2)));
  back.setMemoryModell(newModel(in.ConsumeIntegralInRange(0, 2)));
  std::map<vmm_int, char> shadow;
  const bool bSmall = in.ConsumeBool();  // below 64 KiB, where most fit
  for (int runs = in.ConsumeIntegralInRange(1, 4); runs > 0; --runs) {
    vmm_int a = in.ConsumeIntegral<vmm_int>();
    if (bSmall) a &= 0xFFFF;
    const std::uint64_t n = std::min<std::uint64_t>(
        in.ConsumeIntegralInRange(1, 300),
        (bSmall ? 0x10000 : std::uint64_t{1} << 32) - a);
    std::string data = in.ConsumeBytesAsString(n);
    data.resize(n);
    for (std::uint64_t i = 0; i < n; ++i) shadow[a + i] = data[i];
    vmm.setBlock(a, &data[0], n);
  }
  gcImageOptions options;
  options.setRecordLength(in.ConsumeIntegralInRange(1, 255))
      .setCrlf(in.ConsumeBool())
      .setDataOnly(in.ConsumeBool())
      .setAddressUnit(1u << in.ConsumeIntegralInRange(0, 2));
  gcImageInfo info;
  if (in.ConsumeBool()) info.setStartAddress(in.ConsumeIntegral<vmm_int>());
  gcFileSupport support;
  gcFileFormat* pFormat = support.createFileSupport(pType);
  unlink(gFile.c_str());
  if (!pFormat->saveImage(gFile, &vmm, options, &info).isOk()) {
    check(access(gFile.c_str(), F_OK) != 0, "a refused save left a file");
    return;
  }
  check(pFormat->loadImage(gFile, &back, options, nullptr).isOk() &&
            writtenBytes(back) == shadow,
        "a saved record file loads as its bytes");
  std::string text;
  std::getline(std::ifstream(gFile, std::ios::binary), text, '\0');
  for (int k = in.ConsumeIntegralInRange(1, 4); k > 0 && !text.empty(); --k)
    text[in.ConsumeIntegralInRange<std::size_t>(0, text.size() - 1)] =
        static_cast<char>(in.ConsumeIntegral<std::uint8_t>());
  std::ofstream(gFile, std::ios::binary) << text;
  gcVMM other;
  other.setMemoryModell(newModel(0));
  char two[] = {1, 2};
  other.setBlock(0, two, 2);
  const std::string before = snapshot(other);
  if (!pFormat->loadImage(gFile, &other, options, nullptr).isOk())
    check(snapshot(other) == before, "a failed load changed the VMM");
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
  const auto mode = in.ConsumeIntegral<std::uint8_t>();
  if ((mode & 0x1C) == 0x1C)
    records(in);
  else
    (mode & 1 ? readText : mode & 2 ? edits : roundTrip)(in);
  return 0;
}
