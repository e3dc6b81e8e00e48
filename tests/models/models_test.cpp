#include <functional>

#include "../support/recording_vmm.h"

namespace {

struct ModelCase {
  const char* name;
  std::function<gcVMemoryModell*()> make;
  vmm_int pageSize, secondLevelEntries;
  bool directoryAtTop;
};

void PrintTo(const ModelCase& m, std::ostream* os) { *os << m.name; }

const ModelCase kModels[] = {
    {"Fast", [] { return new gcVMM32BitFast; }, 4096, 4096, false},
    {"Compact", [] { return new gcVMM32BitCompact; }, 4096, 4096, true},
    {"Small", [] { return new gcVMM32BitSmall; }, 65536, 256, true},
};

std::string creationLine(vmm_int entries) {
  return "Create space for " + std::to_string(entries) + " base Entrys...\n";
}

class Model : public testing::TestWithParam<ModelCase> {
 protected:
  Model() : vmm(&ledger) {
    built = stderrOf([&] { vmm.setMemoryModell(GetParam().make()); });
  }
  Ledger ledger;
  RecordingVMM vmm;
  std::string built;
};

TEST_P(Model, BuildsItsChainAtAddressZero) {
  const ModelCase& m = GetParam();
  EXPECT_EQ((m.directoryAtTop ? "" : creationLine(256)) +
                creationLine(m.secondLevelEntries),
            built);
  EXPECT_EQ(m.pageSize, vmm.getPageSize());
  const vmm_int iTop =
      m.directoryAtTop ? kDir + kList + kListElement : 256 * kEntry + kTable;
  EXPECT_EQ(iTop + m.secondLevelEntries * kEntry + kTable + kPage,
            vmm.getUsedPhysicalMemory());
  gcVMMPageBase* pRoot = vmm.getFirstAddressTranslator();
  EXPECT_EQ(0xFF000000u, pRoot->getAddrMask());
  gcVMMPageBase* pPrototype = pRoot->getNextTranslator()->getNextTranslator();
  EXPECT_EQ(pPrototype, vmm.getPage(m.pageSize - 1));  // without a write
  EXPECT_EQ(nullptr, vmm.getPage(0x01000000));
}

TEST_P(Model, OneWriteCreatesTheRegionsTableAndOnePage) {
  const ModelCase& m = GetParam();
  ledger.log.clear();
  EXPECT_EQ(creationLine(m.secondLevelEntries),
            stderrOf([&] { vmm.setByte(0x12345678, 'x'); }));
  EXPECT_EQ(L("S+", m.secondLevelEntries * kEntry, "S+", kTable) +
                (m.directoryAtTop ? L("D+", kListElement) : "") +
                L("P+", kPage, "P+", m.pageSize + m.pageSize / 8),
            ledger.log);
  EXPECT_EQ(nullptr, vmm.getPage(0x0001FFFF));
  vmm.setByte(0x0001FFFF, 1);
  EXPECT_EQ(0x0001FFFFu & ~(m.pageSize - 1),
            vmm.getPage(0x0001FFFF)->getVAddr());
}

INSTANTIATE_TEST_SUITE_P(AllModels, Model, testing::ValuesIn(kModels),
                         [](const auto& info) { return info.param.name; });

TEST(ModelTexts, AreTheModelsOwn) {
  const std::string kStatic =
      "This memory modell uses three a step adress translation procedure. "
      "All pagetables are static tables and so it can require a lot of "
      "phyiscal memory. The page size is 4096 bytes.";
  EXPECT_EQ(kStatic, gcVMM32BitFast().getShortDescription());
  EXPECT_EQ(kStatic, gcVMM32BitCompact().getShortDescription());
  EXPECT_EQ(
      "This memory modell uses two a step adress translation procedure. "
      "There are one dynamic and one static pagetables. The page size is "
      "4kbytes.",
      gcVMM32BitSmall().getShortDescription());
  EXPECT_EQ("", stderrOf([] {
              for (const ModelCase& m : kModels) {
                std::unique_ptr<gcVMemoryModell> model(m.make());
                model->initializeAddressConversion(nullptr);
              }
            }));
}

}  // namespace
