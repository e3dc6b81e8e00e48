#include "gcImageCompare.h"

#include <algorithm>

namespace {

typedef std::uint64_t u64;

// Reads written bytes page by page, keeping the page at hand: a run of
// bytes costs one lookup per page. Gives no page memory.
class Reader {
 public:
  explicit Reader(gcVMMBase* pVMM) : pVMM_(pVMM) {}
  // The byte at iAddr. REQUIRES: it was written.
  unsigned char at(vmm_int iAddr) {
    if (iSize_ == 0 || iAddr - iBase_ >= iSize_) find(iAddr);
    return pData_[iAddr - iBase_];
  }

 private:
  void find(vmm_int iAddr) {
    gcVMMPage* pPage = pVMM_->getPage(iAddr);
    iSize_ = pVMM_->getPageSize();
    iBase_ = iAddr - iAddr % iSize_;
    pData_ = reinterpret_cast<const unsigned char*>(pPage->getPageBuffer());
  }
  gcVMMBase* pVMM_;
  const unsigned char* pData_ = nullptr;
  vmm_int iBase_ = 0, iSize_ = 0;
};

}  // namespace

const char* differenceName(gcDifference::Kind kind) {
  switch (kind) {
    case gcDifference::kOnlyA:
      return "only_a";
    case gcDifference::kOnlyB:
      return "only_b";
    default:
      return "values";
  }
}

std::vector<gcDifference> compareImages(gcVMMBase* pA, gcVMMBase* pB) {
  const std::vector<gcRun> a = collectRuns(pA), b = collectRuns(pB);
  std::vector<gcDifference> out;
  auto add = [&](gcDifference::Kind kind, u64 iFirst, u64 n) {
    gcDifference* pLast = out.empty() ? nullptr : &out.back();
    if (pLast != nullptr && pLast->kind == kind &&
        pLast->iFirst + pLast->iLength == iFirst)
      pLast->iLength += n;
    else
      out.push_back({kind, static_cast<vmm_int>(iFirst), n});
  };
  // Between two neighbouring run edges of either image, each image is all
  // written or all hole.
  std::vector<u64> edges;
  for (const auto* pRuns : {&a, &b})
    for (const gcRun& run : *pRuns) {
      edges.push_back(run.iFirst);
      edges.push_back(run.iFirst + run.iLength);
    }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  Reader readA(pA), readB(pB);
  std::size_t i = 0, j = 0;
  for (std::size_t k = 0; k + 1 < edges.size(); ++k) {
    const u64 first = edges[k], end = edges[k + 1];
    while (i < a.size() && a[i].iFirst + a[i].iLength <= first) ++i;
    while (j < b.size() && b[j].iFirst + b[j].iLength <= first) ++j;
    const bool bA = i < a.size() && a[i].iFirst <= first;
    const bool bB = j < b.size() && b[j].iFirst <= first;
    if (bA && !bB) add(gcDifference::kOnlyA, first, end - first);
    if (bB && !bA) add(gcDifference::kOnlyB, first, end - first);
    if (!bA || !bB) continue;
    for (u64 at = first; at < end; ++at) {
      const auto addr = static_cast<vmm_int>(at);
      if (readA.at(addr) != readB.at(addr)) add(gcDifference::kValues, at, 1);
    }
  }
  return out;
}
