#include <algorithm>
#include <cstdio>

#include "cli.h"

namespace cli {

namespace {

constexpr std::size_t kShown = 10;

struct Difference {
  vmm_int addr;
  int a, b;  // -1: not written
};

// The addresses written in one VMM whose byte the other lacks or holds with
// another value: all counted, the lowest kShown kept.
struct Compare : gcSegmentHandler {
  Compare(gcVMMBase* pOther, bool bOtherIsA)
      : other(pOther), bSwap(bOtherIsA) {}
  bool handleSegment(vmm_int iFirst, std::uint64_t iLength,
                     const char* pData) override {
    for (std::uint64_t i = 0; i < iLength; ++i) {
      const vmm_int addr = static_cast<vmm_int>(iFirst + i);
      const int mine = static_cast<unsigned char>(pData[i]);
      const int theirs = other.at(addr);
      if (theirs == mine || (bSwap && theirs >= 0)) continue;  // counted once
      ++iCount;
      if (shown.size() < kShown)
        shown.push_back(bSwap ? Difference{addr, theirs, mine}
                              : Difference{addr, mine, theirs});
    }
    return true;
  }
  Reader other;
  bool bSwap;  // this walk is over B: only what A lacks is new
  std::uint64_t iCount = 0;
  std::vector<Difference> shown;
};

std::string byteText(int value) {
  return value < 0 ? "unwritten" : hex(static_cast<unsigned>(value), 2);
}

}  // namespace

int cmp(Args& args) {
  std::vector<Input> inputs;
  const std::string option = args.next(&inputs);
  if (!option.empty()) throw UsageError("unknown option " + option);
  if (inputs.size() != 2) throw UsageError("cmp takes two inputs");
  Image a, b;
  load(&a, {inputs[0]}, false, args.loadOptions());
  load(&b, {inputs[1]}, false, args.loadOptions());
  Compare overA(b.vmm.get(), false), overB(a.vmm.get(), true);
  forAllSegments(a.vmm.get(), &overA, 0, 0xFFFFFFFF, 0x10000);
  forAllSegments(b.vmm.get(), &overB, 0, 0xFFFFFFFF, 0x10000);
  std::vector<Difference> shown = overA.shown;
  shown.insert(shown.end(), overB.shown.begin(), overB.shown.end());
  std::sort(
      shown.begin(), shown.end(),
      [](const Difference& x, const Difference& y) { return x.addr < y.addr; });
  shown.resize(std::min(shown.size(), kShown));
  const std::uint64_t iCount = overA.iCount + overB.iCount;
  std::printf("%llu address%s differ%s\n",
              static_cast<unsigned long long>(iCount), iCount == 1 ? "" : "es",
              iCount == 1 ? "s" : "");
  for (const Difference& d : shown)
    std::printf("  %s: %s vs %s\n", hex(d.addr).c_str(), byteText(d.a).c_str(),
                byteText(d.b).c_str());
  return iCount == 0 ? kOk : kDiffer;
}

}  // namespace cli
