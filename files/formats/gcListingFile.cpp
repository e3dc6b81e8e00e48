#include "gcListingFile.h"

#include <cstdio>
#include <cstring>

#include "gcHexCodec.h"
#include "gcImageSave.h"
#include "gcTextLines.h"

namespace {

typedef std::uint64_t u64;

// The decimal digits of each byte: length in [0], digits after.
struct Decimals {
  char text[256][5];  // a length, three digits, the end
  Decimals() {
    for (int i = 0; i < 256; ++i)
      text[i][0] = static_cast<char>(std::snprintf(text[i] + 1, 4, "%d", i));
  }
};
const Decimals kDecimals;

void addDecimal(gcItemLines& lines, unsigned char iByte) {
  lines.add(kDecimals.text[iByte] + 1,
            static_cast<unsigned int>(kDecimals.text[iByte][0]));
}

std::string format(const char* pFormat, u64 v) {
  char text[64];
  std::snprintf(text, sizeof text, pFormat, static_cast<unsigned long long>(v));
  return text;
}

struct Save {
  gcImageSave& save;
  gcVMMBase* pVMM;
  std::uint8_t iFill;
  std::string sHeader;
  bool bStart;
  std::uint32_t iStart;
  u64 iBytes = 0;
  u64 iFilled = 0;
};

// Calls each(address, byte) for every byte of the runs, or with bFill of the
// whole range with holes filled.
template <class Each>
void forBytes(Save& s, bool bFill, Each each) {
  struct Handler : gcSegmentHandler {
    Save& s;
    Each& each;
    Handler(Save& s_, Each& e) : s(s_), each(e) {}
    bool handleSegment(vmm_int iFirst, u64 iLength,
                       const char* pData) override {
      const auto* p = reinterpret_cast<const unsigned char*>(pData);
      for (u64 i = 0; i < iLength; ++i) each(iFirst + i, p[i]);
      return s.save.isOk();
    }
  } handler(s, each);
  if (bFill) {
    forFilledRange(s.pVMM, s.save, s.iFill, &handler, &s.iFilled);
    s.iBytes = s.save.getLast() + 1 - s.save.getFirst() - s.iFilled;
  } else {
    forAllSegments(s.pVMM, &handler, s.save.getFirst(), s.save.getLast(),
                   1 << 16);
  }
}

void writeAsm(Save& s) {
  if (!s.sHeader.empty()) putLine(s.save, "; " + s.sHeader);
  gcItemLines lines(s.save, "        DB      ", ',', 75);
  u64 iNext = 0, iLow = ~u64{0};
  forBytes(s, false, [&](u64 iAddr, unsigned char iByte) {
    if (iAddr != iNext || iLow > iAddr) {
      lines.endLine();
      if (iAddr != 0) putLine(s.save, format("        ORG     %llu", iAddr));
      if (iLow > iAddr) iLow = iAddr;
    }
    addDecimal(lines, iByte);
    iNext = iAddr + 1;
    ++s.iBytes;
  });
  lines.endLine();
  if (s.bStart)
    putLine(s.save, format("; execution start address = 0x%04llX", s.iStart));
  putLine(s.save, format("; upper bound = 0x%04llX", iNext));
  putLine(s.save, format("; lower bound = 0x%04llX", iLow));
  putLine(s.save, format("; length =      0x%04llX", iNext - iLow));
}

void writeBasic(Save& s) {
  if (!s.sHeader.empty()) putLine(s.save, "REM " + s.sHeader);
  gcItemLines lines(s.save, "DATA ", ',', 75);
  forBytes(s, true,
           [&](u64, unsigned char iByte) { addDecimal(lines, iByte); });
  lines.endLine();
  putLine(s.save, format("REM termination = %llu", s.bStart ? s.iStart : 0));
  putLine(s.save, format("REM start = %llu", s.save.getFirst()));
  putLine(s.save, format("REM finish = %llu", s.save.getLast() + 1));
  putLine(s.save, format("REM length = %llu",
                         s.save.getLast() + 1 - s.save.getFirst()));
}

void writeForth(Save& s) {
  putLine(s.save, "HEX");
  const std::uint16_t* pDigits = hexPairDigits();
  forBytes(s, false, [&](u64 iAddr, unsigned char iByte) {
    char* p = encodeHex(s.save.room(32), pDigits, iByte);
    p += std::sprintf(p, " %04llX C!", static_cast<unsigned long long>(iAddr));
    s.save.advance(s.save.lineEnd(p));
    ++s.iBytes;
  });
  putLine(s.save, "");
  putLine(s.save, "( THE END )");
}

void writeVhdl(Save& s) {
  if (!s.sHeader.empty()) putLine(s.save, "-- " + s.sHeader);
  for (const char* pLine :
       {"--", "-- Generated automatically by dwxvmm - do not edit", "--",
        "library IEEE;", "use IEEE.numeric_std.all;",
        "use work.eprom_defs_pack.all;", "", "package eprom_pack is",
        " constant eprom_rom : eprom_rom_array;", "end package eprom_pack;", "",
        "package body eprom_pack is",
        " constant eprom_rom : eprom_rom_array := eprom_rom_array'("})
    putLine(s.save, pLine);
  forBytes(s, false, [&](u64 iAddr, unsigned char iByte) {
    char* p = s.save.room(48);
    p += std::sprintf(p, "  %llu => eprom_entry(%u),",
                      static_cast<unsigned long long>(iAddr), iByte);
    s.save.advance(s.save.lineEnd(p));
    ++s.iBytes;
  });
  for (const char* pLine :
       {"  others => eprom_dont_care", " );", "end package body eprom_pack;"})
    putLine(s.save, pLine);
}

void writeMem(Save& s) {
  putLine(s.save, "#Format=Hex");
  putLine(s.save,
          format("#Depth=%llu", s.save.getLast() + 1 - s.save.getFirst()));
  for (const char* pLine : {"#Width=8", "#AddrRadix=3", "#DataRadix=3", "#Data",
                            "#", "# Generated automatically by dwxvmm", "#"})
    putLine(s.save, pLine);
  if (!s.sHeader.empty()) putLine(s.save, "# " + s.sHeader);
  const std::uint16_t* pDigits = hexPairDigits();
  forBytes(s, true, [&](u64, unsigned char iByte) {
    s.save.advance(s.save.lineEnd(encodeHex(s.save.room(4), pDigits, iByte)));
  });
  if (s.bStart)
    putLine(s.save, format("# execution start address = %04llX", s.iStart));
}

// Rows of 16 bytes from a multiple of 16: the address, each byte in hex or
// blank for a hole, and the bytes as 7-bit characters up to the row's
// last, trailing blanks dropped.
void writeHexDump(Save& s) {
  const std::uint16_t* pDigits = hexPairDigits();
  u64 iRow = ~u64{0};
  unsigned char row[16];
  unsigned int iHave = 0;  // bit i: row[i] written
  auto flush = [&]() {
    if (iHave == 0) return;
    char* p = s.save.room(96);
    p += std::sprintf(p, "%08llX:", static_cast<unsigned long long>(iRow));
    for (unsigned int i = 0; i < 16; ++i) {
      *p++ = ' ';
      if (iHave >> i & 1) {
        p = encodeHex(p, pDigits, row[i]);
      } else {
        *p++ = ' ', *p++ = ' ';
      }
    }
    *p++ = ' ', *p++ = ' ', *p++ = '#';
    char* pText = p;
    for (unsigned int i = 0; i < 16 && iHave >> i != 0; ++i) {
      const char c = static_cast<char>(row[i] & 0x7F);
      *p++ = !(iHave >> i & 1) ? ' ' : c >= 0x20 && c < 0x7F ? c : '.';
    }
    while (p > pText && p[-1] == ' ') --p;
    s.save.advance(s.save.lineEnd(p));
    iHave = 0;
  };
  forBytes(s, false, [&](u64 iAddr, unsigned char iByte) {
    if (iAddr - iAddr % 16 != iRow) {
      flush();
      iRow = iAddr - iAddr % 16;
    }
    row[iAddr % 16] = iByte;
    iHave |= 1u << (iAddr % 16);
    ++s.iBytes;
  });
  flush();
}

const struct {
  const char* pName;
  void (*write)(Save&);
} kListings[] = {
    {"ASM", writeAsm},   {"BASIC", writeBasic},     {"FORTH", writeForth},
    {"VHDL", writeVhdl}, {"Lattice MEM", writeMem}, {"Hex dump", writeHexDump},
};

class ListingFile : public gcFileFormat {
 public:
  explicit ListingFile(gcListing eKind)
      : kind_(kListings[static_cast<int>(eKind)]) {}
  const char* getTypeName() override { return kind_.pName; }
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase*,
                         const gcImageOptions&, gcImageInfo*) override {
    return gcFileResult::failure(
        sFileName, 0,
        std::string(kind_.pName) + " files are written, not read");
  }
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override {
    gcImageSave save(sFileName, pVMM, options);
    Save s{save,  pVMM, options.getFillByte(), headerToWrite(options, pInfo),
           false, 0};
    s.bStart = startToWrite(options, pInfo, &s.iStart);
    if (!save.open()) return save.finish(0, 0);
    kind_.write(s);
    return save.finish(s.iBytes, s.iFilled);
  }

 private:
  decltype(kListings[0]) kind_;
};

}  // namespace

gcFileFormat* newListingFile(gcListing eKind) { return new ListingFile(eKind); }
