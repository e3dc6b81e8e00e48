#include "../support/recording_vmm.h"

namespace {

TEST(PageTable, EntriesReportsAndReleaseOrder) {
  Ledger ledger;
  RecordingVMM vmm(&ledger);
  gcVMMPageTable* pTable = nullptr;
  EXPECT_EQ("Create space for 4096 base Entrys...\n", stderrOf([&] {
              pTable = new gcVMMPageTable(&vmm, 0x00FFF000, 0x12000000);
            }));
  EXPECT_EQ(L("S+", 4096 * kEntry, "S+", kTable), ledger.log);

  auto* pChild = new gcVMMPage(&vmm, 0xFFF, 0x12345000);
  auto* pIntruder = new gcVMMPage(nullptr, 0xFFF, 0x12345000);
  pTable->addPageBase(pChild);
  pTable->addPageBase(pIntruder);  // an occupied entry keeps its node
  pTable->addPageBase(nullptr);
  EXPECT_EQ(pChild, pTable->getPageObject(0x12345678));  // entry 0x345
  EXPECT_EQ(nullptr, pTable->getPageObject(0x12346000));
  delete pIntruder;

  ledger.log.clear();
  delete pTable;
  EXPECT_EQ(L("P-", kPage, "S-", 4096 * kEntry, "S-", kTable), ledger.log);
  EXPECT_EQ(0u, ledger.used);
}

TEST(PageTable, WithoutItsArrayItHoldsNothing) {
  stderrOf([] {
    gcVMMPageTable table(nullptr, 0x00FFF000, 0);
    table.destroyPageBaseList();
    gcVMMPage page(nullptr, 0xFFF, 0);
    table.addPageBase(&page);
    EXPECT_EQ(nullptr, table.getPageObject(0));
    EXPECT_TRUE(table.forAllMappedPagesRecursive(nullptr));
  });
}

TEST(PageTable, RebuildingTheArrayDropsTheChildren) {
  Ledger ledger;
  RecordingVMM vmm(&ledger);
  const std::string kLine = "Create space for 256 base Entrys...\n";
  EXPECT_EQ(kLine + kLine + kLine, stderrOf([&] {
              gcVMMPageTable table(&vmm, 0xFF000000, 0);
              table.addPageBase(new gcVMMPage(&vmm, 0xFFF, 0x05000000));
              table.createPageBaseList();
              EXPECT_EQ(nullptr, table.getPageObject(0x05000000));
              gcVMMPageTable orphan(nullptr, 0x00FF0000, 0);  // reports nothing
            }));
  EXPECT_EQ(0u, ledger.used);
}

// A table without entries refuses every node: the translator behind it is
// released, the mapping fails with its message, nothing leaks.
TEST(PageTable, TableOfSizeZeroFailsTheMappingWithoutLeaking) {
  Ledger ledger;
  {
    RecordingVMM vmm(&ledger);
    std::string out = stderrOf([&] {
      vmm.addAddressTranslator(new gcVMMPageTable(&vmm, 0, 0));
      vmm.addAddressTranslator(new gcVMMPage(&vmm, 0xFFF, 0));
    });
    EXPECT_EQ(0u, out.find("Create space for 0 base Entrys...\n"
                           "gcVMMPageTable::addPageBase(gcVMMPageBase* pNew): "
                           "BUGGY PAGE FAULT!\n"));
    out = stderrOf([&] { vmm.setByte(0x1234, 1); });
    EXPECT_EQ(0u, out.find("gcVMMPageTable::translateVirtualAddress(vmm_int "
                           "iAddr): BUGGY PAGE FAULT!\n"));
    EXPECT_NE(std::string::npos,
              out.find("UNABLE TO MAP PAGE AT ADDRESS 1234\n"));
    EXPECT_EQ(kTable, vmm.getUsedPhysicalMemory());
  }
  EXPECT_EQ(0u, ledger.used);
}

}  // namespace
