#include <vector>

#include "../support/recording_vmm.h"

namespace {

struct Walk : gcVMMPageHandler {
  explicit Walk(std::size_t n = 0) : stopAfter(n) {}
  bool handlePage(gcVMMPage* p) override {
    pages.push_back(p->getVAddr());
    return pages.size() != stopAfter;
  }
  std::size_t stopAfter;
  std::vector<vmm_int> pages;
};

// Thirteen pages, added high to low: the table grows at the thirteenth and
// every page stays where it was; the walk is in address order.
TEST(PageHash, GrowsWithoutMovingChildrenAndWalksInAddressOrder) {
  Transcript log;
  RecordingVMM vmm(&log);
  auto* pHash = new gcVMMPageHash(&vmm, 0xFFFFF000, 0);
  EXPECT_EQ(nullptr, pHash->getPageObject(0));
  std::vector<gcVMMPageBase*> pages;
  std::string reports = L("D+", kHash);
  for (vmm_int i = 13; i-- > 0;) {
    pages.push_back(new gcVMMPage(&vmm, 0xFFF, i * 0x01001000));
    pHash->addPageBase(pages.back());
    reports += L("P+", kPage);
    if (i == 12) reports += L("D+", 16 * kSlot);
    if (i == 0) reports += L("D+", 32 * kSlot, "D-", 16 * kSlot);
  }
  gcVMMPage twin(nullptr, 0xFFF, 0x05005000);
  pHash->addPageBase(&twin);  // a key that has its child keeps it
  pHash->addPageBase(nullptr);
  EXPECT_EQ(reports, log.take());
  for (gcVMMPageBase* p : pages)
    EXPECT_EQ(p, pHash->getPageObject(p->getVAddr() + 0xFFF));
  EXPECT_EQ(nullptr, pHash->getPageObject(0x01000000));
  Walk all, first(3);
  EXPECT_TRUE(pHash->forAllMappedPagesRecursive(&all));
  EXPECT_FALSE(pHash->forAllMappedPagesRecursive(&first));
  for (vmm_int i = 0; i < 13; ++i) EXPECT_EQ(i * 0x01001000, all.pages[i]);
  EXPECT_EQ(std::vector<vmm_int>(all.pages.begin(), all.pages.begin() + 3),
            first.pages);
  delete pHash;
  std::string released;
  for (int i = 0; i < 13; ++i) released += L("P-", kPage);
  EXPECT_EQ(released + L("D-", 32 * kSlot, "D-", kHash), log.take());
  EXPECT_EQ(0u, log.used);
}

// Without an owner it reports nothing; as a prototype it makes empty twins.
TEST(PageHash, WorksWithoutAnOwner) {
  gcVMMPageHash hash(nullptr, 0xFF000000, 0);
  EXPECT_TRUE(hash.forAllMappedPagesRecursive(nullptr));
  auto* pTable = new gcVMMPageTable(nullptr, 0x00FFF000, 0x05000000);
  hash.addPageBase(pTable);
  pTable->addPageBase(new gcVMMPage(nullptr, 0xFFF, 0x05001000));
  EXPECT_EQ(pTable, hash.getPageObject(0x05001234));
  EXPECT_NE(nullptr, hash.getPageRecursive(0x05001234));
  std::unique_ptr<gcVMMPageBase> pEmpty(hash.createObject(0x07000000));
  EXPECT_EQ(0xFF000000u, pEmpty->getAddrMask());
  EXPECT_EQ(nullptr, pEmpty->getPageObject(0x07000000));
}

// What a plain VMM keeps in its hashed root's slots, and the page's own.
struct SlotPeek : gcVMMPageHash {
  static char* memory(gcVMMPageHash* pHash, vmm_int a) {
    unsigned j;
    Bucket* pBucket = (pHash->*(&SlotPeek::findSlot))(a, &j);
    return pBucket == nullptr ? nullptr : pBucket->apMemory[j];
  }
};
struct PagePeek : gcVMMPage {
  static char* memory(gcVMMPage* pPage) {
    return pPage->*(&PagePeek::pPageBuffer);
  }
};

// A plain VMM reads a byte through the memory its hashed root's slot keeps
// only for its own pages of the hash's page size, which tell it when their
// memory goes: a page of another VMM (whose memory goes unheard of here) or
// a half-sized one of ours reads and writes as the virtual path has it.
TEST(PageHash, AsARootItKeepsMemoryOnlyForOurPagesOfItsSize) {
  struct Virtual : gcVMM {};  // a host's class: every call virtual
  auto run = [](gcVMM& vmm, gcVMMBase& other) {
    vmm.setMemoryModell(new gcVMM32BitHashed);
    gcVMMPageBase* pRoot = vmm.getFirstAddressTranslator();
    auto* pForeign = new gcVMMPage(&other, 0xFFF, 0x5000);
    pForeign->setByte(0x5001, 'a');
    pRoot->addPageBase(pForeign);
    pRoot->addPageBase(new gcVMMPage(&vmm, 0x7FF, 0x6000));
    std::string seen;
    auto look = [&](vmm_int a) {
      seen += std::to_string(vmm.getByte(a));
      seen += vmm.isByteMapped(a) ? "+ " : "- ";
    };
    look(0x5001);
    vmm.setByte(0x6010, 'b');
    vmm.setByte(0x6810, 'c');
    look(0x6010);
    look(0x6810);
    look(0x6FFF);
    vmm.setByte(0x9000, 'd');   // another page is the recent one
    pForeign->unmapPhysical();  // heard by its own VMM only
    look(0x5001);
    look(0x6810);
    return seen;
  };
  gcVMMBase other, otherOfTwin;
  Transcript log;  // what either says stays off the output
  gcVMM plain;
  Virtual twin;
  EXPECT_EQ(run(twin, otherOfTwin), run(plain, other));
}

// A host fills a hash of its own, then makes it the root: each slot learns
// its page's memory then, the first of each bucket as much as the others.
TEST(PageHash, AdoptedAsARootWhenFullItsSlotsLearnTheMemory) {
  gcVMM vmm;
  auto* pHash = new gcVMMPageHash(&vmm, 0xFFFFF000, 0);
  std::vector<gcVMMPage*> pages;
  for (vmm_int i = 1; i <= 40; ++i) {
    pages.push_back(new gcVMMPage(&vmm, 0xFFF, i * 0x00101000));
    pages.back()->setByte(i * 0x00101000, static_cast<char>(i));
    pHash->addPageBase(pages.back());
  }
  vmm.addAddressTranslator(pHash);
  vmm.addAddressTranslator(new gcVMMPage(&vmm, 0xFFF, 0));
  for (gcVMMPage* p : pages) {
    EXPECT_EQ(PagePeek::memory(p), SlotPeek::memory(pHash, p->getVAddr()));
    EXPECT_EQ(static_cast<char>(p->getVAddr() / 0x00101000),
              vmm.getByte(p->getVAddr()));
  }
  // Pages whose keys overflowed their home bucket among them: no slot
  // keeps memory that went.
  for (gcVMMPage* p : pages) p->unmapPhysical();
  for (gcVMMPage* p : pages) EXPECT_EQ(0, vmm.getByte(p->getVAddr()));
}

}  // namespace
