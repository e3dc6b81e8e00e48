// The segment walk: runs of written bytes in address order, whatever the
// model's page order, joined across pages, cut where asked; the bounds.
#include <dwxvmm/dwxvmm.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Case {
  int iModel;  // 0 fast, 1 compact, 2 small, 3 hashed
  std::vector<std::pair<vmm_int, vmm_int>> writes;  // address, length
  std::uint64_t iFirst, iLast;
  vmm_int iCut;
  const char* segments;  // "address+length ..." in hex
  vmm_int iLow, iHigh;
};

// clang-format off
const Case kCases[] = {
  {1, {{0x20000000, 2}, {0x01000000, 1}, {0, 1}}, 0, 0xFFFFFFFF, 0,
   "0+1 1000000+1 20000000+2", 0, 0x20000001},
  {0, {{0xFF0, 0x20}, {0x3000, 0x3000}}, 0, 0xFFFFFFFF, 0,
   "ff0+20 3000+3000", 0xFF0, 0x5FFF},
  {0, {{0xFF0, 0x20}, {0x3000, 0x3000}}, 0, 0xFFFFFFFF, 0x1000,
   "ff0+10 1000+10 3000+1000 4000+1000 5000+1000", 0xFF0, 0x5FFF},
  {2, {{0xFFF0, 0x20}}, 0xFFF8, 0x10003, 0, "fff8+c", 0xFFF8, 0x10003},
  {0, {{3, 1}, {5, 3}, {0x3F, 2}, {0x7F, 0x47}, {0xFFF, 1}}, 0, 0xFFFFFFFF, 0,
   "3+1 5+3 3f+2 7f+47 fff+1", 3, 0xFFF},
  {2, {{0xFFFF0000, 0x10000}, {0x8000, 1}}, 0, 0xFFFFFFFF, 0,
   "8000+1 ffff0000+10000", 0x8000, 0xFFFFFFFF},
  {1, {{0xFFFFFFF0, 0x10}}, 0xFFFFFFFF, 0xFFFFFFFF, 0, "ffffffff+1",
   0xFFFFFFFF, 0xFFFFFFFF},
  // Ranges of a few pages, which ask for their pages one by one.
  {3, {{0xFF0, 0x20}, {0x3000, 0x3000}}, 0xFF8, 0x3FFF, 0x1000,
   "ff8+8 1000+10 3000+1000", 0xFF8, 0x3FFF},
  {3, {{0xFFFF0000, 0x10000}, {0x6FFF, 2}}, 0x6000, 0xFFFFFFFF, 0,
   "6fff+2 ffff0000+10000", 0x6FFF, 0xFFFFFFFF},
  {0, {{0x6FFF, 2}, {0x7100, 1}}, 0x6FFF, 0x70FF, 0, "6fff+2", 0x6FFF, 0x7000},
};
// clang-format on

char valueAt(std::uint64_t a) { return static_cast<char>(a ^ a >> 8); }

TEST(Segments, InAddressOrderJoinedAcrossPagesAndCutWhereAsked) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.segments);
    gcVMM vmm;
    vmm.setMemoryModell(
        c.iModel == 0   ? new gcVMM32BitFast
        : c.iModel == 1 ? static_cast<gcVMemoryModell*>(new gcVMM32BitCompact)
        : c.iModel == 2 ? static_cast<gcVMemoryModell*>(new gcVMM32BitSmall)
                        : new gcVMM32BitHashed);
    for (auto [a, n] : c.writes)
      for (std::uint64_t i = a; i < std::uint64_t{a} + n; ++i)
        vmm.setByte(static_cast<vmm_int>(i), valueAt(i));
    vmm.getByte(0x7000);      // a page with memory and nothing written
    vmm.mapPage(0xFFFF0000);  // and the highest page likewise
    vmm.getByte(0xFFFF0000);
    const vmm_int iUsage = vmm.getUsedPhysicalMemory();
    struct Collect : gcSegmentHandler {
      std::string out;
      bool bData = true;
      bool handleSegment(vmm_int a, std::uint64_t n, const char* p) override {
        char s[40];
        std::snprintf(s, sizeof s, " %x+%llx", a,
                      static_cast<unsigned long long>(n));
        out += s;
        for (std::uint64_t i = 0; i < n; ++i)
          bData = bData && p[i] == valueAt(a + i);
        return true;
      }
    } collect;
    EXPECT_TRUE(forAllSegments(&vmm, &collect, c.iFirst, c.iLast, c.iCut));
    EXPECT_EQ(std::string(" ") + c.segments, collect.out);
    EXPECT_TRUE(collect.bData);
    EXPECT_EQ(iUsage, vmm.getUsedPhysicalMemory());  // no page got memory
    struct Stop : gcSegmentHandler {                 // says no to the first run
      int calls = 0;
      bool handleSegment(vmm_int, std::uint64_t, const char*) override {
        return ++calls > 1;
      }
    } stop;
    EXPECT_FALSE(forAllSegments(&vmm, &stop, c.iFirst, c.iLast, c.iCut));
    EXPECT_EQ(1, stop.calls);
    EXPECT_TRUE(forAllSegments(&vmm, nullptr, c.iFirst, c.iLast, c.iCut));
    vmm_int low = 0, high = 0;
    EXPECT_TRUE(findWrittenBounds(&vmm, c.iFirst, c.iLast, &low, &high));
    EXPECT_EQ(c.iLow, low);
    EXPECT_EQ(c.iHigh, high);
    EXPECT_FALSE(findWrittenBounds(&vmm, c.iLast + 1, c.iLast, &low, &high));
  }
}

// No VMM, or one without translators (page size 0), has no runs: its pages
// are not asked for, so the walk writes no notice of its own.
TEST(Segments, NoVMMOrNoTranslatorsHaveNoRunsAndSayNothing) {
  std::stringbuf said;
  std::streambuf* pSaved = std::cerr.rdbuf(&said);
  gcVMMBase bare;
  for (gcVMMBase* pVMM : {static_cast<gcVMMBase*>(nullptr), &bare}) {
    struct Count : gcSegmentHandler {
      int calls = 0;
      bool handleSegment(vmm_int, std::uint64_t, const char*) override {
        return ++calls > 0;
      }
    } count;
    EXPECT_TRUE(forAllSegments(pVMM, &count, 0, 0xFFFFFFFF, 0x1000));
    EXPECT_EQ(0, count.calls);
    vmm_int low = 1, high = 1;
    EXPECT_FALSE(findWrittenBounds(pVMM, 0, 0xFFFFFFFF, &low, &high));
    EXPECT_EQ(1u, low | high);
    EXPECT_TRUE(collectRuns(pVMM, 0, 0xFFFFFFFF).empty());
  }
  std::cerr.rdbuf(pSaved);
  EXPECT_EQ("", said.str());
}

}  // namespace
