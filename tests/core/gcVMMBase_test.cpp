// What random operation streams cannot see: messages and reports in their
// order, and which virtual operations each public one goes through.
#include <cstdio>
#include <functional>
#include <new>

#include "../core/direct_path.h"
#include "../support/recording_vmm.h"

namespace {

const std::string kNoRules =
    "gcVMMBase::translateVirtualAddress(vmm_int iAddr): NO TRANSLATION "
    "RULES!\n";

TEST(VMMBase, WithoutTranslatorsEveryAccessIsRefused) {
  Transcript log;
  gcVMMBase vmm;
  EXPECT_EQ(0xFFFFFFFFu, vmm.getAddressSpaceEnd());
  EXPECT_EQ(0u, vmm.getPageSize());
  vmm.addAddressTranslator(nullptr);  // ignored
  EXPECT_EQ(nullptr, vmm.getFirstAddressTranslator());
  char buffer[2] = {1, 1};
  vmm.setByte(0x1234, 'A');
  EXPECT_EQ(0, vmm.getByte(0x1234));
  EXPECT_FALSE(vmm.isByteMapped(0x1234));
  EXPECT_EQ(nullptr, vmm.mapPage(0x1234));
  vmm.setBlock(0x10, buffer, 1);  // an empty walk: no message
  vmm.getBlock(0x10, buffer, 2);
  EXPECT_EQ(0, buffer[0] | buffer[1]);
  gcVMMPageHandler handler;
  EXPECT_TRUE(vmm.forAllMappedPages(nullptr, true));
  EXPECT_FALSE(vmm.forAllMappedPages(&handler, true));
  EXPECT_EQ(kNoRules + kNoRules + kNoRules + kNoRules + kNoRules +
                "forAllMappedPages(vmm_page_handler handlePage): NO ADDRESS "
                "TRANSLATION RULES!\n",
            log.take());
  EXPECT_EQ(0u, vmm.getUsedPhysicalMemory());
}

// A host's base for its own numbers holds until a table's creation line or
// a line that ends in an address: those leave the stream in decimal.
TEST(VMMBase, TableLinesAndAddressesLeaveTheStreamInDecimal) {
  Transcript log;
  gcVMMBase vmm, empty;
  std::cerr << std::hex;
  vmm.addAddressTranslator(new gcVMMPageTable(&vmm, 0xFF000000, 0));
  std::cerr << 4096 << ' ' << std::hex;
  vmm.addAddressTranslator(new gcVMMPageBase(&vmm, 0xFFF, 0));  // no page
  empty.getByte(0);  // a line without an address keeps the host's base
  std::cerr << 4096 << ' ';
  EXPECT_EQ(nullptr, vmm.mapPage(0x5000));
  std::cerr << 4096;
  EXPECT_EQ("Create space for 256 base Entrys...\n4096 " + kNoRules +
                "1000 gcVMMBase::translateVirtualAddress(vmm_int iAddr): "
                "UNABLE TO MAP PAGE AT ADDRESS 5000\n4096",
            log.take());
  std::cerr << std::dec;
}

// A host's narrower address space ends at its last address: the half is
// 1 << (bits - 1), which 32 bits alone would not tell from 2 << (bits - 1).
TEST(VMMBase, AddressSpaceEndFollowsAHostsBits) {
  struct Narrow : gcVMMBase {
    explicit Narrow(unsigned int n) : iBits(n) {}
    unsigned int getAddressSpaceBits() override { return iBits; }
    unsigned int iBits;
  };
  const std::pair<unsigned int, vmm_int> kEnds[] = {
      {1, 1}, {8, 0xFF}, {16, 0xFFFF}, {24, 0xFFFFFF}, {32, 0xFFFFFFFF}};
  for (auto [iBits, iEnd] : kEnds)
    EXPECT_EQ(iEnd, Narrow(iBits).getAddressSpaceEnd()) << iBits << " bits";
}

TEST(VMMBase, CountersWrapAndOnlyPhysicalOnesCallTheHook) {
  Transcript log;
  RecordingVMM vmm(&log);
  vmm.notifyStaticTablePAlloc(100);
  vmm.notifyDynamicTablePAlloc(20);
  vmm.notifyPagePAlloc(3);
  vmm.notifyPageDAlloc(1000);
  vmm.notifyPageDFree(1);
  EXPECT_EQ(123u, vmm.getUsedPhysicalMemory());
  EXPECT_EQ(3, log.changes);
  vmm.notifyPagePFree(8);
  vmm.notifyDynamicTablePFree(20);
  vmm.notifyStaticTablePFree(100);
  EXPECT_EQ(0xFFFFFFFBu, vmm.getUsedPhysicalMemory());
}

// A derived VMM and page log the virtual operations they are asked for.
#define TRACE(Base, R, op, params, args) \
  R op params override {                 \
    calls += #op " ";                    \
    return Base::op args;                \
  }
struct TracingPage : gcVMMPage {
  TracingPage(gcVMMBase* pVMM, vmm_int iMask, vmm_int iAddr, std::string& c)
      : gcVMMPage(pVMM, iMask, iAddr), calls(c) {}
  gcVMMPageBase* createObject(vmm_int a) override {
    return new TracingPage(getVMMBase(), getAddrMask(), a, calls);
  }
  TRACE(gcVMMPage, void, setByte, (vmm_int a, char v), (a, v))
  TRACE(gcVMMPage, char, getByte, (vmm_int a), (a))
  TRACE(gcVMMPage, bool, isByteMapped, (vmm_int a), (a))
  TRACE(gcVMMPage, void, putBlockPart, (vmm_int a, void* p, vmm_int n),
        (a, p, n))
  TRACE(gcVMMPage, void, getBlockPart, (vmm_int a, void* p, vmm_int n),
        (a, p, n))
  TRACE(gcVMMPage, bool, mapPhysical, (), ())
  TRACE(gcVMMPage, bool, isPhysical, (), ())
  TRACE(gcVMMPage, bool, isSwapped, (), ())
  TRACE(gcVMMPage, void, notifyByteMapped, (vmm_int a), (a))
  bool isInPage(vmm_int a, vmm_int b) override {  // where block walks ask
    calls += "isInPage(" + hex(a) + "," + hex(b) + ") ";
    return gcVMMPage::isInPage(a, b);
  }
  static std::string hex(vmm_int a) {
    char s[12];
    std::snprintf(s, sizeof s, "%x", a);
    return s;
  }
  std::string& calls;
};
struct TracingVMM : gcVMMBase {
  TracingVMM() {
    addAddressTranslator(new gcVMMPageTable(this, 0xFF000000, 0));
    addAddressTranslator(new gcVMMPageTable(this, 0x00FFF000, 0));
    addAddressTranslator(new TracingPage(this, 0xFFF, 0, calls));
  }
  TRACE(gcVMMBase, gcVMMPage*, getPage, (vmm_int a), (a))
  TRACE(gcVMMBase, gcVMMPage*, mapPage, (vmm_int a), (a))
  TRACE(gcVMMBase, vmm_int, getPageSize, (), ())
  TRACE(gcVMMBase, vmm_int, getAddressSpaceEnd, (), ())
  TRACE(gcVMMBase, unsigned int, getAddressSpaceBits, (), ())
  TRACE(gcVMMBase, std::list<gcVMMPage*>*, createAndMapPageList,
        (vmm_int a, vmm_int b), (a, b))
  std::string calls;
};
#undef TRACE

TEST(VMMBase, OperationsGoThroughTheirVirtualSiblings) {
  Transcript log;
  TracingVMM vmm;
  char block[0x20] = {};
  const std::string kPut = "putBlockPart isSwapped isPhysical ";
  const std::string kInPage =
      "isInPage(3ff0,400f) isInPage(ffffffff,ffffffff) ";
  const std::string kList =
      "createAndMapPageList getPageSize getAddressSpaceEnd "
      "getAddressSpaceBits mapPage " +
      kInPage + "mapPage " + kInPage;
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { vmm.setByte(0x3230, 1); },
       "mapPage setByte isSwapped isPhysical mapPhysical isPhysical "
       "notifyByteMapped isSwapped isPhysical "},
      {[&] { vmm.getByte(0x3230); }, "getPage getByte isSwapped isPhysical "},
      {[&] { vmm.isByteMapped(0x3231); },
       "getPage isByteMapped isSwapped isPhysical "},
      {[&] { vmm.getByte(0x9000); }, "getPage "},
      {[&] { vmm.setBlock(0x3FF0, block, sizeof block); },
       kList + kPut + kPut + "mapPhysical isPhysical "},
      {[&] { vmm.getBlock(0x3FF0, block, sizeof block); },
       kList + "getBlockPart isSwapped isPhysical getBlockPart isSwapped "
               "isPhysical "},
  };
  for (const auto& [run, expected] : cases) {
    vmm.calls.clear();
    run();
    EXPECT_EQ(expected, vmm.calls);
  }
}

// A VMM of ours hands a page of a derived class to the page's own
// operations, which then call theirs as they always do.
TEST(VMMBase, PagesOfADerivedClassKeepTheirOperations) {
  Transcript log;
  std::string calls;
  gcVMMBase vmm;
  vmm.addAddressTranslator(new gcVMMPageTable(&vmm, 0xFF000000, 0));
  vmm.addAddressTranslator(new gcVMMPageTable(&vmm, 0x00FFF000, 0));
  vmm.addAddressTranslator(new TracingPage(&vmm, 0xFFF, 0, calls));
  char block[0x20] = {};
  const std::string kInPage =
      "isInPage(3ff0,400f) isInPage(ffffffff,ffffffff) "
      "isInPage(3ff0,400f) isInPage(ffffffff,ffffffff) ";
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { vmm.setByte(0x3230, 1); },
       "setByte isSwapped isPhysical mapPhysical isPhysical notifyByteMapped "
       "isSwapped isPhysical "},
      {[&] { vmm.getByte(0x3230); }, "getByte isSwapped isPhysical "},
      {[&] { vmm.isByteMapped(0x3231); }, "isByteMapped isSwapped isPhysical "},
      {[&] { vmm.setBlock(0x3FF0, block, sizeof block); },
       kInPage + "putBlockPart isSwapped isPhysical putBlockPart isSwapped "
                 "isPhysical mapPhysical isPhysical "},
      {[&] { vmm.getBlock(0x3FF0, block, sizeof block); },
       kInPage + "getBlockPart isSwapped isPhysical getBlockPart isSwapped "
                 "isPhysical "},
  };
  for (const auto& [run, expected] : cases) {
    calls.clear();
    run();
    EXPECT_EQ(expected, calls);
  }
}

// Pages added by hand among ours: one of a derived class, which a block
// finds and hands its part through virtual calls (the direct path's only
// hand-overs here, two per block), and a half-sized one of ours, whose
// missing half reads as 0 like every byte no page holds.
TEST(VMMBase, PagesAddedByHandAmongOurs) {
  Transcript log;
  std::string calls;
  gcVMM vmm;
  vmm.setMemoryModell(new gcVMM32BitFast);
  gcVMMPageBase* pTable = vmm.getFirstAddressTranslator()->getPageObject(0);
  pTable->addPageBase(new TracingPage(&vmm, 0xFFF, 0x4000, calls));
  pTable->addPageBase(new gcVMMPage(&vmm, 0x7FF, 0x6000));
  const std::uint64_t iHandedOn = dwxvmm_detail::handOvers();
  char block[0x20] = {};
  vmm.setBlock(0x3FF0, block, sizeof block);
  vmm.getBlock(0x3FF0, block, sizeof block);
  EXPECT_EQ(
      "isInPage(3ff0,400f) isInPage(ffffffff,ffffffff) putBlockPart "
      "isSwapped isPhysical mapPhysical isPhysical isInPage(3ff0,400f) "
      "isInPage(ffffffff,ffffffff) getBlockPart isSwapped isPhysical ",
      calls);
  std::string data(0x1020, '\0'), back(0x1020, '\x5A');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = char(i % 251 + 1);
  vmm.setBlock(0x5FF0, &data[0], 0x1020);
  vmm.getBlock(0x5FF0, &back[0], 0x1020);
  data.replace(0x810, 0x800, 0x800, '\0');  // 0x6800 to 0x6FFF: no page
  EXPECT_EQ(data, back);
  vmm.getBlock(0x6900, &back[0], 0x10);  // starts in the hole
  EXPECT_EQ(std::string(0x10, '\0'), back.substr(0, 0x10));
  EXPECT_EQ(iHandedOn + 4, dwxvmm_detail::handOvers());
}

TEST(VMMBase, EmptyAndFailingBlocks) {
  Transcript log;
  struct HoleVMM : gcVMM {  // the page at 0x3000 cannot be mapped
    gcVMMPage* mapPage(vmm_int a) override {
      return (a & ~0xFFFu) == 0x3000 ? nullptr : gcVMM::mapPage(a);
    }
  } vmm;
  vmm.setMemoryModell(new gcVMM32BitFast);
  log.take();
  char d[0x200] = {1}, back[4] = {9, 9, 9, 9};
  vmm.setBlock(0x5000, d, 0);  // an empty block maps its address's page
  vmm.getBlock(0x6000, nullptr, 0);
  EXPECT_EQ(
      "gcVMMPage::putBlockPart(...): Invalid Destination for this Block!\n"
      "gcVMMPage::getBlockPart(...): Invalid Destination for this Block!\n",
      log.take());
  EXPECT_NE(nullptr, vmm.getPage(0x6000));
  EXPECT_FALSE(vmm.isByteMapped(0x5000));
  vmm.setBlock(0x2F00, d, sizeof d);  // all or nothing
  vmm.getBlock(0x2FFE, back, 4);
  EXPECT_NE(nullptr, vmm.getPage(0x2000));  // mapped before the failure
  EXPECT_FALSE(vmm.isByteMapped(0x2F00));
  EXPECT_EQ(0, back[0] | back[3]);
}

}  // namespace
