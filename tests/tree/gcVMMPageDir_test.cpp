#include "../support/recording_vmm.h"

namespace {

// Children at 0x00000000, 0x12000000 and 0x05000000, added in that order:
// the reports, the lookup (the child added last first), the release.
TEST(PageDir, ReportsAndLookups) {
  Transcript log;
  RecordingVMM vmm(&log);
  auto* pDir = new gcVMMPageDir(&vmm, 0xFF000000, 0);
  EXPECT_EQ(nullptr, pDir->getPageObject(0));
  std::vector<gcVMMPageBase*> children;
  for (vmm_int a : {0x00000000u, 0x12000000u, 0x05000000u}) {
    children.push_back(new gcVMMPage(&vmm, 0x00FFFFFF, a));
    pDir->addPageBase(children.back());
  }
  pDir->addPageBase(nullptr);
  EXPECT_EQ(L("D+", kDir, "P+", kPage, "D+", kList, "D+", kListElement, "P+",
              kPage, "D+", kListElement, "P+", kPage, "D+", kListElement),
            log.take());
  EXPECT_EQ(children[1], pDir->getPageObject(0x12FFFFFF));
  EXPECT_EQ(children[0], pDir->getPageObject(0x00FFFFFF));
  EXPECT_EQ(nullptr, pDir->getPageObject(0x07000000));
  // A key twice: the last added if it matches, else the first in list order.
  auto* pTwin = new gcVMMPage(&vmm, 0x00FFFFFF, 0x12000000);
  pDir->addPageBase(pTwin);
  EXPECT_EQ(pTwin, pDir->getPageObject(0x12000000));
  pDir->addPageBase(new gcVMMPage(&vmm, 0x00FFFFFF, 0x40000000));
  EXPECT_EQ(children[1], pDir->getPageObject(0x12000000));
  log.take();
  delete pDir;
  std::string released;
  for (int i = 0; i < 5; ++i) released += L("D-", kListElement, "P-", kPage);
  EXPECT_EQ(released + L("D-", kList, "D-", kDir), log.take());
  EXPECT_EQ(0u, log.used);
}

// A key twice: a VMM's lookups find what the directory's own lookup finds,
// the child added last.
TEST(PageDir, AVMMFindsTheChildTheDirectoryFinds) {
  Transcript log;
  gcVMM vmm;
  vmm.setMemoryModell(new gcVMM32BitCompact);
  vmm.setByte(0x05000000, 1);
  vmm.getFirstAddressTranslator()->addPageBase(
      new gcVMMPageTable(&vmm, 0x00FFF000, 0x05000000));
  EXPECT_FALSE(vmm.isByteMapped(0x05000000));  // the twin has no page
}

// Without an owner a tree reports nothing and works all the same.
TEST(PageDir, WorksWithoutAnOwner) {
  gcVMMPageDir dir(nullptr, 0xFF000000, 0);
  EXPECT_TRUE(dir.forAllMappedPagesRecursive(nullptr));
  auto* pTable = new gcVMMPageTable(nullptr, 0x00FFF000, 0x05000000);
  dir.addPageBase(pTable);
  dir.addPageBase(new gcVMMPage(nullptr, 0x00FFFFFF, 0x07000000));
  pTable->addPageBase(new gcVMMPage(nullptr, 0xFFF, 0x05001000));
  EXPECT_EQ(pTable, dir.getPageObject(0x05001234));  // found past the hint
  EXPECT_NE(nullptr, dir.getPageRecursive(0x05001234));
  std::unique_ptr<gcVMMPageBase> pEmpty(dir.createObject(0x05000000));
  EXPECT_EQ(0xFF000000u, pEmpty->getAddrMask());
}

}  // namespace
