// IDT, Stewie and Wilson: S-record's count, address, data and one's
// complement check, in bytes instead of hex digits.
#include <algorithm>
#include <cstring>

#include "gcBinaryRecordFormats.h"

namespace {

typedef std::uint64_t u64;
typedef std::uint32_t u32;

enum Kind { kNone, kSignature, kHeader, kData, kCount, kEnd, kBareEnd };
struct Tag {
  unsigned char cTag;
  Kind eKind;
  unsigned int iAddressBytes;
};

struct Family {
  bool bWilson;  // one tag character, bytes encoded, a record a line
  Tag tags[9];
  const Tag* find(unsigned char c) const {
    for (const Tag& t : tags)
      if (t.eKind != kNone && t.cTag == c) return &t;
    return nullptr;
  }
};

const Family kIdtFamily = {false,
                           {{'0', kHeader, 2},
                            {'1', kData, 2},
                            {'2', kData, 3},
                            {'3', kData, 4},
                            {'5', kCount, 2},
                            {'6', kCount, 3},
                            {'7', kEnd, 4},
                            {'8', kEnd, 3},
                            {'9', kEnd, 2}}};
const Family kStewieFamily = {false,
                              {{'0', kSignature, 0},
                               {'1', kData, 2},
                               {'2', kData, 3},
                               {'3', kData, 4},
                               {'8', kBareEnd, 0}}};
const Family kWilsonFamily = {true, {{'#', kData, 4}, {'\'', kEnd, 4}}};

bool lineEnd(int c) { return c == '\n' || c == '\r'; }

// Wilson's bytes: 0x00-0x9F as 0x40-0xDF, 0xE0-0xFF as themselves, and
// 0xA0-0xDF as 0x3A-0x3D followed by 0x30-0x3F.
bool decodeWilson(gcRecordReader& r, std::size_t n, unsigned char* pOut) {
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char* p = r.take(1);
    if (p == nullptr) return false;
    const unsigned int c = *p;
    if (c >= 0x3A && c <= 0x3D) {
      if ((p = r.take(1)) == nullptr) return false;
      if (*p < 0x30 || *p > 0x3F)
        return failf(r, "0x%02lX does not end an encoded byte", *p);
      pOut[i] = static_cast<unsigned char>((c - 0x3A + 0xA) << 4 | (*p - 0x30));
    } else if (c >= 0x40) {
      pOut[i] = static_cast<unsigned char>(c < 0xE0 ? c - 0x40 : c);
    } else {
      if (lineEnd(c)) return r.fail("record shorter than its count");
      return failf(r, "0x%02lX is not an encoded byte", c);
    }
  }
  return true;
}

unsigned char* encodeWilson(unsigned char* p, const unsigned char* pIn,
                            std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned int c = pIn[i];
    if (c < 0xA0)
      *p++ = static_cast<unsigned char>(c + 0x40);
    else if (c >= 0xE0)
      *p++ = static_cast<unsigned char>(c);
    else
      *p++ = static_cast<unsigned char>(0x3A + (c >> 4) - 0xA),
      *p++ = static_cast<unsigned char>(0x30 + (c & 0xF));
  }
  return p;
}

bool readFamily(const Family& f, gcRecordReader& r, gcImageInfo* pInfo) {
  unsigned char decoded[256];
  u64 iData = 0, iRecords = 0;
  for (; r.begin(); ++iRecords) {
    if (f.bWilson && lineEnd(r.peek())) {
      r.take(1);
      continue;
    }
    const unsigned char* p = r.take(f.bWilson ? 1 : 2);
    if (p == nullptr) return false;
    if (!f.bWilson && p[0] != 'S')
      return failf(r, "record begins 0x%02lX, not 'S'", p[0]);
    const Tag* pTag = f.find(p[f.bWilson ? 0 : 1]);
    if (pTag == nullptr)
      return failf(r, "unknown record type 0x%02lX", p[f.bWilson ? 0 : 1]);
    if (pTag->eKind == kBareEnd) return r.expectEnd(-1);
    if (pTag->eKind == kSignature) {
      if ((p = r.take(2)) == nullptr) return false;
      if (iRecords != 0 || p[0] != '0' || p[1] != '3')
        return r.fail("header other than \"S003\" at the beginning");
      continue;
    }
    const unsigned char* pCount =
        f.bWilson ? decodeWilson(r, 1, decoded) ? decoded : nullptr : r.take(1);
    if (pCount == nullptr) return false;
    const unsigned int n = *pCount, iWidth = pTag->iAddressBytes;
    if (n < iWidth + 1)
      return failf(r, "count %lu leaves no room for address and checksum", n);
    const unsigned char* b =
        f.bWilson ? decodeWilson(r, n, decoded + 1) ? decoded + 1 : nullptr
                  : r.take(n);
    if (b == nullptr) return false;
    unsigned int sum = n;
    for (unsigned int i = 0; i + 1 < n; ++i) sum += b[i];
    if (!r.check((~sum & 0xFF) == b[n - 1])) return false;
    if (f.bWilson && r.peek() >= 0 && !lineEnd(r.peek()))
      return r.fail("record longer than its count");
    const u32 iAddr = getBe(b, iWidth);
    const unsigned int k = n - iWidth - 1;
    if (pTag->eKind == kData) {
      ++iData;
      if (!r.put(iAddr, b + iWidth, k)) return false;
    } else if (pTag->eKind == kHeader) {
      pInfo->setHeader(
          std::string(reinterpret_cast<const char*>(b + iWidth), k));
    } else if (k != 0) {
      return r.fail("data in a count or end record");
    } else if (pTag->eKind == kCount && iAddr != (iData & 0xFFFFFFFF)) {
      return failf(r, "count record says %lu data records", iAddr);
    } else if (pTag->eKind == kEnd) {
      if (!r.start(iAddr, pInfo)) return false;
      while (lineEnd(r.peek())) r.take(1);
      return r.expectEnd(-1);
    }
  }
  return r.missingEnd(), r.isOk();
}

// Writes records of one family; a record's bytes are gathered first.
class FamilyWriter {
 public:
  FamilyWriter(const Family& f, gcImageSave& save) : f_(f), save_(save) {}
  void record(unsigned char cTag, unsigned int iWidth, u64 iAddr,
              const unsigned char* pData, std::size_t n) {
    unsigned char body[260];
    body[0] = static_cast<unsigned char>(iWidth + n + 1);
    putBe(body + 1, static_cast<u32>(iAddr), iWidth);
    std::memcpy(body + 1 + iWidth, pData, n);
    unsigned int sum = 0;
    for (std::size_t i = 0; i < iWidth + n + 1; ++i) sum += body[i];
    body[iWidth + n + 1] = static_cast<unsigned char>(~sum);
    const std::size_t iSize = iWidth + n + 2;
    unsigned char* p = roomFor(save_, 2 * iSize + 4);
    if (f_.bWilson) {
      *p++ = cTag;
      p = encodeWilson(p, body, iSize);
      wrote(save_, reinterpret_cast<unsigned char*>(
                       save_.lineEnd(reinterpret_cast<char*>(p))));
    } else {
      *p++ = 'S';
      *p++ = cTag;
      std::memcpy(p, body, iSize);
      wrote(save_, p + iSize);
    }
    ++iRecords_;
  }
  void text(const char* pText) {
    unsigned char* p = roomFor(save_, std::strlen(pText));
    std::memcpy(p, pText, std::strlen(pText));
    wrote(save_, p + std::strlen(pText));
  }
  // Data records of iWidth address bytes (0: the narrowest for each).
  u64 data(gcVMMBase* pVMM, const gcImageOptions& options,
           unsigned int iWidth) {
    // Longer records than a count byte holds are cut to the most it does.
    const unsigned int iMax = 254 - (iWidth != 0 ? iWidth : 4);
    return cutRecords(
        pVMM, save_, std::min(options.getRecordLength(), iMax),
        [&](u64 a, const unsigned char* p, std::size_t n) {
          const u64 iLast = a + (n - 1) / save_.addressUnit();
          const unsigned int w = iWidth != 0         ? iWidth
                                 : iLast <= 0xFFFF   ? 2
                                 : iLast <= 0xFFFFFF ? 3
                                                     : 4;
          record(f_.bWilson ? '#' : static_cast<unsigned char>('0' + w - 1), w,
                 a, p, n);
        });
  }
  u64 records() const { return iRecords_; }

 private:
  const Family& f_;
  gcImageSave& save_;
  u64 iRecords_ = 0;
};

template <const Family& f>
bool read(gcRecordReader& r, const gcImageOptions&, gcImageInfo* pInfo) {
  return readFamily(f, r, pInfo);
}

u64 writeIdt(gcImageSave& save, gcVMMBase* pVMM, const gcImageOptions& options,
             const gcRecordFrame& frame, u64*) {
  FamilyWriter w(kIdtFamily, save);
  if (frame.header.size() > 252) save.fail("header longer than 252 bytes");
  if (frame.bFrame && !frame.header.empty() && save.isOk())
    w.record('0', 2, 0,
             reinterpret_cast<const unsigned char*>(frame.header.data()),
             frame.header.size());
  const u64 iBytes = w.data(pVMM, options, 4);
  const u64 iData = w.records() - (frame.bFrame && !frame.header.empty());
  if (frame.bFrame && iData <= 0xFFFFFF)
    w.record(iData <= 0xFFFF ? '5' : '6', iData <= 0xFFFF ? 2 : 3, iData,
             kNoData, 0);
  if (frame.bFrame && frame.bStart) w.record('7', 4, frame.iStart, kNoData, 0);
  return iBytes;
}

u64 writeStewie(gcImageSave& save, gcVMMBase* pVMM,
                const gcImageOptions& options, const gcRecordFrame& frame,
                u64*) {
  FamilyWriter w(kStewieFamily, save);
  if (frame.bFrame) w.text("S003");
  const u64 iBytes = w.data(pVMM, options, 0);
  if (frame.bFrame) w.text("S8");
  return iBytes;
}

u64 writeWilson(gcImageSave& save, gcVMMBase* pVMM,
                const gcImageOptions& options, const gcRecordFrame& frame,
                u64*) {
  FamilyWriter w(kWilsonFamily, save);
  const u64 iBytes = w.data(pVMM, options, 4);
  if (frame.bFrame && frame.bStart) w.record('\'', 4, frame.iStart, kNoData, 0);
  return iBytes;
}

}  // namespace

const gcBinaryRecordFile::Description kIdt = {"IDT", 32, 32, read<kIdtFamily>,
                                              writeIdt};
const gcBinaryRecordFile::Description kStewie = {
    "Stewie", 32, 0, read<kStewieFamily>, writeStewie};
const gcBinaryRecordFile::Description kWilson = {
    "Wilson", 32, 32, read<kWilsonFamily>, writeWilson};
