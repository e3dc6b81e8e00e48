// The table of formats says what each format does: every row is checked
// against the format it makes, so that a row and its format cannot drift.
#include <dwxvmm/dwxvmm.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "../../support/scratch_dir.h"
#include "gcFileSupport.h"

namespace {

class FormatTable : public ScratchDir {};

// Two runs of whole 8-byte records at multiples of 8 (as the strictest
// formats take them) with a hole between.
void fillImage(gcVMM* pVMM) {
  pVMM->setMemoryModell(new gcVMM32BitSmall);
  for (vmm_int a = 0x1000; a < 0x1010; ++a)
    pVMM->setByte(a, static_cast<char>(a * 7));
  for (vmm_int a = 0x1020; a < 0x1028; ++a)
    pVMM->setByte(a, static_cast<char>(a * 3));
}

TEST_F(FormatTable, EveryRowSaysWhatItsFormatDoes) {
  gcFileSupport support;
  std::set<std::string> words, extensions;
  for (std::size_t i = 0; i < gcFileSupport::formatCount(); ++i) {
    const gcFormatInfo& f = gcFileSupport::format(i);
    SCOPED_TRACE(f.pWord);
    EXPECT_TRUE(words.insert(f.pWord).second);
    EXPECT_EQ(&f, gcFileSupport::findWord(f.pWord));
    gcFileFormat* pFormat = support.createFileSupport(f.pTypeName);
    ASSERT_NE(nullptr, pFormat);
    EXPECT_STREQ(f.pTypeName, pFormat->getTypeName());
    if (f.pAlias != nullptr) {
      EXPECT_NE(nullptr, support.createFileSupport(f.pAlias));
    }
    for (std::string e, all = f.pExtensions; !all.empty();) {
      e = all.substr(0, all.find(' '));
      all.erase(0, e.size() + 1);
      EXPECT_TRUE(extensions.insert(e).second) << e;
      EXPECT_EQ(f.pTypeName, gcFileSupport::typeForExtension("a." + e));
    }
    if (!f.is(gcFormatInfo::kWrite)) continue;

    gcVMM vmm;
    fillImage(&vmm);
    const gcFileResult saved =
        pFormat->saveImage("out", &vmm, gcImageOptions(), nullptr);
    ASSERT_TRUE(saved.isOk()) << saved.getMessage();
    const std::string bytes = slurp("out");
    if (f.is(gcFormatInfo::kBinary)) {
      EXPECT_FALSE(gcFileSupport::isText(bytes.data(), bytes.size()));
    } else {  // text, but for ASCII-Hex's STX and ETX
      std::string text = bytes;
      text.erase(std::remove_if(text.begin(), text.end(),
                                [](char c) { return c == 2 || c == 3; }),
                 text.end());
      EXPECT_TRUE(gcFileSupport::isText(text.data(), text.size()));
    }
    // UF2, MIF and COE fill without counting; the formats without
    // addresses count what they fill.
    if (!f.is(gcFormatInfo::kFills) || !f.is(gcFormatInfo::kAddressed)) {
      EXPECT_EQ(f.is(gcFormatInfo::kFills), saved.getFilledBytes() > 0);
    }
    // Found, or refused where another format reads the file otherwise.
    std::string sType;
    const gcFileResult found =
        gcFileSupport::detectInput("out", bytes.data(), bytes.size(), &sType);
    if (f.recognise != nullptr && found.isOk()) {
      EXPECT_EQ(f.pTypeName, sType);
    } else if (f.recognise != nullptr) {
      EXPECT_NE(std::string::npos,
                found.getMessage().find(std::string("PATH@") + f.pWord))
          << found.getMessage();
    }
    gcVMM back;
    back.setMemoryModell(new gcVMM32BitSmall);
    const gcFileResult loaded =
        pFormat->loadImage("out", &back, gcImageOptions(), nullptr);
    EXPECT_EQ(f.is(gcFormatInfo::kRead), loaded.isOk()) << loaded.getMessage();
    if (loaded.isOk() && f.is(gcFormatInfo::kAddressed)) {
      EXPECT_EQ(static_cast<char>(0x1020 * 3), back.getByte(0x1020));
    }
    const gcFileResult unit = pFormat->saveImage(
        "out2", &vmm, gcImageOptions().setAddressUnit(2), nullptr);
    EXPECT_EQ(f.is(gcFormatInfo::kUnit), unit.isOk()) << unit.getMessage();
  }
}

}  // namespace
