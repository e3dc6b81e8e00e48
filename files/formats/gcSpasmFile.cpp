#include <cstdio>

#include "gcDataTextFiles.h"
#include "gcHexCodec.h"
#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "gcTextLines.h"

namespace {

typedef std::uint64_t u64;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// A line "AAAA DDDD": the word address and the word, up to 4 digits each.
bool readLine(gcImageLoad& load, bool bLittle, const char* p, std::size_t n) {
  std::size_t i = 0;
  while (i < n && isBlank(p[i])) ++i;
  if (i == n) return true;
  u64 v[2];
  for (int k = 0; k < 2; ++k) {
    const std::size_t iFrom = i;
    while (i < n && !isBlank(p[i])) ++i;
    if (!hexValue(p + iFrom, i - iFrom, &v[k]))
      return load.fail(k == 0 ? "bad word address" : "bad data word");
    if (v[k] > 0xFFFF)
      return load.fail(k == 0 ? "word address wider than 16 bits"
                              : "data word wider than 16 bits");
    while (i < n && isBlank(p[i])) ++i;
    if (k == 0 && i == n) return load.fail("no data word");
  }
  if (i != n) return load.fail("text after the data word");
  const unsigned char bytes[2] = {
      static_cast<unsigned char>(bLittle ? v[1] >> 8 : v[1]),
      static_cast<unsigned char>(bLittle ? v[1] : v[1] >> 8)};
  return load.put(v[0] * 2, bytes, 2);
}

class SpasmWriter : public gcSegmentHandler {
 public:
  SpasmWriter(gcImageSave& save, bool bLittle)
      : save_(save), bLittle_(bLittle) {}
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    if (!checkWholeWords(save_, iFirst, iLength, 2) ||
        !checkFits(save_, "data", u64{iFirst} + iLength - 1, 0x1FFFF, 17))
      return false;
    const std::uint16_t* pDigits = hexPairDigits();
    const auto* pByte = reinterpret_cast<const unsigned char*>(pData);
    for (u64 i = 0; i < iLength; i += 2) {
      char* p = save_.room(16);
      p += std::sprintf(p, "%04llX ",
                        static_cast<unsigned long long>((iFirst + i) / 2));
      p = encodeHex(p, pDigits, pByte[i + !bLittle_]);
      p = encodeHex(p, pDigits, pByte[i + bLittle_]);
      save_.advance(save_.lineEnd(p));
    }
    iBytes_ += iLength;
    return save_.isOk();
  }
  u64 bytes() const { return iBytes_; }

 private:
  gcImageSave& save_;
  bool bLittle_;
  u64 iBytes_ = 0;
};

class SpasmFile : public gcFileFormat {
 public:
  explicit SpasmFile(bool bLittle) : bLittle_(bLittle) {}
  const char* getTypeName() override {
    return bLittle_ ? "SPASM (little-endian)" : "SPASM (big-endian)";
  }
  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override {
    gcImageLoad load(sFileName, pVMM, options);
    const char* pLine = nullptr;
    std::size_t n = 0;
    while (load.isOpen() && load.nextLine(&pLine, &n))
      if (!readLine(load, bLittle_, pLine, n)) break;
    return load.finish(gcImageInfo(), pInfo);
  }
  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo*) override {
    gcImageSave save(sFileName, pVMM, options);
    if (!save.open()) return save.finish(0, 0);
    SpasmWriter writer(save, bLittle_);
    forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 1 << 16);
    return save.finish(writer.bytes(), 0);
  }

 private:
  bool bLittle_;
};

}  // namespace

gcFileFormat* newSpasmFile(bool bLittleEndian) {
  return new SpasmFile(bLittleEndian);
}
