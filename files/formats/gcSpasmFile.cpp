#include "gcDataTextFiles.h"
#include "gcHexCodec.h"
#include "gcTextFormat.h"

namespace {

typedef std::uint64_t u64;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

const char* typeName(bool bLittle) {
  return bLittle ? "SPASM (little-endian)" : "SPASM (big-endian)";
}

// Its addresses count its own words: a unit of the user's is refused.
struct SpasmReader : gcTextReader {
  SpasmReader(gcImageLoad& load, const gcImageOptions& options, bool bVariant)
      : gcTextReader(load, options, bVariant) {
    userUnit(load, typeName(bVariant), 2);
  }
  bool line(const char* p, std::size_t n);
};

// A line "AAAA DDDD": the word address and the word, up to 4 digits each.
bool SpasmReader::line(const char* p, std::size_t n) {
  const bool bLittle = bVariant;
  std::size_t i = 0;
  while (i < n && isBlank(p[i])) ++i;
  if (i == n) return true;
  u64 v[2];
  for (int k = 0; k < 2; ++k) {
    const std::size_t iFrom = i;
    while (i < n && !isBlank(p[i])) ++i;
    const gcHexField field = hexField(p + iFrom, i - iFrom, 4, &v[k]);
    if (field == gcHexField::kNotHex)
      return load.fail(k == 0 ? "bad word address" : "bad data word");
    if (field == gcHexField::kTooWide)
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

class SpasmWriter : public gcTextWriter {
 public:
  SpasmWriter(gcImageSave& save, const gcImageOptions& options,
              const gcImageInfo* pInfo, bool bVariant)
      : gcTextWriter(save, options, pInfo, bVariant) {
    userUnit(save, typeName(bVariant), 2);
  }
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    if (!checkWholeWords(save_, iFirst, iLength, 2) ||
        !checkFits(save_, iFirst, iLength, 0x20000))
      return false;
    const std::uint16_t* pDigits = hexPairDigits();
    const auto* pByte = reinterpret_cast<const unsigned char*>(pData);
    for (u64 i = 0; i < iLength; i += 2) {
      const u64 iWord = (iFirst + i) / 2;
      char* p = encodeHex(save_.room(16), pDigits, iWord >> 8 & 0xFF);
      p = encodeHex(p, pDigits, iWord & 0xFF);
      *p++ = ' ';
      p = encodeHex(p, pDigits, pByte[i + !bLittle_]);
      p = encodeHex(p, pDigits, pByte[i + bLittle_]);
      save_.advance(save_.lineEnd(p));
    }
    iBytes_ += iLength;
    return save_.isOk();
  }

 private:
  const bool bLittle_ = bVariant_;
};

}  // namespace

gcFileFormat* newSpasmFile(bool bLittleEndian) {
  return new gcTextFormat<SpasmReader, SpasmWriter>(typeName(bLittleEndian),
                                                    bLittleEndian);
}
