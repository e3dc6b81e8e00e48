#include "gcRecordFile.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>
#include <string>

#include "gcHexCodec.h"
#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "gcRecordFormat.h"
#include "tools/segments.h"

namespace {

typedef std::uint64_t u64;
constexpr u64 kSpace = u64{1} << 32;
constexpr std::size_t kMaxData = 512;  // a count of 255 words and more

// The fields with a value, as indexes; then the data.
enum { kA, kC, kT, kL, kX, kY, kFields, kData = kFields };

int fieldIndex(char cKind) {
  const char* p = std::strchr("ACTLXY", cKind);
  return cKind != 0 && p != nullptr ? static_cast<int>(p - "ACTLXY") : -1;
}

// What each field index stands for in a check's cover.
constexpr std::uint8_t kCoverOf[] = {
    kCoverAddress, kCoverCount, kCoverType, kCoverLength, 0, 0, kCoverData};

// A shape, compiled: its fields in order, each with its digits.
struct Shape {
  struct Field {
    char cKind;  // a field's letter, 'D', or a literal character
    unsigned char iDigits;
    int iField;  // the field's index, kData, or -1 for a literal
  };
  Field fields[16];
  unsigned int n = 0;
  unsigned int iLead = 0;    // literal characters before the first field
  unsigned int iFixed = 0;   // characters besides the data
  unsigned int iSuffix = 0;  // characters after the data
  unsigned int digits[kFields] = {};

  explicit Shape(const char* p) {
    bool bField = false, bData = false;
    for (; p != nullptr && *p != 0; ++p) {
      const bool bEscaped = *p == '\\' && p[1] != 0;
      p += bEscaped;
      const int i = bEscaped ? -1 : *p == 'D' ? kData : fieldIndex(*p);
      if (i >= 0 && i != kData && n != 0 && fields[n - 1].iField == i) {
        ++fields[n - 1].iDigits;
      } else {
        assert(n < 16);
        fields[n++] = {*p, 1, i};
      }
      if (i == kData) {
        bData = true;
        continue;
      }
      if (i >= 0) ++digits[i], bField = true;
      if (!bField) ++iLead;
      ++iFixed;
      if (bData) ++iSuffix;
    }
  }
  bool has(int i) const { return digits[i] != 0; }
};

// One record's values, read or to be written.
struct Record {
  u64 value[kFields] = {};
  unsigned int digits[kFields] = {};
  const unsigned char* pData = nullptr;
  std::size_t n = 0;
  bool bEnd = false;
};

// The check of kind carried on over n data bytes: a loop of its own, the
// data being most of a record.
unsigned int dataCheck(gcCheck kind, const unsigned char* p, std::size_t n,
                       unsigned int v) {
  unsigned int sum = 0;
  switch (kind) {
    case gcCheck::kNibble8:
      for (std::size_t i = 0; i < n; ++i) sum += (p[i] >> 4) + (p[i] & 15);
      return v + sum;
    case gcCheck::kXorRol8:
      for (std::size_t i = 0; i < n; ++i)
        v ^= p[i], v = (v << 1 | v >> 7) & 0xFF;
      return v;
    default:
      for (std::size_t i = 0; i < n; ++i) sum += p[i];
      return v + sum;
  }
}

// The check of kind over the fields of cover, in the shape's order.
unsigned int checkOf(gcCheck kind, std::uint8_t cover, const Shape& s,
                     const Record& r) {
  if (kind == gcCheck::kAddress) return static_cast<unsigned>(r.value[kA]);
  unsigned int v = 0;
  auto byte = [&](unsigned int b) {
    if (kind == gcCheck::kNibble8)
      v += (b >> 4) + (b & 15);
    else if (kind == gcCheck::kXorRol8)
      v ^= b, v = (v << 1 | v >> 7) & 0xFF;
    else
      v += b;
  };
  for (unsigned int k = 0; k < s.n; ++k) {
    const int f = s.fields[k].iField;
    if (f < 0 || (cover & kCoverOf[f]) == 0) continue;
    if (f == kData) {
      v = dataCheck(kind, r.pData, r.n, v);
      continue;
    }
    const u64 x = r.value[f];
    const unsigned int digits = r.digits[f];
    if (kind == gcCheck::kNibble8)
      for (unsigned int d = 0; d < digits; ++d) v += x >> 4 * d & 15;
    else
      for (unsigned int b = (digits + 1) / 2; b-- > 0;) byte(x >> 8 * b & 0xFF);
  }
  return kind == gcCheck::kNegSum8 ? -v & 0xFF
         : kind == gcCheck::kSum16 ? v & 0xFFFF
                                   : v & 0xFF;
}

u64 mask(unsigned int iDigits) { return (u64{1} << 4 * iDigits) - 1; }

// The bytes the address field reaches (with the upper 16 bits of the
// address where the format has a record for them), at most 4 GiB, when an
// address counts iScale bytes.
u64 fieldLimit(const gcRecordFormat& f, u64 iScale) {
  const Shape s(f.pAddress != nullptr ? f.pAddress : f.pData);
  const unsigned int digits = s.digits[kA] + (f.iUpperType >= 0 ? 4 : 0);
  return std::min(kSpace, (mask(digits) + 1) * iScale);
}

bool hexValue(const char* p, unsigned int n, u64* pValue) {
  u64 v = 0;
  for (unsigned int i = 0; i < n; ++i) {
    const char c = p[i];
    unsigned int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
      d = (c | 0x20) - 'a' + 10;
    else
      return false;
    v = v << 4 | d;
  }
  *pValue = v;
  return true;
}

void swapWords(unsigned char* p, std::size_t n) {
  for (std::size_t i = 0; i + 1 < n; i += 2) std::swap(p[i], p[i + 1]);
}

class Reader {
 public:
  Reader(const gcRecordFormat& f, gcImageLoad& load, gcImageInfo& info,
         unsigned int unit)
      : f_(f),
        scale_(u64{f.iUnit} * unit),
        limit_(fieldLimit(f, scale_)),
        data_(f.pData),
        end_(f.pEnd),
        address_(f.pAddress),
        load_(load),
        info_(info) {}
  const bool* ended() const { return &bEnd_; }

  // Checks one line and takes its record; false after an error.
  bool line(const char* p, std::size_t len) {
    Record r;
    r.pData = buffer_;
    const Shape* s = &data_;
    if (f_.pAddress != nullptr && p[0] == f_.pAddress[0])
      s = &address_;
    else if (f_.pAddress != nullptr && f_.pEnd != nullptr && p[0] == f_.pEnd[0])
      s = &end_, r.bEnd = true;
    if (!parse(s, p, len, &r) || !check(r)) return false;
    if (s == &address_) {
      iNext_ = r.value[kA] * (scale_ / f_.iUnit);
      return true;
    }
    if (f_.iDataType >= 0) {
      const u64 type = r.value[kT];
      if (type == static_cast<u64>(f_.iDataType)) return data(r);
      if (type == static_cast<u64>(f_.iEndType)) return end(r);
      if (type == static_cast<u64>(f_.iUpperType) && r.n == 2) {
        iUpper_ = bigEndian(buffer_, 2);
        return true;
      }
      if (type == static_cast<u64>(f_.iStartType) && r.n == 4) {
        return start(bigEndian(buffer_, 4));
      }
      char reason[48];
      std::snprintf(reason, sizeof reason, "bad record type %llX",
                    static_cast<unsigned long long>(type));
      return load_.fail(reason);
    }
    return r.bEnd ? end(r) : data(r);
  }

 private:
  bool parse(const Shape* s, const char* p, std::size_t len, Record* r) {
    std::size_t pos = 0;
    for (unsigned int k = 0; k < s->n; ++k) {
      const Shape::Field& field = s->fields[k];
      const int i = field.iField;
      if (i == kData) {
        if (!readData(p, len, &pos, *s, r)) return false;
      } else if (i < 0) {
        if (pos >= len) return load_.fail("record too short");
        if (p[pos] != field.cKind) {
          char reason[48];
          std::snprintf(reason, sizeof reason, "'%c' expected at column %zu",
                        field.cKind, pos + 1);
          return load_.fail(reason);
        }
        ++pos;
      } else {
        unsigned int digits = field.iDigits;
        if (i == kA && s->has(kL)) {
          digits = static_cast<unsigned>(r->value[kL]);
          if (digits == 0 || digits > field.iDigits)
            return load_.fail("bad address length");
        }
        if (pos + digits > len) return load_.fail("record too short");
        if (!hexValue(p + pos, digits, &r->value[i]))
          return load_.fail("invalid hex digit");
        r->digits[i] = digits;
        pos += digits;
        if (i == kC && f_.iCountFlags != 0) {
          r->value[kC] &= mask(digits) >> f_.iCountFlags;
          if (r->value[kC] > f_.iMaxData) return load_.fail("bad count");
        }
        // An end record shares the data record's fields up to here.
        if (i == kC && r->value[kC] == 0 && f_.iEndType < 0 && f_.pEnd)
          s = &end_, r->bEnd = true;
        if (i == kT && r->value[kT] == static_cast<u64>(f_.iEndType))
          r->bEnd = true;
      }
    }
    if (pos != len) return load_.fail("record too long");
    shape_ = s;
    return true;
  }

  bool readData(const char* p, std::size_t len, std::size_t* pPos,
                const Shape& s, Record* r) {
    const std::size_t iSep = std::strlen(f_.pSeparator), iByte = 2 + iSep;
    if (len < *pPos + s.iSuffix) return load_.fail("record too short");
    const std::size_t avail = len - *pPos - s.iSuffix;
    std::size_t n = avail / iByte;
    if (s.has(kC) && f_.eCount == gcCount::kChars) {
      if (len - s.iLead != r->value[kC])
        return load_.fail(len - s.iLead < r->value[kC]
                              ? "record shorter than its count"
                              : "record longer than its count");
    } else if (s.has(kC)) {
      n = r->value[kC] * f_.iUnit;
      if (avail != n * iByte)
        return load_.fail(avail < n * iByte ? "record shorter than its count"
                                            : "record longer than its count");
    }
    if (avail != n * iByte) return load_.fail("incomplete data byte");
    if (n % f_.iUnit != 0) return load_.fail("data not in whole words");
    if (f_.bWholeRecords && n != f_.iMaxData) {
      char reason[48];
      std::snprintf(reason, sizeof reason, "a data record holds %u bytes",
                    f_.iMaxData);
      return load_.fail(reason);
    }
    // Without a count, the data field is as wide as the format says.
    if (n > (s.has(kC) ? kMaxData : f_.iMaxData))
      return load_.fail("record too long");

    unsigned int sum = 0;
    const char* q = p + *pPos;
    if (iSep == 0) {
      if (!decodeHex(q, n, buffer_, &sum))
        return load_.fail("invalid hex digit");
    } else {
      for (std::size_t i = 0; i < n; ++i, q += iByte) {
        if (!decodeHex(q, 1, buffer_ + i, &sum))
          return load_.fail("invalid hex digit");
        if (std::memcmp(q + 2, f_.pSeparator, iSep) != 0)
          return load_.fail("bad separator between data bytes");
      }
    }
    if (f_.bSwap) swapWords(buffer_, n);
    r->n = n;
    *pPos += avail;
    return true;
  }

  bool check(const Record& r) {
    const gcCheck first = r.bEnd ? f_.endCheck : f_.check1;
    if (shape_->has(kX) && first != gcCheck::kNone &&
        (checkOf(first, f_.iCover1, *shape_, r) & mask(r.digits[kX])) !=
            r.value[kX] &&
        !load_.checksumMismatch())
      return false;
    if (shape_->has(kY) && f_.check2 != gcCheck::kNone &&
        (checkOf(f_.check2, f_.iCover2, *shape_, r) & mask(r.digits[kY])) !=
            r.value[kY] &&
        !load_.checksumMismatch())
      return false;
    return true;
  }

  bool data(const Record& r) {
    const u64 first =
        data_.has(kA) ? ((iUpper_ << 16) + r.value[kA]) * scale_ : iNext_;
    if (first + r.n > limit_) {
      char reason[64];
      std::snprintf(reason, sizeof reason, "data past address 0x%08llX",
                    static_cast<unsigned long long>(limit_ - 1));
      return load_.fail(reason);
    }
    ++iRecords_;
    iNext_ = first + r.n;
    return load_.put(first, buffer_, r.n);
  }

  bool end(const Record& r) {
    bEnd_ = true;
    const u64 a = r.value[kA];
    if (f_.eEndAddress == gcEndAddress::kStart) {
      return start(a);
    } else if (f_.eEndAddress == gcEndAddress::kRecords &&
               a != (iRecords_ & mask(r.digits[kA]))) {
      char reason[80];
      std::snprintf(reason, sizeof reason,
                    "the end record counts %llu records, the file has %llu",
                    static_cast<unsigned long long>(a),
                    static_cast<unsigned long long>(iRecords_));
      return load_.fail(reason);
    }
    return true;
  }

  bool start(u64 iFileAddr) {
    const u64 a = iFileAddr * scale_;
    if (a >= kSpace) return load_.fail("start address past 4 GiB");
    info_.setStartAddress(static_cast<std::uint32_t>(a));
    return true;
  }

  const gcRecordFormat& f_;
  const u64 scale_;  // bytes an address steps
  const u64 limit_;
  const Shape data_, end_, address_;
  const Shape* shape_ = nullptr;  // the shape of the record parsed last
  gcImageLoad& load_;
  gcImageInfo& info_;
  u64 iUpper_ = 0;
  u64 iRecords_ = 0;
  u64 iNext_ = 0;  // where a record without an address goes
  bool bEnd_ = false;
  unsigned char buffer_[kMaxData];
};

// Writes the runs of the image as records.
class Writer : public gcSegmentHandler {
 public:
  Writer(const gcRecordFormat& f, gcImageSave& save, unsigned int iChunk,
         u64 scale)
      : f_(f),
        scale_(scale),
        data_(f.pData),
        end_(f.pEnd),
        address_(f.pAddress),
        save_(save),
        iChunk_(iChunk) {}

  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    const auto* p = reinterpret_cast<const unsigned char*>(pData);
    const u64 unit = scale_;
    if (f_.iUpperType >= 0 && (iFirst / unit) >> 16 != iUpper_) {
      iUpper_ = (iFirst / unit) >> 16;  // a run never crosses it
      const unsigned char upper[2] = {static_cast<unsigned char>(iUpper_ >> 8),
                                      static_cast<unsigned char>(iUpper_)};
      record(data_, f_.iUpperType, 0, upper, 2);
    }
    if (f_.pAddress != nullptr && (iFirst != iNext_ || iRecords_ == 0))
      record(address_, -1, iFirst / unit, nullptr, 0);
    for (u64 i = 0; i < iLength; i += iChunk_) {
      const u64 n = std::min<u64>(iChunk_, iLength - i);
      record(data_, f_.iDataType, (iFirst + i) / unit & mask(data_.digits[kA]),
             p + i, static_cast<std::size_t>(n));
      ++iRecords_;
    }
    iBytes_ += iLength;
    iNext_ = iFirst + iLength;
    return save_.isOk();
  }

  // The start address (where the format has a record for it) and the end.
  void finish(bool bStart, std::uint32_t iStart) {
    const u64 start = iStart / scale_;
    if (bStart && f_.iStartType >= 0) {
      const unsigned char a[4] = {static_cast<unsigned char>(start >> 24),
                                  static_cast<unsigned char>(start >> 16),
                                  static_cast<unsigned char>(start >> 8),
                                  static_cast<unsigned char>(start)};
      record(data_, f_.iStartType, 0, a, 4);
    }
    if (f_.pEnd == nullptr || (f_.bEndOnlyForStart && !bStart)) return;
    u64 a = 0;
    switch (f_.eEndAddress) {
      case gcEndAddress::kStart:
        a = start;
        break;
      case gcEndAddress::kRecords:
        a = iRecords_;
        break;
      case gcEndAddress::kNext:
        a = iNext_ / scale_;
        break;
      case gcEndAddress::kZero:
        break;
    }
    record(end_, f_.iEndType, a & mask(end_.digits[kA]), nullptr, 0, true);
  }
  u64 bytes() const { return iBytes_; }

 private:
  void record(const Shape& s, int type, u64 address, const unsigned char* p,
              std::size_t n, bool bEnd = false) {
    unsigned char swapped[kMaxData];
    if (f_.bSwap && n != 0) {
      std::memcpy(swapped, p, n);
      swapWords(swapped, n);
      p = swapped;
    }
    const std::size_t iSep = std::strlen(f_.pSeparator);
    Record r;
    r.pData = p;
    r.n = n;
    for (int i = 0; i < kFields; ++i) r.digits[i] = s.digits[i];
    r.value[kA] = address;
    r.value[kC] = f_.eCount == gcCount::kChars ? s.iFixed - s.iLead + 2 * n
                                               : n / f_.iUnit;
    r.value[kT] = static_cast<u64>(type);
    r.value[kL] = s.digits[kA];
    const gcCheck first = bEnd ? f_.endCheck : f_.check1;
    if (s.has(kX)) r.value[kX] = checkOf(first, f_.iCover1, s, r);
    if (s.has(kY)) r.value[kY] = checkOf(f_.check2, f_.iCover2, s, r);
    const std::uint16_t* pDigits = hexPairDigits();
    char* out = save_.room(s.iFixed + n * (2 + iSep) + 2);
    for (unsigned int k = 0; k < s.n; ++k) {
      const Shape::Field& field = s.fields[k];
      const int i = field.iField;
      if (i == kData && iSep == 0) {
        unsigned int sum = 0;
        out = encodeHex(out, p, n, &sum);
      } else if (i == kData) {
        for (std::size_t b = 0; b < n; ++b) {
          out = encodeHex(out, pDigits, p[b]);
          out = std::copy(f_.pSeparator, f_.pSeparator + iSep, out);
        }
      } else if (i < 0) {
        *out++ = field.cKind;
      } else {
        for (unsigned int d = field.iDigits; d-- > 0;)
          *out++ = "0123456789ABCDEF"[r.value[i] >> 4 * d & 15];
      }
    }
    save_.advance(save_.lineEnd(out));
  }

  const gcRecordFormat& f_;
  const u64 scale_;  // bytes an address steps
  const Shape data_, end_, address_;
  gcImageSave& save_;
  unsigned int iChunk_;
  u64 iUpper_ = ~u64{0};  // an upper record before the first data record
  u64 iBytes_ = 0;
  u64 iRecords_ = 0;
  u64 iNext_ = 0;
};

// Why the image does not fit the format, or empty.
std::string unfit(const gcRecordFormat& f, u64 scale, gcImageSave& save,
                  gcVMMBase* pVMM, bool bStart, std::uint32_t iStart) {
  std::string sReason =
      unfitRuns(save, pVMM, fieldLimit(f, scale),
                f.bWholeRecords ? f.iMaxData : f.iUnit, f.bWholeRecords);
  if (!sReason.empty()) return sReason;
  char reason[112];
  if (!bStart) return std::string();
  const u64 startLimit =
      f.iStartType >= 0 ? kSpace : (mask(Shape(f.pEnd).digits[kA]) + 1) * scale;
  if (iStart % f.iUnit != 0 || iStart >= startLimit) {
    std::snprintf(reason, sizeof reason,
                  iStart % f.iUnit != 0
                      ? "start address 0x%08X is not at a word boundary"
                      : "start address 0x%08X does not fit the start field",
                  iStart);
    return reason;
  }
  return std::string();
}

}  // namespace

bool gcChunkWriter::handleSegment(vmm_int iFirst, std::uint64_t iLength,
                                  const char* pData) {
  const auto* p = reinterpret_cast<const unsigned char*>(pData);
  for (u64 i = 0; i < iLength; i += iChunk_)
    piece(iFirst + i, p + i,
          static_cast<std::size_t>(std::min<u64>(iChunk_, iLength - i)),
          i == 0);
  iBytes_ += iLength;
  return save_.isOk();
}

std::string unfitRuns(gcImageSave& save, gcVMMBase* pVMM, std::uint64_t limit,
                      std::uint64_t g, bool bRecords) {
  char reason[112];
  vmm_int low = 0, high = 0;
  if (save.getLast() >= limit &&
      findWrittenBounds(pVMM, std::max(limit, save.getFirst()), save.getLast(),
                        &low, &high)) {
    std::snprintf(reason, sizeof reason,
                  "address 0x%08llX is past the address field (below "
                  "0x%08llX)",
                  static_cast<unsigned long long>(low),
                  static_cast<unsigned long long>(limit));
    return reason;
  }
  if (g > 1)
    for (const gcRun& run : collectRuns(pVMM, save.getFirst(), save.getLast()))
      if (run.iFirst % g != 0 || run.iLength % g != 0) {
        const u64 a =
            run.iFirst % g != 0 ? run.iFirst : run.iFirst + run.iLength - 1;
        std::snprintf(reason, sizeof reason,
                      bRecords ? "address 0x%08llX does not fill a whole "
                                 "%u-byte record"
                               : "address 0x%08llX does not fill a whole "
                                 "%u-bit word",
                      static_cast<unsigned long long>(a),
                      static_cast<unsigned>(bRecords ? g : 8 * g));
        return reason;
      }
  return std::string();
}

gcRecordFile::gcRecordFile(const char* pTypeName)
    : format_(*findRecordFormat(pTypeName)) {}

bool gcRecordFile::isRecordFormat(const char* pTypeName) {
  return findRecordFormat(pTypeName) != nullptr;
}

const char* gcRecordFile::getTypeName() { return format_.pTypeName; }

gcFileResult gcRecordFile::loadImage(const std::string& sFileName,
                                     gcVMMBase* pVMM,
                                     const gcImageOptions& options,
                                     gcImageInfo* pInfo) {
  if (format_.eStream == gcRecordFormat::kTiTagged)
    return loadTagged(format_, sFileName, pVMM, options, pInfo);
  if (format_.eStream == gcRecordFormat::kPpx)
    return loadPpx(sFileName, pVMM, options, pInfo);
  if (format_.eStream == gcRecordFormat::kCosmac)
    return loadCosmac(sFileName, pVMM, options, pInfo);
  gcImageLoad load(sFileName, pVMM, options);
  gcImageInfo info;
  const unsigned int unit = userUnit(format_, load);
  Reader reader(format_, load, info, std::max(unit, 1u));
  load.readRecordsToEnd(
      reader.ended(), format_.pEnd != nullptr && !format_.bEndOnlyForStart,
      [&](const char* p, std::size_t n) { return reader.line(p, n); });
  return load.finish(info, pInfo);
}

gcFileResult gcRecordFile::saveImage(const std::string& sFileName,
                                     gcVMMBase* pVMM,
                                     const gcImageOptions& options,
                                     const gcImageInfo* pInfo) {
  const gcRecordFormat& f = format_;
  if (f.eStream == gcRecordFormat::kTiTagged)
    return saveTagged(f, sFileName, pVMM, options, pInfo);
  if (f.eStream == gcRecordFormat::kPpx)
    return savePpx(sFileName, pVMM, options);
  if (f.eStream == gcRecordFormat::kCosmac)
    return saveCosmac(sFileName, pVMM, options);
  gcImageSave save(sFileName, pVMM, options);
  const unsigned int unit = userUnit(f, save);
  const u64 scale = u64{f.iUnit} * std::max(unit, 1u);
  const bool bCarriesStart =
      f.iStartType >= 0 ||
      (f.pEnd != nullptr && f.eEndAddress == gcEndAddress::kStart);
  const bool bStart = bCarriesStart && options.getWriteStart() &&
                      !options.getDataOnly() && pInfo != nullptr &&
                      pInfo->hasStartAddress();
  const std::uint32_t iStart = bStart ? pInfo->getLinearStartAddress() : 0;
  if (bStart) save.fileStart(iStart);
  const Shape s(f.pData);
  // Data bytes a record: as asked, as the count field allows, whole words.
  u64 iChunk = std::min(options.getRecordLength(), f.iMaxData);
  const u64 iMaxCount = s.has(kC) ? mask(s.digits[kC]) : ~u64{0};
  if (f.eCount == gcCount::kChars)
    iChunk = std::min(iChunk, (iMaxCount - (s.iFixed - s.iLead)) / 2);
  else
    iChunk = std::min(iChunk, iMaxCount * f.iUnit);
  // Each record starts on a word or unit.
  iChunk = std::max<u64>(iChunk - iChunk % scale, scale);
  if (f.bWholeRecords) iChunk = f.iMaxData;
  if (save.isOk() && save.getFirst() <= save.getLast()) {
    const std::string reason = unfit(f, scale, save, pVMM, bStart, iStart);
    if (!reason.empty()) save.fail(reason);
  }
  if (!save.open()) return save.finish(0, 0);
  Writer writer(f, save, static_cast<unsigned int>(iChunk), scale);
  forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(),
                 0x10000 * scale);
  if (!options.getDataOnly()) writer.finish(bStart, iStart);
  return save.finish(writer.bytes(), 0);
}
