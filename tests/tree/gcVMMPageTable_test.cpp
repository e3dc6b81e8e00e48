#include "../support/recording_vmm.h"

namespace {

TEST(PageTable, BuildingWritesItsLineAndReportsArrayThenObject) {
  Ledger ledger;
  RecordingVMM vmm(&ledger);
  gcVMMPageTable* pTable = nullptr;
  EXPECT_EQ("Create space for 4096 base Entrys...\n", stderrOf([&] {
              pTable = new gcVMMPageTable(&vmm, 0x00FFF000, 0x12000000);
            }));
  const std::vector<Ledger::Entry> built = {{"static+", 4096 * kEntry},
                                            {"static+", kTable}};
  EXPECT_EQ(built, ledger.entries);

  auto* pChild = new gcVMMPage(&vmm, 0xFFF, 0x12345000);
  pTable->addPageBase(pChild);
  EXPECT_EQ(pChild, pTable->getPageObject(0x12345678));
  EXPECT_EQ(nullptr, pTable->getPageObject(0x12346000));
  auto* pIntruder = new gcVMMPage(nullptr, 0xFFF, 0x12345000);
  pTable->addPageBase(pIntruder);  // an occupied entry keeps its node
  EXPECT_EQ(pChild, pTable->getPageObject(0x12345000));
  delete pIntruder;

  ledger.entries.clear();
  delete pTable;
  const std::vector<Ledger::Entry> released = {
      {"page-", kPage}, {"static-", 4096 * kEntry}, {"static-", kTable}};
  EXPECT_EQ(released, ledger.entries);
  EXPECT_EQ(0u, ledger.staticMem + ledger.pageMem);
}

TEST(PageTable, RebuildingTheArrayDropsTheChildren) {
  Ledger ledger;
  RecordingVMM vmm(&ledger);
  std::string out = stderrOf([&] {
    gcVMMPageTable table(&vmm, 0xFF000000, 0);
    table.addPageBase(new gcVMMPage(&vmm, 0xFFF, 0x05000000));
    table.createPageBaseList();
    EXPECT_EQ(nullptr, table.getPageObject(0x05000000));
  });
  EXPECT_EQ(
      "Create space for 256 base Entrys...\nCreate space for 256 base "
      "Entrys...\n",
      out);
  EXPECT_EQ(0u, ledger.staticMem + ledger.pageMem);
}

TEST(PageTable, NullOwnerReportsNothing) {
  stderrOf([] {
    gcVMMPageTable table(nullptr, 0x00FF0000, 0);
    EXPECT_EQ(256u, table.getMaxSize());
    EXPECT_TRUE(table.forAllMappedPagesRecursive(nullptr));
  });
}

// A table without entries refuses every child. The child it refused must
// neither leak nor stay in the walk: the mapping fails instead.
TEST(PageTable, TableOfSizeZeroFailsTheMappingWithoutLeaking) {
  Ledger ledger;
  {
    RecordingVMM vmm(&ledger);
    std::string out = stderrOf([&] {
      vmm.addAddressTranslator(new gcVMMPageTable(&vmm, 0, 0));
      vmm.addAddressTranslator(new gcVMMPage(&vmm, 0xFFF, 0));
    });
    EXPECT_NE(std::string::npos, out.find("Create space for 0 base Entrys..."));
    EXPECT_NE(std::string::npos,
              out.find("gcVMMPageTable::addPageBase(gcVMMPageBase* pNew): "
                       "BUGGY PAGE FAULT!"));
    out = stderrOf([&] { vmm.setByte(0x1234, 1); });
    EXPECT_NE(std::string::npos,
              out.find("gcVMMPageTable::translateVirtualAddress(vmm_int "
                       "iAddr): BUGGY PAGE FAULT!\n"));
    EXPECT_NE(std::string::npos,
              out.find("UNABLE TO MAP PAGE AT ADDRESS 1234\n"));
    EXPECT_EQ(0, vmm.getByte(0x1234));
  }
  EXPECT_EQ(0u, ledger.staticMem + ledger.pageMem);
}

}  // namespace
