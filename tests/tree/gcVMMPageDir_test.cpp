#include "../support/recording_vmm.h"

namespace {

// Children at 0x00000000, 0x12000000 and 0x05000000, added in that order.
class PageDir : public testing::Test {
 protected:
  PageDir() : vmm(&ledger), pDir(new gcVMMPageDir(&vmm, 0xFF000000, 0)) {
    EXPECT_EQ(nullptr, pDir->getPageObject(0));
    for (vmm_int a : {0x00000000u, 0x12000000u, 0x05000000u}) {
      children.push_back(new gcVMMPage(&vmm, 0x00FFFFFF, a));
      pDir->addPageBase(children.back());
    }
    pDir->addPageBase(nullptr);
  }
  ~PageDir() override { delete pDir; }

  Ledger ledger;
  RecordingVMM vmm;
  gcVMMPageDir* pDir;
  std::vector<gcVMMPageBase*> children;
};

TEST_F(PageDir, ReportsObjectListAndOneElementPerChild) {
  EXPECT_EQ(L("D+", kDir, "P+", kPage, "D+", kList, "D+", kListElement, "P+",
              kPage, "D+", kListElement, "P+", kPage, "D+", kListElement),
            ledger.log);
  ledger.log.clear();
  delete pDir;
  pDir = nullptr;
  EXPECT_EQ(L("D-", kListElement, "P-", kPage, "D-", kListElement, "P-", kPage,
              "D-", kListElement, "P-", kPage, "D-", kList, "D-", kDir),
            ledger.log);
  EXPECT_EQ(0u, ledger.used);
}

TEST_F(PageDir, LooksUpByItsOwnMaskWithTheHintFirst) {
  EXPECT_EQ(children[1], pDir->getPageObject(0x12345678));
  EXPECT_EQ(children[1], pDir->getPageObject(0x12FFFFFF));
  EXPECT_EQ(children[0], pDir->getPageObject(0x00FFFFFF));
  EXPECT_EQ(children[2], pDir->getPageObject(0x05000001));
  EXPECT_EQ(nullptr, pDir->getPageObject(0x07000000));
  // A key twice: the hint if it matches, else the first in list order.
  auto* pTwin = new gcVMMPage(&vmm, 0x00FFFFFF, 0x12000000);
  pDir->addPageBase(pTwin);
  EXPECT_EQ(pTwin, pDir->getPageObject(0x12000000));
  pDir->addPageBase(new gcVMMPage(&vmm, 0x00FFFFFF, 0x40000000));
  EXPECT_EQ(children[1], pDir->getPageObject(0x12000000));
}

TEST_F(PageDir, WalksChildrenInTheOrderTheyWereAdded) {
  struct Order : gcVMMPageHandler {
    std::vector<vmm_int> seen;
    bool handlePage(gcVMMPage* p) override {
      seen.push_back(p->getVAddr());
      return seen.size() < 2;
    }
  } order;
  EXPECT_FALSE(pDir->forAllMappedPagesRecursive(&order));
  EXPECT_EQ((std::vector<vmm_int>{0x00000000, 0x12000000}), order.seen);
  gcVMMPageBase* pEmpty = pDir->createObject(0x05000000);
  EXPECT_TRUE(pEmpty->forAllMappedPagesRecursive(&order));
  EXPECT_EQ(0xFF000000u, pEmpty->getAddrMask());
  delete pEmpty;
}

// Without an owner a tree reports nothing and works all the same.
TEST(PageDirAlone, WorksWithoutAnOwner) {
  gcVMMPageDir dir(nullptr, 0xFF000000, 0);
  EXPECT_EQ(nullptr, dir.getPageObject(0));
  EXPECT_TRUE(dir.forAllMappedPagesRecursive(nullptr));
  auto* pTable = new gcVMMPageTable(nullptr, 0x00FFF000, 0x05000000);
  dir.addPageBase(pTable);
  dir.addPageBase(new gcVMMPage(nullptr, 0x00FFFFFF, 0x07000000));
  pTable->addPageBase(new gcVMMPage(nullptr, 0xFFF, 0x05001000));
  EXPECT_EQ(pTable, dir.getPageObject(0x05001234));  // found past the hint
  EXPECT_NE(nullptr, dir.getPageRecursive(0x05001234));
}

}  // namespace
