#include <functional>
#include <vector>

#include "../core/direct_path.h"
#include "../support/recording_vmm.h"

namespace {

struct ModelCase {
  const char* name;
  std::function<gcVMemoryModell*()> make;
  vmm_int pageSize, rootMask;
  std::string chain;   // what building the chain says and reports
  std::string region;  // what a first write into a new region does
  int changes;         // usage changes while the chain is built
  bool addressOrder;   // else regions in the order of their first node
};

std::vector<ModelCase> models() {
  auto table = [](vmm_int n) {
    return created(n) + L("S+", n * kEntry, "S+", kTable);
  };
  const std::string dir = L("D+", kDir);
  const std::string dirRest = L("D+", kList, "D+", kListElement, "P+", kPage);
  const std::string page = L("P+", kPage, "P+", 4096 + 512);
  return {
      {"Fast", [] { return new gcVMM32BitFast; }, 4096, 0xFF000000,
       table(256) + table(4096) + L("P+", kPage), table(4096) + page, 5, true},
      {"Compact", [] { return new gcVMM32BitCompact; }, 4096, 0xFF000000,
       dir + table(4096) + dirRest, table(4096) + L("D+", kListElement) + page,
       6, false},
      {"Small", [] { return new gcVMM32BitSmall; }, 65536, 0xFF000000,
       dir + table(256) + dirRest,
       table(256) + L("D+", kListElement, "P+", kPage, "P+", 65536 + 8192), 6,
       false},
      {"Hashed", [] { return new gcVMM32BitHashed; }, 4096, 0xFFFFF000,
       L("D+", kHash, "P+", kPage, "D+", 16 * kSlot), page, 3, true},
  };
}

// The chain at address 0, the reports of a first write elsewhere, the walk.
TEST(Models, BuildTheirChainAtZeroGrowAndWalk) {
  for (const ModelCase& m : models()) {
    SCOPED_TRACE(m.name);
    Transcript log;
    auto* pVMM = new RecordingVMM(&log);
    gcVMM& vmm = *pVMM;
    vmm.setMemoryModell(m.make());
    EXPECT_EQ(m.chain, log.take());
    EXPECT_EQ(m.changes, log.changes);
    EXPECT_EQ(m.pageSize, vmm.getPageSize());
    gcVMMPageBase* pNode = vmm.getFirstAddressTranslator();
    EXPECT_EQ(m.rootMask, pNode->getAddrMask());
    while (pNode->isPage() == nullptr) pNode = pNode->getNextTranslator();
    EXPECT_EQ(pNode, vmm.getPage(m.pageSize - 1));  // the prototype, unwritten
    vmm.setByte(0x12345678, 'x');
    EXPECT_EQ(m.region, log.take());
    vmm.setByte(0x05000000, 'y');
    vmm.setByte(0x12000000, 'z');
    struct Walk : gcVMMPageHandler {
      bool handlePage(gcVMMPage* p) override {
        pages.push_back(p->getVAddr());
        return true;
      }
      std::vector<vmm_int> pages;
    } walk;
    EXPECT_TRUE(vmm.forAllMappedPages(&walk, false));
    const vmm_int iPage = 0x12345678 & ~(m.pageSize - 1);
    const std::vector<vmm_int> kByAddress = {0, 0x05000000, 0x12000000, iPage};
    const std::vector<vmm_int> kByRegion = {0, 0x12000000, iPage, 0x05000000};
    EXPECT_EQ(m.addressOrder ? kByAddress : kByRegion, walk.pages);
    log.take();
    EXPECT_TRUE(vmm.forAllMappedPages(new gcPageCountHandler, true));
    EXPECT_EQ("gcPageCountHandler:: 4 pages are mapped.\n", log.take());
    delete pVMM;
    EXPECT_EQ(0u, log.used);
  }
}

// Reads the direct path's state of another VMM.
struct Peek : gcVMM {
  static bool direct(gcVMMBase& vmm) {
    return vmm.*(&Peek::pDirectRoot) != nullptr &&
           vmm.*(&Peek::iDirectPageSize) == vmm.getPageSize();
  }
  static gcVMMPage* recent(gcVMMBase& vmm) { return vmm.*(&Peek::pRecentPage); }
};

// Only speed would tell that a plain VMM went the virtual way: the direct
// path's decision, the page it remembers and its count of calls handed on
// show it.
TEST(Models, APlainVMMTakesTheDirectPathThroughout) {
  for (const ModelCase& m : models()) {
    SCOPED_TRACE(m.name);
    Transcript log;
    const std::uint64_t iHandedOn = dwxvmm_detail::handOvers();
    gcVMM vmm;
    vmm.setMemoryModell(m.make());
    EXPECT_TRUE(Peek::direct(vmm));
    std::vector<char> block(2 * m.pageSize + 16);
    for (vmm_int a : {0u, 0x12345678u, 0x12FFFFF8u, 0xFFFFFFF0u}) {
      vmm.setByte(a, 'x');
      vmm.getByte(a + m.pageSize);
      vmm.isByteMapped(a & ~(m.pageSize - 1));  // where a run starts
      gcVMMPage* pRecent = Peek::recent(vmm);
      EXPECT_EQ(vmm.getPage(a), pRecent);
      vmm.setBlock(a - 8, block.data(), block.size());
      vmm.getBlock(a + 8, block.data(), block.size());
      vmm.getPage(a - m.pageSize);
    }
    EXPECT_EQ(iHandedOn, dwxvmm_detail::handOvers());
  }
}

// A host may let a page's memory go at any time: the next access finds the
// page unwritten and maps it afresh, never the memory that went (the
// sanitizer build sees a read of it).
TEST(Models, APageWhoseMemoryWentReadsUnwritten) {
  for (const ModelCase& m : models()) {
    SCOPED_TRACE(m.name);
    gcVMM vmm;
    vmm.setMemoryModell(m.make());
    const vmm_int a = 0x12345678, b = 0x9ABCDEF0;
    vmm.setByte(a, 'a');
    vmm.setByte(b, 'b');
    EXPECT_EQ('a', vmm.getByte(a));  // from the page's lookup, not recent
    EXPECT_EQ('b', vmm.getByte(b));
    EXPECT_TRUE(vmm.getPage(a)->unmapPhysical());
    vmm.getByte(b);
    EXPECT_FALSE(vmm.isByteMapped(a));
    EXPECT_EQ(0, vmm.getByte(a));
    vmm.setByte(a + 1, 'c');
    vmm.getByte(b);
    EXPECT_EQ('c', vmm.getByte(a + 1));
    EXPECT_FALSE(vmm.isByteMapped(a));
    EXPECT_EQ('b', vmm.getByte(b));
  }
}

// A host's node, of a class derived from one of ours: its lookup must be
// asked on every access that passes it, never read in its place.
template <class Node>
struct HostNode : Node {
  HostNode(gcVMMBase* pVMM, vmm_int iMask, vmm_int iAddr, int* pAsked)
      : Node(pVMM, iMask, iAddr), pAsked(pAsked) {}
  gcVMMPageBase* getPageObject(vmm_int a) override {
    ++*pAsked;
    return Node::getPageObject(a);
  }
  vmm_int getMaxSize() override {
    ++*pAsked;
    return Node::getMaxSize();
  }
  gcVMMPageBase* createObject(vmm_int a) override {
    return new HostNode(this->getVMMBase(), this->getAddrMask(), a, pAsked);
  }
  int* pAsked;
};

TEST(Models, NodesOfAHostsClassKeepTheirOperations) {
  using Chain = std::function<void(gcVMMBase*, int*)>;
  auto root = [](gcVMMBase* p, gcVMMPageBase* pRoot, gcVMMPageBase* pSecond) {
    p->addAddressTranslator(pRoot);
    if (pSecond != nullptr) p->addAddressTranslator(pSecond);
    p->addAddressTranslator(new gcVMMPage(p, 0xFFF, 0));
  };
  const std::pair<const char*, Chain> chains[] = {
      {"host table at the root",
       [&](gcVMMBase* p, int* n) {
         root(p, new HostNode<gcVMMPageTable>(p, 0xFF000000, 0, n),
              new gcVMMPageTable(p, 0x00FFF000, 0));
       }},
      {"host table below a table",
       [&](gcVMMBase* p, int* n) {
         root(p, new gcVMMPageTable(p, 0xFF000000, 0),
              new HostNode<gcVMMPageTable>(p, 0x00FFF000, 0, n));
       }},
      {"host table below a directory",
       [&](gcVMMBase* p, int* n) {
         root(p, new gcVMMPageDir(p, 0xFF000000, 0),
              new HostNode<gcVMMPageTable>(p, 0x00FFF000, 0, n));
       }},
      {"host directory at the root",
       [&](gcVMMBase* p, int* n) {
         root(p, new HostNode<gcVMMPageDir>(p, 0xFF000000, 0, n),
              new gcVMMPageTable(p, 0x00FFF000, 0));
       }},
      {"host hash at the root",
       [&](gcVMMBase* p, int* n) {
         root(p, new HostNode<gcVMMPageHash>(p, 0xFFFFF000, 0, n), nullptr);
       }},
      {"host table below a hash",
       [&](gcVMMBase* p, int* n) {
         root(p, new gcVMMPageHash(p, 0xFF000000, 0),
              new HostNode<gcVMMPageTable>(p, 0x00FFF000, 0, n));
       }},
  };
  Transcript log;
  char block[0x20] = {};
  const std::function<void(gcVMMBase&)> accesses[] = {
      [](gcVMMBase& vmm) { vmm.setByte(0x12345678, 'x'); },
      [](gcVMMBase& vmm) { EXPECT_EQ('x', vmm.getByte(0x12345678)); },
      [](gcVMMBase& vmm) { EXPECT_TRUE(vmm.isByteMapped(0x12345678)); },
      [&](gcVMMBase& vmm) { vmm.setBlock(0x12345FF0, block, sizeof block); },
      [&](gcVMMBase& vmm) { vmm.getBlock(0x12345FF0, block, sizeof block); },
  };
  for (const auto& [name, chain] : chains) {
    SCOPED_TRACE(name);
    int iAsked = 0;
    gcVMMBase vmm;
    chain(&vmm, &iAsked);
    for (const auto& access : accesses) {
      const int iBefore = iAsked;
      const std::uint64_t iHandedOn = dwxvmm_detail::handOvers();
      access(vmm);
      EXPECT_LT(iBefore, iAsked);
      // Counted as the direct path's hand-over, where a root not of ours
      // leaves the whole walk to the virtual path.
      EXPECT_EQ(std::string(name).find("at the root") == std::string::npos,
                iHandedOn < dwxvmm_detail::handOvers());
    }
  }
}

TEST(Models, DescriptionsAndNoChainWithoutAVMM) {
  const std::string kStatic =
      "This memory modell uses three a step adress translation procedure. "
      "All pagetables are static tables and so it can require a lot of "
      "phyiscal memory. The page size is 4096 bytes.";
  EXPECT_EQ(kStatic, gcVMM32BitFast().getShortDescription());
  EXPECT_EQ(kStatic, gcVMM32BitCompact().getShortDescription());
  EXPECT_EQ(
      "This memory modell uses two a step adress translation procedure. "
      "There are one dynamic and one static pagetables. The page size is "
      "4kbytes.",
      gcVMM32BitSmall().getShortDescription());
  EXPECT_EQ(
      "This memory model finds a page in one step, in a hash table of the "
      "pages in use. The page size is 4096 bytes.",
      gcVMM32BitHashed().getShortDescription());
  Transcript log;
  for (const ModelCase& m : models())
    std::unique_ptr<gcVMemoryModell>(m.make())->initializeAddressConversion(
        nullptr);
  EXPECT_EQ("", log.take());
}

}  // namespace
