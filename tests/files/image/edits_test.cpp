// What the edits do beyond the fuzz target's reach: each error's message
// (a failed edit changes nothing), fills past the walk's batch of holes and
// up to the last address, and a segmented start address moved.
#include <dwxvmm/dwxvmm.h>
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>

#include "../../support/written_bytes.h"
#include "gcFileSupport.h"

namespace {

std::unique_ptr<gcVMM> newVMM() {
  auto pVMM = std::make_unique<gcVMM>();
  pVMM->setMemoryModell(new gcVMM32BitCompact);
  return pVMM;
}

TEST(Edits, ErrorsNameTheReasonAndChangeNothing) {
  auto vmm = newVMM(), target = newVMM(), full = newVMM();
  char data[] = "\x01\x02\x03\x04";
  vmm->setBlock(0x10, data, 4);
  full->setBlock(0, data, 1);
  gcVMM bare;  // no model
  const auto before = writtenBytes(*vmm);
  const std::pair<std::function<gcFileResult()>, const char*> cases[] = {
      {[&] { return fillImage(&bare, 0, 0, 1); },
       "no VMM with a memory model to edit"},
      {[&] { return fillImage(vmm.get(), 0, 5, 4); },
       "range 0x00000005-0x00000004 is empty"},
      {[&] { return fillImage(vmm.get(), 0, 0, 0x100000000); },
       "range end 0x100000000 beyond address 0xFFFFFFFF"},
      {[&] {
         return cropImage(vmm.get(), {{0, 0x10}}, vmm.get());
       },
       "no empty VMM with a memory model to write into"},
      {[&] { return excludeImage(vmm.get(), {}, full.get()); },
       "no empty VMM with a memory model to write into"},
      {[&] { return cropImage(nullptr, {}, target.get()); },
       "no VMM with a memory model to edit"},
      {[&] { return moveImage(vmm.get(), 0x100000000, target.get(), nullptr); },
       "moving by +0x100000000 leaves the address space"},
      {[&] { return moveImage(vmm.get(), 0xFFFFFFED, target.get(), nullptr); },
       "moving by +0xFFFFFFED takes address 0x00000013 beyond 0xFFFFFFFF"},
      {[&] { return swapImage(vmm.get(), 16, target.get()); },
       "byte swap of 16 bytes (2, 4 or 8)"},
      {[&] { return checksumImage(vmm.get(), "crc8", 0, 0x10, 0x13, true); },
       "unknown checksum 'crc8'"},
      {[&] { return checksumImage(&bare, "sum8", 0, 0x10, 0x13, true); },
       "no VMM with a memory model to edit"},
  };
  for (const auto& [edit, reason] : cases) {
    const gcFileResult r = edit();
    EXPECT_FALSE(r.isOk()) << reason;
    EXPECT_EQ(r.getMessage(), reason);  // no file, no line: the reason alone
    EXPECT_EQ(writtenBytes(*vmm), before) << reason;
    EXPECT_TRUE(writtenBytes(*target).empty()) << reason;
  }
}

// The library's error lines are for real errors: an edit that works writes
// no block of length 0 (which would report "Invalid Destination").
TEST(Edits, WorkingEditsReportNoError) {
  auto vmm = newVMM(), a = newVMM(), b = newVMM(), c = newVMM();
  char data[] = "\x01\x02\x03\x04\x05\x06\x07\x08";
  vmm->setBlock(0x10, data, 8);
  vmm->setBlock(0x21, data, 2);
  std::ostringstream err;
  std::streambuf* saved = std::cerr.rdbuf(err.rdbuf());
  const bool bOk =
      swapImage(vmm.get(), 4, a.get()).isOk() &&
      moveImage(vmm.get(), 3, b.get(), nullptr).isOk() &&
      cropImage(vmm.get(), {{0x12, 0x21}}, c.get()).isOk() &&
      fillImage(vmm.get(), 0, 0x18, 0x20).isOk() &&
      checksumImage(vmm.get(), "crc32-le", 0x30, 0x10, 0x22, false).isOk();
  std::cerr.rdbuf(saved);
  EXPECT_TRUE(bOk);
  EXPECT_EQ(std::string::npos, err.str().find("Invalid")) << err.str();
}

TEST(Edits, FillReachesEveryHoleAndTheLastAddress) {
  // More holes than the walk hands over at once.
  auto vmm = newVMM();
  char one = 1;
  for (vmm_int a = 0x20000; a < 0x20000 + 2 * 70000; a += 2)
    vmm->setBlock(a, &one, 1);
  ASSERT_TRUE(fillImage(vmm.get(), 7, 0x20000, 0x20000 + 2 * 70000 - 1).isOk());
  const auto bytes = writtenBytes(*vmm);
  ASSERT_EQ(bytes.size(), 2u * 70000);
  for (const auto& [a, v] : bytes) ASSERT_EQ(v, a % 2 == 0 ? 1 : 7) << a;

  auto top = newVMM();
  ASSERT_TRUE(fillImage(top.get(), 0xAB, 0xFFFFFFF0, 0xFFFFFFFF).isOk());
  EXPECT_EQ(writtenBytes(*top).size(), 16u);
  EXPECT_EQ(writtenBytes(*top).rbegin()->first, 0xFFFFFFFFu);
}

// Every run is spread, and split gathers them back.
TEST(Edits, UnsplitAndSplitTakeEveryRun) {
  auto vmm = newVMM(), spread = newVMM(), back = newVMM();
  char data[] = "abc";
  vmm->setBlock(0x10, data, 2);
  vmm->setBlock(0x40, data + 2, 1);
  ASSERT_TRUE(unsplitImage(vmm.get(), 4, 1, 2, spread.get(), nullptr).isOk());
  EXPECT_EQ(writtenBytes(*spread),
            (std::map<vmm_int, char>{{0x21, 'a'}, {0x22, 'b'}, {0x81, 'c'}}));
  ASSERT_TRUE(splitImage(spread.get(), 4, 1, 2, back.get(), nullptr).isOk());
  EXPECT_EQ(writtenBytes(*back), writtenBytes(*vmm));
}

TEST(Edits, SegmentedStartKeepsItsFormWhereItCan) {
  struct Case {
    std::int64_t delta;
    bool bSegmented;
    std::uint32_t start;
  } cases[] = {{0x100, true, 0x10100010},
               {-0x10000, true, 0x00000010},
               {1, false, 0x10011},
               {0x100000, false, 0x110010}};  // CS past 16 bits
  for (const Case& c : cases) {
    auto vmm = newVMM(), target = newVMM();
    gcImageInfo info;
    info.setStartAddress(0x10000010, true);  // 0x1000:0x0010
    ASSERT_TRUE(moveImage(vmm.get(), c.delta, target.get(), &info).isOk());
    EXPECT_EQ(info.isSegmentedStart(), c.bSegmented) << c.delta;
    EXPECT_EQ(info.getStartAddress(), c.start) << c.delta;
  }
  EXPECT_EQ(checksumNames().size(), 54u + 2 * 106);  // ours, the catalogue
  EXPECT_EQ(checksumWidth("crc16-aug-be"), 2u);
}

}  // namespace
