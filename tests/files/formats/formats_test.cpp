// The image formats against srecord (srec_cat, srec_cmp) and
// python3-intelhex, both ways; bad input; options and metadata.
#include <dwxvmm/dwxvmm.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "../../support/elf_builder.h"
#include "../../support/scratch_dir.h"
#include "../../support/written_bytes.h"
#include "gcFileSupport.h"

namespace {

typedef std::vector<std::pair<std::uint64_t, std::uint64_t>> Spans;

char valueAt(std::uint64_t a) { return static_cast<char>(a * 7 + (a >> 12)); }

std::map<vmm_int, char> expected(const Spans& spans) {
  std::map<vmm_int, char> bytes;
  for (auto [first, n] : spans)
    for (std::uint64_t a = first; a < first + n; ++a)
      bytes[static_cast<vmm_int>(a)] = valueAt(a);
  return bytes;
}

int sh(const std::string& command) { return std::system(command.c_str()); }

struct Interop {
  const char* type;
  Spans spans;
  const char* start;  // "EIP" or "CS IP" in hex, or ""
  unsigned int iRecordLength, iAddressBytes;
  bool bCrlf;
  const char* theirOptions;  // srec_cat's output options
  const char* oursHas;       // in the file we write
  const char* theirsHas;     // in the file srec_cat writes
};

// clang-format off
const Interop kInterop[] = {
  {"Intel HEX", {{0x100, 0x30}, {0x140, 1}, {0xFFF0, 0x30}}, "", 32, 0, false,
   "", ":020000040001F9\n:20000000", ""},
  {"Intel HEX", {{0, 5}, {0xFFFFFF00, 0x100}}, "FFFFFFF0", 255, 0, false,
   "", ":02000004FFFFFC\n:FFFF0000", ""},
  {"Intel HEX", {{0x12345, 0x40}}, "1234 0005", 16, 0, true,
   "-crlf", ":0400000312340005AE\r\n", "\r\n"},
  {"Intel HEX", {{0x4FFF8, 0x10}, {0x9FFF0, 0x20}}, "", 16, 0, false,
   "-address-length=3", ":020000040004F6", ":02000002"},
  {"Motorola S-record", {{0, 0x20}, {0xFFF0, 0x10}}, "", 32, 0, false,
   "", "\nS113FFF0", "S1"},
  {"Motorola S-record", {{0x10000, 0x21}}, "123456", 16, 0, true,
   "-crlf", "S5030003F9\r\nS804123456", "S2"},
  {"Motorola S-record", {{0x200, 0x10}, {0xFFFFFFF0, 0x10}}, "", 250, 0, false,
   "-address-length=4", "S70500000000FA", "S3"},
  {"Motorola S-record", {{0x200, 0x10}}, "", 8, 4, false,
   "", "S30D00000200", "S1"},
};
// clang-format on

class Formats : public ScratchDir {};

TEST_F(Formats, AgreeWithSrecordAndIntelhexBothWays) {
  ASSERT_EQ(0, sh("command -v srec_cat srec_cmp >/dev/null && /usr/bin/python3"
                  " -c 'import intelhex'"))
      << "scripts/deps.sh srecord python3-intelhex";
  const std::string check = "/usr/bin/python3 " INTEROP_PY " ";
  gcFileSupport support;
  for (const Interop& c : kInterop) {
    SCOPED_TRACE(c.oursHas);
    const bool bHex = std::string(c.type) == "Intel HEX";
    const std::string flag = bHex ? " -intel" : " -motorola";
    gcFileFormat* pFormat = support.createFileSupport(c.type);
    gcVMM vmm;
    vmm.setMemoryModell(new gcVMM32BitCompact);
    std::ostringstream desc;  // the image for interop.py
    for (auto [a, v] : expected(c.spans)) {
      vmm.setByte(a, v);
      char line[24];
      std::snprintf(line, sizeof line, "%x %02x\n", a, v & 0xFF);
      desc << line;
    }
    gcImageInfo info;
    unsigned int cs = 0, ip = 0;
    const int iWords = std::sscanf(c.start, "%x %x", &cs, &ip);
    if (iWords > 0) {
      info.setStartAddress(iWords == 2 ? cs << 16 | ip : cs, iWords == 2);
      desc << "start " << c.start << '\n';
    }
    spill("desc", desc.str());
    ASSERT_EQ(0, sh(check + "write desc ref.hex"));

    // Ours, read by theirs; no Intel data record crosses 64 KiB.
    gcImageOptions options;
    options.setRecordLength(c.iRecordLength).setAddressBytes(c.iAddressBytes);
    ASSERT_TRUE(
        pFormat->saveImage("ours", &vmm, options.setCrlf(c.bCrlf), &info)
            .isOk());
    const std::string ours = slurp("ours");
    EXPECT_NE(std::string::npos, ours.find(c.oursHas)) << ours;
    std::istringstream lines(ours);
    for (std::string l; bHex && std::getline(lines, l);) {
      unsigned int n = 0, offset = 0, type = 0;
      std::sscanf(l.c_str(), ":%2x%4x%2x", &n, &offset, &type);
      EXPECT_TRUE(type != 0 || offset + n <= 0x10000) << l;
    }
    EXPECT_EQ(0, sh("srec_cmp ours" + flag + " ref.hex -intel"));
    EXPECT_EQ(0, sh("srec_cat ours" + flag + " -o conv.hex -intel && " + check +
                    "check desc conv.hex"));
    EXPECT_EQ(0, sh(bHex ? check + "check desc ours" : "true"));

    // Theirs, read by ours.
    ASSERT_EQ(0, sh("srec_cat ref.hex -intel -o theirs" + flag + " " +
                    c.theirOptions));
    EXPECT_NE(std::string::npos, slurp("theirs").find(c.theirsHas));
    gcVMM back;
    back.setMemoryModell(new gcVMM32BitFast);
    gcImageInfo got;
    const gcFileResult r = pFormat->loadImage("theirs", &back, {}, &got);
    EXPECT_TRUE(r.isOk()) << r.getMessage();  // srec_cat may write no S9
    EXPECT_EQ(expected(c.spans), writtenBytes(back));
    EXPECT_EQ(expected(c.spans).size(), r.getDataBytes());
    EXPECT_EQ(info.getLinearStartAddress(), got.getLinearStartAddress());
  }
}

struct Load {
  const char* type;
  const char* text;
  const char* message;  // after the file name; empty for a success
  std::uint32_t iLoadAddress;
};

// clang-format off
const Load kLoads[] = {
  {"Intel HEX", "junk\n", ":1: record does not start with ':'", 0},
  {"Intel HEX", ":0000000\n", ":1: odd number of hex digits", 0},
  {"Intel HEX", ":00000001\n", ":1: record too short", 0},
  {"Intel HEX", ":0g000001FF\n", ":1: invalid hex digit", 0},
  {"Intel HEX", ":1000000000112233445566778899AABBCCDD\xB0" "EFF00\n",
   ":1: invalid hex digit", 0},
  {"Intel HEX", ":02000000FE\n", ":1: byte count does not match the record", 0},
  {"Intel HEX", ":0100200011CE\r\n:00000001FE\r\n", ":2: checksum mismatch", 0},
  {"Intel HEX", ":00000006FA\n", ":1: unknown record type 06", 0},
  {"Intel HEX", ":0100000401FA\n", ":1: record type 04 needs 2 data bytes", 0},
  {"Intel HEX", ":01001000AA45\n",
   ":1: address 0x00000010 already holds another value", 0},
  {"Intel HEX", ":0100200011CE\n\n:0100200022BD\n",
   ":3: address 0x00000020 already holds another value", 0},
  {"Intel HEX", ":0100200011CE\n:0100200011CE\n:01001000559A\n:01003000ab24\n",
   "", 0},
  {"Motorola S-record", "X1\n", ":1: record does not start with 'S'", 0},
  {"Motorola S-record", "S1\n", ":1: byte count does not match the record", 0},
  {"Motorola S-record", "S4030000FC\n", ":1: unknown record type S4", 0},
  {"Motorola S-record", "S10200FD\n", ":1: record too short", 0},
  {"Motorola S-record", "S1040010AA41\n",
   ":1: address 0x00000010 already holds another value", 0},
  {"Motorola S-record", "S104002011CA\nS5030002FA\n",
   ":2: count record says 2 data records, 1 were read", 0},
  {"Motorola S-record", "S307FFFFFFFF0102F9\n",
   ":1: data beyond address 0xFFFFFFFF", 0},
  {"Motorola S-record", "S104002011CB\n", ":1: checksum mismatch", 0},
  {"Binary file", "\xAA", ": address 0x00000010 already holds another value",
   0x10},
  {"Binary file", "\x55\x01", "", 0x10},
  {"Binary file", "ab", ": file runs past address 0xFFFFFFFF", 0xFFFFFFFF},
  {"Binary file", "", ": cannot open: No such file or directory", 0},
  {"TI-TXT", "12 34\n", ":1: data before the first address", 0},
  {"TI-TXT", "@1G\n", ":1: bad address", 0},
  {"TI-TXT", "@123456789\n", ":1: bad address", 0},
  {"TI-TXT", "@10\n55 1\n", ":2: a data byte is not two hex digits", 0},
  {"TI-TXT", "@10\n55 123\n", ":2: a data byte is not two hex digits", 0},
  {"TI-TXT", "@0F\n\n00 AA\n",
   ":3: address 0x00000010 already holds another value", 0},
  {"TI-TXT", "@FFFFFFFF\n01 02\n", ":2: data beyond address 0xFFFFFFFF", 0},
  {"TI-TXT", "@20\n01 02\nq x\n", ":3: text after 'q'", 0},
  {"TI-TXT", "@20\r\n\t01\t02 \r\nq\nnot read\n", "", 0},
  {"Verilog memory", "@0\n12 /* 34\n */ 5_6 // 78\n@10 55\n", "", 0},
  {"Verilog memory", "@0\n1x\n", ":2: word '1x' holds x or z", 0},
  {"Verilog memory", "@0 z\n", ":1: word 'z' holds x or z", 0},
  {"Verilog memory", "@0 0FF\n", ":1: word '0FF' is wider than 8 bits", 0},
  {"Verilog memory", "@0 1g\n", ":1: word '1g' is not hex", 0},
  {"Verilog memory", "@ 1\n", ":1: address missing", 0},
  {"Verilog memory", "@000000010\n", ":1: address '000000010' is wider than 32 bits", 0},
  {"Verilog memory", "@FFFFFFFF 1 2\n", ":1: word beyond address 0xFFFFFFFF", 0},
  {"Verilog memory", "/* 1\n", ": comment not closed", 0},
  {"Verilog memory", "@10 AA\n", ":1: address 0x00000010 already holds another value", 0},
  {"MIF", "WIDTH=8;\nDEPTH=4;\nCONTENT BEGIN\n0 : 1 2;\n[2..3] : 3;\nEND;\n", "", 0},
  {"MIF", "WIDTH=8;\nDEPTH=4;\nCONTENT BEGIN\n0 : 100;\nEND;\n", ":4: '100' is over 255", 0},
  {"MIF", "WIDTH=8;\nDEPTH=4;\nCONTENT\n BEGIN\n4 : 1;\nEND;\n", ":5: '4' is over 3", 0},
  {"MIF", "WIDTH=8; DEPTH=4; CONTENT BEGIN [1..0] : 1; END;", ":1: range's first address above its last", 0},
  {"MIF", "WIDTH=8; DEPTH=4; CONTENT BEGIN [0..1] : 1 2; END;", ":1: a range takes one value", 0},
  {"MIF", "WIDTH=8; DEPTH=4; CONTENT BEGIN [0..1]; END;", ":1: expected ADDRESS : VALUE;", 0},
  {"MIF", "WIDTH=12;\n", ":1: WIDTH must be 8, 16, 24 or 32", 0},
  {"MIF", "DEPTH=16777217;", ":1: '16777217' is over 16777216", 0},
  {"MIF", "DEPTH=4; % WIDTH=8;\n % CONTENT BEGIN", ":2: CONTENT before WIDTH and DEPTH", 0},
  {"MIF", "WIDTH=8;\n-- DEPTH=4;\nDATA_RADIX=BCD;", ":3: unknown radix BCD", 0},
  {"MIF", "WIDTH=8;DEPTH=4;DATA_RADIX=BIN;CONTENT BEGIN\n0 : 2;", ":2: '2' is not a number in radix 2", 0},
  {"MIF", "WIDTH=8;DEPTH=4;\nCONTENT BEGIN\n0 : 1;\n", ": no END;", 0},
  {"MIF", "WIDTH=8;DEPTH=4;\n", ": no CONTENT BEGIN", 0},
  {"MIF", "WIDTH=8;DEPTH=32;CONTENT BEGIN 10 : AA; END;", ":1: address 0x00000010 already holds another value", 0},
  {"C array", "", ": cannot read C array files (a format written only)", 0},
  {"ASCII-Hex", "41 42\n", ": no STX (0x02) before the data", 0},
  {"ASCII-Hex", "\x02 $A0020,\n41 4G \x03\n", ":2: a data byte is not two hex digits", 0},
  {"ASCII-Hex", "\x02 $A0020,\n41 42 \x03\n$S0084,\n", ":3: checksum mismatch", 0},
  {"ASCII-Hex", "\x02 $A000000010,\n", ":1: address wider than 32 bits", 0},
  {"ASCII-Hex", "\x02 $A0020,\n41 42 \x03\n$S00083,\n", ":3: checksum wider than 16 bits", 0},
  {"Needham", "$A000000011D,\n01\n", ":1: address wider than 32 bits", 0},
  {"ASCII-Hex", "\x02 $AFFFFFFFF,\n41 42 \x03\n", ":2: data beyond address 0xFFFFFFFF", 0},
  {"ASCII-Hex", "\x02 $A0020,41%42'43\x03", ":1: a data byte is not followed by its execution character", 0},
  {"ASCII-Hex", "\x02$A0010,\nAA\x03", ":2: address 0x00000010 already holds another value", 0},
  {"ASCII-Hex", "junk\x02 $A0020.\n41,42,\x03\n$S0083.\nnot read\n", "", 0},
  {"FastLoad", "/AAAg\nAQI*\n", ":2: bad data digits", 0},
  {"FastLoad", "/AAAg\nAQ\n", ":2: bad data digits", 0},
  {"FastLoad", "/AAAg\nAQID/CAAH\n", ":2: checksum mismatch", 0},
  {"FastLoad", "/AAAg\nAQID/CAAAAG\n", ":2: bad checksum", 0},
  {"FastLoad", "/A.......\n", ":1: bad address", 0},
  {"FastLoad", "/A......\n", ":1: address wider than 32 bits", 0},
  {"FastLoad", "/AAAg/EAA\nAQID\n", ":2: data after the end record", 0},
  {"FastLoad", "/X\n", ":1: unknown command", 0},
  {"FastLoad", "/AAAQ/BCq\n", ":1: address 0x00000010 already holds another value", 0},
  {"FastLoad", "/AAAg\nAQID/BAE/CAAK/KAA/ZAC/Sx,y\n/AAAg/EAA\n", "", 0},
  {"Four Packed Code", "x\n", ":1: a record does not start with '$'", 0},
  {"Four Packed Code", "$AxF].%%%%F:xgU\n", ":1: a record is not groups of five digits", 0},
  {"Four Packed Code", "$AxF].%%%%F:xg*T\n", ":1: bad digit", 0},
  {"Four Packed Code", "$zzzzz\n", ":1: bad digit", 0},
  {"Four Packed Code", "$A]+T-%%%%F:xgUT\n", ":1: checksum mismatch", 0},
  {"Four Packed Code", "$@`SQ.%%%%F:xgUT\n", ":1: record shorter than its count", 0},
  {"Four Packed Code", "$AAeK.%%%%F:xgUT\n", ":1: relative addresses are not supported", 0},
  {"Four Packed Code", "$MSoMRx=\\2%:xgUT\n", ":1: data beyond address 0xFFFFFFFF", 0},
  {"Four Packed Code", "$%%%%%\n$AxF].%%%%F:xgUT\n", ":2: data after the end record", 0},
  {"Four Packed Code", "$:r<:l%%%%6\\\\8'%\n", ":1: address 0x00000010 already holds another value", 0},
  {"Four Packed Code", "$AxF].%%%%F:xgUT\n$Ktm]J;ZZsX\n$%%%%%\n", "", 0},
  {"OS65V", ".0020/4G\r", ":1: unexpected character 0x47", 0},
  {"OS65V", ".10000/", ":1: address wider than 16 bits", 0},
  {"OS65V", ".0020/123\r", ":1: a data byte of more than two hex digits", 0},
  {"OS65V", ".FFFF/01\r02\r", ":2: data beyond address 0xFFFF", 0},
  {"OS65V", ".0020/01\r.0020G\r.0030/01\r", ":3: data after the end record", 0},
  {"OS65V", ".0010/AA\r\n.0010G", ":1: address 0x00000010 already holds another value", 0},
  {"OS65V", ".0020/41\r\n42\n.00FD/00\r00\r.0020G\r", "", 0},
  {"SPASM (big-endian)", "0010 12G4\n", ":1: bad data word", 0},
  {"SPASM (big-endian)", "00010 1234\n", ":1: word address wider than 16 bits", 0},
  {"SPASM (big-endian)", "0010 01234\n", ":1: data word wider than 16 bits", 0},
  {"SPASM (little-endian)", "0010\n", ":1: no data word", 0},
  {"SPASM (little-endian)", "0010 1234 5\n", ":1: text after the data word", 0},
  {"SPASM (big-endian)", "\n0008 1234\n", ":2: address 0x00000010 already holds another value", 0},
  {"SPASM (little-endian)", "0010 1234\n  0011\t5678 \n", "", 0},
  {"MIPS flash (big-endian)", "@00000020\n", ":1: the file does not start with !R", 0},
  {"MIPS flash (big-endian)", "!R\n@00000020\n0102030G\n", ":3: a data word is not 8 hex digits", 0},
  {"MIPS flash (big-endian)", "!R\n@FFFFFFFC 01020304 05060708\n", ":2: data beyond address 0xFFFFFFFF", 0},
  {"MIPS flash (big-endian)", "!R\n!X\n", ":2: unknown command '!X'", 0},
  {"MIPS flash (little-endian)", "!R\n@123456789\n", ":2: bad address '@123456789'", 0},
  {"MIPS flash (little-endian)", "!R @0000000C 01020304 AABBCCDD\n", ":1: address 0x00000010 already holds another value", 0},
  {"MIPS flash (little-endian)", "!R\n>00000xxx @00000000 !E\n@00000020\n>00000020\n01020304>#DL_DONE\n>FINISHED\n", "", 0},
  {"Logisim", "1 2\n", ":1: the file does not start with 'v2.0 raw'", 0},
  {"Logisim", "v2.0 raw\n1 2G\n", ":2: bad value '2G'", 0},
  {"Logisim", "v2.0 raw\n0FF\n", ":2: value '0FF' wider than 8 bits", 0},
  {"Logisim", "v2.0 raw\nx*5\n", ":2: bad count 'x'", 0},
  {"Logisim", "v2.0 raw\n4294967297*0\n", ":2: data beyond address 0xFFFFFFFF", 0},
  {"Logisim", "v2.0 raw\n1 AA\n", ":2: address 0x00000010 already holds another value", 0x0F},
  {"Logisim", "v2.0 raw\n\n# c\n1 2 3*4 # x\n", "", 0x20},
  {"ASM", "", ": cannot read ASM files (a format written only)", 0},
  {"Atmel Generic", "000000:12345678\n", ":1: record too long", 0},
  {"PPX", "*\n00010 01\n$S0001\n", ":2: an address of four hex digits expected", 0},
};
// clang-format on

// A file with any error leaves the VMM as it was: the same bytes, pages
// and memory in use.
TEST_F(Formats, BadInputNamesFileLineAndReasonAndChangesNothing) {
  gcFileSupport support;
  for (const Load& c : kLoads) {
    SCOPED_TRACE(c.text);
    gcVMM vmm;
    vmm.setMemoryModell(new gcVMM32BitCompact);
    vmm.setByte(0x10, 0x55);
    const vmm_int iUsage = vmm.getUsedPhysicalMemory();
    std::remove("e");  // an empty text: no file
    if (*c.text != '\0') spill("e", c.text);
    gcImageOptions options;
    const gcFileResult r = support.createFileSupport(c.type)->loadImage(
        "e", &vmm, options.setLoadAddress(c.iLoadAddress), nullptr);
    EXPECT_EQ(*c.message == '\0' ? "" : "e" + std::string(c.message),
              r.getMessage());
    if (r.isOk()) {
      EXPECT_NE(0u, r.getDataBytes());  // every sound row holds data
      continue;
    }
    EXPECT_EQ(std::vector<std::string>{}, r.getWarnings());  // nor "no end"
    EXPECT_EQ((std::map<vmm_int, char>{{0x10, 0x55}}), writtenBytes(vmm));
    EXPECT_EQ(iUsage, vmm.getUsedPhysicalMemory());
  }
}

struct Decode {
  const char* type;
  const char* text;
  std::map<vmm_int, char> bytes;
};

// Sound files and where their bytes land, at the edges where a segment's
// offset wraps or a radix changes.
// clang-format off
const Decode kDecodes[] = {
  {"Intel HEX", ":020000021000EC\n:04FFFE0001020304F5\n:047FFE000506070865\n:00000001FF\n",
   {{0x1FFFE, 1}, {0x1FFFF, 2}, {0x10000, 3}, {0x10001, 4},
    {0x17FFE, 5}, {0x17FFF, 6}, {0x18000, 7}, {0x18001, 8}}},
  {"MIF", "WIDTH=8;DEPTH=16;ADDRESS_RADIX=OCT;DATA_RADIX=OCT;CONTENT BEGIN 17 : 377; 7 : 10; END;",
   {{7, 8}, {15, '\xFF'}}},
  {"MIF", "WIDTH=16;DEPTH=4;ADDRESS_RADIX=DEC;DATA_RADIX=UNS;CONTENT BEGIN 3 : 65535; END;",
   {{6, '\xFF'}, {7, '\xFF'}}},
  {"MIF", "WIDTH=8;DEPTH=4;ADDRESS_RADIX=BIN;DATA_RADIX=DEC;CONTENT BEGIN 11 : 99; [1..1] : 5; END;",
   {{1, 5}, {3, 99}}},
};
// clang-format on

TEST_F(Formats, SoundFilesPutEachByteWhereItBelongs) {
  gcFileSupport support;
  for (const Decode& c : kDecodes) {
    SCOPED_TRACE(c.text);
    spill("d", c.text);
    gcVMM vmm;
    vmm.setMemoryModell(new gcVMM32BitHashed);
    const gcFileResult r = support.createFileSupport(c.type)->loadImage(
        "d", &vmm, gcImageOptions(), nullptr);
    EXPECT_EQ("", r.getMessage());
    EXPECT_EQ(c.bytes, writtenBytes(vmm));
  }
  // The count record's width follows the count: S5 up to 0xFFFF records.
  for (auto [iRecords, count] : {std::pair{0x7FFFu, "S5037FFF"},
                                 {0x8000u, "S5038000"},
                                 {0xFFFFu, "S503FFFF"},
                                 {0x10000u, "S604010000"}}) {
    gcVMM vmm;
    vmm.setMemoryModell(new gcVMM32BitHashed);
    const std::string data(iRecords, 'x');
    vmm.setBlock(0, const_cast<char*>(data.data()), iRecords);
    gcImageOptions options;
    ASSERT_TRUE(support.createFileSupport("Motorola S-record")
                    ->saveImage("s", &vmm, options.setRecordLength(1), nullptr)
                    .isOk());
    const std::string file = slurp("s");
    const std::size_t at = file.rfind("\nS", file.rfind("\nS") - 1) + 1;
    EXPECT_EQ(count, file.substr(at, std::strlen(count)));
  }
}

// How every load decides an input's format: by name, then by content; text
// no format claims is refused.
TEST(Detect, NameThenContentAndTextRefused) {
  const std::string kText = std::string(65535, 'a');
  // A head of kDetectBytes, raw binary but for its lead.
  std::mt19937 random(7);
  std::string kNoise(gcFileSupport::kDetectBytes, '\0');
  for (char& c : kNoise) c = static_cast<char>(random());
  // clang-format off
  for (auto [name, head, type] : std::initializer_list<std::tuple<const char*, std::string, const char*>>{
      {"a.MIF", ":00000001FF", "MIF"},
      {"a.vmem", "@10", "Verilog memory"},
      {"a.mem", "@10", "TI-TXT"},
      {"a.txt", " -- x\n%\n%Width\n=8;", "MIF"},
      {"a.txt", "depth=", "MIF"},
      {"a.txt", "address_radix =", "MIF"},
      {"a.txt", "DATA_RADIX\t=", "MIF"},
      {"a.txt", "content\r\n\tbegin", "MIF"},
      {"a.txt", "content", ""},
      {"a.txt", "WIDTHS=8;", ""},
      {"a.txt", "WIDTH 8", ""},
      {"a.txt", "% WIDTH=8;", ""},
      {"a.txt", "-- x\nWIDTH", ""},
      {"a.txt", "a-\nWIDTH=", ""},
      {"a.bin", "", "Binary file"},
      {"a.bin", "\t\n\f\r \x7E", ""},
      {"a.bin", "a\x7F", "Binary file"},
      {"a.bin", "a\x1F", "Binary file"},
      {"a.bin", std::string("a\0", 2), "Binary file"},
      {"a.bin", "\xC2\xA0\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", ""},
      {"a.bin", "\xC2\x9F", "Binary file"},
      {"a.bin", "\xC1\xBF", "Binary file"},
      {"a.bin", "\xE0\x9F\xBF", "Binary file"},
      {"a.bin", "\xED\xA0\x80", "Binary file"},
      {"a.bin", "\xF0\x8F\xBF\xBF", "Binary file"},
      {"a.bin", "\xF4\x90\x80\x80", "Binary file"},
      {"a.bin", "\xF5\x80\x80\x80", "Binary file"},
      {"a.bin", "\x80", "Binary file"},
      {"a.bin", "\xC3(", "Binary file"},
      {"a.bin", "a\xE2\x82", "Binary file"},
      {"a.bin", kText + "\xC3", ""},
      {"a.bin", kText + "\xC3(", "Binary file"},
      // Leads that others share or raw binary and plain text begin with:
      // the first records decide, and read alike they are the first's.
      {"a.hex", ":00000001FF\n", "Intel HEX"},
      {"a.in", "$HOME/bin\n", ""},
      {"a.in", "/Applications\n", ""},
      {"a.in", "deadbeef0123 words\n", ""},
      {"a.in", "#!/bin/sh\n", ""},
      {"a.in", "!Read me\n", ""},
      {"a.in", "\x02\x00\x00", "Binary file"},
      {"a.in", std::string("\x01\x00\xFF\xFF", 4) + kNoise, "Binary file"},
      {"a.in", "\x01" + kNoise, "Binary file"},
      {"a.in", "\x02" + kNoise, "Binary file"},
      {"a.in", "\x05" + kNoise, "Binary file"},
      {"a.in", "#" + kNoise, "Binary file"},
      // An extension decides among the formats the lead allows, only.
      {"a.aomf", "\x02\x00\x00", "AOMF"},
      {"a.in", "$%%%%%\n", ""},
      {"a.FPC", "$%%%%%\n", "Four Packed Code"},
      {"a.tek", "S00600004844521B\n", "Motorola S-record"},
  }) {
    // clang-format on
    SCOPED_TRACE(head.substr(0, 40));
    std::string sType = "?";
    const gcFileResult r =
        gcFileSupport::detectInput(name, head.data(), head.size(), &sType);
    EXPECT_EQ(type, sType);
    EXPECT_EQ(*type == '\0'
                  ? std::string(name) +
                        ": cannot tell the format of this text: give "
                        "PATH@FORMAT (" +
                        gcFileSupport::formatWords(gcFormatInfo::kRead, "|") +
                        ") or PATH@binary"
                  : "",
              r.getMessage());
  }
  // Read differently in two formats: neither.
  const char kBoth[] = ":0205020003FDF7\n";
  std::string sType = "?";
  EXPECT_EQ(
      "a.hex: cannot tell the format: its first records read as Intel HEX and "
      "as Signetics: give PATH@ihex or PATH@signetics",
      gcFileSupport::detectInput("a.hex", kBoth, 16, &sType).getMessage());
  EXPECT_EQ("", sType);
  EXPECT_EQ("", gcFileSupport::detectType(kBoth, 16));
}

TEST_F(Formats, OptionsAndMetadata) {
  gcFileSupport support;
  gcVMM vmm;
  vmm.setMemoryModell(new gcVMM32BitSmall);
  vmm.setByte(0x10, 0x55);
  // The later wins only when asked; a missing end record is a warning.
  spill("a.hex", ":01001000AA45\n");
  gcImageOptions options;
  gcFileFormat* pHex = support.createFileSupport("Intel HEX");
  const gcFileResult r =
      pHex->loadImage("a.hex", &vmm, options.setLaterWins(true), nullptr);
  EXPECT_EQ(std::vector<std::string>{"a.hex: no end record"}, r.getWarnings());
  EXPECT_EQ('\xAA', vmm.getByte(0x10));
  // The S-record header and start address, read and written back.
  gcFileFormat* pSrec = support.createFileSupport("Motorola S-record");
  spill("h.srec", "S00600004844521B\nS9030000FC\nnot read\n");
  gcImageInfo info;
  ASSERT_TRUE(pSrec->loadImage("h.srec", &vmm, {}, &info).isOk());
  EXPECT_EQ("HDR", info.getHeader());
  ASSERT_TRUE(
      pSrec->saveImage("o.srec", &vmm, options.setRange(0, 0), &info).isOk());
  EXPECT_EQ("S00600004844521B\nS5030000FC\nS9030000FC\n", slurp("o.srec"));
  // Binary: holes take the fill byte, and are counted.
  gcFileFormat* pBinary = support.createFileSupport("Binaray file");
  vmm.setByte(0x14, 1);
  options.setRange(0x0E, 0x14).setFillByte(0);
  EXPECT_EQ(5u,
            pBinary->saveImage("b", &vmm, options, nullptr).getFilledBytes());
  EXPECT_EQ(std::string("\0\0\xAA\0\0\0\x01", 7), slurp("b"));
  EXPECT_EQ(3u, pBinary->saveImage("b", &vmm, {}, nullptr).getFilledBytes());
  EXPECT_EQ("\xAA\xFF\xFF\xFF\x01", slurp("b"));
  EXPECT_TRUE(pBinary->saveFile("t.bin", &vmm, 0x10, 0x20, 10));
  EXPECT_EQ(std::string("\xAA\xFF\xFF\xFF\x01") + std::string(12, '\xFF'),
            slurp("t.bin"));
  for (auto [pVMM, iLast] : {std::pair{&vmm, 0x100000000u},
                             {&vmm, 0x0Fu},
                             {static_cast<gcVMM*>(nullptr), 0x20u}})
    EXPECT_FALSE(pBinary->saveFile("n", pVMM, 0x10, iLast, 0));
  EXPECT_FALSE(pBinary->saveFile("/nonexistent/b", &vmm, 0, 1, 0));
  // Saves refused for their options: the reason, and no file. A length of
  // 0 let through would never end: it comes after one that would show it.
  for (auto [type, iLength, iWidth, reason] :
       {std::tuple{"Motorola S-record", 252u, 3u,
                   "record length must be 1 to 251 for S2 records"},
        {"Motorola S-record", 0u, 0u,
         "record length must be 1 to 252 for S1 records"},
        {"Motorola S-record", 16u, 5u, "address width must be 2, 3 or 4 bytes"},
        {"Intel HEX", 256u, 0u, "record length must be 1 to 255"}}) {
    options = gcImageOptions();
    options.setRecordLength(iLength).setAddressBytes(iWidth);
    ASSERT_EQ(std::string("r: ") + reason,
              support.createFileSupport(type)
                  ->saveImage("r", &vmm, options, nullptr)
                  .getMessage());
    EXPECT_EQ("", slurp("r"));
  }
  // Type names and detection.
  EXPECT_EQ(nullptr, support.createFileSupport("Intel Hex"));
  EXPECT_STREQ("Binary file",
               support.createFileSupport("Binary file")->getTypeName());
  for (auto [head, type] : {std::pair{":1", "Intel HEX"},
                            {"S3", "Motorola S-record"},
                            {"S9", "Motorola S-record"},
                            {"S", "Binary file"},
                            {"Sx", "Binary file"},
                            {"%346", "Tektronix extended"},
                            {"%34", "Binary file"},
                            {"%345", "Binary file"},
                            {";0C", "MOS Technology"},
                            {";0", "Binary file"},
                            {"; x", "Binary file"}})
    EXPECT_EQ(type, gcFileSupport::detectType(head, std::strlen(head)));
  EXPECT_EQ("ELF", gcFileSupport::detectType("\x7F"
                                             "ELF",
                                             4));
  EXPECT_EQ("TI-TXT", gcFileSupport::detectType("@", 1));
  EXPECT_EQ("", gcFileSupport::detectFileType("/nonexistent"));
}

struct ElfCase {
  const char* what;
  bool b64, bBig;
  std::uint64_t entry;
  std::vector<ElfSection> sections;
  std::vector<ElfSegment> segments;
  std::map<vmm_int, std::string> image;  // runs loaded, or:
  const char* message;                   // after the file name
};

const std::uint64_t kNoBits = 8, kNoAlloc = 0;

// clang-format off
const ElfCase kElf[] = {
  {"load address from the program header; entry; NOBITS and unallocated "
   "sections skipped", false, false, 0x101,
   {{".text", 0x100, "ab"}, {".data", 0x2000, "cd"},
    {".bss", 0x2002, "??", kNoBits}, {".note", 0, "??", 1, kNoAlloc}},
   {{0x100, 0, 1}, {0x102, 1, 1}}, {{0x100, "abcd"}}, ""},
  {"the section's own address: every physical address 0", true, true, 0,
   {{".text", 0x100, "ab"}, {".data", 0x2000, "cd"}},
   {{0, 0, 1}, {0, 1, 1}}, {{0x100, "ab"}, {0x2000, "cd"}}, ""},
  {"an offset within the program header; the section's own address where "
   "none holds it", true, false, 0,
   {{".a", 0x300, "ab"}, {".b", 0x302, "cd"}, {".c", 0x400, "ef"}},
   {{0x900, 0, 2}}, {{0x900, "abcd"}, {0x400, "ef"}}, ""},
  {"same bytes twice", false, true, 0, {{".a", 0xF, "xU"}, {".b", 0x10, "U"}},
   {}, {{0xF, "xU"}}, ""},
  {"other bytes", false, false, 0, {{".a", 0x20, "xy"}, {".b", 0x21, "z"}},
   {}, {}, ": section .b: address 0x00000021 already holds another value"},
  {"over a written byte", false, false, 0, {{"", 0x10, "z"}}, {}, {},
   ": section [1]: address 0x00000010 already holds another value"},
  {"contents outside the file", false, false, 0,
   {{".a", 0x20, "x"}, {".b", 0x30, "y", 1, 2, 0x10000}}, {}, {},
   ": section .b: contents outside the file"},
  {"program header outside the file", false, false, 0,
   {{".a", 0x30, "y", 1, 2, 0x10000}}, {{0x30, 0, 1}}, {},
   ": program header 0: contents outside the file"},
  {"past 4 GiB", true, false, 0, {{".a", 0xFFFFFFFF, "xy"}}, {}, {},
   ": section .a: load address 0xFFFFFFFF and size 0x2 reach past 0xFFFFFFFF"},
  {"entry past 4 GiB", true, true, 0x100000000, {}, {}, {},
   ": ELF header: entry point 0x100000000 past 0xFFFFFFFF"},
  {"unloaded contents outside the file", false, false, 0,
   {{".a", 0x20, "x"}, {".debug_info", 0, "y", 1, kNoAlloc, 0x10000}}, {}, {},
   ": section .debug_info: contents outside the file"},
  {"nothing to load, said by whole headers", true, false, 0,
   {{".comment", 0, "x", 1, kNoAlloc}}, {}, {}, ""},
};

// Patches of a sound file (ELF32, little-endian: 52-byte header, a program
// header, section headers at 0x66, 222 bytes in all): a cut at iCut, or
// iValue at a header field.
struct ElfDamage {
  std::size_t iCut, iField, iWidth;
  std::uint64_t iValue;
  const char* message;
};
const ElfDamage kElfDamage[] = {
  {60, 0, 0, 0, ": program header table at 0x34 (1 x 32 bytes) reaches past "
   "the end of the file (60 bytes)"},
  {95, 0, 0, 0, ": section header table at 0x66 (3 x 40 bytes) starts past "
   "the end of the file (95 bytes)"},
  {200, 0, 0, 0, ": section header table at 0x66 (3 x 40 bytes) reaches "
   "past the end of the file (200 bytes)"},
  {0, 32, 4, 0x1000, ": section header table at 0x1000 (3 x 40 bytes) starts "
   "past the end of the file (222 bytes)"},
  {0, 28, 4, 0x1000, ": program header table at 0x1000 (1 x 32 bytes) starts "
   "past the end of the file (222 bytes)"},
  {0, 50, 2, 3, ": section-name table index 3 out of range (3 sections)"},
  {0, 68, 4, 0x1000, ": program header 0: contents outside the file"},
};
// clang-format on

TEST_F(Formats, ElfLoadAddressesAndUnsoundFiles) {
  gcFileSupport support;
  gcFileFormat* pElf = support.createFileSupport("ELF");
  std::string last;
  for (const ElfCase& c : kElf) {
    SCOPED_TRACE(c.what);
    gcVMM vmm;
    vmm.setMemoryModell(new gcVMM32BitCompact);
    vmm.setByte(0x10, 0x55);
    spill("e", last = buildElf(c.b64, c.bBig, c.entry, c.sections, c.segments));
    gcImageInfo info;
    const gcFileResult r = pElf->loadImage("e", &vmm, {}, &info);
    EXPECT_EQ(*c.message == '\0' ? "" : "e" + std::string(c.message),
              r.getMessage());
    std::map<vmm_int, char> want{{0x10, 0x55}};
    for (const auto& [a, bytes] : c.image)
      for (std::size_t i = 0; i < bytes.size(); ++i) want[a + i] = bytes[i];
    EXPECT_EQ(want, writtenBytes(vmm));
    EXPECT_EQ(c.entry != 0 && r.isOk(), info.hasStartAddress());
    EXPECT_EQ(r.isOk() ? c.entry : 0, info.getStartAddress());
    EXPECT_EQ(r.isOk() ? std::string(c.b64 ? "ELF64, " : "ELF32, ") +
                             (c.bBig ? "big" : "little") + "-endian, ARM"
                       : "",
              info.getDetails());
  }
  // A file cut short; an empty section, and a program header holding only
  // it (as one for .bss would), at the file's very end.
  gcVMM vmm;
  vmm.setMemoryModell(new gcVMM32BitFast);
  std::vector<ElfSection> atEnd{{".a", 0x20, "x"}, {".e", 0x40, ""}};
  atEnd[1].offset = buildElf(false, false, 0, atEnd, {{0x40, 1, 1}}).size();
  spill("end", buildElf(false, false, 0, atEnd, {{0x40, 1, 1}}));
  EXPECT_EQ("", pElf->loadImage("end", &vmm, {}, nullptr).getMessage());
  spill("cut", last.substr(0, 40));
  const gcFileResult r = pElf->loadImage("cut", &vmm, {}, nullptr);
  EXPECT_EQ(0u, r.getMessage().find("cut: ELF header: ")) << r.getMessage();
  EXPECT_EQ("", pElf->saveImage("o", &vmm, {}, nullptr).getMessage());
}

// A cut or inconsistent file is refused, never loaded as less than it holds.
TEST_F(Formats, ElfCutOrInconsistentIsRefused) {
  gcFileSupport support;
  gcFileFormat* pElf = support.createFileSupport("ELF");
  const std::string sound =
      buildElf(false, false, 0, {{".t", 0x20, "abcd"}}, {{0x800, 0, 1}});
  ASSERT_EQ(222u, sound.size());
  for (const ElfDamage& d : kElfDamage) {
    std::string bad = sound.substr(0, d.iCut == 0 ? sound.size() : d.iCut);
    for (std::size_t i = 0; i < d.iWidth; ++i)
      bad[d.iField + i] = static_cast<char>(d.iValue >> 8 * i);
    spill("e", bad);
    gcVMM vmm;
    vmm.setMemoryModell(new gcVMM32BitFast);
    EXPECT_EQ("e" + std::string(d.message),
              pElf->loadImage("e", &vmm, {}, nullptr).getMessage());
  }
  for (const bool b64 : {false, true}) {
    const std::string whole = buildElf(
        b64, b64, 0x21, {{".t", 0x20, "abcd"}, {".d", 0, "x", 1, kNoAlloc}},
        {{0x800, 0, 1}});
    for (std::size_t n = 0; n < whole.size(); ++n) {
      spill("e", whole.substr(0, n));
      gcVMM vmm;
      vmm.setMemoryModell(new gcVMM32BitFast);
      const gcFileResult r = pElf->loadImage("e", &vmm, {}, nullptr);
      ASSERT_FALSE(r.isOk()) << "a prefix of " << n << " bytes";
      ASSERT_TRUE(writtenBytes(vmm).empty());
    }
  }
}

// Under a strict load every warning is an error at the file's last line;
// a cut text file is refused then, and never loads silently without it.
TEST_F(Formats, StrictLoadsRefuseEveryCut) {
  gcFileSupport support;
  gcVMM image;
  image.setMemoryModell(new gcVMM32BitFast);
  char data[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  image.setBlock(0x1FFF0, data, 36);
  gcImageInfo info;
  info.setStartAddress(0x1FFF1);
  gcImageOptions strict;
  strict.setStrict(true);
  for (const char* type : {"Intel HEX", "Motorola S-record", "TI-TXT"}) {
    SCOPED_TRACE(type);
    gcFileFormat* pFormat = support.createFileSupport(type);
    gcImageOptions options;
    ASSERT_TRUE(
        pFormat->saveImage("w", &image, options.setRecordLength(16), &info)
            .isOk());
    const std::string whole = slurp("w");
    // Dropping the final line end alone loses nothing.
    const std::size_t iEnd = whole.find_last_not_of("\r\n") + 1;
    for (std::size_t n = 0; n < iEnd; ++n) {
      spill("e", whole.substr(0, n));
      gcVMM vmm;
      vmm.setMemoryModell(new gcVMM32BitFast);
      const gcFileResult r = pFormat->loadImage("e", &vmm, strict, nullptr);
      ASSERT_FALSE(r.isOk()) << n << " bytes";
      ASSERT_TRUE(writtenBytes(vmm).empty());
      const gcFileResult lax = pFormat->loadImage("e", &vmm, {}, nullptr);
      ASSERT_TRUE(!lax.isOk() || !lax.getWarnings().empty()) << n << " bytes";
    }
    EXPECT_TRUE(pFormat->loadImage("w", &image, strict, nullptr).isOk());
  }
  spill("e", ":0100200011CE\n\n");
  EXPECT_EQ("e:2: no end record", support.createFileSupport("Intel HEX")
                                      ->loadImage("e", &image, strict, nullptr)
                                      .getMessage());
}

// The limit counts the VMM's usage and each staged 4 KiB page as the VMM
// counts one; the load that would pass it names the line and changes
// nothing.
TEST_F(Formats, MemoryLimitStopsTheLoadAtItsRecord) {
  gcFileSupport support;
  gcVMM vmm;
  vmm.setMemoryModell(new gcVMM32BitFast);
  vmm.setByte(0x10, 0x55);
  const std::uint64_t iUsed = vmm.getUsedPhysicalMemory();
  spill("e", ":0100200011CE\n:0110200011BE\n:0110000011DE\n:0120000011CE\n");
  gcFileFormat* pHex = support.createFileSupport("Intel HEX");
  gcImageOptions options;
  options.setMaxMemory(iUsed + 2 * 4608);
  EXPECT_EQ("e:4: the load would pass the memory limit of " +
                std::to_string(iUsed + 2 * 4608) + " bytes",
            pHex->loadImage("e", &vmm, options, nullptr).getMessage());
  EXPECT_EQ(iUsed, vmm.getUsedPhysicalMemory());
  EXPECT_EQ((std::map<vmm_int, char>{{0x10, 0x55}}), writtenBytes(vmm));
  EXPECT_EQ("e:1: the load would pass the memory limit of 1 KiB",
            pHex->loadImage("e", &vmm, options.setMaxMemory(1024), nullptr)
                .getMessage());
  EXPECT_TRUE(
      pHex->loadImage("e", &vmm, options.setMaxMemory(0), nullptr).isOk());
  spill("x", buildElf(false, false, 0, {{".text", 0x9000, "ab"}}, {}));
  options.setMaxMemory(vmm.getUsedPhysicalMemory());
  EXPECT_EQ("x: section .text: the load would pass the memory limit of " +
                std::to_string(options.getMaxMemory()) + " bytes",
            support.createFileSupport("ELF")
                ->loadImage("x", &vmm, options, nullptr)
                .getMessage());
}

// What the writers' options change; what they refuse.
TEST_F(Formats, VerilogMemoryAndCArrayOptions) {
  gcFileSupport support;
  gcFileFormat* pVmem = support.createFileSupport("Verilog memory");
  gcFileFormat* pC = support.createFileSupport("C array");
  gcVMM vmm;
  vmm.setMemoryModell(new gcVMM32BitFast);
  char data[] = "\x01\x02\x03\x04\x05\x06";
  vmm.setBlock(0x12, data, 6);
  gcImageOptions options;
  for (auto [bits, text] :
       {std::pair{16u, "@00000009\n0201 0403 0605\n"},
        {32u,
         "o: a run of written bytes starts at 0x00000012, not on a 32-bit "
         "word boundary"},
        {12u, "o: word width must be 8, 16 or 32 bits"}}) {
    const gcFileResult r =
        pVmem->saveImage("o", &vmm, options.setWordBits(bits), nullptr);
    EXPECT_EQ(text, r.isOk() ? slurp("o") : r.getMessage());
  }
  options.setRange(0x12, 0x16).setWordBits(16);
  EXPECT_EQ(
      "o: a run of written bytes ends at 0x00000016, not on a 16-bit "
      "word boundary",
      pVmem->saveImage("o", &vmm, options, nullptr).getMessage());
  EXPECT_FALSE(std::ifstream("o"));  // a failed save leaves no file
  EXPECT_EQ("o.c: array name '2x' is not a C identifier",
            pC->saveImage("o.c", &vmm, options.setArrayName("2x"), nullptr)
                .getMessage());
  ASSERT_TRUE(pC->saveImage("-fw.v2.c", &vmm, {}, nullptr).isOk());
  EXPECT_NE(std::string::npos, slurp("-fw.v2.c").find("_fw_v2_runs[1]"));
  EXPECT_EQ("image_1", gcCArrayFile::nameFor("1.c"));
}

}  // namespace
