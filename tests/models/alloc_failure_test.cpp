// Allocation failures, in the test command: each allocation an operation
// makes fails in turn, once. bad_alloc must reach the caller, and the
// operation done again must leave what it leaves on a VMM that never failed.
#include <cstdlib>
#include <functional>
#include <map>
#include <new>
#include <utility>
#include <vector>

#include "../support/recording_vmm.h"
#include "../support/written_bytes.h"

namespace heap {
long seen = 0, failAt = 0;  // failAt 0: no failure
bool injected = false;
}  // namespace heap

// Out of line, as in the fuzz target: inlined, gcc pairs the malloc with a
// delete elsewhere and warns of a mismatch that is not there.
[[gnu::noinline]] void* operator new(std::size_t n) {
  if (heap::failAt > 0 && ++heap::seen == heap::failAt) {
    heap::injected = true;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
extern "C" const char* __asan_default_options() {
  return "alloc_dealloc_mismatch=0";
}

namespace {

using Step = std::function<std::string(gcVMM&)>;

// Pages without memory (mapped by empty blocks) that a byte access must
// give memory, blocks across pages, and enough pages to grow every kind of
// node.
const std::vector<std::pair<const char*, Step>> kSteps = {
    {"byte", [](gcVMM& v) { return v.setByte(0x12345678, 'x'), ""; }},
    {"empty blocks",
     [](gcVMM& v) {
       char c = 0;
       v.setBlock(0x20000000, &c, 0);
       v.setBlock(0x30000000, &c, 0);
       return std::string(v.isByteMapped(0x20000001) ? "1" : "0");
     }},
    {"byte into a page without memory",
     [](gcVMM& v) { return v.setByte(0x30000002, 'y'), ""; }},
    {"reads of a page without memory",
     [](gcVMM& v) {
       char c = 0;
       v.setBlock(0x50000000, &c, 0);
       return std::string(1, v.getByte(0x50000005)) +
              (v.isByteMapped(0x20000002) ? "1" : "0");
     }},
    {"blocks",
     [](gcVMM& v) {
       std::string data(0x2020, 'b'), back(0x3000, '\0');
       v.setBlock(0x40000FF0, &data[0], data.size());
       v.getBlock(0x40000FF0, &back[0], back.size());
       return back;
     }},
    {"many pages",
     [](gcVMM& v) {
       for (vmm_int i = 0; i < 40; ++i) v.setByte(i * 0x06B43000u, char(i));
       return "";
     }},
};

const std::vector<std::pair<const char*, std::function<gcVMemoryModell*()>>>
    kModels = {
        {"Fast", [] { return new gcVMM32BitFast; }},
        {"Compact", [] { return new gcVMM32BitCompact; }},
        {"Small", [] { return new gcVMM32BitSmall; }},
        {"Hashed", [] { return new gcVMM32BitHashed; }},
};

TEST(Models, AllocationFailuresReachTheCallerAndARetryCompletes) {
  Transcript quiet;
  for (const auto& [model, make] : kModels) {
    SCOPED_TRACE(model);
    gcVMM vmm, clean;
    vmm.setMemoryModell(make());
    clean.setMemoryModell(make());
    for (const auto& [name, step] : kSteps) {
      SCOPED_TRACE(name);
      const std::map<vmm_int, char> before = writtenBytes(vmm);
      for (long k = 1;; ++k) {
        heap::seen = 0, heap::failAt = k;
        bool bThrew = false;
        try {
          step(vmm);
        } catch (const std::bad_alloc&) {
          bThrew = true;
        }
        heap::failAt = 0;
        ASSERT_EQ(heap::injected, bThrew);
        if (!std::exchange(heap::injected, false)) break;
        for (const auto& [a, value] : before)  // found by lookups, not walks
          ASSERT_TRUE(vmm.isByteMapped(a) && vmm.getByte(a) == value) << k;
      }
      EXPECT_EQ(step(clean), step(vmm));
      EXPECT_EQ(writtenBytes(clean), writtenBytes(vmm));
      EXPECT_EQ(clean.getUsedPhysicalMemory(), vmm.getUsedPhysicalMemory());
    }
  }
}

}  // namespace
