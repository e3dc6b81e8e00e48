// writeMemoryMap's bytes, against the format its header documents, for a
// report far longer than the writer's buffer.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "../support/recording_vmm.h"

namespace {

// The documented format, written the plain way.
void run(std::ostringstream& os, vmm_int iFirst, vmm_int iCount,
         gcVMMBase* pVMM) {
  os << "- Address 0x" << std::hex << iFirst << " - \n";
  for (vmm_int i = 0; i < iCount; ++i) {
    const vmm_int a = iFirst + i;
    if (pVMM->isByteMapped(a))
      os << "0x"
         << std::uint32_t(
                std::int32_t(static_cast<signed char>(pVMM->getByte(a))))
         << " ";
    else
      os << "---- ";
    if (i % 16 == 15) os << "\n";
  }
}

TEST(MemoryMap, ReportHoldsEveryRunByteForByte) {
  char dir[] = "/tmp/dwxvmm-report.XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  char* pOld = getcwd(nullptr, 0);
  ASSERT_EQ(0, chdir(dir));

  gcVMM vmm;
  stderrOf([&] { vmm.setMemoryModell(new gcVMM32BitFast); });
  stderrOf([&] {
    for (vmm_int a = 0x20000; a < 0x23000; ++a)
      if (a % 61 != 7) vmm.setByte(a, char(a * 13));
    vmm.setByte(0xFFFFFFFF, char(0x80));
  });
  writeMemoryMap(&vmm);

  std::ostringstream expected;
  run(expected, 0, 0x1000, &vmm);
  expected << "\n\n";
  run(expected, 0x20000, 0x3000, &vmm);
  expected << "\n\n";
  run(expected, 0xFFFFF000, 0x1000, &vmm);  // ends with the top's entry
  std::ifstream in("vmm.mmap", std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)),
                         std::istreambuf_iterator<char>());
  EXPECT_GT(text.size(), std::size_t{1} << 16);
  EXPECT_EQ(expected.str(), text);

  unlink("vmm.mmap");
  EXPECT_EQ(0, chdir(pOld));
  free(pOld);
  rmdir(dir);
}

}  // namespace
