#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli.h"

namespace cli {

namespace {

constexpr std::size_t kRangesShown = 20;
constexpr std::uint64_t kBytesShown = 8;

std::vector<int> firstBytes(gcImage& image, const gcDifference& d) {
  std::vector<int> bytes;
  for (std::uint64_t i = 0; i < d.iLength && i < kBytesShown; ++i)
    bytes.push_back(static_cast<unsigned char>(
        image.getVMM()->getByte(static_cast<vmm_int>(d.iFirst + i))));
  return bytes;
}

std::string byteText(const std::vector<int>& bytes, std::uint64_t iLength) {
  std::string text;
  for (const int b : bytes)
    text += (text.empty() ? "" : " ") + hex(b, 2).substr(2);
  return iLength > bytes.size() ? text + " ..." : text;
}

void printText(gcImage& a, gcImage& b, const std::vector<gcDifference>& ds) {
  for (std::size_t i = 0; i < ds.size() && i < kRangesShown; ++i) {
    const gcDifference& d = ds[i];
    std::printf("  %s-%s  %llu byte%s  ", hex(d.iFirst).c_str(),
                hex(d.iFirst + d.iLength - 1).c_str(),
                static_cast<unsigned long long>(d.iLength),
                d.iLength == 1 ? "" : "s");
    if (d.kind == gcDifference::kValues)
      std::printf("%s vs %s\n", byteText(firstBytes(a, d), d.iLength).c_str(),
                  byteText(firstBytes(b, d), d.iLength).c_str());
    else
      std::printf("only in %s\n", d.kind == gcDifference::kOnlyA ? "A" : "B");
  }
  if (ds.size() > kRangesShown)
    std::printf("  ... and %zu more ranges\n", ds.size() - kRangesShown);
}

void printJson(gcImage& a, gcImage& b, const std::vector<gcDifference>& ds,
               std::uint64_t iCount) {
  nlohmann::json ranges = nlohmann::json::array();
  for (const gcDifference& d : ds) {
    nlohmann::json range = {{"first", d.iFirst},
                            {"last", d.iFirst + d.iLength - 1},
                            {"length", d.iLength},
                            {"kind", differenceName(d.kind)}};
    if (d.kind == gcDifference::kValues) {
      range["a"] = firstBytes(a, d);
      range["b"] = firstBytes(b, d);
    }
    ranges.push_back(std::move(range));
  }
  const nlohmann::json out = {{"differing_addresses", iCount},
                              {"range_count", ds.size()},
                              {"ranges", std::move(ranges)}};
  std::printf("%s\n", out.dump().c_str());
}

}  // namespace

int cmp(Args& args) {
  std::vector<gcImageInput> inputs;
  bool bJson = false;
  for (std::string option; !(option = args.next(&inputs)).empty();) {
    if (option != "--json") throw UsageError("unknown option " + option);
    bJson = true;
  }
  if (inputs.size() != 2) throw UsageError("cmp takes two inputs");
  gcImage a, b;
  load(&a, {inputs[0]}, args.loadOptions());
  load(&b, {inputs[1]}, args.loadOptions());
  const std::vector<gcDifference> differences =
      compareImages(a.getVMM(), b.getVMM());
  std::uint64_t iCount = 0;
  for (const gcDifference& d : differences) iCount += d.iLength;
  if (bJson) {
    printJson(a, b, differences, iCount);
  } else {
    std::printf("%llu address%s differ%s\n",
                static_cast<unsigned long long>(iCount),
                iCount == 1 ? "" : "es", iCount == 1 ? "s" : "");
    printText(a, b, differences);
  }
  return iCount == 0 ? kOk : kDiffer;
}

}  // namespace cli
