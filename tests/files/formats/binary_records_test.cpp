// The binary record formats: their bytes for one image as srec_cat lays
// them out, broken files named by offset, images a format cannot hold.
#include <dwxvmm/dwxvmm.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "../../support/scratch_dir.h"
#include "../../support/written_bytes.h"
#include "gcFileSupport.h"

namespace {

typedef std::map<vmm_int, char> Bytes;

std::string unhex(const std::string& hex) {
  std::string s;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    s += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return s;
}

std::string hexOf(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (unsigned char c : bytes) (s += kDigits[c >> 4]) += kDigits[c & 15];
  return s;
}

std::unique_ptr<gcVMM> newVMM() {
  auto pVMM = std::make_unique<gcVMM>();
  pVMM->setMemoryModell(new gcVMM32BitCompact);
  return pVMM;
}

struct Layout {
  const char* type;
  const char* hex;  // the file for kImage
  bool bStart, bHeader;
};

// 00..0F at 0x10, 11 22 33 44 at 0x120, start 0x123, header "HDR": each
// file as srec_cat writes it, but that Formatted binary begins at the
// lowest byte (srec_cat: at 0, its sum without the holes) and DEC binary
// has no trailer of NULs.
// clang-format off
const Layout kLayouts[] = {
  {"AOMF", "0207000348445200001606140000100000"
           "0102030405060708090a0b0c0d0e0f5e06080000200111223344270409000348445200000000"
           "12", false, true},
  {"MsBin", "4230303046460a10000000140100001000000010000000780000000001020304"
            "05060708090a0b0c0d0e0f2001000004000000aa000000112233440000000023"
            "01000000000000", true, false},
  {"DEC binary", "010016001000000102030405060708090a0b0c0d0e0f610001000a0020011122"
                 "33442a00010006002301d500", true, false},
  {"IDT", "53300600004844521b53331500000010000102030405060708090a0b0c0d0e0f62"
          "53330900000120112233442b5335030002fa53370500000123d6", true, true},
  {"PPB", "010000001000000010000102030405060708090a0b0c0d0e0f88010000000400"
          "000120112233445601000000000000000000", false, false},
  {"Stewie", "533030335331130010000102030405060708090a0b0c0d0e0f64533107012011"
             "2233442d5338", false, false},
  {"TRS-80", "050348445201121000000102030405060708090a0b0c0d0e0f01062001112233"
             "4402022301", true, true},
  {"Wilson", "235540404050404142434445464748494a4b4c4d4e4fa20a2349404041605162"
             "73846b0a2745404041633d360a", true, false},
};
// clang-format on

class BinaryRecords : public ScratchDir {
 protected:
  gcFileSupport support;

  std::unique_ptr<gcVMM> image(gcImageInfo* pInfo) {
    auto pVMM = newVMM();
    for (int i = 0; i < 16; ++i) pVMM->setByte(0x10 + i, char(i));
    for (int i = 0; i < 4; ++i) pVMM->setByte(0x120 + i, char(0x11 * (i + 1)));
    pInfo->setStartAddress(0x123);
    pInfo->setHeader("HDR");
    return pVMM;
  }
  static std::string read(const char* pPath) {
    std::ifstream in(pPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void write(const char* pPath, const std::string& bytes) {
    std::ofstream(pPath, std::ios::binary) << bytes;
  }
};

TEST_F(BinaryRecords, EachFormatWritesAndReadsItsFraming) {
  for (const Layout& l : kLayouts) {
    SCOPED_TRACE(l.type);
    gcFileFormat* pFormat = support.createFileSupport(l.type);
    ASSERT_NE(nullptr, pFormat);
    gcImageInfo info;
    auto pVMM = image(&info);
    const gcFileResult saved = pFormat->saveImage("out", pVMM.get(), {}, &info);
    ASSERT_TRUE(saved.isOk()) << saved.getMessage();
    EXPECT_EQ(20u, saved.getDataBytes());
    EXPECT_EQ(l.hex, hexOf(read("out")));

    auto pBack = newVMM();
    gcImageInfo back;
    const gcFileResult r = pFormat->loadImage("out", pBack.get(), {}, &back);
    ASSERT_TRUE(r.isOk()) << r.getMessage();
    EXPECT_TRUE(r.getWarnings().empty());
    EXPECT_EQ(writtenBytes(*pVMM), writtenBytes(*pBack));
    EXPECT_EQ(l.bStart, back.hasStartAddress());
    EXPECT_EQ(l.bStart ? 0x123u : 0u,
              back.hasStartAddress() ? back.getStartAddress() : 0);
    EXPECT_EQ(l.bHeader ? "HDR" : "", back.getHeader());
  }
  // Formatted binary: from the lowest byte, holes filled and summed.
  gcFileFormat* pFormatted = support.createFileSupport("Formatted binary");
  auto pVMM = newVMM();
  for (vmm_int a : {0x10, 0x11, 0x12, 0x13, 0x16, 0x17})
    pVMM->setByte(a, char(a < 0x16 ? a - 0xF : a - 0x11));
  const gcFileResult saved = pFormatted->saveImage("fb", pVMM.get(), {}, {});
  EXPECT_EQ(2u, saved.getFilledBytes());
  EXPECT_EQ(
      "081c2a490800"
      "00000008"
      "ff"
      "01020304ffff0506"
      "0000"
      "0213",
      hexOf(read("fb")));
  EXPECT_EQ("Formatted binary", gcFileSupport::detectFileType("fb"));
  auto pBack = newVMM();
  ASSERT_TRUE(pFormatted
                  ->loadImage("fb", pBack.get(),
                              gcImageOptions().setLoadAddress(0x10), nullptr)
                  .isOk());
  EXPECT_EQ(8u, writtenBytes(*pBack).size());
  EXPECT_EQ('\xFF', writtenBytes(*pBack)[0x14]);
}

TEST_F(BinaryRecords, DataOnlyWritesTheDataRecordsAndWilsonItsLineEnds) {
  for (const Layout& l : kLayouts) {
    SCOPED_TRACE(l.type);
    gcFileFormat* pFormat = support.createFileSupport(l.type);
    gcImageInfo info;
    auto pVMM = image(&info);
    ASSERT_TRUE(pFormat
                    ->saveImage("data", pVMM.get(),
                                gcImageOptions().setDataOnly(true), &info)
                    .isOk());
    auto pBack = newVMM();
    gcImageInfo back;
    const gcFileResult r = pFormat->loadImage("data", pBack.get(), {}, &back);
    ASSERT_TRUE(r.isOk()) << r.getMessage();
    EXPECT_EQ(writtenBytes(*pVMM), writtenBytes(*pBack));
    EXPECT_FALSE(back.hasStartAddress());
    EXPECT_EQ("", back.getHeader());
    EXPECT_LT(read("data").size(), std::strlen(l.hex) / 2);
  }
  gcImageInfo info;
  auto pVMM = image(&info);
  gcFileFormat* pWilson = support.createFileSupport("Wilson");
  ASSERT_TRUE(
      pWilson
          ->saveImage("crlf", pVMM.get(), gcImageOptions().setCrlf(true), &info)
          .isOk());
  std::string crlf = unhex(kLayouts[7].hex);
  for (std::size_t at = 0; (at = crlf.find('\n', at)) != std::string::npos;
       at += 2)
    crlf.insert(at, "\r");
  EXPECT_EQ(hexOf(crlf), hexOf(read("crlf")));
  EXPECT_TRUE(pWilson->loadImage("crlf", newVMM().get(), {}, nullptr).isOk());
}

struct Bad {
  const char* type;
  int iCut;  // bytes of the layout kept; -1: all
  int iAt;   // a byte set to iValue; -1: none
  int iValue;
  const char* append;  // hex
  const char* message;
  bool bStrict = false;
};

// clang-format off
const Bad kBad[] = {
  {"AOMF", -1, 4, 'X', "", "offset 0x0: checksum mismatch"},
  {"AOMF", 20, -1, 0, "", "offset 0x14: the file ends inside the record at offset 0xA"},
  {"AOMF", -1, 0, 3, "", "offset 0x0: unknown record type 0x03"},
  {"AOMF", 44, -1, 0, "060500011000aa3a", "offset 0x2C: segment ID 0x01, not 0"},
  {"AOMF", 44, -1, 0, "06060000ffff0102f3", "offset 0x2C: data runs past address 0xFFFF (from 0xFFFF)"},
  {"AOMF", -1, -1, 0, "00", "offset 0x38: data after the end record"},
  {"AOMF", 44, -1, 0, "", "offset 0x2C: no end record", true},
  {"MsBin", -1, 0x1B, 1, "", "offset 0xF: checksum mismatch"},
  {"MsBin", 0x20, -1, 0, "", "offset 0x20: the file ends inside the record at offset 0xF"},
  {"MsBin", -1, -1, 0, "ff", "offset 0x47: data after the end record"},
  {"MsBin", 0x3B, -1, 0, "", "offset 0x3B: no end record", true},
  {"MsBin", 0x3B, -1, 0, "ffffffff02000000030000000102", "offset 0x3B: data runs past address 0xFFFFFFFF"},
  {"DEC binary", -1, 7, 9, "", "offset 0x0: checksum mismatch"},
  {"DEC binary", -1, 0, 2, "", "offset 0x0: record type 2, not 1"},
  {"DEC binary", -1, 2, 5, "", "offset 0x0: record length 5, under its 6-byte header"},
  {"DEC binary", 0x10, -1, 0, "", "offset 0x10: the file ends inside the record at offset 0x0"},
  {"DEC binary", -1, -1, 0, "01", "offset 0x2C: data after the end record"},
  {"DEC binary", 0x24, -1, 0, "01000800ffff0102f6", "offset 0x24: data runs past address 0xFFFF (from 0xFFFF)"},
  {"IDT", -1, 5, 'X', "", "offset 0x0: checksum mismatch"},
  {"IDT", -1, 9, 'T', "", "offset 0x9: record begins 0x54, not 'S'"},
  {"IDT", -1, 10, '4', "", "offset 0x9: unknown record type 0x34"},
  {"IDT", 0x28, -1, 0, "", "offset 0x28: the file ends inside the record at offset 0x21"},
  {"IDT", 0x2D, -1, 0, "5335030003f9", "offset 0x2D: count record says 3 data records"},
  {"IDT", -1, -1, 0, "53", "offset 0x3B: data after the end record"},
  {"IDT", 0x33, -1, 0, "", "offset 0x33: no end record", true},
  {"PPB", -1, 0, 2, "", "offset 0x0: packet begins 0x02, not 0x01"},
  {"PPB", -1, 9, 7, "", "offset 0x0: checksum mismatch"},
  {"PPB", 30, -1, 0, "", "offset 0x1E: the file ends inside the record at offset 0x1A"},
  {"PPB", -1, -1, 0, "01", "offset 0x32: data after the end record"},
  {"PPB", 0x28, -1, 0, "", "offset 0x28: no end record", true},
  {"Stewie", -1, 3, '4', "", "offset 0x0: header other than \"S003\" at the beginning"},
  {"Stewie", -1, 9, 1, "", "offset 0x4: checksum mismatch"},
  {"Stewie", -1, -1, 0, "5331", "offset 0x26: data after the end record"},
  {"Stewie", 0x24, -1, 0, "", "offset 0x24: no end record", true},
  {"TRS-80", -1, 5, 4, "", "offset 0x5: unknown record type 0x04"},
  {"TRS-80", -1, 0x22, 3, "", "offset 0x21: end record of length 3, not 2"},
  {"TRS-80", 0x21, -1, 0, "0104ffff0102", "offset 0x21: data runs past address 0xFFFF (from 0xFFFF)"},
  {"TRS-80", 0x10, -1, 0, "", "offset 0x10: the file ends inside the record at offset 0x5"},
  {"TRS-80", -1, -1, 0, "00", "offset 0x25: data after the end record"},
  {"TRS-80", 0x21, -1, 0, "", "offset 0x21: no end record", true},
  {"Wilson", -1, 6, 0x41, "", "offset 0x0: checksum mismatch"},
  {"Wilson", -1, 6, 0x20, "", "offset 0x0: 0x20 is not an encoded byte"},
  {"Wilson", -1, 0x2B, 0x29, "", "offset 0x24: 0x29 does not end an encoded byte"},
  {"Wilson", 10, -1, 0, "0a", "offset 0x0: record shorter than its count"},
  {"Wilson", -1, 0x18, '!', "", "offset 0x18: unknown record type 0x21"},
  {"Wilson", -1, -1, 0, "23", "offset 0x2D: data after the end record"},
  {"Wilson", 0x24, -1, 0, "", "offset 0x24: no end record", true},
  {"Formatted binary", -1, 2, 0, "", "offset 0x0: no Formatted Binary leader (08 1C 2A 49 08 00)"},
  {"Formatted binary", -1, 6, 0x10, "", "offset 0x0: count byte 0x10 above 0x0F"},
  {"Formatted binary", -1, 10, 0, "", "offset 0x0: 0x00 where 0xFF begins the data"},
  {"Formatted binary", -1, 12, 9, "", "offset 0x13: checksum mismatch"},
  {"Formatted binary", 16, -1, 0, "", "offset 0x10: the file ends inside the record at offset 0x0"},
  {"Formatted binary", -1, -1, 0, "01", "offset 0x17: data after the end record"},
};
// clang-format on

TEST_F(BinaryRecords, BrokenFilesNameTheOffsetAndChangeNothing) {
  std::map<std::string, std::string> layouts;
  for (const Layout& l : kLayouts) layouts[l.type] = unhex(l.hex);
  layouts["Formatted binary"] =
      unhex("081c2a49080000000008ff01020304ffff050600000213");
  for (const Bad& b : kBad) {
    SCOPED_TRACE(b.message);
    std::string bytes = layouts.at(b.type);
    if (b.iCut >= 0) bytes.resize(b.iCut);
    if (b.iAt >= 0) bytes[b.iAt] = static_cast<char>(b.iValue);
    write("bad", bytes + unhex(b.append));
    auto pVMM = newVMM();
    pVMM->setByte(0x1000, 0x55);
    gcImageInfo info;
    info.setHeader("kept");
    const gcFileResult r = support.createFileSupport(b.type)->loadImage(
        "bad", pVMM.get(), gcImageOptions().setStrict(b.bStrict), &info);
    EXPECT_EQ(std::string("bad: ") + b.message, r.getMessage());
    EXPECT_EQ((Bytes{{0x1000, 0x55}}), writtenBytes(*pVMM));
    EXPECT_EQ("kept", info.getHeader());
  }
}

TEST_F(BinaryRecords, ChecksumsIgnoredAndEndsMissingAreWarnings) {
  std::string bytes = unhex(kLayouts[0].hex);
  bytes[4] = 'X';
  write("aomf", bytes.substr(0, 44));
  auto pVMM = newVMM();
  const gcFileResult r = support.createFileSupport("AOMF")->loadImage(
      "aomf", pVMM.get(), gcImageOptions().setIgnoreChecksums(true), nullptr);
  ASSERT_TRUE(r.isOk()) << r.getMessage();
  EXPECT_EQ((std::vector<std::string>{
                "aomf: offset 0x0: checksum mismatch, loaded all the same",
                "aomf: no end record"}),
            r.getWarnings());
  EXPECT_EQ(20u, writtenBytes(*pVMM).size());
}

struct Refused {
  const char* type;
  vmm_int iAddr;
  std::int64_t iStart;  // -1: none
  const char* message;
};

// clang-format off
const Refused kRefused[] = {
  {"AOMF", 0x10000, -1, "address 0x00010000 is past the address field (below 0x00010000)"},
  {"DEC binary", 0xFFFF, 0x10000, "start address 0x00010000 does not fit the start field"},
  {"TRS-80", 0x12345, 0, "address 0x00012345 is past the address field (below 0x00010000)"},
  {"MsBin", 0, 0x100, "MsBin cannot hold data at address 0x00000000 (it marks the start record)"},
};
// clang-format on

TEST_F(BinaryRecords, ImagesAFormatCannotHoldAreRefusedWithoutAFile) {
  for (const Refused& c : kRefused) {
    SCOPED_TRACE(c.type);
    auto pVMM = newVMM();
    pVMM->setByte(0x10, 1);
    pVMM->setByte(c.iAddr, 2);
    gcImageInfo info;
    if (c.iStart >= 0) info.setStartAddress(static_cast<vmm_int>(c.iStart));
    gcFileFormat* pFormat = support.createFileSupport(c.type);
    const gcFileResult r = pFormat->saveImage("out", pVMM.get(), {}, &info);
    EXPECT_EQ(std::string("out: ") + c.message, r.getMessage());
    EXPECT_FALSE(std::ifstream("out").good());
  }
  // Without its start, an image with a wide one fits.
  auto pVMM = newVMM();
  pVMM->setByte(0x10, 1);
  gcImageInfo info;
  info.setStartAddress(0x12345);
  EXPECT_TRUE(support.createFileSupport("TRS-80")
                  ->saveImage("out", pVMM.get(),
                              gcImageOptions().setWriteStart(false), &info)
                  .isOk());
  EXPECT_EQ("010310000103020000", hexOf(read("out")));
}

}  // namespace
