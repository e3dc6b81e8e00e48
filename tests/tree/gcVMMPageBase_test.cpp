#include "../support/recording_vmm.h"

namespace {

TEST(PageBase, MaskArithmetic) {
  struct Case {
    vmm_int mask, shift, size, inverse;
  };
  const Case cases[] = {
      {0xFF000000, 24, 0x100, 0x00000000},
      {0x00FFF000, 12, 0x1000, 0xFF000000},
      {0x00000FFF, 0, 0x1000, 0xFFFFF000},
      {0x00FF0000, 16, 0x100, 0xFF000000},
      {0x0000FFFF, 0, 0x10000, 0xFFFF0000},
      {0x00000000, 0, 0, 0xFFFFFFFF},
      {0xFFFFFFFF, 0, 0, 0x00000000},
      {0x0F0F0000, 16, 0xF10, 0xF0F00000},
      {0x80000000, 31, 2, 0x00000000},
  };
  for (const Case& c : cases) {
    gcVMMPageBase node(nullptr, c.mask, 0x12345678);
    SCOPED_TRACE(c.mask);
    EXPECT_EQ(c.shift, node.getAddrShift());
    EXPECT_EQ(c.size, node.getMaxSize());
    EXPECT_EQ(c.inverse, node.getInverseAddrMask());
    EXPECT_EQ(0x12345678u, node.getVAddr());  // never aligned
  }
}

TEST(PageBase, PlainNodeKeepsNothing) {
  gcVMMPageBase node(nullptr, 0x00000FFF, 0x12345000);
  gcVMMPageBase child(nullptr, 0xFFF, 0);
  node.addPageBase(&child);
  EXPECT_EQ(nullptr, node.getPageObject(0x12345000));
  EXPECT_EQ(nullptr, node.isPage());
  EXPECT_TRUE(node.isVAddrMatch(0x12345000));
  EXPECT_FALSE(node.isVAddrMatch(0x12345678));
  EXPECT_EQ(nullptr, node.createNewPageBase(0x1000));  // no next translator
  EXPECT_EQ(nullptr, node.mapPageRecursive(0x1000));
  EXPECT_FALSE(node.forAllMappedPagesRecursive(nullptr));
}

// A plain node as a prototype without a next translator makes nothing, and a
// plain parent keeps nothing: either way the mapping fails cleanly.
TEST(PageBase, PlainNodesInAChainFailTheMapping) {
  const std::string kUnable =
      "gcVMMBase::translateVirtualAddress(vmm_int iAddr): UNABLE TO MAP PAGE "
      "AT ADDRESS 5000\n";
  {
    gcVMMBase vmm;
    stderrOf([&] {
      vmm.addAddressTranslator(new gcVMMPageTable(&vmm, 0xFFFFF000, 0));
      vmm.addAddressTranslator(new gcVMMPageBase(&vmm, 0xFFF, 0));
    });
    EXPECT_EQ(kUnable, stderrOf([&] { vmm.setByte(0x5000, 1); }));
  }
  {
    gcVMMBase vmm;
    vmm.addAddressTranslator(new gcVMMPageBase(&vmm, 0xFFFFF000, 0));
    vmm.addAddressTranslator(new gcVMMPage(&vmm, 0xFFF, 0));
    EXPECT_EQ(kUnable, stderrOf([&] { vmm.setByte(0x5000, 1); }));
  }
  {
    gcVMMBase vmm;  // a page alone finds no page for any address
    vmm.addAddressTranslator(new gcVMMPage(&vmm, 0xFFF, 0));
    EXPECT_EQ(nullptr, vmm.getPage(0));
    EXPECT_EQ(
        "gcVMMBase::translateVirtualAddress(vmm_int iAddr): UNABLE TO MAP "
        "PAGE AT ADDRESS 0\n",
        stderrOf([&] { EXPECT_EQ(nullptr, vmm.mapPage(0)); }));
  }
}

TEST(PageBase, WalksCreateOnlyWhenMapping) {
  gcVMMBase vmm;
  stderrOf([&] { addFastChain(&vmm); });
  gcVMMPageBase* pRoot = vmm.getFirstAddressTranslator();
  EXPECT_EQ(nullptr, pRoot->getPageRecursive(0x12345678));
  EXPECT_EQ(nullptr, pRoot->getPageObject(0x12345678));
  gcVMMPageBase* pPage = nullptr;
  stderrOf([&] { pPage = pRoot->mapPageRecursive(0x12345678); });
  ASSERT_NE(nullptr, pPage);
  EXPECT_EQ(0x12345000u, pPage->getVAddr());
  EXPECT_EQ(nullptr, pPage->getNextTranslator());
  gcVMMPageBase* pTable = pRoot->getPageObject(0x12000000);
  EXPECT_EQ(0x12000000u, pTable->getVAddr());
  EXPECT_EQ(pRoot->getNextTranslator()->getNextTranslator(),
            pTable->getNextTranslator());
  const vmm_int iUsage = vmm.getUsedPhysicalMemory();
  EXPECT_EQ(pPage, pRoot->mapPageRecursive(0x12345000));
  EXPECT_EQ(iUsage, vmm.getUsedPhysicalMemory());
}

}  // namespace
