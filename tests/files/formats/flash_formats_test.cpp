// UF2, DfuSe, MIF and COE against readers and writers of their public
// descriptions (flash_peers.py), dfu-suffix and srec_cat; unsound files.
#include <dwxvmm/dwxvmm.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../../support/scratch_dir.h"
#include "../../support/written_bytes.h"
#include "gcFileSupport.h"

namespace {

typedef std::vector<std::pair<std::uint32_t, std::uint32_t>> Spans;
typedef std::map<vmm_int, char> Bytes;

const std::string kPeers = "/usr/bin/python3 " FLASH_PEERS_PY " ";

int sh(const std::string& command) { return std::system(command.c_str()); }

char valueAt(std::uint64_t a, int iSeed = 0) {
  return static_cast<char>(a * 7 + (a >> 9) + iSeed);
}

// Writes the spans into vmm (unless null) and returns them as DESC lines.
std::string fill(gcVMM* pVMM, const Spans& spans, Bytes* pBytes,
                 int iSeed = 0) {
  std::ostringstream desc;
  for (auto [first, n] : spans) {
    char head[16];
    std::snprintf(head, sizeof head, "%x ", first);
    desc << head;
    for (std::uint64_t a = first; a < std::uint64_t{first} + n; ++a) {
      const char v = valueAt(a, iSeed);
      if (pVMM != nullptr) pVMM->setByte(static_cast<vmm_int>(a), v);
      (*pBytes)[static_cast<vmm_int>(a)] = v;
      std::snprintf(head, sizeof head, "%02x", v & 0xFF);
      desc << head;
    }
    desc << '\n';
  }
  return desc.str();
}

std::unique_ptr<gcVMM> newVMM() {
  auto pVMM = std::make_unique<gcVMM>();
  pVMM->setMemoryModell(new gcVMM32BitCompact);
  return pVMM;
}

class FlashFormats : public ScratchDir {
 protected:
  gcFileSupport support;
  gcFileFormat* load(const char* pType) {
    return support.createFileSupport(pType);
  }
};

struct Uf2Case {
  Spans spans;
  std::int64_t iFamily;  // -1: none
  int iFill;             // -1: the default
  int iPayload;          // of the blocks the peer writes
};

// clang-format off
const Uf2Case kUf2[] = {
  {{{0x10000000, 0x300}}, 0xE48BFF56, -1, 476},
  {{{0x1F, 2}, {0x100, 1}, {0x1FF, 2}, {0x4000, 0x101}}, -1, 0x00, 1},
  {{{0xFFFFFF00, 0x100}, {0, 1}}, 0xADA52840, 0x5A, 256},
  {{{0x08000004, 0x1000}}, 0x12345678, -1, 100},
};
// clang-format on

TEST_F(FlashFormats, Uf2FollowsTheRulesBothWays) {
  gcFileFormat* pUf2 = load("UF2");
  for (const Uf2Case& c : kUf2) {
    SCOPED_TRACE(c.iPayload);
    auto pVMM = newVMM();
    Bytes want;
    spill("desc", fill(pVMM.get(), c.spans, &want));
    gcImageOptions options;
    if (c.iFamily >= 0)
      options.setUf2Family(static_cast<std::uint32_t>(c.iFamily));
    if (c.iFill >= 0) options.setFillByte(c.iFill);
    const gcFileResult saved =
        pUf2->saveImage("ours", pVMM.get(), options, nullptr);
    ASSERT_TRUE(saved.isOk()) << saved.getMessage();
    EXPECT_EQ(want.size(), saved.getDataBytes());
    EXPECT_EQ(0, sh(kPeers + "uf2-check desc ours " +
                    std::to_string(c.iFill >= 0 ? c.iFill : 0xFF) +
                    (c.iFamily >= 0 ? " " + std::to_string(c.iFamily) : "")));
    EXPECT_EQ("UF2", gcFileSupport::detectFileType("ours"));

    // The peer's blocks: payloads of any size at any address.
    std::string desc = fill(nullptr, c.spans, &want);
    if (c.iFamily >= 0) {
      char family[32];
      std::snprintf(family, sizeof family, "family %llx\n",
                    static_cast<unsigned long long>(c.iFamily));
      desc = family + desc;
    }
    spill("desc", desc);
    ASSERT_EQ(
        0, sh(kPeers + "uf2-write desc theirs " + std::to_string(c.iPayload)));
    auto pBack = newVMM();
    gcImageInfo info;
    const gcFileResult r = pUf2->loadImage("theirs", pBack.get(), {}, &info);
    ASSERT_TRUE(r.isOk()) << r.getMessage();
    EXPECT_EQ(want, writtenBytes(*pBack));
    EXPECT_EQ(c.iFamily < 0
                  ? "no family"
                  : "family " + gcUf2File::describeFamily(
                                    static_cast<std::uint32_t>(c.iFamily)),
              info.getDetails());
  }
}

TEST_F(FlashFormats, Uf2FamiliesAndBlocksNotInMainFlash) {
  // Two families over the same addresses, as RP2350 images hold; blocks
  // not in main flash are skipped, and counted.
  Bytes arm, riscv;
  spill("desc", "family E48BFF59\n" +
                    fill(nullptr, {{0x10000000, 0x200}}, &arm) +
                    "skip 20000000 00\nfamily E48BFF5A\n" +
                    fill(nullptr, {{0x10000000, 0x180}}, &riscv, 1));
  ASSERT_EQ(0, sh(kPeers + "uf2-write desc two 256"));
  gcFileFormat* pUf2 = load("UF2");
  auto pVMM = newVMM();
  pVMM->setByte(5, 5);
  gcImageOptions options;
  EXPECT_EQ(
      "two: blocks of several families: RP2350_ARM_S (0xE48BFF59), "
      "RP2350_RISCV (0xE48BFF5A); choose one (@family=NAME)",
      pUf2->loadImage("two", pVMM.get(), options, nullptr).getMessage());
  EXPECT_EQ(
      "two: no block of family RP2040 (0xE48BFF56) (the file holds "
      "RP2350_ARM_S (0xE48BFF59), RP2350_RISCV (0xE48BFF5A))",
      pUf2->loadImage("two", pVMM.get(), options.setUf2Family(0xE48BFF56),
                      nullptr)
          .getMessage());
  EXPECT_EQ((Bytes{{5, 5}}), writtenBytes(*pVMM));
  gcImageInfo info;
  ASSERT_TRUE(pUf2->loadImage("two", pVMM.get(),
                              options.setUf2Family(0xE48BFF5A), &info)
                  .isOk());
  riscv[5] = 5;
  EXPECT_EQ(riscv, writtenBytes(*pVMM));
  EXPECT_EQ(
      "families RP2350_ARM_S (0xE48BFF59), RP2350_RISCV (0xE48BFF5A); "
      "loaded RP2350_RISCV (0xE48BFF5A); 1 block not main flash skipped",
      info.getDetails());

  std::uint32_t iId = 0;
  for (auto [name, id] : {std::pair{"rp2040", 0xE48BFF56u},
                          {"Samd51", 0x55114460u},
                          {"0xC47E5767", 0xC47E5767u},
                          {"0x5", 5u},
                          {"42", 42u},
                          {"0xFFFFFFFF", 0xFFFFFFFFu},
                          {"4294967295", 0xFFFFFFFFu}}) {
    EXPECT_TRUE(gcUf2File::familyId(name, &iId)) << name;
    EXPECT_EQ(id, iId);
  }
  for (const char* pBad :
       {"RP204", "", "0x", "0x100000000", "4294967296", "1a"})
    EXPECT_FALSE(gcUf2File::familyId(pBad, &iId)) << pBad;
  EXPECT_STREQ("ESP32S3", gcUf2File::familyName(0xC47E5767));
  EXPECT_EQ(nullptr, gcUf2File::familyName(0));
}

void put32(std::string* pFile, std::size_t o, std::uint32_t v) {
  for (int i = 0; i < 4; ++i, v >>= 8) (*pFile)[o + i] = static_cast<char>(v);
}

struct Damage {
  const char* type;
  std::size_t iOffset;  // where the value goes, or the length to cut to
  std::uint32_t iValue;
  int iBytes;           // 0: cut the file at iOffset
  const char* message;  // after "f: "
};

// A UF2 file of blocks at 0 and 0x100; a DfuSe file of elements at 0 (0x10
// bytes) and 0x20 (0x10 bytes): target prefix at 11, elements at 285 and 309,
// suffix at 333. The DfuSe CRC is mended after the damage but in one row.
// clang-format off
const Damage kDamage[] = {
  {"UF2", 512 + 508, 0, 4, "block 1: bad magic"},
  {"UF2", 4, 0, 4, "block 0: bad magic"},
  {"UF2", 8, 0x1000, 4, "block 0: a file container (flag 0x1000), not an image"},
  {"UF2", 512 + 16, 477, 4, "block 1: payload of 477 bytes, over 476"},
  {"UF2", 700, 0, 0, "block 1: the file ends inside it (length not a multiple of 512)"},
  {"UF2", 0, 0, 0, "no block (an empty file)"},
  {"UF2", 512 + 20, 0, 4, "block 1: block number 0 of 2 where 1 of 2 comes (no family)"},
  {"UF2", 24, 3, 4, "block 1: block number 1 of 2 where 1 of 3 comes (no family)"},
  {"UF2", 512, 0, 0, "file ends after block number 0 of 2 (no family)"},
  {"UF2", 512 + 12, 0xFFFFFF80, 4, "block 1: data beyond address 0xFFFFFFFF"},
  {"UF2", 512 + 12, 0x80, 4, "block 1: address 0x00000080 already holds another value"},
  {"DfuSe", 333, 0x55, 1, "DFU suffix: CRC 0x..."},
  {"DfuSe", 339, 0x0100, 2, "DFU suffix: DFU version 0x0100, not 0x011A (DfuSe)"},
  {"DfuSe", 341, 'X', 1, "DFU suffix: no 'UFD' signature"},
  {"DfuSe", 20, 0, 0, "too short for a DfuSe prefix and a DFU suffix"},
  {"DfuSe", 0, 'd', 1, "prefix: no 'DfuSe' signature"},
  {"DfuSe", 5, 2, 1, "prefix: version 2, not 1"},
  {"DfuSe", 6, 334, 4, "prefix: image size 334, the file holds 333"},
  {"DfuSe", 9, 1, 1, "prefix: image size 16777549, the file holds 333"},
  {"DfuSe", 10, 2, 1, "target 1: target prefix runs past the end of the image"},
  {"DfuSe", 11, 't', 1, "target 0: no 'Target' signature"},
  {"DfuSe", 277, 49, 4, "target 0: size 49 runs past the end of the image"},
  {"DfuSe", 277, 47, 4, "1 bytes after the last target"},
  {"DfuSe", 281, 1, 4, "target 0: 24 bytes after the last element"},
  {"DfuSe", 281, 3, 4, "target 0: element 2: header runs past the target"},
  {"DfuSe", 313, 17, 4, "target 0: element 1: size 17 runs past the target"},
  {"DfuSe", 309, 0xFFFFFFF8, 4, "target 0: element 1: data beyond address 0xFFFFFFFF"},
};
// clang-format on

TEST_F(FlashFormats, UnsoundFilesNameBlockTargetAndElementAndChangeNothing) {
  auto pGood = newVMM();
  Bytes unused;
  fill(pGood.get(), {{0, 0x10}, {0x20, 0x10}, {0x100, 1}}, &unused);
  gcImageOptions options;
  options.setRange(0, 0x2F);
  ASSERT_TRUE(
      load("UF2")->saveImage("good.uf2", pGood.get(), {}, nullptr).isOk());
  ASSERT_TRUE(load("DfuSe")
                  ->saveImage("good.dfu", pGood.get(), options, nullptr)
                  .isOk());
  for (const Damage& d : kDamage) {
    SCOPED_TRACE(d.message);
    std::string file =
        slurp(std::string("good.") + (d.type[0] == 'U' ? "uf2" : "dfu"));
    if (d.iBytes == 0) file.resize(d.iOffset);
    for (int i = 0; i < d.iBytes; ++i)
      file[d.iOffset + i] = static_cast<char>(d.iValue >> 8 * i);
    const bool bMendCrc = d.type[0] == 'D' && d.iOffset != 333 && d.iBytes != 0;
    if (bMendCrc)
      put32(&file, file.size() - 4,
            ~static_cast<std::uint32_t>(
                crc32(0, reinterpret_cast<const Bytef*>(file.data()),
                      static_cast<uInt>(file.size() - 4))));
    spill("f", file);
    auto pVMM = newVMM();
    pVMM->setByte(0x400, 1);
    const vmm_int iUsage = pVMM->getUsedPhysicalMemory();
    const gcFileResult r =
        load(d.type)->loadImage("f", pVMM.get(), {}, nullptr);
    const std::string want = std::string("f: ") + d.message;
    const std::size_t iDots = want.find("...");
    EXPECT_EQ(want.substr(0, iDots), r.getMessage().substr(0, iDots));
    EXPECT_EQ((Bytes{{0x400, 1}}), writtenBytes(*pVMM));
    EXPECT_EQ(iUsage, pVMM->getUsedPhysicalMemory());
  }
}

TEST_F(FlashFormats, DfuSeAgainstDfuSuffixAndAReaderOfItsDescription) {
  auto pVMM = newVMM();
  Bytes want;
  spill("desc", fill(pVMM.get(),
                     {{0x08000000, 0x20000}, {0x08020004, 3}, {0x1FFF7800, 16}},
                     &want));
  gcFileFormat* pDfu = load("DfuSe");
  gcImageOptions options;
  options.setDfuAlt(3)
      .setDfuName("Internal Flash")
      .setDfuIds(0x1209, 0x70, 0x0200);
  ASSERT_TRUE(pDfu->saveImage("ours.dfu", pVMM.get(), options, nullptr).isOk());
  EXPECT_EQ(0,
            sh(kPeers +
               "dfu-check desc ours.dfu 3 'Internal Flash' 0x1209 0x70 0x200"));
  EXPECT_EQ(0, sh("dfu-suffix --check ours.dfu >/dev/null 2>&1"))
      << "scripts/deps.sh dfu-util";
  EXPECT_EQ("DfuSe", gcFileSupport::detectFileType("ours.dfu"));
  ASSERT_TRUE(pDfu->saveImage("default.dfu", pVMM.get(), {}, nullptr).isOk());
  EXPECT_EQ(0, sh(kPeers +
                  "dfu-check desc default.dfu 0 ST... 0x0483 0xdf11 0xffff"));

  // Theirs, of two targets: one at a time, chosen by alternate setting.
  Bytes flash, option;
  spill("desc",
        "target 0 Flash\n" +
            fill(nullptr, {{0x08000000, 0x40}, {0x08001000, 1}}, &flash) +
            "target 1 Option\n" + fill(nullptr, {{0x1FFFC000, 16}}, &option));
  ASSERT_EQ(0, sh(kPeers + "dfu-write desc two.dfu"));
  auto pBack = newVMM();
  options = gcImageOptions();
  EXPECT_EQ(
      "two.dfu: several targets: alt 0 'Flash', alt 1 'Option'; choose one "
      "(@alt=N)",
      pDfu->loadImage("two.dfu", pBack.get(), options, nullptr).getMessage());
  EXPECT_EQ(
      "two.dfu: no target of alternate setting 2 (the file holds alt 0 "
      "'Flash', alt 1 'Option')",
      pDfu->loadImage("two.dfu", pBack.get(), options.setDfuAlt(2), nullptr)
          .getMessage());
  gcImageInfo info;
  ASSERT_TRUE(
      pDfu->loadImage("two.dfu", pBack.get(), options.setDfuAlt(1), &info)
          .isOk());
  EXPECT_EQ(option, writtenBytes(*pBack));
  EXPECT_EQ(
      "VID 0x0483, PID 0xDF11, device 0xFFFF; targets alt 0 'Flash', alt 1 "
      "'Option'",
      info.getDetails());
  ASSERT_TRUE(pDfu->loadImage("ours.dfu", pBack.get(), {}, nullptr).isOk());
  for (const auto& [a, v] : writtenBytes(*pVMM))
    EXPECT_EQ(v, pBack->getByte(a));
}

TEST_F(FlashFormats, MifAndCoeWordsAgainstAParseAndSrecCat) {
  auto pVMM = newVMM();
  Bytes want;
  // A hole inside a word, a run of one value, a lone last byte.
  fill(pVMM.get(), {{0x3, 9}, {0x40, 0x1C}, {0xE3, 1}}, &want);
  for (int i = 0x50; i < 0x5C; ++i) pVMM->setByte(i, 0x77);
  std::ostringstream desc;
  for (auto [a, v] : writtenBytes(*pVMM)) {
    char line[24];
    std::snprintf(line, sizeof line, "%x %02x\n", a, v & 0xFF);
    desc << line;
  }
  spill("desc", desc.str());
  for (const char* pType : {"MIF", "COE"}) {
    for (unsigned int iBits : {8u, 16u, 32u}) {
      for (int iFill : {-1, 0xA5}) {
        SCOPED_TRACE(std::string(pType) + " " + std::to_string(iBits) + " " +
                     std::to_string(iFill));
        gcImageOptions options;
        options.setWordBits(iBits);
        if (iFill >= 0) options.setFillByte(static_cast<std::uint8_t>(iFill));
        const gcFileResult r =
            load(pType)->saveImage("o", pVMM.get(), options, nullptr);
        ASSERT_TRUE(r.isOk()) << r.getMessage();
        EXPECT_EQ(0, sh(kPeers + (pType[0] == 'M' ? "mif" : "coe") +
                        "-check desc o " + std::to_string(iBits) + " " +
                        std::to_string(iFill < 0 ? 0 : iFill)));
        if (pType[0] == 'C') continue;
        // Read back, every word is data: holes hold the fill byte.
        auto pBack = newVMM();
        ASSERT_TRUE(
            load("MIF")->loadImage("o", pBack.get(), {}, nullptr).isOk());
        Bytes filled = writtenBytes(*pVMM);
        for (vmm_int a = 0; a <= 0xE3; ++a)
          filled.emplace(a, static_cast<char>(iFill < 0 ? 0 : iFill));
        EXPECT_EQ(filled, writtenBytes(*pBack));
        // srec_cat reads ranges of at most 255 words, and of bytes only.
        if (iBits != 8) continue;
        ASSERT_EQ(0, sh("srec_cat o -mif -o theirs.hex -intel"));
        auto pTheirs = newVMM();
        ASSERT_TRUE(load("Intel HEX")
                        ->loadImage("theirs.hex", pTheirs.get(), {}, nullptr)
                        .isOk());
        EXPECT_EQ(filled, writtenBytes(*pTheirs));
      }
    }
  }
  // srec_cat's MIF, read by ours.
  ASSERT_TRUE(
      load("Intel HEX")->saveImage("in.hex", pVMM.get(), {}, nullptr).isOk());
  ASSERT_EQ(0, sh("srec_cat in.hex -intel -o theirs.mif -mif 2>/dev/null"));
  auto pBack = newVMM();
  const gcFileResult r =
      load("MIF")->loadImage("theirs.mif", pBack.get(), {}, nullptr);
  ASSERT_TRUE(r.isOk()) << r.getMessage();
  for (const auto& [a, v] : writtenBytes(*pVMM))
    EXPECT_EQ(v, pBack->getByte(a));
  // A memory of more than 16 M words, and no data: refused, no file.
  pVMM->setByte(0x01000000, 1);
  EXPECT_EQ(
      "big: a memory from address 0 to 0x01000000 is 16777217 words, "
      "over 16 M: move the image down (@-DELTA)",
      load("MIF")->saveImage("big", pVMM.get(), {}, nullptr).getMessage());
  EXPECT_EQ("", slurp("big"));
  gcImageOptions options;
  EXPECT_EQ("none: no written byte to make a memory of",
            load("COE")
                ->saveImage("none", pVMM.get(), options.setRange(0x100, 0x200),
                            nullptr)
                .getMessage());
}

}  // namespace
