// Fails every allocation of a scenario in turn, k = 1, 2, ... until the
// scenario completes, once failing only the k-th allocation and once every
// allocation from the k-th on. After each failure: bad_alloc reached the
// caller, the counters are what the tree and the heap hold, the bytes
// written before are intact and the operation succeeds when retried;
// deleting the VMM brings every counter and the heap back to zero.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "stress_vmm.h"

namespace {

// The bytes written so far, kept without allocating.
class Journal {
 public:
  void write(gcVMM& vmm, vmm_int iAddr, char value) {
    vmm.setByte(iAddr, value);
    entries_.at(n_++) = {iAddr, value};
  }
  void expectIntact(gcVMM& vmm) const {
    for (std::size_t i = 0; i < n_; ++i)
      EXPECT_EQ(entries_[i].second, vmm.getByte(entries_[i].first))
          << std::hex << entries_[i].first;
  }

 private:
  std::array<std::pair<vmm_int, char>, 1024> entries_;
  std::size_t n_ = 0;
};

struct Scenario {
  int model;  // set up (with a few bytes written) before; -1: none
  std::function<void(gcVMM&, Journal&)> act;
  std::function<void(gcVMM&)> verify;  // what a completed act leaves
};

class AllocationFailure : public QuietTest {
 protected:
  void injectEveryAllocation(const Scenario& s) {
    for (const bool bOnce : {true, false}) {
      for (long k = 1;; ++k) {
        SCOPED_TRACE(testing::Message() << "allocation " << k
                                        << (bOnce ? " fails" : " and on fail"));
        if (!runWithFailureAt(s, k, bOnce) || HasFailure()) break;
      }
    }
  }

 private:
  // True when a failure was injected.
  bool runWithFailureAt(const Scenario& s, long k, bool bOnce) {
    const std::size_t iBlocksBefore = heap::liveBlocks();
    Counters counters;
    bool bInjected = false;
    {
      StressVMM vmm(&counters);
      const std::size_t iBytesBefore = heap::liveBytes();
      Journal journal;
      if (s.model >= 0) {
        vmm.setMemoryModell(newModel(s.model));
        journal.write(vmm, 0x10, 'a');
        journal.write(vmm, 0x00FFE7FF, 'b');
      }
      heap::failAt(k, bOnce);
      bool bThrew = false;
      try {
        s.act(vmm, journal);
      } catch (const std::bad_alloc&) {
        bThrew = true;
      } catch (...) {
        heap::disarm();
        throw;
      }
      bInjected = heap::disarm();
      // Past the first failed expectation, the messages gtest keeps on the
      // heap would blur every later count.
      EXPECT_EQ(bInjected, bThrew);
      if (bInjected && !HasFailure()) {
        expectHonest(vmm, counters, iBytesBefore);
        if (!HasFailure()) journal.expectIntact(vmm);
        if (!HasFailure()) s.act(vmm, journal);
      }
      if (!HasFailure()) s.verify(vmm);
      if (!HasFailure()) journal.expectIntact(vmm);
      if (!HasFailure()) expectHonest(vmm, counters, iBytesBefore);
      if (HasFailure()) return false;
    }
    EXPECT_EQ(Counters(), counters);
    EXPECT_EQ(iBlocksBefore, heap::liveBlocks());
    return bInjected;
  }
};

const vmm_int kPageSizes[] = {0x1000, 0x1000, 0x10000};

TEST_F(AllocationFailure, SettingEachModel) {
  for (int model = 0; model < 3; ++model) {
    SCOPED_TRACE(model);
    injectEveryAllocation(
        {-1,
         [&](gcVMM& vmm, Journal&) { vmm.setMemoryModell(newModel(model)); },
         [&](gcVMM& vmm) {
           EXPECT_EQ(kPageSizes[model], vmm.getPageSize());
           vmm.setByte(0x01234567, 'm');
           EXPECT_EQ('m', vmm.getByte(0x01234567));
         }});
  }
}

TEST_F(AllocationFailure, FirstWriteIntoANewRegion) {
  for (int model = 0; model < 3; ++model) {
    SCOPED_TRACE(model);
    injectEveryAllocation(
        {model,
         [](gcVMM& vmm, Journal& journal) {
           journal.write(vmm, 0x05123456, 'n');
         },
         [](gcVMM& vmm) { EXPECT_EQ('n', vmm.getByte(0x05123456)); }});
  }
}

// Written and read back, so that both block operations meet the failures.
TEST_F(AllocationFailure, BlockAcrossARegionBoundary) {
  static char block[0x3000], back[sizeof block];
  for (std::size_t i = 0; i < sizeof block; ++i) block[i] = char(i * 7 + 1);
  for (int model = 0; model < 3; ++model) {
    SCOPED_TRACE(model);
    injectEveryAllocation(
        {model,
         [](gcVMM& vmm, Journal&) {
           vmm.setBlock(0x00FFE800, block, sizeof block);
           vmm.getBlock(0x00FFE800, back, sizeof back);
         },
         [](gcVMM&) { EXPECT_EQ(0, std::memcmp(block, back, sizeof block)); }});
  }
}

// With 64 KiB pages, whose tables are small, and pages mapped without their
// memory: every run builds all 256 regions, so they must come cheap.
TEST_F(AllocationFailure, DirectoryGrowsTo256Regions) {
  injectEveryAllocation({2,
                         [](gcVMM& vmm, Journal&) {
                           for (vmm_int r = 1; r < 256; ++r)
                             vmm.mapPage(r << 24 | 0x42);
                         },
                         [](gcVMM& vmm) {
                           std::vector<vmm_int> regions;
                           struct Regions : gcVMMPageHandler {
                             std::vector<vmm_int>* p;
                             bool handlePage(gcVMMPage* pPage) override {
                               p->push_back(pPage->getVAddr() >> 24);
                               return true;
                             }
                           } visit;
                           visit.p = &regions;
                           vmm.forAllMappedPages(&visit, false);
                           regions.erase(
                               std::unique(regions.begin(), regions.end()),
                               regions.end());
                           ASSERT_EQ(256u, regions.size());
                           for (vmm_int r = 0; r < 256; ++r)
                             EXPECT_EQ(r, regions[r]);
                         }});
}

TEST_F(AllocationFailure, LoadFromAFile) {
  char name[] = "/tmp/dwxvmm_stress.XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  std::string image(0x2800, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = char(i % 251);
  ASSERT_EQ(ssize_t(image.size()), write(fd, image.data(), image.size()));
  close(fd);
  for (int model = 0; model < 3; ++model) {
    SCOPED_TRACE(model);
    injectEveryAllocation({model,
                           [&](gcVMM& vmm, Journal&) {
                             loadBinaryToVMM(&vmm, name, 0x00FFF100, 0x1000);
                           },
                           [&](gcVMM& vmm) {
                             for (vmm_int i = 0; i < image.size(); i += 0x3FF)
                               EXPECT_EQ(image[i], vmm.getByte(0x00FFF100 + i))
                                   << i;
                           }});
  }
  unlink(name);
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
TEST_F(AllocationFailure, MemoryMapReport) {
  char dir[] = "/tmp/dwxvmm_stress.XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  const int home = open(".", O_RDONLY);
  ASSERT_EQ(0, chdir(dir));
  const int files = openFiles();
  injectEveryAllocation({2, [](gcVMM& vmm, Journal&) { writeMemoryMap(&vmm); },
                         [&](gcVMM&) {
                           EXPECT_EQ(files, openFiles());
                           struct stat report;
                           EXPECT_EQ(0, stat("vmm.mmap", &report));
                           EXPECT_LT(0, report.st_size);
                         }});
  EXPECT_EQ(files, openFiles());
  unlink("vmm.mmap");
  EXPECT_EQ(0, fchdir(home));
  close(home);
  rmdir(dir);
}

}  // namespace
