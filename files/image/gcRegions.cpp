#include "gcRegions.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "gcChecksum.h"
#include "tools/segments.h"

namespace {

typedef std::uint64_t u64;
constexpr u64 kEnd = u64{1} << 32;

std::string hex(u64 iValue) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llx",
                static_cast<unsigned long long>(iValue));
  return text;
}

// A number as --max-memory reads it: 0x hex or decimal, then K, M or G.
bool parseSize(std::string text, u64* pValue) {
  const std::string units = "KMG";
  const std::size_t unit = text.empty()
                               ? std::string::npos
                               : units.find(static_cast<char>(std::toupper(
                                     static_cast<unsigned char>(text.back()))));
  const unsigned shift = unit == std::string::npos ? 0 : 10 * (unit + 1);
  if (unit != std::string::npos) text.pop_back();
  u64 v = 0;
  if (parseUnsigned(text, &v) != kNumber || v > (kEnd << 8) >> shift)
    return false;
  *pValue = v << shift;
  return true;
}

std::string describe(const gcRegion& r) {
  return "'" + r.sName + "' (" + hex(r.iFirst) + "-" + hex(r.iLast) + ")";
}

// Region r from its name, its first address and its last or its size.
std::string makeRegion(const std::string& sName, const std::string& sFirst,
                       const std::string& sEnd, bool bSize, gcRegion* pOut) {
  u64 iFirst = 0, iEnd = 0;
  if (sName.empty()) return "no region name";
  if (!parseSize(sFirst, &iFirst) || iFirst >= kEnd)
    return "bad region start '" + sFirst + "'";
  if (!parseSize(sEnd, &iEnd))
    return "bad region " + std::string(bSize ? "size" : "end") + " '" + sEnd +
           "'";
  if (bSize && iEnd == 0) return "region '" + sName + "' is empty";
  const u64 iLast = bSize ? iFirst + iEnd - 1 : iEnd;
  if (iLast < iFirst) return "region '" + sName + "' ends before it starts";
  if (iLast >= kEnd)
    return "region '" + sName + "' runs past address 0xffffffff";
  *pOut = {sName, iFirst, iLast};
  return "";
}

gcFileResult fail(const std::string& sReason) {
  return gcFileResult::failure("", 0, sReason);
}

}  // namespace

gcFileResult parseRegion(const std::string& sText, gcRegion* pRegion) {
  const std::size_t eq = sText.find('=');
  // The separator is the first '-' or '+' after the start's first digit.
  const std::size_t sep =
      eq == std::string::npos ? eq : sText.find_first_of("-+", eq + 2);
  if (sep == std::string::npos)
    return fail("bad region '" + sText +
                "' (NAME=FIRST-LAST or NAME=FIRST+SIZE)");
  const std::string sWhy =
      makeRegion(sText.substr(0, eq), sText.substr(eq + 1, sep - eq - 1),
                 sText.substr(sep + 1), sText[sep] == '+', pRegion);
  return sWhy.empty() ? gcFileResult() : fail(sWhy);
}

gcFileResult loadRegions(const std::string& sPath,
                         std::vector<gcRegion>* pRegions) {
  std::ifstream in(sPath);
  if (!in) return gcFileResult::failure(sPath, 0, "cannot open");
  std::string line;
  for (u64 iLine = 1; std::getline(in, line); ++iLine) {
    std::istringstream fields(line.substr(0, line.find('#')));
    std::string name, first, size, extra;
    if (!(fields >> name)) continue;
    if (!(fields >> first >> size) || (fields >> extra))
      return gcFileResult::failure(sPath, iLine, "expected NAME FIRST SIZE");
    gcRegion r;
    const std::string sWhy = makeRegion(name, first, size, true, &r);
    if (!sWhy.empty()) return gcFileResult::failure(sPath, iLine, sWhy);
    pRegions->push_back(r);
  }
  if (in.bad()) return gcFileResult::failure(sPath, 0, "cannot read");
  return gcFileResult();
}

gcFileResult checkRegions(const std::vector<gcRegion>& regions) {
  std::vector<const gcRegion*> sorted;
  for (const gcRegion& r : regions) sorted.push_back(&r);
  std::sort(sorted.begin(), sorted.end(),
            [](const gcRegion* a, const gcRegion* b) {
              return a->iFirst < b->iFirst;
            });
  for (std::size_t i = 1; i < sorted.size(); ++i)
    if (sorted[i]->iFirst <= sorted[i - 1]->iLast)
      return fail("regions " + describe(*sorted[i - 1]) + " and " +
                  describe(*sorted[i]) + " overlap");
  for (std::size_t i = 0; i < regions.size(); ++i)
    for (std::size_t j = i + 1; j < regions.size(); ++j)
      if (regions[i].sName == regions[j].sName)
        return fail("regions " + describe(regions[i]) + " and " +
                    describe(regions[j]) + " share a name");
  return gcFileResult();
}

std::vector<u64> regionUsage(gcVMMBase* pVMM,
                             const std::vector<gcRegion>& regions) {
  std::vector<u64> used;
  for (const gcRegion& r : regions) {
    u64 n = 0;
    for (const gcRun& run : collectRuns(pVMM, r.iFirst, r.iLast))
      n += std::min<u64>(run.iFirst + run.iLength, r.iLast + 1) -
           std::max<u64>(run.iFirst, r.iFirst);
    used.push_back(n);
  }
  return used;
}

std::vector<gcAddressRange> outsideRegions(gcVMMBase* pVMM,
                                           const std::vector<gcRegion>& regions,
                                           u64 iFirst, u64 iLast) {
  std::vector<gcAddressRange> gaps, out;
  std::vector<gcRegion> sorted = regions;
  std::sort(
      sorted.begin(), sorted.end(),
      [](const gcRegion& a, const gcRegion& b) { return a.iFirst < b.iFirst; });
  u64 next = iFirst;
  for (const gcRegion& r : sorted) {
    if (r.iFirst > next) gaps.push_back({next, std::min(r.iFirst - 1, iLast)});
    next = std::max(next, r.iLast + 1);
    if (next > iLast) break;
  }
  if (next <= iLast) gaps.push_back({next, iLast});
  for (const gcAddressRange& gap : gaps) {
    if (gap.iFirst > gap.iLast) continue;
    for (const gcRun& run : collectRuns(pVMM, gap.iFirst, gap.iLast)) {
      const u64 a = std::max<u64>(run.iFirst, gap.iFirst);
      out.push_back(
          {a, std::min<u64>(run.iFirst + run.iLength - 1, gap.iLast)});
    }
  }
  return out;
}
