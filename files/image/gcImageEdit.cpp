#include "gcImageEdit.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/gcVMMBase.h"
#include "gcChecksum.h"
#include "tools/segments.h"

namespace {

typedef std::uint64_t u64;
constexpr u64 kEnd = u64{1} << 32;   // one past the address space
constexpr vmm_int kChunk = 0x10000;  // the walk's pieces and the fill's blocks

gcFileResult fail(const std::string& sReason) {
  return gcFileResult::failure("", 0, sReason);
}

std::string hex(u64 iValue) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llX",
                static_cast<unsigned long long>(iValue));
  return text;
}

bool hasModel(gcVMMBase* pVMM) {
  return pVMM != nullptr && pVMM->getPageSize() != 0;
}

// The reason an edit cannot read pSource and write into pTarget, or "".
std::string checkPair(gcVMMBase* pSource, gcVMMBase* pTarget) {
  if (!hasModel(pSource)) return "no VMM with a memory model to edit";
  vmm_int low, high;
  if (!hasModel(pTarget) || pTarget == pSource ||
      findWrittenBounds(pTarget, 0, kEnd - 1, &low, &high))
    return "no empty VMM with a memory model to write into";
  return "";
}

std::string checkRange(u64 iFirst, u64 iLast) {
  if (iLast >= kEnd)
    return "range end " + hex(iLast) + " beyond address 0xFFFFFFFF";
  if (iFirst > iLast)
    return "range " + hex(iFirst) + "-" + hex(iLast) + " is empty";
  return "";
}

// setBlock takes a writable buffer but only reads it.
void write(gcVMMBase* pVMM, u64 iAddr, const void* pData, u64 n) {
  pVMM->setBlock(static_cast<vmm_int>(iAddr), const_cast<void*>(pData),
                 static_cast<vmm_int>(n));
}

// A segment handler from a lambda.
template <class F>
struct Segments : gcSegmentHandler {
  explicit Segments(F f) : f(f) {}
  bool handleSegment(vmm_int a, std::uint64_t n, const char* p) override {
    return f(u64{a}, n, reinterpret_cast<const unsigned char*>(p));
  }
  F f;
};
template <class F>
bool walk(gcVMMBase* pVMM, u64 iFirst, u64 iLast, F f) {
  Segments<F> handler(f);
  return forAllSegments(pVMM, &handler, iFirst, iLast, kChunk);
}

// Sorted, disjoint and not touching: overlapping or adjacent ranges joined.
std::vector<gcAddressRange> normalise(std::vector<gcAddressRange> ranges) {
  std::sort(ranges.begin(), ranges.end(),
            [](const gcAddressRange& a, const gcAddressRange& b) {
              return a.iFirst < b.iFirst;
            });
  std::vector<gcAddressRange> out;
  for (const gcAddressRange& r : ranges)
    if (!out.empty() && r.iFirst <= out.back().iLast + 1)
      out.back().iLast = std::max(out.back().iLast, r.iLast);
    else
      out.push_back(r);
  return out;
}

// Copies the written bytes of pSource inside (bKeepInside) or outside the
// ranges into pTarget.
gcFileResult keep(gcVMMBase* pSource, const std::vector<gcAddressRange>& given,
                  gcVMMBase* pTarget, bool bKeepInside) {
  std::string sWhy = checkPair(pSource, pTarget);
  for (const gcAddressRange& r : given)
    if (sWhy.empty()) sWhy = checkRange(r.iFirst, r.iLast);
  if (!sWhy.empty()) return fail(sWhy);
  std::vector<gcAddressRange> kept = normalise(given);
  if (!bKeepInside) {  // the complement
    std::vector<gcAddressRange> gaps;
    u64 next = 0;
    for (const gcAddressRange& r : kept) {
      if (r.iFirst > next) gaps.push_back({next, r.iFirst - 1});
      next = r.iLast + 1;
    }
    if (next < kEnd) gaps.push_back({next, kEnd - 1});
    kept.swap(gaps);
  }
  for (const gcAddressRange& r : kept)
    walk(pSource, r.iFirst, r.iLast, [&](u64 a, u64 n, const unsigned char* p) {
      write(pTarget, a, p, n);
      return true;
    });
  return gcFileResult();
}

}  // namespace

namespace {

// Hands make(address, buffer, n) each piece of at most kChunk bytes of the
// holes from iFirst to iLast, and writes what it put in the buffer there.
template <class Make>
gcFileResult fillHoles(gcVMMBase* pVMM, u64 iFirst, u64 iLast, Make make) {
  if (!hasModel(pVMM)) return fail("no VMM with a memory model to edit");
  const std::string sWhy = checkRange(iFirst, iLast);
  if (!sWhy.empty()) return fail(sWhy);
  // The holes come from the walk, a bounded batch at a time, and are written
  // once the walk has ended: the VMM must not change under it.
  constexpr std::size_t kBatch = 1 << 16;
  std::vector<unsigned char> block(kChunk);
  std::vector<gcAddressRange> holes;
  for (u64 from = iFirst; from <= iLast;) {
    u64 next = from;
    holes.clear();
    const bool bDone = walk(pVMM, from, iLast, [&](u64 a, u64 n, auto) {
      if (a > next) holes.push_back({next, a - 1});
      next = a + n;
      return holes.size() < kBatch;
    });
    if (bDone && next <= iLast) holes.push_back({next, iLast});
    for (const gcAddressRange& h : holes)
      for (u64 a = h.iFirst; a <= h.iLast; a += kChunk) {
        const u64 n = std::min<u64>(kChunk, h.iLast - a + 1);
        make(a, block.data(), n);
        write(pVMM, a, block.data(), n);
      }
    if (bDone) break;
    from = next;
  }
  return gcFileResult();
}

}  // namespace

gcFileResult fillImage(gcVMMBase* pVMM, std::uint8_t iByte, u64 iFirst,
                       u64 iLast) {
  return fillHoles(pVMM, iFirst, iLast, [&](u64, unsigned char* p, u64 n) {
    std::memset(p, iByte, n);
  });
}

gcRandomBytes::gcRandomBytes() {
  // One 32-bit word seeds too few of the generator's states: take two.
  engine.seed(u64{std::random_device()()} << 32 | std::random_device()());
}

gcRandomBytes::gcRandomBytes(u64 iSeed) : engine(iSeed) {}

void gcRandomBytes::fill(unsigned char* p, std::size_t n) {
  // A stream of bytes: what one draw leaves over goes to the next call.
  for (; n > 0 && iLeft > 0; --n, --iLeft, iWord >>= 8)
    *p++ = static_cast<unsigned char>(iWord);
  for (; n >= 8; p += 8, n -= 8) {
    const u64 v = engine();
    for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> 8 * i);
  }
  if (n == 0) return;
  iWord = engine(), iLeft = 8;
  for (; n > 0; --n, --iLeft, iWord >>= 8)
    *p++ = static_cast<unsigned char>(iWord);
}

gcFileResult randomFillImage(gcVMMBase* pVMM, gcRandomBytes* pSource,
                             u64 iFirst, u64 iLast) {
  return fillHoles(pVMM, iFirst, iLast,
                   [&](u64, unsigned char* p, u64 n) { pSource->fill(p, n); });
}

gcFileResult patternFillImage(gcVMMBase* pVMM,
                              const std::vector<unsigned char>& pattern,
                              u64 iFirst, u64 iLast) {
  if (pattern.empty()) return fail("an empty fill pattern");
  const u64 k = pattern.size();
  return fillHoles(pVMM, iFirst, iLast, [&](u64 a, unsigned char* p, u64 n) {
    for (u64 i = 0, at = (a - iFirst) % k; i < n;
         ++i, at = at + 1 == k ? 0 : at + 1)
      p[i] = pattern[at];
  });
}

gcFileResult cropImage(gcVMMBase* pSource,
                       const std::vector<gcAddressRange>& ranges,
                       gcVMMBase* pTarget) {
  return keep(pSource, ranges, pTarget, true);
}

gcFileResult excludeImage(gcVMMBase* pSource,
                          const std::vector<gcAddressRange>& ranges,
                          gcVMMBase* pTarget) {
  return keep(pSource, ranges, pTarget, false);
}

gcFileResult moveImage(gcVMMBase* pSource, std::int64_t iDelta,
                       gcVMMBase* pTarget, gcImageInfo* pInfo) {
  const std::string sWhy = checkPair(pSource, pTarget);
  if (!sWhy.empty()) return fail(sWhy);
  const std::string sBy =
      "moving by " + std::string(iDelta < 0 ? "-" : "+") +
      hex(iDelta < 0 ? 0 - static_cast<u64>(iDelta) : static_cast<u64>(iDelta));
  auto outside = [&](u64 a) {
    return iDelta < 0 ? a < 0 - static_cast<u64>(iDelta)
                      : a + static_cast<u64>(iDelta) >= kEnd;
  };
  auto beyond = [&](const std::string& what, u64 a) {
    return fail(sBy + " takes " + what + hex(a) +
                (iDelta < 0 ? " below 0" : " beyond 0xFFFFFFFF"));
  };
  if (iDelta <= -static_cast<std::int64_t>(kEnd) ||
      iDelta >= static_cast<std::int64_t>(kEnd))
    return fail(sBy + " leaves the address space");
  vmm_int low = 0, high = 0;
  if (findWrittenBounds(pSource, 0, kEnd - 1, &low, &high)) {
    if (outside(iDelta < 0 ? low : high))
      return beyond("address ", iDelta < 0 ? low : high);
  }
  const bool bStart = pInfo != nullptr && pInfo->hasStartAddress();
  if (bStart && outside(pInfo->getLinearStartAddress()))
    return beyond("the start address ", pInfo->getLinearStartAddress());
  walk(pSource, 0, kEnd - 1, [&](u64 a, u64 n, const unsigned char* p) {
    write(pTarget, a + static_cast<u64>(iDelta), p, n);  // wraps back in range
    return true;
  });
  if (bStart) {
    const u64 cs = pInfo->getStartAddress() >> 16;
    const std::int64_t segments = iDelta / 16;
    if (pInfo->isSegmentedStart() && iDelta % 16 == 0 &&
        static_cast<std::int64_t>(cs) + segments >= 0 &&
        static_cast<std::int64_t>(cs) + segments <= 0xFFFF)
      pInfo->setStartAddress(
          static_cast<std::uint32_t>((cs + segments) << 16 |
                                     (pInfo->getStartAddress() & 0xFFFF)),
          true);
    else
      pInfo->setStartAddress(static_cast<std::uint32_t>(
          pInfo->getLinearStartAddress() + static_cast<u64>(iDelta)));
  }
  return gcFileResult();
}

gcFileResult mergeImage(gcVMMBase* pSource, gcVMMBase* pTarget,
                        gcOverlap eOverlap) {
  if (!hasModel(pSource) || !hasModel(pTarget) || pSource == pTarget)
    return fail("no two VMMs with a memory model to merge");
  if (eOverlap == kOverlapIgnore) {
    // Only the target's holes under each run of the source's; the target is
    // not written while it is walked.
    std::vector<gcRun> holes;
    walk(pSource, 0, kEnd - 1, [&](u64 a, u64 n, const unsigned char* p) {
      u64 iNext = a;
      holes.clear();
      walk(pTarget, a, a + n - 1, [&](u64 b, u64 m, const unsigned char*) {
        if (b > iNext)
          holes.push_back({static_cast<vmm_int>(iNext), b - iNext});
        iNext = b + m;
        return true;
      });
      if (iNext < a + n)
        holes.push_back({static_cast<vmm_int>(iNext), a + n - iNext});
      for (const gcRun& hole : holes)
        write(pTarget, hole.iFirst, p + (hole.iFirst - a), hole.iLength);
      return true;
    });
    return gcFileResult();
  }
  u64 iClash = kEnd;
  // The target's written bytes under each run of the source's.
  if (eOverlap == kOverlapError)
    walk(pSource, 0, kEnd - 1, [&](u64 a, u64 n, const unsigned char* p) {
      return walk(pTarget, a, a + n - 1,
                  [&](u64 b, u64 m, const unsigned char* q) {
                    const unsigned char* pFrom = p + (b - a);
                    const auto d = std::mismatch(q, q + m, pFrom);
                    if (d.first == q + m) return true;
                    iClash = b + static_cast<u64>(d.first - q);
                    return false;
                  });
    });
  if (iClash != kEnd)
    return fail("address " + hex(iClash) + " already holds another value");
  walk(pSource, 0, kEnd - 1, [&](u64 a, u64 n, const unsigned char* p) {
    write(pTarget, a, p, n);
    return true;
  });
  return gcFileResult();
}

gcFileResult swapImage(gcVMMBase* pSource, unsigned int iGroup,
                       gcVMMBase* pTarget) {
  const std::string sWhy = checkPair(pSource, pTarget);
  if (!sWhy.empty()) return fail(sWhy);
  if (iGroup != 2 && iGroup != 4 && iGroup != 8)
    return fail("byte swap of " + std::to_string(iGroup) +
                " bytes (2, 4 or 8)");
  const u64 m = iGroup - 1;
  std::vector<unsigned char> out;
  walk(pSource, 0, kEnd - 1, [&](u64 a, u64 n, const unsigned char* p) {
    // A piece within one group lands mirrored and whole; the full groups
    // between the ends keep their addresses.
    auto part = [&](u64 from, u64 to) {  // [from, to) inside one group
      out.assign(p + (from - a), p + (to - a));
      std::reverse(out.begin(), out.end());
      write(pTarget, ((to - 1) ^ m), out.data(), out.size());
    };
    const u64 end = a + n;
    u64 head = std::min(end, (a | m) + 1);
    if ((a & m) != 0 || head - a < iGroup)
      part(a, head);
    else
      head = a;
    const u64 tail = std::max(head, end & ~m);
    if (tail > head) {
      out.assign(p + (head - a), p + (tail - a));
      for (u64 g = 0; g < out.size(); g += iGroup)
        std::reverse(out.begin() + g, out.begin() + g + iGroup);
      write(pTarget, head, out.data(), out.size());
    }
    if (end > tail) part(tail, end);
    return true;
  });
  return gcFileResult();
}

namespace {

// Writes n bytes at iAt unless a written byte there differs and not
// bOverwrite; sName prefixes the messages.
gcFileResult putBytes(gcVMMBase* pVMM, const std::string& sName, u64 iAt,
                      const unsigned char* pBytes, u64 n, bool bOverwrite) {
  if (!bOverwrite) {
    u64 clash = kEnd;
    walk(pVMM, iAt, iAt + n - 1, [&](u64 a, u64 m, const unsigned char* p) {
      const auto d = std::mismatch(p, p + m, pBytes + (a - iAt));
      if (d.first == p + m) return true;
      clash = a + static_cast<u64>(d.first - p);
      return false;
    });
    if (clash != kEnd)
      return fail(sName + "address " + hex(clash) +
                  " already holds another value");
  }
  write(pVMM, iAt, pBytes, n);
  return gcFileResult();
}

std::string pastTheEnd(u64 iAt, u64 n) {
  return hex(iAt) + " + " + std::to_string(n) +
         " bytes runs past address 0xFFFFFFFF";
}

}  // namespace

namespace {

// The value of a known algorithm over a checked range, as it is written.
gcFileResult computeChecksum(gcVMMBase* pVMM, const gcChecksumAlgorithm& a,
                             const std::string& sName, u64 iFirst, u64 iLast,
                             std::vector<unsigned char>* pBytes) {
  typedef gcChecksumAlgorithm A;
  if (a.kind == A::kStm32 && (iFirst % 4 != 0 || (iLast - iFirst + 1) % 4 != 0))
    return fail(sName +
                "the range must be whole 32-bit words from a "
                "multiple of 4");
  if (a.kind < A::kLength) {
    gcChecksumState state(a);
    u64 next = iFirst;
    walk(pVMM, iFirst, iLast, [&](u64 at, u64 n, const unsigned char* p) {
      if (at != next) return false;
      state.add(p, n);
      next = at + n;
      return true;
    });
    if (next <= iLast)
      return fail(sName + "the range has a hole at " + hex(next) +
                  ": fill it first");
    *pBytes = state.bytes();
    return gcFileResult();
  }
  u64 iValue = iLast - iFirst + 1;
  std::string what = "the range's " + std::to_string(iValue) + " bytes";
  if (a.kind != A::kLength) {
    vmm_int low = 0, high = 0;
    if (!findWrittenBounds(pVMM, iFirst, iLast, &low, &high))
      return fail(sName + "no written byte from " + hex(iFirst) + " to " +
                  hex(iLast));
    iValue = a.kind == A::kLowest ? u64{low} : u64{high} + 1;
    what = (a.kind == A::kLowest ? "the lowest address " : "the end ") +
           hex(iValue);
  }
  if (iValue >> 8 * a.iWidth != 0)
    return fail(sName + what + " do" + (a.kind == A::kLength ? "" : "es") +
                " not fit in " + std::to_string(8 * a.iWidth) + " bits");
  pBytes->resize(a.iWidth);
  storeValue(iValue, a.iWidth, a.bBigEndian, pBytes->data());
  return gcFileResult();
}

}  // namespace

gcFileResult checksumValue(gcVMMBase* pVMM, const std::string& sAlgorithm,
                           u64 iFirst, u64 iLast,
                           std::vector<unsigned char>* pBytes) {
  gcChecksumAlgorithm algorithm;
  std::string sWhy;
  if (!findChecksum(sAlgorithm, &algorithm, &sWhy)) return fail(sWhy);
  if (!hasModel(pVMM)) return fail("no VMM with a memory model to read");
  sWhy = checkRange(iFirst, iLast);
  if (!sWhy.empty()) return fail(sAlgorithm + ": " + sWhy);
  return computeChecksum(pVMM, algorithm, sAlgorithm + ": ", iFirst, iLast,
                         pBytes);
}

namespace {

// Why a stored value at iAt may not cover [iFirst, iLast], or "": what
// reads no byte may sit among those it describes.
std::string overlapWhy(const gcChecksumAlgorithm& algorithm, u64 iAt,
                       u64 iFirst, u64 iLast) {
  if (algorithm.kind >= gcChecksumAlgorithm::kLength || iAt > iLast ||
      iAt + algorithm.iWidth - 1 < iFirst)
    return std::string();
  return "the checksum at " + hex(iAt) + " overlaps the range it covers";
}

}  // namespace

gcFileResult checksumImage(gcVMMBase* pVMM, const std::string& sAlgorithm,
                           u64 iAt, u64 iFirst, u64 iLast, bool bOverwrite) {
  gcChecksumAlgorithm algorithm;
  std::string sWhy;
  if (!findChecksum(sAlgorithm, &algorithm, &sWhy)) return fail(sWhy);
  if (!hasModel(pVMM)) return fail("no VMM with a memory model to edit");
  const std::string sName = sAlgorithm + ": ";
  sWhy = checkRange(iFirst, iLast);
  if (!sWhy.empty()) return fail(sName + sWhy);
  const u64 w = algorithm.iWidth;
  if (iAt + w > kEnd) return fail(sName + pastTheEnd(iAt, w));
  sWhy = overlapWhy(algorithm, iAt, iFirst, iLast);
  if (!sWhy.empty()) return fail(sName + sWhy);
  std::vector<unsigned char> value;
  const gcFileResult computed =
      computeChecksum(pVMM, algorithm, sName, iFirst, iLast, &value);
  if (!computed.isOk()) return computed;
  return putBytes(pVMM, sName, iAt, value.data(), w, bOverwrite);
}

gcFileResult verifyChecksum(gcVMMBase* pVMM, const std::string& sAlgorithm,
                            u64 iAt, bool bRange, u64 iFirst, u64 iLast,
                            gcChecksumCheck* pCheck) {
  gcChecksumAlgorithm algorithm;
  std::string sWhy;
  if (!findChecksum(sAlgorithm, &algorithm, &sWhy)) return fail(sWhy);
  if (!hasModel(pVMM)) return fail("no VMM with a memory model to read");
  const std::string sName = sAlgorithm + ": ";
  const u64 w = algorithm.iWidth;
  if (iAt + w > kEnd) return fail(sName + pastTheEnd(iAt, w));
  std::vector<unsigned char> stored(w);
  u64 next = iAt;
  walk(pVMM, iAt, iAt + w - 1, [&](u64 a, u64 n, const unsigned char* p) {
    if (a != next) return false;
    std::copy(p, p + n, stored.begin() + (a - iAt));
    next = a + n;
    return true;
  });
  if (next < iAt + w)
    return fail(sName + "no stored value at " + hex(iAt) + ": " + hex(next) +
                " is a hole");
  if (!bRange) {
    vmm_int low = 0, high = 0;
    findWrittenBounds(pVMM, 0, kEnd - 1, &low, &high);
    iFirst = low, iLast = high;
    // checksumImage wrote it beside the bytes it covers: they were the range.
    if (iAt == iFirst) iFirst += w;
    if (iAt + w - 1 == iLast) iLast = iAt - 1;
    if (iFirst > iLast || iLast >= kEnd)
      return fail(sName + "no written byte beside the stored value");
  }
  sWhy = checkRange(iFirst, iLast);
  if (sWhy.empty()) sWhy = overlapWhy(algorithm, iAt, iFirst, iLast);
  if (!sWhy.empty()) return fail(sName + sWhy);
  std::vector<unsigned char> computed;
  const gcFileResult result =
      computeChecksum(pVMM, algorithm, sName, iFirst, iLast, &computed);
  if (!result.isOk()) return result;
  pCheck->bOk = computed == stored;
  pCheck->stored = std::move(stored);
  pCheck->computed = std::move(computed);
  pCheck->iFirst = iFirst, pCheck->iLast = iLast;
  return result;
}

const std::vector<std::string>& checksumNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> all;
    for (const gcChecksumAlgorithm& a : checksumAlgorithms())
      all.push_back(a.sName);
    std::size_t n = 0;
    const gcCrcModel* pModels = crcCatalogue(&n);
    for (std::size_t i = 0; i < n; ++i) {
      std::string name = pModels[i].sNames;
      name = name.substr(0, name.find('|'));
      for (char& c : name) c = static_cast<char>(std::tolower(c));
      all.push_back(name + "-le");
      all.push_back(name + "-be");
    }
    return all;
  }();
  return names;
}

unsigned int checksumWidth(const std::string& sAlgorithm) {
  gcChecksumAlgorithm algorithm;
  std::string sWhy;
  return findChecksum(sAlgorithm, &algorithm, &sWhy) ? algorithm.iWidth : 0;
}

gcFileResult checkChecksumName(const std::string& sAlgorithm) {
  gcChecksumAlgorithm algorithm;
  std::string sWhy;
  return findChecksum(sAlgorithm, &algorithm, &sWhy) ? gcFileResult()
                                                     : fail(sWhy);
}

std::string checksumList() { return describeChecksums(); }

gcFileResult parseValue(const std::string& sValue,
                        std::vector<unsigned char>* pBytes) {
  pBytes->clear();
  const std::size_t colon = sValue.find(':');
  const std::string type = sValue.substr(0, colon);
  const std::string text =
      colon == std::string::npos ? "" : sValue.substr(colon + 1);
  if (colon == std::string::npos)
    return fail("bad value '" + sValue +
                "' (TYPE:VALUE; TYPE u8, u16le, u16be, u32le, u32be, u64le, "
                "u64be, bytes, text or textz)");
  if (type == "text" || type == "textz") {
    pBytes->assign(text.begin(), text.end());
    if (type == "textz") pBytes->push_back(0);
  } else if (type == "bytes") {
    if (text.size() % 2 != 0)
      return fail("bad value '" + sValue + "': an odd number of hex digits");
    for (std::size_t i = 0; i < text.size(); i += 2) {
      const std::string pair = text.substr(i, 2);
      if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return fail("bad value '" + sValue + "': '" + pair +
                    "' is not a hex byte");
      pBytes->push_back(
          static_cast<unsigned char>(std::stoul(pair, nullptr, 16)));
    }
  } else {
    unsigned int bytes = 0;
    bool bBig = false;
    for (unsigned int w : {1u, 2u, 4u, 8u})
      for (const char* order : {"le", "be", ""}) {
        const std::string name =
            "u" + std::to_string(8 * w) + (w == 1 ? "" : order);
        if ((w == 1) == (*order == 0) && name == type)
          bytes = w, bBig = std::string(order) == "be";
      }
    if (bytes == 0)
      return fail("bad value '" + sValue + "': unknown type '" + type + "'");
    std::uint64_t v = 0;
    const gcNumberParse parse = parseUnsigned(text, &v);
    if (parse == kNotNumber)
      return fail("bad value '" + sValue + "': not a number");
    const bool bFits = parse == kNumber;
    if (!bFits || (bytes < 8 && v >> 8 * bytes != 0))
      return fail("bad value '" + sValue + "': " + text + " does not fit in " +
                  std::to_string(8 * bytes) + " bits");
    pBytes->resize(bytes);
    storeValue(v, bytes, bBig, pBytes->data());
  }
  if (pBytes->empty())
    return fail("bad value '" + sValue + "': no bytes to write");
  return gcFileResult();
}

gcFileResult setImage(gcVMMBase* pVMM, const std::string& sValue, u64 iAt,
                      bool bOverwrite) {
  if (!hasModel(pVMM)) return fail("no VMM with a memory model to edit");
  std::vector<unsigned char> bytes;
  gcFileResult r = parseValue(sValue, &bytes);
  if (!r.isOk()) return r;
  const std::string sName = sValue.substr(0, sValue.find(':')) + ": ";
  if (iAt + bytes.size() > kEnd)
    return fail(sName + pastTheEnd(iAt, bytes.size()));
  return putBytes(pVMM, sName, iAt, bytes.data(), bytes.size(), bOverwrite);
}

gcFileResult alignImage(gcVMMBase* pVMM, std::uint32_t iAlign,
                        std::uint8_t iFill) {
  if (!hasModel(pVMM)) return fail("no VMM with a memory model to edit");
  if (iAlign < 2 || iAlign > 0x100000 || (iAlign & (iAlign - 1)) != 0)
    return fail("alignment " + std::to_string(iAlign) +
                " is not a power of two from 2 to 1 MiB");
  const u64 m = iAlign - 1;
  std::vector<gcAddressRange> grown;
  walk(pVMM, 0, kEnd - 1, [&](u64 a, u64 n, const unsigned char*) {
    const u64 first = a & ~m, last = (a + n - 1) | m;
    if (!grown.empty() && first <= grown.back().iLast + 1)
      grown.back().iLast = std::max(grown.back().iLast, last);
    else
      grown.push_back({first, last});
    return true;
  });
  for (const gcAddressRange& r : grown) {
    gcFileResult result = fillImage(pVMM, iFill, r.iFirst, r.iLast);
    if (!result.isOk()) return result;
  }
  return gcFileResult();
}

namespace {

const unsigned char* bitReversed() {
  static const auto table = [] {
    std::array<unsigned char, 256> t{};
    for (unsigned int b = 0; b < 256; ++b)
      for (unsigned int i = 0; i < 8; ++i)
        t[b] = static_cast<unsigned char>(t[b] | ((b >> i & 1) << (7 - i)));
    return t;
  }();
  return table.data();
}

// The banks' bounds, or the reason they are out of bounds.
std::string checkBanks(const char* pWhat, std::uint32_t m, std::uint32_t o,
                       std::uint32_t w) {
  if (m >= 2 && w >= 1 && w < m && o <= m - w) return "";
  return std::string(pWhat) + " " + std::to_string(m) + ":" +
         std::to_string(o) + ":" + std::to_string(w) +
         ": MULTIPLE is at least 2, WIDTH at least 1 and below MULTIPLE, "
         "OFFSET + WIDTH at most MULTIPLE";
}

// A start address has no place in banks: dropped, said in a warning.
void dropStart(gcImageInfo* pInfo, const char* pWhat, gcFileResult* pResult) {
  if (pInfo == nullptr || !pInfo->hasStartAddress()) return;
  pResult->addWarning("", 0,
                      "the start address " +
                          hex(pInfo->getLinearStartAddress()) +
                          " does not survive " + pWhat + "; dropped");
  pInfo->clearStartAddress();
}

// Gathers bytes for a target into runs that go in as blocks.
class RunWriter {
 public:
  explicit RunWriter(gcVMMBase* pTarget) : pTarget_(pTarget) {}
  ~RunWriter() { flush(); }
  void put(u64 iAt, const unsigned char* p, u64 n) {
    if (iAt != iStart_ + bytes_.size() || bytes_.size() >= kChunk) flush();
    if (bytes_.empty()) iStart_ = iAt;
    bytes_.insert(bytes_.end(), p, p + n);
  }
  void flush() {
    if (!bytes_.empty()) write(pTarget_, iStart_, bytes_.data(), bytes_.size());
    bytes_.clear();
  }

 private:
  gcVMMBase* pTarget_;
  u64 iStart_ = 0;
  std::vector<unsigned char> bytes_;
};

}  // namespace

gcFileResult transformImage(gcVMMBase* pVMM, gcTransform eOp,
                            std::uint8_t iValue, u64 iFirst, u64 iLast) {
  if (!hasModel(pVMM)) return fail("no VMM with a memory model to edit");
  const std::string sWhy = checkRange(iFirst, iLast);
  if (!sWhy.empty()) return fail(sWhy);
  const unsigned char* pReversed = bitReversed();
  const unsigned char v = eOp == kNot ? 0xFF : iValue;
  std::vector<unsigned char> block(kChunk);
  unsigned char* p = block.data();
  // Runs first: the VMM must not change under a walk.
  for (const gcRun& run : collectRuns(pVMM, iFirst, iLast))
    for (u64 a = run.iFirst, end = run.iFirst + run.iLength; a < end;) {
      const u64 n = std::min<u64>(kChunk, end - a);
      pVMM->getBlock(static_cast<vmm_int>(a), p, static_cast<vmm_int>(n));
      if (eOp == kAnd)
        for (u64 i = 0; i < n; ++i) p[i] &= v;
      else if (eOp == kOr)
        for (u64 i = 0; i < n; ++i) p[i] |= v;
      else if (eOp == kBitReverse)
        for (u64 i = 0; i < n; ++i) p[i] = pReversed[p[i]];
      else
        for (u64 i = 0; i < n; ++i) p[i] ^= v;
      write(pVMM, a, p, n);
      a += n;
    }
  return gcFileResult();
}

gcFileResult unfillImage(gcVMMBase* pSource, std::uint8_t iByte, u64 iMinRun,
                         gcVMMBase* pTarget) {
  const std::string sWhy = checkPair(pSource, pTarget);
  if (!sWhy.empty()) return fail(sWhy);
  if (iMinRun < 1) return fail("unfill: a run of at least 1 byte");
  // A run of iByte is held back (where it began and its length) until it
  // ends: then it goes in, or stays out when long enough.
  RunWriter out(pTarget);
  u64 runAt = 0, runLength = 0, next = kEnd;
  const std::vector<unsigned char> same(kChunk, iByte);
  auto endRun = [&] {
    for (u64 k = 0; runLength < iMinRun && k < runLength; k += kChunk)
      out.put(runAt + k, same.data(), std::min<u64>(kChunk, runLength - k));
    runLength = 0;
  };
  walk(pSource, 0, kEnd - 1, [&](u64 a, u64 n, const unsigned char* p) {
    if (a != next) endRun();
    for (u64 i = 0; i < n;) {
      u64 j = i;
      while (j < n && p[j] == iByte) ++j;
      if (j > i) {
        if (runLength == 0) runAt = a + i;
        runLength += j - i;
      }
      if (j == n) break;
      endRun();
      for (i = j; j < n && p[j] != iByte;) ++j;
      out.put(a + i, p + i, j - i);
      i = j;
    }
    next = a + n;
    return true;
  });
  endRun();
  return gcFileResult();
}

gcFileResult splitImage(gcVMMBase* pSource, std::uint32_t m, std::uint32_t o,
                        std::uint32_t w, gcVMMBase* pTarget,
                        gcImageInfo* pInfo) {
  std::string sWhy = checkPair(pSource, pTarget);
  if (sWhy.empty()) sWhy = checkBanks("split", m, o, w);
  if (!sWhy.empty()) return fail(sWhy);
  gcFileResult result;
  {
    RunWriter out(pTarget);
    walk(pSource, 0, kEnd - 1, [&](u64 a, u64 n, const unsigned char* p) {
      const u64 end = a + n;
      for (u64 g = a / m; g * m < end; ++g) {
        const u64 lane = g * m + o;
        const u64 from = std::max(a, lane), to = std::min(end, lane + w);
        if (from < to)
          out.put(g * w + (from - lane), p + (from - a), to - from);
      }
      return true;
    });
  }
  dropStart(pInfo, "a split", &result);
  return result;
}

gcFileResult unsplitImage(gcVMMBase* pSource, std::uint32_t m, std::uint32_t o,
                          std::uint32_t w, gcVMMBase* pTarget,
                          gcImageInfo* pInfo) {
  std::string sWhy = checkPair(pSource, pTarget);
  if (sWhy.empty()) sWhy = checkBanks("unsplit", m, o, w);
  if (!sWhy.empty()) return fail(sWhy);
  auto to = [&](u64 a) { return a / w * m + o + a % w; };
  vmm_int low = 0, high = 0;
  if (findWrittenBounds(pSource, 0, kEnd - 1, &low, &high) && to(high) >= kEnd)
    return fail("unsplit " + std::to_string(m) + ":" + std::to_string(o) + ":" +
                std::to_string(w) + " takes address " + hex(high) + " to " +
                hex(to(high)) + ", past 0xFFFFFFFF");
  gcFileResult result;
  {
    RunWriter out(pTarget);
    walk(pSource, 0, kEnd - 1, [&](u64 a, u64 n, const unsigned char* p) {
      for (u64 x = a, end = a + n; x < end;) {
        const u64 k = std::min(end, (x / w + 1) * w) - x;
        out.put(to(x), p + (x - a), k);
        x += k;
      }
      return true;
    });
  }
  dropStart(pInfo, "an unsplit", &result);
  return result;
}
