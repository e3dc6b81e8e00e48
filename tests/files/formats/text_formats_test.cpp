// The text formats without records of their own, and those written only:
// each one's framing and check for one image, read back where it can be;
// the refusals of their saves. Their bad input is in formats_test.cpp's
// table, their agreement with srec_cat in the peer harness.
#include <dwxvmm/dwxvmm.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "../../support/scratch_dir.h"
#include "../../support/written_bytes.h"
#include "gcFileSupport.h"

namespace {

struct Framing {
  const char* type;
  bool bReads;  // a format written only is not
  bool bStart;  // carries the start address
  std::string text;
};

// "HelloWor" at 0x1000, "ld!\n" at 0x1010, start 0x1004, header "demo".
// clang-format off
const Framing kFramings[] = {
  {"ASCII-Hex", true, false,
   "\x02 $A1000,\n48 65 6C 6C 6F 57 6F 72 $A1010,\n6C 64 21 0A \x03\n$S0427,\n"},
  {"FastLoad", true, true,
   "/ABAA\nSGVsbG9X/BBv/BBy/ABAQ\nbGQh/BAK/CAQn\n/ABAE/EAA\n"},
  {"Four Packed Code", true, false,
   "$a2wD@%%%V6=<hZWIhcoy\n$m(Aza%%%VFHm0`w\n$%%%%%\n"},
  {"OS65V", true, true,
   ".1000/48\r65\r6C\r6C\r6F\r57\r6F\r72\r.1010/6C\r64\r21\r0A\r.1004G\r"},
  {"SPASM (big-endian)", true, false,
   "0800 6548\n0801 6C6C\n0802 576F\n0803 726F\n0808 646C\n0809 0A21\n"},
  {"SPASM (little-endian)", true, false,
   "0800 4865\n0801 6C6C\n0802 6F57\n0803 6F72\n0808 6C64\n0809 210A\n"},
  {"MIPS flash (big-endian)", true, false,
   "!R\n>00000xxx @00000000 !E\n@00001000\n>00001000\n48656C6C 6F576F72\n"
   "@00001010\n>00001010\n6C64210A\n>#DL_DONE\n>FINISHED\n"},
  {"MIPS flash (little-endian)", true, false,
   "!R\n>00000xxx @00000000 !E\n@00001000\n>00001000\n6C6C6548 726F576F\n"
   "@00001010\n>00001010\n0A21646C\n>#DL_DONE\n>FINISHED\n"},
  {"Logisim", true, false,
   "v2.0 raw\n\n48 65 6C 6C 6F 57 6F 72 8*FF 6C 64 21 A\n"},
  {"ASM", false, false,
   "; demo\n        ORG     4096\n        DB      72,101,108,108,111,87,111,114\n"
   "        ORG     4112\n        DB      108,100,33,10\n"
   "; execution start address = 0x1004\n; upper bound = 0x1014\n"
   "; lower bound = 0x1000\n; length =      0x0014\n"},
  {"BASIC", false, false,
   "REM demo\n"
   "DATA 72,101,108,108,111,87,111,114,255,255,255,255,255,255,255,255,108,100\n"
   "DATA 33,10\nREM termination = 4100\nREM start = 4096\nREM finish = 4116\n"
   "REM length = 20\n"},
  {"FORTH", false, false,
   "HEX\n48 1000 C!\n65 1001 C!\n6C 1002 C!\n6C 1003 C!\n6F 1004 C!\n"
   "57 1005 C!\n6F 1006 C!\n72 1007 C!\n6C 1010 C!\n64 1011 C!\n21 1012 C!\n"
   "0A 1013 C!\n\n( THE END )\n"},
  {"VHDL", false, false,
   "-- demo\n--\n-- Generated automatically by dwxvmm - do not edit\n--\n"
   "library IEEE;\nuse IEEE.numeric_std.all;\nuse work.eprom_defs_pack.all;\n\n"
   "package eprom_pack is\n constant eprom_rom : eprom_rom_array;\n"
   "end package eprom_pack;\n\npackage body eprom_pack is\n"
   " constant eprom_rom : eprom_rom_array := eprom_rom_array'(\n"
   "  4096 => eprom_entry(72),\n  4097 => eprom_entry(101),\n"
   "  4098 => eprom_entry(108),\n  4099 => eprom_entry(108),\n"
   "  4100 => eprom_entry(111),\n  4101 => eprom_entry(87),\n"
   "  4102 => eprom_entry(111),\n  4103 => eprom_entry(114),\n"
   "  4112 => eprom_entry(108),\n  4113 => eprom_entry(100),\n"
   "  4114 => eprom_entry(33),\n  4115 => eprom_entry(10),\n"
   "  others => eprom_dont_care\n );\nend package body eprom_pack;\n"},
  {"Lattice MEM", false, false,
   "#Format=Hex\n#Depth=20\n#Width=8\n#AddrRadix=3\n#DataRadix=3\n#Data\n#\n"
   "# Generated automatically by dwxvmm\n#\n# demo\n48\n65\n6C\n6C\n6F\n57\n"
   "6F\n72\nFF\nFF\nFF\nFF\nFF\nFF\nFF\nFF\n6C\n64\n21\n0A\n"
   "# execution start address = 1004\n"},
  {"Hex dump", false, false,
   "00001000: 48 65 6C 6C 6F 57 6F 72                          #HelloWor\n"
   "00001010: 6C 64 21 0A                                      #ld!.\n"},
};
// clang-format on

class TextFormats : public ScratchDir {};

TEST_F(TextFormats, WriteTheirFramingAndReadItBack) {
  gcFileSupport support;
  gcVMM image;
  image.setMemoryModell(new gcVMM32BitCompact);
  for (auto [iAddr, run] :
       {std::pair{0x1000u, std::string("HelloWor")}, {0x1010u, "ld!\n"}})
    image.setBlock(iAddr, &run[0], static_cast<vmm_int>(run.size()));
  gcImageInfo info;
  info.setStartAddress(0x1004);
  info.setHeader("demo");
  for (const Framing& c : kFramings) {
    SCOPED_TRACE(c.type);
    gcFileFormat* pFormat = support.createFileSupport(c.type);
    ASSERT_NE(nullptr, pFormat);
    const gcFileResult saved = pFormat->saveImage("f", &image, {}, &info);
    ASSERT_TRUE(saved.isOk()) << saved.getMessage();
    EXPECT_EQ(12u, saved.getDataBytes());
    EXPECT_EQ(c.text, slurp("f"));
    if (!c.bReads) continue;
    gcVMM vmm;
    vmm.setMemoryModell(new gcVMM32BitCompact);
    gcImageInfo read;
    gcImageOptions options;
    const gcFileResult r =
        pFormat->loadImage("f", &vmm, options.setLoadAddress(0x1000), &read);
    ASSERT_TRUE(r.isOk()) << r.getMessage();
    EXPECT_EQ(std::vector<std::string>{}, r.getWarnings());
    std::map<vmm_int, char> want = writtenBytes(image);
    if (saved.getFilledBytes() != 0)  // written without addresses
      for (vmm_int a = 0x1008; a < 0x1010; ++a) want[a] = '\xFF';
    EXPECT_EQ(want, writtenBytes(vmm));
    EXPECT_EQ(c.bStart, read.hasStartAddress());
    if (c.bStart) {
      EXPECT_EQ(0x1004u, read.getStartAddress());
    }
  }
}

std::unique_ptr<gcVMM> newVMM() {
  auto pVMM = std::make_unique<gcVMM>();
  pVMM->setMemoryModell(new gcVMM32BitCompact);
  return pVMM;
}

// Runs of many lines (FastLoad's sum compared every 16th among them) read
// back as written, every check passing.
TEST_F(TextFormats, LongRunsReadBackWithTheirChecks) {
  gcFileSupport support;
  const auto image = newVMM();
  std::string run(3000, '\0');
  for (std::size_t i = 0; i < run.size(); ++i)
    run[i] = static_cast<char>(i * 37 + i / 256);
  image->setBlock(0x1000, &run[0], 3000);
  image->setBlock(0x2000, &run[0], 8);
  for (const Framing& c : kFramings) {
    if (!c.bReads || std::string(c.type) == "Logisim") continue;  // no holes
    SCOPED_TRACE(c.type);
    gcFileFormat* pFormat = support.createFileSupport(c.type);
    ASSERT_TRUE(pFormat->saveImage("f", image.get(), {}, nullptr).isOk());
    const auto vmm = newVMM();
    const gcFileResult r = pFormat->loadImage("f", vmm.get(), {}, nullptr);
    ASSERT_TRUE(r.isOk()) << r.getMessage();
    EXPECT_EQ(std::vector<std::string>{}, r.getWarnings());
    EXPECT_EQ(writtenBytes(*image), writtenBytes(*vmm));
  }
}

// A header fills its field to the last byte and fails one past it; a
// listing's, and a name, longer than the save's pieces are written whole.
TEST_F(TextFormats, HeadersToTheEdgeOfTheirField) {
  gcFileSupport support;
  const auto image = newVMM();
  image->setByte(0x10, 1);
  std::string text(0x10000, ' ');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char>('a' + i % 23);
  for (auto [type, iMost] :
       {std::pair{"AOMF", 255u}, {"TRS-80", 255u}, {"TI-Tagged", 0xFFFFu - 12}})
    for (unsigned int n : {iMost, iMost + 1}) {
      SCOPED_TRACE(std::string(type) + " " + std::to_string(n));
      gcImageInfo info, back;
      info.setHeader(text.substr(0, n));
      gcFileFormat* pFormat = support.createFileSupport(type);
      ASSERT_EQ(n == iMost,
                pFormat->saveImage("h", image.get(), {}, &info).isOk());
      if (n > iMost) continue;
      const gcFileResult r = pFormat->loadImage("h", newVMM().get(), {}, &back);
      ASSERT_TRUE(r.isOk()) << r.getMessage();
      EXPECT_EQ(info.getHeader(), back.getHeader());
    }
  gcImageInfo info;
  info.setHeader(text.substr(0, 5000));
  ASSERT_TRUE(support.createFileSupport("ASM")
                  ->saveImage("h", image.get(), {}, &info)
                  .isOk());
  EXPECT_EQ("; " + info.getHeader() + "\n", slurp("h").substr(0, 5003));
  gcImageOptions options;  // a C array's name, of any length
  ASSERT_TRUE(support.createFileSupport("C array")
                  ->saveImage("h", image.get(),
                              options.setArrayName(text.substr(0, 40000)),
                              nullptr)
                  .isOk());
  EXPECT_EQ("/* " + options.getArrayName() + ":", slurp("h").substr(0, 40004));
}

// What a format cannot hold fails the save, naming the first address that
// does not fit, and leaves no file.
TEST_F(TextFormats, SavesRefuseWhatTheFieldCannotHold) {
  gcFileSupport support;
  struct Refusal {
    const char* type;
    vmm_int iAddr;
    unsigned int iBytes;
    std::uint32_t iStart;
    const char* reason;
  };
  for (const Refusal& c : {
           Refusal{"OS65V", 0xFFFF, 2, 0,
                   "address 0x00010000 is past the address field (below "
                   "0x00010000)"},
           {"OS65V", 0x100, 1, 0x10000,
            "start address 0x00010000 does not fit the start field"},
           {"SPASM (big-endian)", 0x1FFFE, 4, 0,
            "address 0x00020000 is past the address field (below "
            "0x00020000)"},
           {"SPASM (little-endian)", 0x11, 2, 0,
            "address 0x00000011 does not fill a whole 16-bit word"},
           {"MIPS flash (big-endian)", 0x10, 6, 0,
            "address 0x00000015 does not fill a whole 32-bit word"},
           // A single byte: the range's first address is its last.
           {"PPX", 0x10000, 1, 0,
            "address 0x00010000 is past the address field (below "
            "0x00010000)"},
           {"Tektronix", 0x10000, 1, 0,
            "address 0x00010000 is past the address field (below "
            "0x00010000)"},
           {"TI-Tagged", 0x10000, 1, 0,
            "address 0x00010000 is past the address field (below "
            "0x00010000)"},
       }) {
    SCOPED_TRACE(std::string(c.type) + ": " + c.reason);
    gcVMM vmm;
    vmm.setMemoryModell(new gcVMM32BitCompact);
    for (unsigned int i = 0; i < c.iBytes; ++i) vmm.setByte(c.iAddr + i, 1);
    gcImageInfo info;
    if (c.iStart != 0) info.setStartAddress(c.iStart);
    const gcFileResult r =
        support.createFileSupport(c.type)->saveImage("r", &vmm, {}, &info);
    EXPECT_EQ(std::string("r: ") + c.reason, r.getMessage());
    EXPECT_FALSE(std::filesystem::exists("r"));
  }
}

}  // namespace
