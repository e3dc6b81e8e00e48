// After any sequence of operations the usage a VMM reports is exactly what
// the library holds on the heap for its tables, directories, lists and
// pages, and its counters are what its tree holds.
#include <random>
#include <vector>

#include "stress_vmm.h"

namespace {

class Accounting : public QuietTest {};

TEST_F(Accounting, UsageIsWhatTheLibraryHoldsOnTheHeap) {
  const vmm_int kEdges[] = {0,          0x0FFF,     0x1000,     0xFFFF,
                            0x00FFFFFF, 0x01000000, 0x7FFFF000, 0xFEFFFFFF,
                            0xFF000000, 0xFFFFF000, 0xFFFFFFFF};
  std::vector<char> buffer(0x30000);
  for (int model = 0; model < 3; ++model) {
    SCOPED_TRACE(model);
    std::mt19937 random(model + 1);
    auto pick = [&](vmm_int n) { return vmm_int(random() % n); };
    Counters counters;
    const std::size_t iBlocksBefore = heap::liveBlocks();
    {
      StressVMM vmm(&counters);
      const std::size_t iBytesBefore = heap::liveBytes();
      vmm.setMemoryModell(newModel(model));
      for (int step = 0; step < 400 && !HasFailure(); ++step) {
        const vmm_int a = kEdges[pick(11)] + pick(3) * 0x01010000 - pick(8);
        const vmm_int n = pick(4) == 0 ? pick(0x30000) : pick(0x2100);
        switch (pick(6)) {
          case 0:
            vmm.setByte(a, char(step));
            break;
          case 1:
            vmm.getByte(a);
            break;
          case 2:
            vmm.isByteMapped(a);
            break;
          case 3:
            vmm.setBlock(a, buffer.data(), n);
            break;
          case 4:
            vmm.getBlock(a, buffer.data(), n);
            break;
          default: {
            gcVMMPageHandler visitAll;
            vmm.forAllMappedPages(&visitAll, false);
          }
        }
        expectHonest(vmm, counters, iBytesBefore);
      }
    }
    EXPECT_EQ(Counters(), counters);
    EXPECT_EQ(iBlocksBefore, heap::liveBlocks());
  }
}

}  // namespace
