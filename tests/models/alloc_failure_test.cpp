// Allocation failures, in the test command: each allocation an operation
// makes fails in turn, once. bad_alloc must reach the caller, and the
// operation done again must leave what it leaves on a VMM that never failed.
#include <functional>
#include <iostream>
#include <map>
#include <vector>

#include "../support/failing_heap.h"
#include "../support/recording_vmm.h"
#include "../support/written_bytes.h"

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

// The library's notices go nowhere: a buffer that grew for them would
// allocate, and the stream would swallow the failure.
struct Silence {
  Silence() : pSaved(std::cerr.rdbuf(nullptr)) {}
  ~Silence() {
    std::cerr.rdbuf(pSaved);
    std::cerr.clear();
  }
  std::streambuf* pSaved;
};

TEST(Models, AllocationFailuresReachTheCallerAndARetryCompletes) {
  Silence quiet;
  for (const auto& [model, make] : kModels) {
    SCOPED_TRACE(model);
    gcVMM vmm, clean;
    vmm.setMemoryModell(make());
    clean.setMemoryModell(make());
    for (const auto& entry : kSteps) {
      const Step& step = entry.second;  // a lambda cannot take a binding
      SCOPED_TRACE(entry.first);
      const std::map<vmm_int, char> before = writtenBytes(vmm);
      for (long k = 1; failing(k, false, [&] { step(vmm); }); ++k) {
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
