#include "gcUf2File.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "gcLittleEndian.h"
#include "tools/segments.h"

namespace {

typedef std::uint64_t u64;

constexpr std::uint32_t kMagic0 = 0x0A324655, kMagic1 = 0x9E5D5157;
constexpr std::uint32_t kMagicEnd = 0x0AB16F30;
constexpr std::uint32_t kNotMainFlash = 0x1, kFileContainer = 0x1000,
                        kFamilyPresent = 0x2000;
constexpr std::size_t kBlock = 512, kMaxPayload = 476, kGroup = 256;

const struct {
  std::uint32_t iId;
  const char* pName;
  const char* pDescription;
} kFamilies[] = {
#include "gcUf2Families.inc"
};

std::string hex32(std::uint32_t v) {
  char text[12];
  std::snprintf(text, sizeof text, "0x%08X", v);
  return text;
}

// One numbering of blocks: 0..N-1 in file order, then maybe another.
struct Family {
  bool bHas;
  std::uint32_t iId;
  std::uint32_t iNext = 0, iCount = 0;
  bool bMain = false;  // holds a main-flash block
  std::string name() const {
    return bHas ? gcUf2File::describeFamily(iId) : "no family";
  }
};

struct Uf2Reader {
  gcImageLoad& load;
  const gcImageOptions& options;
  std::vector<Family> families;
  u64 iSkipped = 0;

  bool block(u64 iIndex, const unsigned char* p) {
    load.setContext("block " + std::to_string(iIndex) + ": ");
    if (getLe(p, 4) != kMagic0 || getLe(p + 4, 4) != kMagic1 ||
        getLe(p + 508, 4) != kMagicEnd)
      return load.fail("bad magic", false);
    const std::uint32_t iFlags = getLe(p + 8, 4), iAddr = getLe(p + 12, 4),
                        iSize = getLe(p + 16, 4), iNumber = getLe(p + 20, 4),
                        iCount = getLe(p + 24, 4);
    if (iFlags & kFileContainer)
      return load.fail("a file container (flag 0x1000), not an image", false);
    if (iSize > kMaxPayload)
      return load.fail(
          "payload of " + std::to_string(iSize) + " bytes, over 476", false);
    const bool bHas = iFlags & kFamilyPresent;
    const std::uint32_t iId = bHas ? getLe(p + 28, 4) : 0;
    auto f = std::find_if(families.begin(), families.end(), [&](auto& g) {
      return g.bHas == bHas && g.iId == iId;
    });
    if (f == families.end()) f = families.insert(f, Family{bHas, iId});
    if (f->iNext == f->iCount) f->iNext = 0, f->iCount = iCount;  // anew
    if (iNumber != f->iNext || iCount != f->iCount || iCount == 0)
      return load.fail(
          "block number " + std::to_string(iNumber) + " of " +
              std::to_string(iCount) + " where " + std::to_string(f->iNext) +
              " of " + std::to_string(f->iCount) + " comes (" + f->name() + ")",
          false);
    ++f->iNext;
    if (iFlags & kNotMainFlash) return ++iSkipped, true;
    f->bMain = true;
    if (u64{iAddr} + iSize > u64{1} << 32)
      return load.fail("data beyond address 0xFFFFFFFF", false);
    // Without a choice, the first family's bytes are staged: several fail
    // at the end, before their bytes could clash.
    const bool bTake =
        options.hasUf2Family()
            ? bHas && iId == options.getUf2Family()
            : &*f == &*std::find_if(families.begin(), families.end(),
                                    [](auto& g) { return g.bMain; });
    return !bTake || load.put(iAddr, p + 32, iSize);
  }

  // After the last block: numberings complete, one family chosen.
  bool end(gcImageInfo* pInfo) {
    load.setContext("");
    for (const Family& f : families)
      if (f.iNext != f.iCount)
        return load.fail("file ends after block number " +
                             std::to_string(f.iNext - 1) + " of " +
                             std::to_string(f.iCount) + " (" + f.name() + ")",
                         false);
    std::string list;
    const Family* pChosen = nullptr;
    int iMain = 0;
    for (const Family& f : families) {
      if (!f.bMain) continue;
      list += (iMain++ == 0 ? "" : ", ") + f.name();
      if (!options.hasUf2Family() ||
          (f.bHas && f.iId == options.getUf2Family()))
        pChosen = pChosen ? pChosen : &f;
    }
    if (options.hasUf2Family() && pChosen == nullptr)
      return load.fail("no block of family " +
                           gcUf2File::describeFamily(options.getUf2Family()) +
                           " (the file holds " +
                           (list.empty() ? "none" : list) + ")",
                       false);
    if (!options.hasUf2Family() && iMain > 1)
      return load.fail(
          "blocks of several families: " + list + "; choose one (@family=NAME)",
          false);
    std::string details =
        iMain > 1 ? "families " + list + "; loaded " + pChosen->name()
        : pChosen ? pChosen->name() == "no family" ? "no family"
                                                   : "family " + pChosen->name()
                  : "no main flash block";
    if (iSkipped != 0)
      details += "; " + std::to_string(iSkipped) + " block" +
                 (iSkipped == 1 ? "" : "s") + " not main flash skipped";
    pInfo->setDetails(details);
    return true;
  }
};

// The blocks a save writes: groups of 256 addresses with a written byte.
struct GroupCount : gcSegmentHandler {
  u64 iCount = 0, iLast = ~u64{0};
  bool handleSegment(vmm_int iFirst, u64 iLength, const char*) override {
    const u64 g0 = iFirst / kGroup, g1 = (iFirst + iLength - 1) / kGroup;
    iCount += g1 - g0 + (g0 != iLast);
    iLast = g1;
    return true;
  }
};

class Uf2Writer : public gcSegmentHandler {
 public:
  Uf2Writer(gcImageSave& save, const gcImageOptions& options, u64 iCount)
      : save_(save), options_(options), iCount_(iCount) {}
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    for (u64 a = iFirst, e = a + iLength; a < e;) {
      const u64 g = a & ~u64{kGroup - 1};
      if (g != iGroup_) {
        flush();
        iGroup_ = g;
        std::memset(group_, options_.getFillByte(), kGroup);
      }
      const u64 k = std::min<u64>(e - a, g + kGroup - a);
      std::memcpy(group_ + (a - g), pData + (a - iFirst), k);
      a += k;
      iBytes_ += k;
    }
    return save_.isOk();
  }
  // Writes the open group; call after the walk.
  void flush() {
    if (iGroup_ == ~u64{0}) return;
    auto* p = reinterpret_cast<unsigned char*>(save_.room(kBlock));
    const bool bFamily = options_.hasUf2Family();
    putLe(p, kMagic0, 4);
    putLe(p + 4, kMagic1, 4);
    putLe(p + 8, bFamily ? kFamilyPresent : 0, 4);
    putLe(p + 12, static_cast<std::uint32_t>(iGroup_), 4);
    putLe(p + 16, kGroup, 4);
    putLe(p + 20, static_cast<std::uint32_t>(iNumber_++), 4);
    putLe(p + 24, static_cast<std::uint32_t>(iCount_), 4);
    putLe(p + 28, bFamily ? options_.getUf2Family() : 0, 4);
    std::memcpy(p + 32, group_, kGroup);
    std::memset(p + 32 + kGroup, 0, kMaxPayload - kGroup);
    putLe(p + 508, kMagicEnd, 4);
    save_.advance(reinterpret_cast<char*>(p + kBlock));
    iGroup_ = ~u64{0};
  }
  u64 bytes() const { return iBytes_; }

 private:
  gcImageSave& save_;
  const gcImageOptions& options_;
  u64 iCount_;
  u64 iNumber_ = 0;
  u64 iGroup_ = ~u64{0};
  u64 iBytes_ = 0;
  unsigned char group_[kGroup];
};

}  // namespace

const char* gcUf2File::getTypeName() { return "UF2"; }

gcFileResult gcUf2File::loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                                  const gcImageOptions& options,
                                  gcImageInfo* pInfo) {
  gcImageLoad load(sFileName, pVMM, options);
  Uf2Reader reader{load, options, {}};
  gcImageInfo info;
  constexpr std::size_t kChunk = 1 << 16;
  u64 iOffset = 0;
  for (std::size_t n = kChunk; load.isOpen() && n == kChunk; iOffset += n) {
    const char* pData = nullptr;
    n = load.readAt(iOffset, kChunk, &pData);
    const auto* p = reinterpret_cast<const unsigned char*>(pData);
    for (std::size_t i = 0; i + kBlock <= n; i += kBlock)
      if (!reader.block((iOffset + i) / kBlock, p + i)) break;
    if (n % kBlock != 0 && load.isOpen()) {
      load.setContext("");
      load.fail("block " + std::to_string((iOffset + n) / kBlock) +
                    ": the file ends inside it (length not a multiple of 512)",
                false);
    }
    if (n == 0 && iOffset == 0) load.fail("no block (an empty file)", false);
  }
  if (load.isOpen()) reader.end(&info);
  return load.finish(info, pInfo);
}

gcFileResult gcUf2File::saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                                  const gcImageOptions& options,
                                  const gcImageInfo*) {
  gcImageSave save(sFileName, pVMM, options);
  if (!save.open()) return save.finish(0, 0);
  GroupCount count;
  forAllSegments(pVMM, &count, save.getFirst(), save.getLast(), 0x10000);
  Uf2Writer writer(save, options, count.iCount);
  forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 0x10000);
  writer.flush();
  return save.finish(writer.bytes(), 0);
}

bool gcUf2File::familyId(const std::string& sName, std::uint32_t* pId) {
  for (const auto& f : kFamilies) {
    if (sName.size() != std::strlen(f.pName)) continue;
    bool bSame = true;
    for (std::size_t i = 0; bSame && i < sName.size(); ++i)
      bSame = std::toupper(static_cast<unsigned char>(sName[i])) ==
              std::toupper(static_cast<unsigned char>(f.pName[i]));
    if (bSame) return *pId = f.iId, true;
  }
  const bool bHex = sName.size() > 2 && sName[0] == '0' &&
                    (sName[1] == 'x' || sName[1] == 'X');
  const std::size_t iDigits = sName.size() - (bHex ? 2 : 0);
  if (iDigits == 0 || iDigits > (bHex ? 8u : 10u)) return false;
  u64 v = 0;
  for (std::size_t i = bHex ? 2 : 0; i < sName.size(); ++i) {
    const int c = std::tolower(static_cast<unsigned char>(sName[i]));
    const int d = c >= '0' && c <= '9'           ? c - '0'
                  : bHex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
    if (d < 0) return false;
    v = v * (bHex ? 16 : 10) + d;
  }
  if (v > 0xFFFFFFFF) return false;
  *pId = static_cast<std::uint32_t>(v);
  return true;
}

const char* gcUf2File::familyName(std::uint32_t iId) {
  for (const auto& f : kFamilies)
    if (f.iId == iId) return f.pName;
  return nullptr;
}

std::string gcUf2File::describeFamily(std::uint32_t iId) {
  const char* pName = familyName(iId);
  return pName ? std::string(pName) + " (" + hex32(iId) + ")" : hex32(iId);
}
