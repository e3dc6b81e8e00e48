#include "../support/recording_vmm.h"

namespace {

// Children at 0x00000000, 0x12000000 and 0x05000000, added in that order.
class PageDir : public testing::Test {
 protected:
  PageDir() : vmm(&ledger) {
    pDir = new gcVMMPageDir(&vmm, 0xFF000000, 0);
    for (vmm_int a : {0x00000000u, 0x12000000u, 0x05000000u}) {
      children.push_back(new gcVMMPage(&vmm, 0x00FFFFFF, a));
      pDir->addPageBase(children.back());
    }
  }
  ~PageDir() override { delete pDir; }

  Ledger ledger;
  RecordingVMM vmm;
  gcVMMPageDir* pDir;
  std::vector<gcVMMPageBase*> children;
};

TEST_F(PageDir, ReportsObjectThenListThenOneElementPerChild) {
  const std::vector<Ledger::Entry> expected = {
      {"dynamic+", kDir},  {"page+", kPage},
      {"dynamic+", kList}, {"dynamic+", kListElement},
      {"page+", kPage},    {"dynamic+", kListElement},
      {"page+", kPage},    {"dynamic+", kListElement}};
  EXPECT_EQ(expected, ledger.entries);
  pDir->addPageBase(nullptr);
  EXPECT_EQ(expected.size(), ledger.entries.size());
}

TEST_F(PageDir, LookupByItsOwnMaskWithTheHintFirst) {
  EXPECT_EQ(children[1], pDir->getPageObject(0x12345678));
  EXPECT_EQ(children[1], pDir->getPageObject(0x12FFFFFF));
  EXPECT_EQ(children[0], pDir->getPageObject(0x00FFFFFF));
  EXPECT_EQ(children[2], pDir->getPageObject(0x05000001));
  EXPECT_EQ(nullptr, pDir->getPageObject(0x07000000));

  // A duplicate key: the hint wins if it matches, else the first in order.
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
}

TEST_F(PageDir, ReleasesElementThenChildInListOrderThenListThenItself) {
  ledger.entries.clear();
  delete pDir;
  pDir = nullptr;
  const std::vector<Ledger::Entry> expected = {
      {"dynamic-", kListElement}, {"page-", kPage},
      {"dynamic-", kListElement}, {"page-", kPage},
      {"dynamic-", kListElement}, {"page-", kPage},
      {"dynamic-", kList},        {"dynamic-", kDir}};
  EXPECT_EQ(expected, ledger.entries);
  EXPECT_EQ(0u, ledger.dynamicMem + ledger.pageMem);
}

TEST(PageDirAlone, EmptyDirectoryHasNoChildrenAndNoList) {
  gcVMMPageDir dir(nullptr, 0xFF000000, 0);
  EXPECT_EQ(nullptr, dir.getPageObject(0));
  EXPECT_TRUE(dir.forAllMappedPagesRecursive(nullptr));
  gcVMMPageBase* pOther = dir.createObject(0x05000000);
  EXPECT_EQ(0xFF000000u, pOther->getAddrMask());
  EXPECT_EQ(nullptr, pOther->getPageObject(0x05000000));
  delete pOther;
}

}  // namespace
