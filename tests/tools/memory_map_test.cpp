#include <sys/stat.h>

#include <cstring>
#include <map>

#include "../support/recording_vmm.h"
#include "../support/scratch_dir.h"

namespace {

// The report of one run of pages, built the plain way: an entry per byte,
// sixteen to a line.
std::string run(vmm_int first, std::uint64_t size,
                const std::map<vmm_int, std::string>& written,
                bool closed = true) {
  char header[32];
  std::snprintf(header, sizeof header, "- Address 0x%x - \n", first);
  std::string s = header;
  for (std::uint64_t i = 0; i < size; ++i) {
    auto it = written.find(vmm_int(first + i));
    s += it == written.end() ? "---- " : "0x" + it->second + " ";
    if (i % 16 == 15) s += "\n";
  }
  return closed ? s + "\n\n" : s;
}

class MemoryMap : public ScratchDir {
 protected:
  MemoryMap() { vmm.setMemoryModell(new gcVMM32BitFast); }
  Transcript log;
  gcVMM vmm;
};

// Adjacent pages form one run; the last byte of the address space is
// reported, and a run that reaches it ends the file without line feeds.
TEST_F(MemoryMap, RunsOfPagesByteByByte) {
  vmm.setByte(0x3230, char(0xAB));
  vmm.setByte(0x4001, 0x7F);
  vmm.setByte(0x6000, 0);
  vmm.setByte(0xFFFFFFFF, 'z');
  vmm.setByte(0xFFFFE000, 'y');
  writeMemoryMap(&vmm);
  EXPECT_EQ(run(0, 0x1000, {}) +
                run(0x3000, 0x2000, {{0x3230, "ffffffab"}, {0x4001, "7f"}}) +
                run(0x6000, 0x1000, {{0x6000, "0"}}) +
                run(0xFFFFE000, 0x2000,
                    {{0xFFFFE000, "79"}, {0xFFFFFFFF, "7a"}}, false),
            slurp("vmm.mmap"));
}

TEST_F(MemoryMap, FileModeEmptyVMMAndUnwritableFile) {
  const mode_t old = umask(0);
  writeMemoryMap(&vmm);
  umask(old);
  struct stat st;
  ASSERT_EQ(0, stat("vmm.mmap", &st));
  EXPECT_EQ(0664u, st.st_mode & 0777);
  gcVMM empty;
  writeMemoryMap(&empty);
  EXPECT_EQ("", slurp("vmm.mmap"));
  writeMemoryMap(nullptr);
  ASSERT_EQ(0, std::remove("vmm.mmap"));
  ASSERT_EQ(0, mkdir("vmm.mmap", 0755));
  log.take();
  writeMemoryMap(&vmm);
  EXPECT_EQ("Unable to create file!\n", log.take());
}

TEST_F(MemoryMap, DiscWriterDumpsTheRangeAsGetBlockSeesIt) {
  std::string image(3 << 20, '\0');  // three chunks of the writer's buffer
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = char(i * 7 + 3);
  vmm.setBlock(0x00F00000, image.data(), vmm_int(image.size()));
  writeVMMToDisc(&vmm, 0x00F00000, 0x00F00000 + vmm_int(image.size()) - 1);
  EXPECT_TRUE(image == slurp("dst.mmap"));
  writeVMMToDisc(&vmm, 0x3230, 0x3230);
  EXPECT_EQ(std::string(1, '\0'), slurp("dst.mmap"));
  EXPECT_NE(nullptr, vmm.getPage(0x3230));  // reading mapped the range
  // Out of contract: no bytes, no pages.
  for (auto [first, last] :
       {std::pair<vmm_int, vmm_int>{0x9000, 0x8000}, {0, 0xFFFFFFFF}}) {
    writeVMMToDisc(&vmm, first, last);
    EXPECT_EQ("", slurp("dst.mmap"));
  }
  EXPECT_EQ(nullptr, vmm.getPage(0x9000));
  // The longest range there is, 4 GiB - 1, in 1 MiB reads, into the void.
  struct Reads : gcVMM {  // fills the writer's one buffer once
    std::uint64_t bytes = 0;
    void getBlock(vmm_int, void* p, vmm_int n) override {
      if (bytes == 0) std::memset(p, 0, n);
      bytes += n;
    }
  } reads;
  ASSERT_EQ(0, std::remove("dst.mmap"));
  ASSERT_EQ(0, symlink("/dev/null", "dst.mmap"));
  writeVMMToDisc(&reads, 1, 0xFFFFFFFF);
  EXPECT_EQ(0xFFFFFFFFu, reads.bytes);
  ASSERT_EQ(0, std::remove("dst.mmap"));
  ASSERT_EQ(0, mkdir("dst.mmap", 0755));  // cannot be opened: silence
  log.take();
  writeVMMToDisc(&vmm, 0, 1);
  EXPECT_EQ("", log.take());
}

}  // namespace
