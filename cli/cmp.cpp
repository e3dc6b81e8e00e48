#include <cstdio>

#include "cli.h"

namespace cli {

namespace {

constexpr std::uint64_t kShown = 10;

std::string byteText(gcVMMBase* pVMM, vmm_int iAddr, bool bWritten) {
  return bWritten ? hex(static_cast<unsigned char>(pVMM->getByte(iAddr)), 2)
                  : "unwritten";
}

}  // namespace

int cmp(Args& args) {
  std::vector<gcImageInput> inputs;
  const std::string option = args.next(&inputs);
  if (!option.empty()) throw UsageError("unknown option " + option);
  if (inputs.size() != 2) throw UsageError("cmp takes two inputs");
  gcImage a, b;
  load(&a, {inputs[0]}, args.loadOptions());
  load(&b, {inputs[1]}, args.loadOptions());
  const std::vector<gcDifference> differences =
      compareImages(a.getVMM(), b.getVMM());
  std::uint64_t iCount = 0;
  for (const gcDifference& d : differences) iCount += d.iLength;
  std::printf("%llu address%s differ%s\n",
              static_cast<unsigned long long>(iCount), iCount == 1 ? "" : "es",
              iCount == 1 ? "s" : "");
  std::uint64_t iShown = 0;
  for (const gcDifference& d : differences)
    for (std::uint64_t i = 0; i < d.iLength && iShown < kShown; ++i, ++iShown) {
      const auto addr = static_cast<vmm_int>(d.iFirst + i);
      std::printf(
          "  %s: %s vs %s\n", hex(addr).c_str(),
          byteText(a.getVMM(), addr, d.kind != gcDifference::kOnlyB).c_str(),
          byteText(b.getVMM(), addr, d.kind != gcDifference::kOnlyA).c_str());
    }
  return iCount == 0 ? kOk : kDiffer;
}

}  // namespace cli
