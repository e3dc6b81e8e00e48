// The page list that block operations build: exactly the pages a block
// reaches, ascending, mapped; nothing outside the block.
#include <vector>

#include "../support/recording_vmm.h"

namespace {

std::vector<vmm_int> listed(gcVMMBase* pVMM, vmm_int iFirst, vmm_int iLast) {
  std::list<gcVMMPage*>* pPages = pVMM->createAndMapPageList(iFirst, iLast);
  std::vector<vmm_int> addrs;
  if (pPages == nullptr) return addrs;
  for (gcVMMPage* p : *pPages) addrs.push_back(p->getVAddr());
  delete pPages;
  return addrs;
}

TEST(PageList, HoldsTheBlocksPagesOnly) {
  gcVMM vmm;
  stderrOf([&] { vmm.setMemoryModell(new gcVMM32BitFast); });
  stderrOf([&] {
    EXPECT_EQ((std::vector<vmm_int>{0x1000, 0x2000, 0x3000}),
              listed(&vmm, 0x1FF0, 0x3010));
    // The second candidate lies past the block's end, its page does not.
    EXPECT_EQ((std::vector<vmm_int>{0x5000, 0x6000}),
              listed(&vmm, 0x5800, 0x6100));
    EXPECT_EQ((std::vector<vmm_int>{0x8000}), listed(&vmm, 0x8000, 0x7FFF));
    EXPECT_EQ((std::vector<vmm_int>{0xFFFFE000, 0xFFFFF000}),
              listed(&vmm, 0xFFFFEFFF, 0xFFFFFFFF));
  });
  EXPECT_EQ(nullptr, vmm.getPage(0x4000));
  EXPECT_EQ(nullptr, vmm.getPage(0x7000));
  EXPECT_EQ(nullptr, vmm.getPage(0x9000));

  gcVMM small;
  stderrOf([&] { small.setMemoryModell(new gcVMM32BitSmall); });
  EXPECT_EQ((std::vector<vmm_int>{0x00FF0000, 0x01000000}),
            listed(&small, 0x00FFFF00, 0x010000FF));
}

TEST(PageList, BlocksAcrossPagesAndAtTheTop) {
  gcVMM vmm;
  stderrOf([&] { vmm.setMemoryModell(new gcVMM32BitFast); });
  std::vector<char> in(3 * 4096 + 100);
  for (std::size_t i = 0; i < in.size(); ++i) in[i] = char(i * 7 + 1);
  std::vector<char> out(in.size(), 'x');
  stderrOf([&] {
    vmm.setBlock(0x10F00, in.data(), vmm_int(in.size()));
    vmm.getBlock(0x10F00, out.data(), vmm_int(out.size()));
  });
  EXPECT_EQ(in, out);
  EXPECT_FALSE(vmm.isByteMapped(0x10EFF));
  EXPECT_TRUE(vmm.isByteMapped(0x10F00 + vmm_int(in.size()) - 1));
  EXPECT_FALSE(vmm.isByteMapped(0x10F00 + vmm_int(in.size())));

  // Cut at the end of the address space: the rest is neither read nor
  // written, and nothing wraps to address 0.
  stderrOf([&] { vmm.setBlock(0xFFFFFFF0, in.data(), 32); });
  std::vector<char> top(32, 'x');
  vmm.getBlock(0xFFFFFFF0, top.data(), 32);
  EXPECT_EQ(std::vector<char>(in.begin(), in.begin() + 16),
            std::vector<char>(top.begin(), top.begin() + 16));
  EXPECT_EQ(std::vector<char>(16, 0),
            std::vector<char>(top.begin() + 16, top.end()));
  EXPECT_FALSE(vmm.isByteMapped(0));
}

}  // namespace
