#include <functional>
#include <vector>

#include "../core/direct_path.h"
#include "../support/recording_vmm.h"

namespace {

struct ModelCase {
  const char* name;
  std::function<gcVMemoryModell*()> make;
  vmm_int pageSize, tableEntries;  // the second level's
  bool directoryAtTop;
};

const ModelCase kModels[] = {
    {"Fast", [] { return new gcVMM32BitFast; }, 4096, 4096, false},
    {"Compact", [] { return new gcVMM32BitCompact; }, 4096, 4096, true},
    {"Small", [] { return new gcVMM32BitSmall; }, 65536, 256, true},
};

// The chain at address 0, and the reports of a first write elsewhere.
TEST(Models, BuildTheirChainAtZeroAndGrowByRegion) {
  for (const ModelCase& m : kModels) {
    SCOPED_TRACE(m.name);
    Transcript log;
    auto* pVMM = new RecordingVMM(&log);
    gcVMM& vmm = *pVMM;
    vmm.setMemoryModell(m.make());
    const std::string table = created(m.tableEntries) +
                              L("S+", m.tableEntries * kEntry, "S+", kTable);
    EXPECT_EQ(
        (m.directoryAtTop
             ? L("D+", kDir) + table + L("D+", kList, "D+", kListElement)
             : created(256) + L("S+", 256 * kEntry, "S+", kTable) + table) +
            L("P+", kPage),
        log.take());
    EXPECT_EQ(m.directoryAtTop ? 6 : 5, log.changes);
    EXPECT_EQ(m.pageSize, vmm.getPageSize());
    gcVMMPageBase* pRoot = vmm.getFirstAddressTranslator();
    EXPECT_EQ(0xFF000000u, pRoot->getAddrMask());
    EXPECT_EQ(pRoot->getNextTranslator()->getNextTranslator(),
              vmm.getPage(m.pageSize - 1));  // the prototype, unwritten
    vmm.setByte(0x12345678, 'x');
    EXPECT_EQ(table + (m.directoryAtTop ? L("D+", kListElement) : "") +
                  L("P+", kPage, "P+", m.pageSize + m.pageSize / 8),
              log.take());
    EXPECT_TRUE(vmm.forAllMappedPages(new gcVMMPageHandler, true));
    EXPECT_TRUE(vmm.forAllMappedPages(new gcPageCountHandler, true));
    EXPECT_EQ("gcPageCountHandler:: 2 pages are mapped.\n", log.take());
    delete pVMM;
    EXPECT_EQ(0u, log.used);
  }
}

// Only speed would tell that a plain VMM went the virtual way: the direct
// path's decision and its count of calls handed on show it.
TEST(Models, APlainVMMTakesTheDirectPathThroughout) {
  struct Peek : gcVMM {  // reads the decision of another VMM
    static bool direct(gcVMMBase& vmm) {
      return vmm.*(&Peek::pDirectRoot) != nullptr &&
             vmm.*(&Peek::iDirectPageSize) != 0;
    }
  };
  for (const ModelCase& m : kModels) {
    SCOPED_TRACE(m.name);
    Transcript log;
    const std::uint64_t iHandedOn = dwxvmm_detail::handOvers();
    gcVMM vmm;
    vmm.setMemoryModell(m.make());
    EXPECT_TRUE(Peek::direct(vmm));
    std::vector<char> block(2 * m.pageSize + 16);
    for (vmm_int a : {0u, 0x12345678u, 0x12FFFFF8u, 0xFFFFFFF0u}) {
      vmm.setByte(a, 'x');
      vmm.getByte(a + m.pageSize);
      vmm.isByteMapped(a + 1);
      vmm.setBlock(a - 8, block.data(), block.size());
      vmm.getBlock(a + 8, block.data(), block.size());
      vmm.getPage(a - m.pageSize);
    }
    EXPECT_EQ(iHandedOn, dwxvmm_detail::handOvers());
  }
}

TEST(Models, DescriptionsAndNoChainWithoutAVMM) {
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
  Transcript log;
  for (const ModelCase& m : kModels)
    std::unique_ptr<gcVMemoryModell>(m.make())->initializeAddressConversion(
        nullptr);
  EXPECT_EQ("", log.take());
}

}  // namespace
