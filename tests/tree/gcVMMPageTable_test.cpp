#include "../support/recording_vmm.h"

namespace {

TEST(PageTable, EntriesReportsAndReleaseOrder) {
  Transcript log;
  RecordingVMM vmm(&log);
  auto* pTable = new gcVMMPageTable(&vmm, 0x00FFF000, 0x12000000);
  EXPECT_EQ(created(4096) + L("S+", 4096 * kEntry, "S+", kTable), log.take());
  auto* pChild = new gcVMMPage(&vmm, 0xFFF, 0x12345000);
  gcVMMPage intruder(nullptr, 0xFFF, 0x12345000);
  pTable->addPageBase(pChild);
  pTable->addPageBase(&intruder);  // an occupied entry keeps its node
  pTable->addPageBase(nullptr);
  EXPECT_EQ(pChild, pTable->getPageObject(0x12345678));  // entry 0x345
  EXPECT_EQ(nullptr, pTable->getPageObject(0x12346000));
  log.take();
  delete pTable;
  EXPECT_EQ(L("P-", kPage, "S-", 4096 * kEntry, "S-", kTable), log.take());
  EXPECT_EQ(0u, log.used);
}

TEST(PageTable, WithoutItsArrayOrRebuiltItHoldsNothing) {
  Transcript log;
  RecordingVMM vmm(&log);
  {
    gcVMMPageTable table(&vmm, 0xFF000000, 0);
    table.addPageBase(new gcVMMPage(&vmm, 0xFFF, 0x05000000));
    table.createPageBaseList();
    EXPECT_EQ(nullptr, table.getPageObject(0x05000000));
    table.destroyPageBaseList();
    gcVMMPage page(nullptr, 0xFFF, 0);
    table.addPageBase(&page);
    EXPECT_EQ(nullptr, table.getPageObject(0));
    EXPECT_TRUE(table.forAllMappedPagesRecursive(nullptr));
  }
  EXPECT_EQ(0u, log.used);
}

// A table without entries refuses every node: the translator behind it is
// released and the mapping fails, each with exactly its own lines.
TEST(PageTable, TableOfSizeZeroFailsTheMappingWithoutLeaking) {
  Transcript log;
  {
    RecordingVMM vmm(&log);
    vmm.addAddressTranslator(new gcVMMPageTable(&vmm, 0, 0));
    vmm.addAddressTranslator(new gcVMMPage(&vmm, 0xFFF, 0));
    const std::string kRefused =
        "gcVMMPageTable::addPageBase(gcVMMPageBase* pNew): BUGGY PAGE FAULT!\n";
    EXPECT_EQ(created(0) + L("S+", 0, "S+", kTable, "P+", kPage) + kRefused +
                  L("P-", kPage),
              log.take());
    gcVMMPage prototype(&vmm, 0xFFF, 0);  // as a chain left unmended has it
    vmm.getFirstAddressTranslator()->setNextTranslator(&prototype);
    log.take();
    vmm.setByte(0x1234, 1);
    EXPECT_EQ(
        "gcVMMPageTable::translateVirtualAddress(vmm_int iAddr): BUGGY PAGE "
        "FAULT!\n" +
            L("P+", kPage) + kRefused + L("P-", kPage) +
            "gcVMMBase::translateVirtualAddress(vmm_int iAddr): UNABLE TO MAP "
            "PAGE AT ADDRESS 1234\n",
        log.take());
    EXPECT_EQ(kTable + kPage, vmm.getUsedPhysicalMemory());
    vmm.getFirstAddressTranslator()->setNextTranslator(nullptr);
  }
  EXPECT_EQ(0u, log.used);
}

// A host's root table without entries: of size 0, or whose list is gone
// (as a rebuild that failed leaves it). A plain VMM, which reads tables of
// ours in place, finds no page there and says what the virtual path says.
TEST(PageTable, WithoutEntriesAPlainVMMFindsWhatTheVirtualPathFinds) {
  struct Virtual : gcVMM {};  // a host's class: every call virtual
  auto run = [](gcVMM& vmm, bool bSizeZero) {
    Transcript log;
    auto* pRoot = new gcVMMPageTable(&vmm, bSizeZero ? 0 : 0xFF000000, 0);
    if (!bSizeZero) pRoot->destroyPageBaseList();
    vmm.addAddressTranslator(pRoot);  // refuses the translators after it
    vmm.addAddressTranslator(new gcVMMPageTable(&vmm, 0x00FFF000, 0));
    vmm.addAddressTranslator(new gcVMMPage(&vmm, 0xFFF, 0));
    std::string seen;
    for (vmm_int a : {0x12345678u, 0u, 0xFFFFFFFFu}) {
      seen +=
          std::to_string(vmm.getByte(a)) + (vmm.isByteMapped(a) ? "+" : "-");
      vmm.setByte(a, 'y');
      seen += vmm.getPage(a) == nullptr ? "0 " : "page ";
    }
    return seen + log.take();
  };
  for (bool bSizeZero : {true, false}) {
    SCOPED_TRACE(bSizeZero ? "size 0" : "list gone");
    gcVMM plain;
    Virtual host;
    const std::string seen = run(plain, bSizeZero);
    EXPECT_EQ(run(host, bSizeZero), seen);
    EXPECT_EQ(0u, seen.find("0-0 0-0 0-0 "));
  }
}

}  // namespace
