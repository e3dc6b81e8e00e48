#include "../support/recording_vmm.h"

namespace {

TEST(PageBase, MaskArithmetic) {
  struct {
    vmm_int mask, shift, size, inverse;
  } const cases[] = {
      {0xFF000000, 24, 0x100, 0x00000000}, {0x00FFF000, 12, 0x1000, 0xFF000000},
      {0x00000FFF, 0, 0x1000, 0xFFFFF000}, {0x0000FFFF, 0, 0x10000, 0xFFFF0000},
      {0x00000000, 0, 0, 0xFFFFFFFF},      {0xFFFFFFFF, 0, 0, 0x00000000},
      {0x0F0F0000, 16, 0xF10, 0xF0F00000}, {0x80000000, 31, 2, 0x00000000},
  };
  for (const auto& c : cases) {
    gcVMMPageBase node(nullptr, c.mask, 0x12345678);
    EXPECT_EQ(c.shift, node.getAddrShift()) << c.mask;
    EXPECT_EQ(c.size, node.getMaxSize()) << c.mask;
    EXPECT_EQ(c.inverse, node.getInverseAddrMask()) << c.mask;
    EXPECT_EQ(0x12345678u, node.getVAddr());  // never aligned
  }
  gcVMMPageBase page(nullptr, 0xFFF, 0x12345000);
  EXPECT_TRUE(page.isVAddrMatch(0x12345000));
  EXPECT_FALSE(page.isVAddrMatch(0x12345678));
}

// Plain nodes keep nothing and make nothing without a next translator; in a
// chain the mapping then fails cleanly, without a node owned by nobody.
TEST(PageBase, PlainNodesFailTheMappingCleanly) {
  Transcript log;
  gcVMMPageBase node(nullptr, 0xFFF, 0);
  node.addPageBase(&node);
  EXPECT_EQ(nullptr, node.getPageObject(0));
  EXPECT_EQ(nullptr, node.isPage());
  EXPECT_EQ(nullptr, node.mapPageRecursive(0x1000));
  EXPECT_EQ(nullptr, node.createObject(0x1000));
  EXPECT_FALSE(node.forAllMappedPagesRecursive(nullptr));
  gcVMMPage prototype(nullptr, 0xFFF, 0);
  node.setNextTranslator(&prototype);
  std::unique_ptr<gcVMMPageBase> made(node.createObject(0x1000));
  EXPECT_EQ(0xFFFu, made->getAddrMask());
  EXPECT_EQ(nullptr, node.createNewPageBase(0x1000));  // not kept: released

  gcVMMBase noNext, plainParent, pageAlone, lied;
  noNext.addAddressTranslator(new gcVMMPageTable(&noNext, 0xFFFFF000, 0));
  noNext.addAddressTranslator(new gcVMMPageBase(&noNext, 0xFFF, 0));
  plainParent.addAddressTranslator(new gcVMMPageBase(&plainParent, ~0xFFFu, 0));
  plainParent.addAddressTranslator(new gcVMMPage(&plainParent, 0xFFF, 0));
  pageAlone.addAddressTranslator(new gcVMMPage(&pageAlone, 0xFFF, 0));
  struct Liar : gcVMMPageBase {  // a walk that ends on a node, not a page
    using gcVMMPageBase::gcVMMPageBase;
    gcVMMPageBase* mapPageRecursive(vmm_int) override { return this; }
  };
  lied.addAddressTranslator(new Liar(&lied, 0, 0));
  log.take();
  for (gcVMMBase* pVMM : {&noNext, &plainParent, &pageAlone, &lied})
    EXPECT_EQ(nullptr, pVMM->mapPage(0x5000));
  EXPECT_EQ(nullptr, pageAlone.getPage(0));
  const std::string kUnable =
      "gcVMMBase::translateVirtualAddress(vmm_int iAddr): UNABLE TO MAP PAGE "
      "AT ADDRESS 5000\n";
  EXPECT_EQ(kUnable + kUnable + kUnable +
                "gcVMMBase::translateVirtualAddress(vmm_int iAddr): BUGGY! "
                "5000\n",
            log.take());
}

}  // namespace
