// The program replaces the global operator new: it counts what is live and
// fails allocations on request. With it, every allocation of a scenario is
// failed in turn, k = 1, 2, ... until the scenario completes, once only the
// k-th and once every one from the k-th on. After each failure: bad_alloc
// reached the caller, nothing leaked, the counters are what the tree holds,
// the bytes written before are intact and a retry succeeds; deleting the VMM
// brings every counter and the heap back to zero.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "../support/recording_vmm.h"
#include "../support/scratch_dir.h"

namespace heap {
std::size_t blocks = 0, bytes = 0;  // live
long seen = 0, failAt = 0;          // failAt 0: no failures
bool once = false, injected = false;
void arm(long k, bool bOnce) { seen = 0, failAt = k, once = bOnce; }
bool disarm() { return failAt = 0, std::exchange(injected, false); }
}  // namespace heap

void* operator new(std::size_t n) {
  using namespace heap;
  if (failAt > 0 && (++seen == failAt || (!once && seen > failAt))) {
    injected = true;
    throw std::bad_alloc();
  }
  // The size goes in front, in a header that keeps malloc's alignment.
  auto* p =
      static_cast<std::max_align_t*>(std::malloc(n + sizeof(std::max_align_t)));
  if (p == nullptr) throw std::bad_alloc();
  *reinterpret_cast<std::size_t*>(p) = n;
  ++blocks, bytes += n;
  return p + 1;
}
// Out of line, or gcc would see its free() applied to new's pointers.
[[gnu::noinline]] void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  auto* b = static_cast<std::max_align_t*>(p) - 1;
  --heap::blocks, heap::bytes -= *reinterpret_cast<std::size_t*>(b);
  std::free(b);
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return operator new(n);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept {
  return operator new(n, t);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using Counters = std::array<vmm_int, 3>;  // static, dynamic, page

// Its counters outlive it, so that its destruction can be checked.
class StressVMM : public gcVMM {
 public:
  explicit StressVMM(Counters* pCounters) : pCounters_(pCounters) {}
  ~StressVMM() override {  // while notifyPhysicalUsageChanged reaches us
    unsetMemoryModell();
    delete pFirstTranslator;
    pFirstTranslator = nullptr;
  }
  void notifyPhysicalUsageChanged() override {
    *pCounters_ = {iStaticTablePMem, iDynamicTablePMem, iPagePMem};
  }
  bool holdsModel() const { return pMemoryModell != nullptr; }

 private:
  Counters* pCounters_;
};

gcVMemoryModell* newModel(int iModel) {
  if (iModel == 0) return new gcVMM32BitFast;
  if (iModel == 1) return new gcVMM32BitCompact;
  return new gcVMM32BitSmall;
}

// The static and page counters are what the tree holds (found without
// allocating: the root, a node per 16 MiB region, every page), and the usage
// is what the library holds on the heap since iBytesBefore. The model object
// is the VMM's but not counted.
static_assert(sizeof(gcVMM32BitFast) == sizeof(gcVMM32BitCompact) &&
                  sizeof(gcVMM32BitFast) == sizeof(gcVMM32BitSmall),
              "every model object has one size");
void expectHonest(StressVMM& vmm, const Counters& counters,
                  std::size_t iBytesBefore) {
  Counters held{};
  auto table = [](gcVMMPageBase* p) -> vmm_int {
    return dynamic_cast<gcVMMPageTable*>(p) ? kTable + p->getMaxSize() * kEntry
                                            : 0;
  };
  if (gcVMMPageBase* pRoot = vmm.getFirstAddressTranslator()) {
    held[0] = table(pRoot);
    for (vmm_int r = 0; r < 256; ++r)
      if (gcVMMPageBase* pNode = pRoot->getPageObject(r << 24))
        held[0] += table(pNode);
  }
  struct Pages : gcVMMPageHandler {
    vmm_int bytes = 0;
    bool handlePage(gcVMMPage* p) override {
      bytes += kPage + (p->isPhysical() ? p->getPageMemSize() : 0);
      return true;
    }
  } pages;
  vmm.forAllMappedPages(&pages, false);
  EXPECT_EQ(held[0], counters[0]);
  EXPECT_EQ(pages.bytes, counters[2]);
  EXPECT_EQ(heap::bytes - iBytesBefore -
                (vmm.holdsModel() ? sizeof(gcVMM32BitFast) : 0),
            vmm.getUsedPhysicalMemory());
}

// Each case runs in a scratch folder: the tools write into the working one.
class Stress : public ScratchDir {
 protected:
  // The library's notices (a line per table) would drown the output.
  void SetUp() override { pSaved_ = std::cerr.rdbuf(nullptr); }
  void TearDown() override { std::cerr.rdbuf(pSaved_); }
  std::streambuf* pSaved_ = nullptr;

  // Runs act on a VMM with the model set up and two bytes written (none
  // with model -1), failing each of its allocations in turn; verify checks
  // what a completed act leaves.
  template <class Act, class Verify>
  void injectEach(int model, Act act, Verify verify) {
    for (const bool bOnce : {true, false})
      for (long k = 1; !HasFailure(); ++k) {
        SCOPED_TRACE(testing::Message() << "allocation " << k
                                        << (bOnce ? " fails" : " and on fail"));
        if (!failAt(k, bOnce, model, act, verify)) break;
      }
  }

 private:
  template <class Act, class Verify>
  bool failAt(long k, bool bOnce, int model, Act& act, Verify& verify) {
    const std::size_t iBlocksBefore = heap::blocks;
    Counters counters{};
    bool bInjected = false, bThrew = false;
    {
      StressVMM vmm(&counters);
      const std::size_t iBytesBefore = heap::bytes;
      auto sound = [&] {  // gtest's messages on the heap would blur counts
        if (!HasFailure()) expectHonest(vmm, counters, iBytesBefore);
        if (!HasFailure() && model >= 0) {
          EXPECT_EQ('a', vmm.getByte(0x10));
          EXPECT_EQ('b', vmm.getByte(0x00FFE7FF));
        }
        return !HasFailure();
      };
      if (model >= 0) {
        vmm.setMemoryModell(newModel(model));
        vmm.setByte(0x10, 'a');
        vmm.setByte(0x00FFE7FF, 'b');
      }
      heap::arm(k, bOnce);
      try {
        act(vmm);
      } catch (const std::bad_alloc&) {
        bThrew = true;
      } catch (...) {
        heap::disarm();
        throw;
      }
      bInjected = heap::disarm();
      EXPECT_EQ(bInjected, bThrew);
      if (bInjected && sound()) act(vmm);
      if (!HasFailure()) verify(vmm);
      if (!sound()) return false;
    }
    EXPECT_EQ(Counters{}, counters);
    EXPECT_EQ(iBlocksBefore, heap::blocks);
    return bInjected;
  }
};

const vmm_int kPageSizes[] = {0x1000, 0x1000, 0x10000};

TEST_F(Stress, UsageIsWhatTheLibraryHoldsOnTheHeap) {
  const vmm_int kEdges[] = {0,          0x0FFF,     0x1000,     0xFFFF,
                            0x00FFFFFF, 0x01000000, 0x7FFFF000, 0xFEFFFFFF,
                            0xFF000000, 0xFFFFF000, 0xFFFFFFFF};
  std::vector<char> buffer(0x30000);
  for (int model = 0; model < 3; ++model) {
    SCOPED_TRACE(model);
    std::mt19937 random(model + 1);
    auto pick = [&](vmm_int n) { return vmm_int(random() % n); };
    Counters counters{};
    const std::size_t iBlocksBefore = heap::blocks;
    {
      StressVMM vmm(&counters);
      const std::size_t iBytesBefore = heap::bytes;
      vmm.setMemoryModell(newModel(model));
      gcVMMPageHandler visitAll;
      for (int step = 0; step < 400 && !HasFailure(); ++step) {
        const vmm_int a = kEdges[pick(11)] + pick(3) * 0x01010000 - pick(8);
        const vmm_int n = pick(4) == 0 ? pick(0x30000) : pick(0x2100);
        const int op = pick(6);
        if (op == 0) vmm.setByte(a, char(step));
        if (op == 1) vmm.getByte(a);
        if (op == 2) vmm.isByteMapped(a);
        if (op == 3) vmm.setBlock(a, buffer.data(), n);
        if (op == 4) vmm.getBlock(a, buffer.data(), n);
        if (op == 5) vmm.forAllMappedPages(&visitAll, false);
        expectHonest(vmm, counters, iBytesBefore);
      }
    }
    EXPECT_EQ(Counters{}, counters);
    EXPECT_EQ(iBlocksBefore, heap::blocks);
  }
}

TEST_F(Stress, FailedAllocationsWhenSettingAModelOrWriting) {
  static char block[0x3000], back[sizeof block];
  for (std::size_t i = 0; i < sizeof block; ++i) block[i] = char(i * 7 + 1);
  for (int model = 0; model < 3; ++model) {
    SCOPED_TRACE(model);
    injectEach(
        -1, [&](gcVMM& vmm) { vmm.setMemoryModell(newModel(model)); },
        [&](gcVMM& vmm) {
          EXPECT_EQ(kPageSizes[model], vmm.getPageSize());
          vmm.setByte(0x01234567, 'm');
          EXPECT_EQ('m', vmm.getByte(0x01234567));
        });
    injectEach(
        model, [](gcVMM& vmm) { vmm.setByte(0x05123456, 'n'); },
        [](gcVMM& vmm) { EXPECT_EQ('n', vmm.getByte(0x05123456)); });
    // Across a region boundary, written and read back.
    injectEach(
        model,
        [](gcVMM& vmm) {
          vmm.setBlock(0x00FFE800, block, sizeof block);
          vmm.getBlock(0x00FFE800, back, sizeof back);
        },
        [](gcVMM&) { EXPECT_EQ(0, std::memcmp(block, back, sizeof block)); });
  }
}

// With 64 KiB pages, whose tables are small, and pages mapped without their
// memory: every run builds all 256 regions, so they must come cheap.
TEST_F(Stress, FailedAllocationsWhileTheDirectoryGrowsTo256Regions) {
  struct Regions : gcVMMPageHandler {
    std::vector<vmm_int> seen;
    bool handlePage(gcVMMPage* p) override {
      if (seen.empty() || seen.back() != p->getVAddr() >> 24)
        seen.push_back(p->getVAddr() >> 24);
      return true;
    }
  };
  std::vector<vmm_int> all(256);
  std::iota(all.begin(), all.end(), 0);
  injectEach(
      2,
      [](gcVMM& vmm) {
        for (vmm_int r = 1; r < 256; ++r) vmm.mapPage(r << 24 | 0x42);
      },
      [&](gcVMM& vmm) {
        Regions regions;
        vmm.forAllMappedPages(&regions, false);
        EXPECT_EQ(all, regions.seen);
      });
}

int openFiles() {
  int n = 0;
  DIR* pDir = opendir("/proc/self/fd");
  while (readdir(pDir) != nullptr) ++n;
  closedir(pDir);
  return n;
}

// The report buffers its text: the file must not stay open when the buffer
// cannot be had.
TEST_F(Stress, FailedAllocationsWhileLoadingOrReporting) {
  std::string image(0x2800, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = char(i % 251);
  spill("image", image);
  const int files = openFiles();
  for (int model = 0; model < 3; ++model) {
    SCOPED_TRACE(model);
    injectEach(
        model,
        [](gcVMM& vmm) {
          char name[] = "image";
          loadBinaryToVMM(&vmm, name, 0x00FFF100, 0x1000);
        },
        [&](gcVMM& vmm) {
          for (vmm_int i = 0; i < image.size(); i += 0x3FF)
            EXPECT_EQ(image[i], vmm.getByte(0x00FFF100 + i)) << i;
        });
  }
  injectEach(
      2, [](gcVMM& vmm) { writeMemoryMap(&vmm); },
      [&](gcVMM&) {
        EXPECT_EQ(files, openFiles());
        struct stat report;
        EXPECT_EQ(0, stat("vmm.mmap", &report));
        EXPECT_LT(0, report.st_size);
      });
  EXPECT_EQ(files, openFiles());
}

// A plain gcVMM takes the direct path, which makes nodes and pages and gives
// pages their memory on its own: every allocation failure there must leave
// the VMM as sound as on the virtual path (heap and usage agree, bytes kept,
// a retry completes), in each model.
TEST_F(Stress, FailedAllocationsOnTheDirectPath) {
  static char block[0x2100], back[sizeof block], zeros[0x1000];
  for (std::size_t i = 0; i < sizeof block; ++i) block[i] = char(i * 5 + 3);
  auto act = [](gcVMM& vmm) {
    vmm.setByte(0x05123456, 'n');           // a new region: table, page, memory
    vmm.mapPage(0x03000000);                // a page without memory ...
    EXPECT_EQ(0, vmm.getByte(0x03000000));  // ... that a read gives some
    vmm.setBlock(0x00FFF800, block, sizeof block);  // fresh pages, whole
    vmm.getBlock(0x00FFF800, back, sizeof back);    // and in part
    vmm.getBlock(0x09FFFF00, zeros, sizeof zeros);  // never written
  };
  for (int model = 0; model < 3; ++model)
    for (const bool bOnce : {true, false})
      for (long k = 1; !HasFailure(); ++k) {
        SCOPED_TRACE(testing::Message() << "model " << model << ", allocation "
                                        << k << (bOnce ? "" : " and on"));
        const std::size_t iBlocksBefore = heap::blocks;
        bool bInjected;
        {
          gcVMM vmm;
          const std::size_t iBytesBefore = heap::bytes + sizeof(gcVMM32BitFast);
          vmm.setMemoryModell(newModel(model));
          vmm.setByte(0x10, 'a');
          heap::arm(k, bOnce);
          try {
            act(vmm);
          } catch (const std::bad_alloc&) {
          }
          bInjected = heap::disarm();
          EXPECT_EQ(heap::bytes - iBytesBefore, vmm.getUsedPhysicalMemory());
          EXPECT_EQ('a', vmm.getByte(0x10));
          act(vmm);
          EXPECT_EQ('n', vmm.getByte(0x05123456));
          EXPECT_EQ(0, std::memcmp(block, back, sizeof block));
        }
        EXPECT_EQ(iBlocksBefore, heap::blocks);
        if (!bInjected) break;
      }
}

}  // namespace
