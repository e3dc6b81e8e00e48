// Every CRC of the catalogue against its check value, written in both byte
// orders under each of its names; names and parameters as users mistype
// them; lengths, stamps and alignment at their edges. Random images and
// parameters: the fuzz target and tests/python/test_checksums.py.
#include <dwxvmm/dwxvmm.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../../support/written_bytes.h"
#include "gcCrc.h"
#include "gcFileSupport.h"

namespace {

std::unique_ptr<gcVMM> newVMM() {
  auto pVMM = std::make_unique<gcVMM>();
  pVMM->setMemoryModell(new gcVMM32BitCompact);
  return pVMM;
}

std::string bytesAt(gcVMM& vmm, vmm_int a, vmm_int n) {
  std::string out;
  for (const auto& [at, v] : writtenBytes(vmm))
    if (at >= a && at - a < n) out += v;
  return out;
}

std::string reason(const gcFileResult& r) { return r.getMessage(); }

TEST(Checksums, EveryCatalogueCrcGivesItsCheckValueUnderEachName) {
  std::size_t n = 0;
  const gcCrcModel* pModels = crcCatalogue(&n);
  ASSERT_EQ(n, 106u);
  for (std::size_t m = 0; m < n; ++m) {
    const gcCrcModel& model = pModels[m];
    const unsigned w = (model.parameters.iBits + 7) / 8;
    gcCrcEngine split(model.parameters);  // a step of eight, then bytes
    split.add(reinterpret_cast<const unsigned char*>("1"), 1);
    split.add(reinterpret_cast<const unsigned char*>("23456789"), 8);
    EXPECT_EQ(split.value(), model.iCheck) << model.sNames;
    std::string names = model.sNames;
    for (std::size_t at = 0, bar; at <= names.size(); at = bar + 1) {
      bar = std::min(names.find('|', at), names.size());
      std::string name = names.substr(at, bar - at);
      if (at != 0)  // aliases in lower case
        for (char& c : name) c = static_cast<char>(std::tolower(c));
      for (bool bBig : {false, true}) {
        auto vmm = newVMM();
        vmm->setBlock(0, const_cast<char*>("123456789"), 9);
        const std::string full = name + (bBig ? "-be" : "-le");
        ASSERT_EQ(reason(checksumImage(vmm.get(), full, 0x10, 0, 8, false)), "")
            << full;
        std::string want;
        for (unsigned k = 0; k < w; ++k)
          want += static_cast<char>(model.iCheck >> 8 * (bBig ? w - 1 - k : k));
        EXPECT_EQ(bytesAt(*vmm, 0x10, 8), want) << full;
      }
    }
  }
}

// The STM32 unit over many of its 256-byte steps: CRC-32/MPEG-2 of the
// words' bytes reversed.
TEST(Checksums, Stm32OverManyStepsIsMpeg2OfReversedWords) {
  std::string data(1028, '\0'), reversed(1028, '\0');
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i * 7 + (i >> 8));
  for (std::size_t i = 0; i < data.size(); ++i) reversed[i] = data[i ^ 3];
  auto a = newVMM(), b = newVMM();
  a->setBlock(0, &data[0], 1028);
  b->setBlock(0, &reversed[0], 1028);
  ASSERT_EQ("",
            reason(checksumImage(a.get(), "stm32-le", 0x1000, 0, 1027, false)));
  ASSERT_EQ("", reason(checksumImage(b.get(), "crc-32/mpeg-2-le", 0x1000, 0,
                                     1027, false)));
  EXPECT_EQ(bytesAt(*b, 0x1000, 4), bytesAt(*a, 0x1000, 4));
}

TEST(Checksums, TheListNamesEachModelItsParametersAndCheck) {
  const std::string list = checksumList();
  for (const char* pLine :
       {"\n  crc32-le, -be         CRC-32/ISO-HDLC, zlib's crc32, check "
        "0xcbf43926\n",
        "\n  crc16-xmodem-le, -be  CRC-16/XMODEM, check 0x31c3\n",
        "\n  crc-32/iso-hdlc          width=32 poly=0x04c11db7 init=0xffffffff "
        "refin=true refout=true xorout=0xffffffff check=0xcbf43926  also "})
    EXPECT_NE(std::string::npos, list.find(pLine)) << pLine;
}

TEST(Checksums, NamesAndParametersAsUsersWriteThem) {
  const std::pair<const char*, const char*> cases[] = {
      {"CRC-32C-be", ""},
      {"crc-8/maxim-dow", ""},  // one byte: no order needed
      {"CRC16-CCITT-LE", ""},
      {"crc(width=16,poly=0x8005,init=0xffff,refin=true,refout=true,"
       "xorout=0x0000)-le",
       ""},
      {"crc(width=64,poly=0x42f0e1eba9ea3693)-be", ""},
      {"crc-16/modbus",
       "checksum 'crc-16/modbus' needs -le or -be (the byte "
       "order)"},
      {"crc-82/darc-le", "unknown checksum 'crc-82/darc-le'"},
      {"crc(width=65,poly=1)-le",
       "bad CRC parameters 'crc(width=65,poly=1)-le': width must be 1 to 64"},
      {"crc(width=8,poly=0x107)-le",
       "bad CRC parameters 'crc(width=8,poly=0x107)-le': poly 0x107 does not "
       "fit in 8 bits"},
      {"crc(width=8)-le",
       "bad CRC parameters 'crc(width=8)-le': width and poly are needed"},
      {"crc(width=8,poly=7,seed=1)-le",
       "bad CRC parameters 'crc(width=8,poly=7,seed=1)-le': unknown parameter "
       "'seed'"},
      {"crc(width=8,poly=7,refin=1)-le",
       "bad CRC parameters 'crc(width=8,poly=7,refin=1)-le': refin must be "
       "true or false"},
      {"crc(width=8,poly=7,poly=7)-le",
       "bad CRC parameters 'crc(width=8,poly=7,poly=7)-le': poly given twice"},
      {"crc(width=8,poly=0x)-le",
       "bad CRC parameters 'crc(width=8,poly=0x)-le': bad number '0x' for "
       "poly"},
  };
  for (const auto& [name, why] : cases)
    EXPECT_EQ(reason(checkChecksumName(name)), why) << name;
  EXPECT_EQ(checksumWidth("crc-64/xz-le"), 8u);
  EXPECT_EQ(checksumWidth("crc-3/gsm"), 1u);
  const std::string list = checksumList();
  EXPECT_NE(list.find("crc16-ccitt is CRC-16/IBM-3740; the catalogue's "
                      "CRC-16/CCITT is CRC-16/KERMIT"),
            std::string::npos);
  EXPECT_NE(list.find("crc-16/modbus            width=16 poly=0x8005 "
                      "init=0xffff refin=true refout=true xorout=0x0000 "
                      "check=0x4b37  also modbus"),
            std::string::npos);
}

TEST(Checksums, LengthsCountHolesAndMaySitInTheirRange) {
  auto vmm = newVMM();
  vmm->setBlock(0x100, const_cast<char*>("ab"), 2);
  vmm->setBlock(0x1F0, const_cast<char*>("cd"), 2);
  ASSERT_TRUE(
      checksumImage(vmm.get(), "length32-be", 0x100 - 4, 0xFC, 0x1FF, false)
          .isOk());
  EXPECT_EQ(bytesAt(*vmm, 0xFC, 4), std::string("\0\0\1\4", 4));
  EXPECT_EQ(
      reason(checksumImage(vmm.get(), "length16-le", 0x10, 0, 0xFFFF, false)),
      "length16-le: the range's 65536 bytes do not fit in 16 bits");
  ASSERT_TRUE(
      checksumImage(vmm.get(), "length16-le", 0x10, 0, 0xFFFE, false).isOk());
  EXPECT_EQ(bytesAt(*vmm, 0x10, 2), "\xFF\xFF");
}

TEST(Set, ValuesAsWrittenAndErrors) {
  const std::pair<const char*, std::string> cases[] = {
      {"u8:255", "\xFF"},
      {"u16le:0x1234", "\x34\x12"},
      {"u16be:0X1234", "\x12\x34"},
      {"u32be:4294967295", "\xFF\xFF\xFF\xFF"},
      {"u64le:0x0102030405060708", "\x08\x07\x06\x05\x04\x03\x02\x01"},
      {"u64be:18446744073709551615", std::string(8, '\xFF')},
      {"bytes:00aBff", std::string("\0\xAB\xFF", 3)},
      {"text:v1.2:ok", "v1.2:ok"},
      {"textz:\xC3\xA9", std::string("\xC3\xA9\0", 3)},
  };
  for (const auto& [value, bytes] : cases) {
    auto vmm = newVMM();
    ASSERT_EQ(reason(setImage(vmm.get(), value, 0x20, false)), "") << value;
    EXPECT_EQ(bytesAt(*vmm, 0, 0x100), bytes) << value;
  }
  const std::pair<const char*, const char*> bad[] = {
      {"u8:256", "bad value 'u8:256': 256 does not fit in 8 bits"},
      {"u64le:18446744073709551616",
       "bad value 'u64le:18446744073709551616': 18446744073709551616 does not "
       "fit in 64 bits"},
      {"u16le:0x10000",
       "bad value 'u16le:0x10000': 0x10000 does not fit in "
       "16 bits"},
      {"u32le:-1", "bad value 'u32le:-1': not a number"},
      {"u32le:0x", "bad value 'u32le:0x': not a number"},
      {"u24le:1", "bad value 'u24le:1': unknown type 'u24le'"},
      {"u8le:1", "bad value 'u8le:1': unknown type 'u8le'"},
      {"bytes:abc", "bad value 'bytes:abc': an odd number of hex digits"},
      {"bytes:zz", "bad value 'bytes:zz': 'zz' is not a hex byte"},
      {"text:", "bad value 'text:': no bytes to write"},
      {"u8",
       "bad value 'u8' (TYPE:VALUE; TYPE u8, u16le, u16be, u32le, "
       "u32be, u64le, u64be, bytes, text or textz)"},
      {"u32le:0", "u32le: 0xFFFFFFFE + 4 bytes runs past address 0xFFFFFFFF"},
      {"u16be:0x0102", "u16be: address 0x00000011 already holds another value"},
  };
  auto vmm = newVMM();
  vmm->setBlock(0x10, const_cast<char*>("\x01\x03"), 2);
  for (const auto& [value, why] : bad) {
    const std::uint64_t at = value[1] == '3' ? 0xFFFFFFFE : 0x10;
    EXPECT_EQ(reason(setImage(vmm.get(), value, at, false)), why);
  }
  EXPECT_EQ(bytesAt(*vmm, 0, 0x100), "\x01\x03");  // failures wrote nothing
  EXPECT_TRUE(setImage(vmm.get(), "u8:1", 0x10, false).isOk());  // same value
  EXPECT_TRUE(setImage(vmm.get(), "u16be:0x0102", 0x10, true).isOk());
  EXPECT_EQ(bytesAt(*vmm, 0, 0x100), "\x01\x02");
}

TEST(Align, RunsGrowToWholeBlocksUpToTheTop) {
  auto vmm = newVMM();
  vmm->setBlock(0x1003, const_cast<char*>("ab"), 2);
  vmm->setBlock(0x100E, const_cast<char*>("c"), 1);  // meets the first's block
  vmm->setBlock(0x1021, const_cast<char*>("d"), 1);
  vmm->setBlock(0xFFFFFFF9, const_cast<char*>("e"), 1);
  ASSERT_TRUE(alignImage(vmm.get(), 16, 0x5A).isOk());
  std::string want = std::string(3, 'Z') + "ab" + std::string(9, 'Z') + "cZ" +
                     "Zd" + std::string(14, 'Z');
  EXPECT_EQ(bytesAt(*vmm, 0x1000, 0x30), want);
  EXPECT_EQ(bytesAt(*vmm, 0xFFFFFFF0, 0x10),
            std::string(9, 'Z') + "e" + std::string(6, 'Z'));
  EXPECT_EQ(writtenBytes(*vmm).size(), 0x30u);  // 0x1010-0x101F stays a hole
  for (std::uint32_t n : {0u, 1u, 3u, 48u, 0x200000u})
    EXPECT_EQ(reason(alignImage(vmm.get(), n, 0)),
              "alignment " + std::to_string(n) +
                  " is not a power of two from 2 to 1 MiB");
  auto big = newVMM();
  big->setBlock(0x123456, const_cast<char*>("x"), 1);
  ASSERT_TRUE(alignImage(big.get(), 0x100000, 0).isOk());
  vmm_int low = 0, high = 0;
  ASSERT_TRUE(findWrittenBounds(big.get(), 0, 0xFFFFFFFF, &low, &high));
  EXPECT_EQ(low, 0x100000u);
  EXPECT_EQ(high, 0x1FFFFFu);
  EXPECT_EQ(reason(checksumImage(big.get(), "sum8", 0, low, high, false)),
            "");  // a hole would be named
}

}  // namespace

namespace {

std::string hexOf(const std::vector<unsigned char>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) out += {kDigits[b >> 4], kDigits[b & 15]};
  return out;
}

// The values srec_cat's filters insert (srecord 1.64), the digests as
// sha256sum and the others print them; data at 0x10.
TEST(Checksums, SumsDigestsAndBoundsAsSrecCatInsertsThem) {
  const struct {
    const char* data;
    const char* name;
    const char* value;
  } cases[] = {
      {"123456789", "adler16-be", "4be3"},
      {"123456789", "adler16-le", "e34b"},
      {"123456789", "adler32-be", "091e01de"},
      {"123456789", "fletcher16-be", "de1e"},
      {"123456789", "fletcher32-be", "091501dd"},
      {"123456789", "fletcher32-le", "dd011509"},
      {"\xff", "fletcher16-be", "ffff"},  // multiples of the modulus
      {"\x01\xfe", "fletcher16-be", "ff01"},
      {"\x00", "fletcher16-be", "0000"},
      {"\x00", "fletcher32-be", "ffffffff"},
      {"\xff\xff", "fletcher32-be", "02fd01fe"},
      {"\xff", "adler16-be", "0505"},
      {"123456789", "sha256",
       "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225"},
      {"123456789", "tiger",
       "bb91a440516672069a763d94a90a0435506e12f2fe83be47"},
      {"123456789", "md5", "25f9e794323b453885f5181f1b624d0b"},
      {"123456789", "lowest32-le", "10000000"},
      {"123456789", "end16-be", "0019"},
  };
  for (const auto& c : cases) {
    auto vmm = newVMM();
    const std::size_t n = std::max<std::size_t>(1, std::strlen(c.data));
    vmm->setBlock(0x10, const_cast<char*>(c.data), static_cast<vmm_int>(n));
    std::vector<unsigned char> value;
    ASSERT_EQ(
        reason(checksumValue(vmm.get(), c.name, 0x10, 0x10 + n - 1, &value)),
        "")
        << c.name;
    EXPECT_EQ(hexOf(value), c.value) << c.name << " over " << n << " bytes";
  }
  // Bounds read no byte: holes allowed, a range without data or an end past
  // the width refused; nothing written by a value.
  auto vmm = newVMM();
  vmm->setBlock(0xFFFE, const_cast<char*>("ab"), 2);
  std::vector<unsigned char> value;
  EXPECT_EQ(reason(checksumValue(vmm.get(), "lowest16-be", 0, 0xFFFF, &value)),
            "");
  EXPECT_EQ(hexOf(value), "fffe");
  EXPECT_EQ(reason(checksumValue(vmm.get(), "end16-le", 0, 0xFFFF, &value)),
            "end16-le: the end 0x00010000 does not fit in 16 bits");
  EXPECT_EQ(reason(checksumValue(vmm.get(), "end32-le", 0, 0xFF, &value)),
            "end32-le: no written byte from 0x00000000 to 0x000000FF");
  EXPECT_EQ(
      reason(checksumImage(vmm.get(), "lowest32-le", 0xFFFC, 0, 0xFFFF, false)),
      "lowest32-le: address 0x0000FFFE already holds another value");
  EXPECT_EQ(writtenBytes(*vmm).size(), 2u);
}

}  // namespace
