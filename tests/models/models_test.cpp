#include <functional>

#include "../support/recording_vmm.h"

namespace {

struct ModelCase {
  const char* name;
  std::function<gcVMemoryModell*()> make;
  std::string lines;  // what building the chain writes
  vmm_int pageSize;
  vmm_int secondLevelEntries;
  bool directoryAtTop;
};

void PrintTo(const ModelCase& c, std::ostream* os) { *os << c.name; }

const std::string kLine256 = "Create space for 256 base Entrys...\n";
const std::string kLine4096 = "Create space for 4096 base Entrys...\n";

const ModelCase kModels[] = {
    {"Fast", [] { return new gcVMM32BitFast; }, kLine256 + kLine4096, 4096,
     4096, false},
    {"Compact", [] { return new gcVMM32BitCompact; }, kLine4096, 4096, 4096,
     true},
    {"Small", [] { return new gcVMM32BitSmall; }, kLine256, 65536, 256, true},
};

class Model : public testing::TestWithParam<ModelCase> {
 protected:
  Model() : vmm(&ledger) {
    built = stderrOf([&] { vmm.setMemoryModell(GetParam().make()); });
  }
  vmm_int secondLevelCost() const {
    return GetParam().secondLevelEntries * kEntry + kTable;
  }

  Ledger ledger;
  RecordingVMM vmm;
  std::string built;
};

TEST_P(Model, BuildsItsChainAtAddressZero) {
  const ModelCase& m = GetParam();
  EXPECT_EQ(m.lines, built);
  EXPECT_EQ(m.pageSize, vmm.getPageSize());
  const vmm_int iTop =
      m.directoryAtTop ? kDir + kList + kListElement : 256 * kEntry + kTable;
  EXPECT_EQ(iTop + secondLevelCost() + kPage, vmm.getUsedPhysicalMemory());

  gcVMMPageBase* pRoot = vmm.getFirstAddressTranslator();
  EXPECT_EQ(0xFF000000u, pRoot->getAddrMask());
  gcVMMPageBase* pPrototype = pRoot->getNextTranslator()->getNextTranslator();
  EXPECT_EQ(pPrototype, vmm.getPage(0));  // without a write
  EXPECT_EQ(pPrototype, vmm.getPage(m.pageSize - 1));
  EXPECT_EQ(nullptr, vmm.getPage(0x01000000));
}

TEST_P(Model, OneWriteCreatesTheRegionsTableAndOnePage) {
  const ModelCase& m = GetParam();
  ledger.entries.clear();
  const std::string out = stderrOf([&] { vmm.setByte(0x12345678, 'x'); });
  EXPECT_EQ(m.secondLevelEntries == 4096 ? kLine4096 : kLine256, out);
  std::vector<Ledger::Entry> expected = {
      {"static+", m.secondLevelEntries * kEntry}, {"static+", kTable}};
  if (m.directoryAtTop) expected.push_back({"dynamic+", kListElement});
  expected.push_back({"page+", kPage});
  expected.push_back({"page+", m.pageSize + m.pageSize / 8});
  EXPECT_EQ(expected, ledger.entries);
  gcVMMPage* pPage = vmm.getPage(0x0001FFFF);
  EXPECT_EQ(nullptr, pPage);
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
}

TEST(ModelTexts, NullVMMGetsNothing) {
  EXPECT_EQ("", stderrOf([] {
              gcVMM32BitFast().initializeAddressConversion(nullptr);
              gcVMM32BitSmall().initializeAddressConversion(nullptr);
              gcVMM32BitCompact().initializeAddressConversion(nullptr);
            }));
}

}  // namespace
