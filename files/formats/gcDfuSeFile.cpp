#include "gcDfuSeFile.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "gcLittleEndian.h"
#include "tools/segments.h"

namespace {

typedef std::uint64_t u64;

constexpr u64 kPrefix = 11, kTargetPrefix = 274, kElement = 8, kSuffix = 16;
constexpr std::size_t kName = 255;
constexpr std::uint32_t kBcdDfu = 0x011A;

std::string hex(std::uint32_t v, int iDigits) {
  char text[12];
  std::snprintf(text, sizeof text, "0x%0*X", iDigits, v);
  return text;
}

struct Target {
  u64 iOffset;  // of its elements
  unsigned int iAlt;
  std::string sName;  // empty when not named
  u64 iSize;
  std::uint32_t iElements;
  std::string describe() const {
    return "alt " + std::to_string(iAlt) +
           (sName.empty() ? " (unnamed)" : " '" + sName + "'");
  }
};

// Reads the file through the load's buffer; every read is checked.
struct DfuReader {
  gcImageLoad& load;
  u64 iImageEnd = 0;  // where the suffix begins

  // n bytes at iOffset, at most the buffer's; null after an error.
  const unsigned char* at(u64 iOffset, std::size_t n, const char* pWhat) {
    const char* p = nullptr;
    if (iOffset + n > iImageEnd || load.readAt(iOffset, n, &p) != n) {
      load.fail(std::string(pWhat) + " runs past the end of the image", false);
      return nullptr;
    }
    return reinterpret_cast<const unsigned char*>(p);
  }

  // The suffix and its CRC over the whole file; sets iImageEnd.
  bool suffix(gcImageInfo* pInfo) {
    u64 iSize = 0;
    if (!load.getSize(&iSize)) return false;
    if (iSize < kPrefix + kSuffix)
      return load.fail("too short for a DfuSe prefix and a DFU suffix", false);
    uLong iCrc = crc32(0, Z_NULL, 0);
    const char* p = nullptr;
    for (u64 o = 0; o < iSize - 4;) {
      const std::size_t n =
          load.readAt(o, std::min<u64>(iSize - 4 - o, 1 << 16), &p);
      if (n == 0) return load.fail("read error", false);
      iCrc =
          crc32(iCrc, reinterpret_cast<const Bytef*>(p), static_cast<uInt>(n));
      o += n;
    }
    iImageEnd = iSize;
    const unsigned char* s = at(iSize - kSuffix, kSuffix, "suffix");
    if (s == nullptr) return false;
    load.setContext("DFU suffix: ");
    if (std::memcmp(s + 8, "UFD", 3) != 0)
      return load.fail("no 'UFD' signature", false);
    if (s[11] != kSuffix)
      return load.fail("length " + std::to_string(s[11]) + ", not 16", false);
    if (getLe(s + 6, 2) != kBcdDfu)
      return load.fail(
          "DFU version " + hex(getLe(s + 6, 2), 4) + ", not 0x011A (DfuSe)",
          false);
    const std::uint32_t iWant = ~static_cast<std::uint32_t>(iCrc);
    if (getLe(s + 12, 4) != iWant)
      return load.fail("CRC " + hex(getLe(s + 12, 4), 8) + ", the file's is " +
                           hex(iWant, 8),
                       false);
    pInfo->setDetails("VID " + hex(getLe(s + 4, 2), 4) + ", PID " +
                      hex(getLe(s + 2, 2), 4) + ", device " +
                      hex(getLe(s, 2), 4));
    load.setContext("");
    iImageEnd = iSize - kSuffix;
    return true;
  }

  // The prefix and every target's prefix and size.
  bool targets(std::vector<Target>* pTargets) {
    const unsigned char* p = at(0, kPrefix, "prefix");
    if (p == nullptr) return false;
    load.setContext("prefix: ");
    if (std::memcmp(p, "DfuSe", 5) != 0)
      return load.fail("no 'DfuSe' signature", false);
    if (p[5] != 1)
      return load.fail("version " + std::to_string(p[5]) + ", not 1", false);
    if (getLe(p + 6, 4) != iImageEnd)
      return load.fail("image size " + std::to_string(getLe(p + 6, 4)) +
                           ", the file holds " + std::to_string(iImageEnd),
                       false);
    const unsigned int iTargets = p[10];
    u64 o = kPrefix;
    for (unsigned int t = 0; t < iTargets; ++t) {
      load.setContext("target " + std::to_string(t) + ": ");
      p = at(o, kTargetPrefix, "target prefix");
      if (p == nullptr) return false;
      if (std::memcmp(p, "Target", 6) != 0)
        return load.fail("no 'Target' signature", false);
      Target target{o + kTargetPrefix, p[6], "", getLe(p + 266, 4),
                    getLe(p + 270, 4)};
      if (getLe(p + 7, 4) != 0)
        target.sName.assign(
            reinterpret_cast<const char*>(p + 11),
            strnlen(reinterpret_cast<const char*>(p + 11), kName));
      if (target.iOffset + target.iSize > iImageEnd)
        return load.fail("size " + std::to_string(target.iSize) +
                             " runs past the end of the image",
                         false);
      o = target.iOffset + target.iSize;
      pTargets->push_back(target);
    }
    load.setContext("");
    if (o != iImageEnd)
      return load.fail(
          std::to_string(iImageEnd - o) + " bytes after the last target",
          false);
    return true;
  }

  // The target's elements, staged when bTake.
  bool elements(const Target& target, unsigned int t, bool bTake) {
    u64 o = target.iOffset;
    const u64 iEnd = o + target.iSize;
    for (std::uint32_t e = 0; e < target.iElements; ++e) {
      load.setContext("target " + std::to_string(t) + ": element " +
                      std::to_string(e) + ": ");
      if (iEnd - o < kElement)
        return load.fail("header runs past the target", false);
      const unsigned char* p = at(o, kElement, "header");
      if (p == nullptr) return false;
      const std::uint32_t iAddr = getLe(p, 4), iSize = getLe(p + 4, 4);
      o += kElement;
      if (iSize > iEnd - o)
        return load.fail(
            "size " + std::to_string(iSize) + " runs past the target", false);
      if (u64{iAddr} + iSize > u64{1} << 32)
        return load.fail("data beyond address 0xFFFFFFFF", false);
      for (u64 i = 0; bTake && i < iSize;) {
        const std::size_t n = std::min<u64>(iSize - i, 1 << 16);
        if ((p = at(o + i, n, "data")) == nullptr || !load.put(iAddr + i, p, n))
          return false;
        i += n;
      }
      o += iSize;
    }
    load.setContext("target " + std::to_string(t) + ": ");
    if (o != iEnd)
      return load.fail(
          std::to_string(iEnd - o) + " bytes after the last element", false);
    load.setContext("");
    return true;
  }
};

class DfuWriter : public gcSegmentHandler {
 public:
  DfuWriter(gcImageSave& save, const std::vector<gcRun>& runs)
      : save_(save), runs_(runs) {}
  void emit(const void* pData, std::size_t n) {
    char* p = save_.room(n);
    std::memcpy(p, pData, n);
    save_.advance(p + n);
    iCrc_ =
        crc32(iCrc_, static_cast<const Bytef*>(pData), static_cast<uInt>(n));
  }
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    if (iRun_ < runs_.size() && runs_[iRun_].iFirst == iFirst) {
      unsigned char head[kElement];
      putLe(putLe(head, iFirst, 4),
            static_cast<std::uint32_t>(runs_[iRun_].iLength), 4);
      emit(head, kElement);
      ++iRun_;
    }
    emit(pData, iLength);
    iBytes_ += iLength;
    return save_.isOk();
  }
  std::uint32_t crc() const { return ~static_cast<std::uint32_t>(iCrc_); }
  u64 bytes() const { return iBytes_; }

 private:
  gcImageSave& save_;
  const std::vector<gcRun>& runs_;
  std::size_t iRun_ = 0;
  uLong iCrc_ = crc32(0, Z_NULL, 0);
  u64 iBytes_ = 0;
};

}  // namespace

const char* gcDfuSeFile::getTypeName() { return "DfuSe"; }

gcFileResult gcDfuSeFile::loadImage(const std::string& sFileName,
                                    gcVMMBase* pVMM,
                                    const gcImageOptions& options,
                                    gcImageInfo* pInfo) {
  gcImageLoad load(sFileName, pVMM, options);
  gcImageInfo info;
  DfuReader reader{load};
  std::vector<Target> targets;
  if (!load.isOpen() || !reader.suffix(&info) || !reader.targets(&targets))
    return load.finish(info, pInfo);
  std::string list;
  bool bFound = false;
  for (const Target& t : targets) {
    list += (list.empty() ? "" : ", ") + t.describe();
    bFound = bFound || t.iAlt == options.getDfuAlt();
  }
  info.setDetails(info.getDetails() + "; target" +
                  (targets.size() == 1 ? " " : "s ") + list);
  if (options.hasDfuAlt() && !bFound) {
    load.fail("no target of alternate setting " +
                  std::to_string(options.getDfuAlt()) + " (the file holds " +
                  (list.empty() ? "none" : list) + ")",
              false);
  } else if (!options.hasDfuAlt() && targets.size() > 1) {
    load.fail("several targets: " + list + "; choose one (@alt=N)", false);
  }
  for (std::size_t t = 0; load.isOpen() && t < targets.size(); ++t)
    reader.elements(
        targets[t], static_cast<unsigned int>(t),
        !options.hasDfuAlt() || targets[t].iAlt == options.getDfuAlt());
  return load.finish(info, pInfo);
}

gcFileResult gcDfuSeFile::saveImage(const std::string& sFileName,
                                    gcVMMBase* pVMM,
                                    const gcImageOptions& options,
                                    const gcImageInfo*) {
  gcImageSave save(sFileName, pVMM, options);
  const std::vector<gcRun> runs =
      save.isOk() ? collectRuns(pVMM, save.getFirst(), save.getLast())
                  : std::vector<gcRun>();
  u64 iTargetSize = 0;
  for (const gcRun& run : runs) iTargetSize += kElement + run.iLength;
  const std::string& sName = options.getDfuName();
  if (options.getDfuAlt() > 255)
    save.fail("alternate setting must be 0 to 255");
  if (sName.size() > kName) save.fail("target name longer than 255 bytes");
  if (kPrefix + kTargetPrefix + iTargetSize > 0xFFFFFFFF)
    save.fail("image too large for a DfuSe file (4 GiB)");
  if (!save.open()) return save.finish(0, 0);
  DfuWriter writer(save, runs);
  unsigned char head[kPrefix + kTargetPrefix] = {};
  std::memcpy(head, "DfuSe\x01", 6);
  putLe(head + 6,
        static_cast<std::uint32_t>(kPrefix + kTargetPrefix + iTargetSize), 4);
  head[10] = 1;
  unsigned char* t = head + kPrefix;
  std::memcpy(t, "Target", 6);
  t[6] = static_cast<unsigned char>(options.getDfuAlt());
  putLe(t + 7, sName.empty() ? 0 : 1, 4);
  std::memcpy(t + 11, sName.data(), sName.size());
  putLe(t + 266, static_cast<std::uint32_t>(iTargetSize), 4);
  putLe(t + 270, static_cast<std::uint32_t>(runs.size()), 4);
  writer.emit(head, sizeof head);
  forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 0x10000);
  unsigned char suffix[kSuffix];
  unsigned char* s = putLe(suffix, options.getDfuDevice(), 2);
  s = putLe(s, options.getDfuProduct(), 2);
  s = putLe(s, options.getDfuVendor(), 2);
  s = putLe(s, kBcdDfu, 2);
  std::memcpy(s, "UFD\x10", 4);
  writer.emit(suffix, kSuffix - 4);
  putLe(s + 4, writer.crc(), 4);
  char* p = save.room(4);
  std::memcpy(p, s + 4, 4);
  save.advance(p + 4);
  return save.finish(writer.bytes(), 0);
}
