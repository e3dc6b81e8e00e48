// AOMF, MsBin, Formatted binary, DEC binary, PPB and TRS-80: records of a
// type, a length, an address and data, each format in a few lines.
#include "gcBinaryRecordFormats.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "gcLittleEndian.h"

namespace {

typedef std::uint64_t u64;
typedef std::uint32_t u32;

// A header text as a name of at most 255 bytes, after its length byte.
unsigned char* putName(gcImageSave& save, unsigned char* p,
                       const std::string& name) {
  if (name.size() > 255) save.fail("header longer than 255 bytes");
  const std::size_t n = std::min<std::size_t>(name.size(), 255);
  *p++ = static_cast<unsigned char>(n);
  std::memcpy(p, name.data(), n);
  return p + n;
}

// Data of a 16-bit address field may reach its last unit, not wrap past it.
bool within16(gcRecordReader& r, u64 iAddr, u64 n) {
  const u64 iUnit = r.unit();
  if (iAddr * iUnit + n <= 0x10000 * iUnit) return true;
  char reason[80];
  std::snprintf(reason, sizeof reason,
                "data runs past address 0x%04llX (from 0x%04llX)",
                static_cast<unsigned long long>(0x10000 * iUnit - 1),
                static_cast<unsigned long long>(iAddr * iUnit));
  return r.fail(reason);
}

// AOMF: type, length (LE 16, the rest of the record), payload, and a check
// byte that brings the record's sum to 0.
bool readAomf(gcRecordReader& r, const gcImageOptions&, gcImageInfo* pInfo) {
  bool bHeader = false, bEnd = false;
  std::string name;
  for (u64 iRecords = 0; !bEnd && r.begin(); ++iRecords) {
    const unsigned char* h = r.take(3);
    if (h == nullptr) return false;
    const unsigned int iType = h[0];
    const u32 n = getLe(h + 1, 2);
    u32 sum = h[0] + h[1] + h[2];
    if (n == 0) return r.fail("record length 0, without its checksum");
    if (iType == 0x06) {
      if (n < 4) return r.fail("content record too short");
      const unsigned char* p = r.take(3);
      if (p == nullptr) return false;
      sum += p[0] + p[1] + p[2];
      if (p[0] != 0) return failf(r, "segment ID 0x%02lX, not 0", p[0]);
      if (!within16(r, getLe(p + 1, 2), n - 4) ||
          !r.data(getLe(p + 1, 2), n - 4, &sum))
        return false;
    } else if (iType == 0x02 || iType == 0x04) {
      // Module header: name, TRN ID, 0. Module end: name, 0, 0, mask, 0.
      const u32 iRest = iType == 0x02 ? 2 : 4;
      if (n - 1 < 1 + iRest || n - 1 > 256 + iRest)
        return r.fail("record length does not fit a name");
      const unsigned char* p = r.take(n - 1);
      if (p == nullptr) return false;
      for (u32 i = 0; i < n - 1; ++i) sum += p[i];
      if (n - 1 != 1u + p[0] + iRest)
        return r.fail("name length does not match the record length");
      const std::string text(reinterpret_cast<const char*>(p + 1), p[0]);
      if (iType == 0x02 && iRecords != 0)
        return r.fail("module header record after the module began");
      if (iType == 0x04 && bHeader && text != name)
        return r.fail("module end names \"" + text + "\", its header \"" +
                      name + "\"");
      bHeader = bHeader || iType == 0x02;
      bEnd = iType == 0x04;
      if (iType == 0x02) name = text;
    } else if (iType == 0x01 || iType == 0x12 || iType == 0x0E ||
               iType == 0x16 || iType == 0x18) {
      if (!r.skip(n - 1, &sum)) return false;  // scopes, debug, definitions
    } else {
      return failf(r, "unknown record type 0x%02lX", iType);
    }
    const unsigned char* c = r.take(1);
    if (c == nullptr || !r.check(((sum + c[0]) & 0xFF) == 0)) return false;
  }
  pInfo->setHeader(name);
  if (!bEnd) return r.missingEnd(), r.isOk();
  return r.expectEnd(-1);
}

u64 writeAomf(gcImageSave& save, gcVMMBase* pVMM, const gcImageOptions& options,
              const gcRecordFrame& frame, u64*) {
  auto record = [&](unsigned int iType, u64 iAddr, const unsigned char* pData,
                    std::size_t n) {
    unsigned char* p0 = roomFor(save, n + 270);
    unsigned char* p = p0 + 3;
    *p0 = static_cast<unsigned char>(iType);
    if (iType == 0x06) {
      *p++ = 0;
      p = putLe(p, static_cast<u32>(iAddr), 2);
      std::memcpy(p, pData, n);
      p += n;
    } else {
      p = putName(save, p, frame.header);
      std::memset(p, 0, iType == 0x02 ? 2 : 4);  // TRN ID 0, mask 0
      p += iType == 0x02 ? 2 : 4;
    }
    putLe(p0 + 1, static_cast<u32>(p - p0 - 2), 2);
    *p = negatedSum(p0, p - p0);
    wrote(save, p + 1);
  };
  if (frame.bFrame) record(0x02, 0, kNoData, 0);
  const u64 iBytes = cutRecords(pVMM, save, options.getRecordLength(),
                                [&](u64 a, const unsigned char* p,
                                    std::size_t n) { record(0x06, a, p, n); });
  if (frame.bFrame) record(0x04, 0, kNoData, 0);
  return iBytes;
}

// MsBin: an optional header ("B000FF\n", lowest address, span), records of
// address, length and byte sum (LE 32 each) and data, and the start as a
// record at address 0.
const char kMsBinMagic[] = "B000FF\n";

bool readMsBin(gcRecordReader& r, const gcImageOptions&, gcImageInfo* pInfo) {
  const unsigned char* h = r.look(15);
  if (h != nullptr && std::memcmp(h, kMsBinMagic, 7) == 0) r.take(15);
  for (;;) {
    if (!r.begin()) return r.missingEnd(), r.isOk();
    const unsigned char* p = r.take(12);
    if (p == nullptr) return false;
    const u32 iAddr = getLe(p, 4), n = getLe(p + 4, 4),
              iCheck = getLe(p + 8, 4);
    if (iAddr == 0) {
      if (!r.check(iCheck == 0) || !r.start(n, pInfo)) return false;
      return r.expectEnd(-1);
    }
    u32 sum = 0;
    if (!r.data(iAddr, n, &sum) || !r.check(sum == iCheck)) return false;
  }
}

u64 writeMsBin(gcImageSave& save, gcVMMBase* pVMM, const gcImageOptions&,
               const gcRecordFrame& frame, u64*) {
  vmm_int iLow = 0, iHigh = 0;
  const bool bData =
      findWrittenBounds(pVMM, save.getFirst(), save.getLast(), &iLow, &iHigh);
  if (bData && iLow == 0)
    save.fail(
        "MsBin cannot hold data at address 0x00000000 (it marks the "
        "start record)");
  if (frame.bFrame) {
    unsigned char* p = roomFor(save, 15);
    std::memcpy(p, kMsBinMagic, 7);
    putLe(p + 7, static_cast<u32>(iLow / save.addressUnit()), 4);
    wrote(save, putLe(p + 11, bData ? iHigh - iLow + 1 : 0, 4));
  }
  const u64 iBytes = cutRecords(
      pVMM, save, 1 << 15,
      [&](u64 a, const unsigned char* pData, std::size_t n) {
        unsigned char* p = roomFor(save, n + 12);
        u32 sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum += pData[i];
        p = putLe(
            putLe(putLe(p, static_cast<u32>(a), 4), static_cast<u32>(n), 4),
            sum, 4);
        std::memcpy(p, pData, n);
        wrote(save, p + n);
      });
  if (frame.bFrame && frame.bStart)
    wrote(save,
          putLe(putLe(putLe(roomFor(save, 12), 0, 4), frame.iStart, 4), 0, 4));
  return iBytes;
}

// Formatted binary (PDP-11 paper tape): a leader, the byte count in the low
// nibbles of 4 bytes (8 after the second leader), 0xFF, the bytes from the
// load address, 0 0 and their sum (BE 16).
const unsigned char kLeader[] = {0x08, 0x1C, 0x2A, 0x49, 0x08, 0x00};
const unsigned char kLongLeader[] = {0x08, 0x1C, 0x3E, 0x6B, 0x08, 0x00};

bool readFormattedBinary(gcRecordReader& r, const gcImageOptions& options,
                         gcImageInfo*) {
  const unsigned char* p = r.begin() ? r.take(6) : nullptr;
  if (p == nullptr) return r.isOk() && r.fail("no leader (an empty file)");
  const bool bLong = std::memcmp(p, kLongLeader, 6) == 0;
  if (!bLong && std::memcmp(p, kLeader, 6) != 0)
    return r.fail("no Formatted Binary leader (08 1C 2A 49 08 00)");
  const std::size_t iNibbles = bLong ? 8 : 4;
  if ((p = r.take(iNibbles + 1)) == nullptr) return false;
  u64 n = 0;
  for (std::size_t i = 0; i < iNibbles; ++i) {
    if (p[i] > 0x0F) return failf(r, "count byte 0x%02lX above 0x0F", p[i]);
    n = n << 4 | p[i];
  }
  if (p[iNibbles] != 0xFF)
    return failf(r, "0x%02lX where 0xFF begins the data", p[iNibbles]);
  u32 sum = 0;
  if (!r.data(options.getLoadAddress(), n, &sum)) return false;
  if (!r.begin() || (p = r.take(4)) == nullptr)
    return r.isOk() && r.fail("no trailer after the data");
  if (p[0] != 0 || p[1] != 0) return r.fail("trailer does not begin 00 00");
  return r.check((sum & 0xFFFF) == getBe(p + 2, 2)) && r.expectEnd(0);
}

u64 writeFormattedBinary(gcImageSave& save, gcVMMBase* pVMM,
                         const gcImageOptions& options, const gcRecordFrame&,
                         u64* pFilled) {
  const u64 n = save.getFirst() <= save.getLast()
                    ? save.getLast() - save.getFirst() + 1
                    : 0;
  const bool bLong = n > 0xFFFF;
  if (n > 0xFFFFFFFF) save.fail("a range of 4 GiB does not fit the byte count");
  unsigned char* p = roomFor(save, 15);
  std::memcpy(p, bLong ? kLongLeader : kLeader, 6);
  p += 6;
  for (int i = bLong ? 8 : 4; i-- > 0;) *p++ = (n >> 4 * i) & 0x0F;
  *p++ = 0xFF;
  wrote(save, p);
  gcFillWriter writer(save, options.getFillByte(), true);
  writer.writeRange(pVMM);
  p = roomFor(save, 4);
  *p++ = 0, *p++ = 0;
  wrote(save, putBe(p, writer.sum() & 0xFFFF, 2));
  *pFilled = writer.filled();
  return writer.bytes();
}

// DEC binary (XXDP): type 1, length (data + 6), address (LE 16 each), data
// and a check byte; NULs between records; a record without data holds the
// start and ends the file.
bool readDecBinary(gcRecordReader& r, const gcImageOptions&,
                   gcImageInfo* pInfo) {
  while (r.begin()) {
    if (r.peek() == 0) {
      r.take(1);
      continue;
    }
    const unsigned char* p = r.take(6);
    if (p == nullptr) return false;
    const u32 iType = getLe(p, 2), n = getLe(p + 2, 2), iAddr = getLe(p + 4, 2);
    u32 sum = p[0] + p[1] + p[2] + p[3] + p[4] + p[5];
    if (iType != 1) return failf(r, "record type %lu, not 1", iType);
    if (n < 6) return failf(r, "record length %lu, under its 6-byte header", n);
    if (!within16(r, iAddr, n - 6) || !r.data(iAddr, n - 6, &sum) ||
        (p = r.take(1)) == nullptr || !r.check(((sum + *p) & 0xFF) == 0))
      return false;
    if (n == 6) return r.start(iAddr, pInfo) && r.expectEnd(0);
  }
  return r.isOk();
}

u64 writeDecBinary(gcImageSave& save, gcVMMBase* pVMM,
                   const gcImageOptions& options, const gcRecordFrame& frame,
                   u64*) {
  auto record = [&](u64 iAddr, const unsigned char* pData, std::size_t n) {
    unsigned char* p0 = roomFor(save, n + 8);
    unsigned char* p = putLe(p0, 1, 2);
    p = putLe(putLe(p, static_cast<u32>(n + 6), 2), static_cast<u32>(iAddr), 2);
    std::memcpy(p, pData, n);
    p += n;
    *p = negatedSum(p0, p - p0);
    ++p;
    if ((p - p0) % 2 != 0) *p++ = 0;  // records begin on even offsets
    wrote(save, p);
  };
  const u64 iBytes = cutRecords(pVMM, save, options.getRecordLength(), record);
  if (frame.bFrame && frame.bStart && frame.bHasStart)
    record(frame.iStart, kNoData, 0);
  return iBytes;
}

// PPB: packets of 0x01, length and address (BE 32), the data with a check
// byte after every 1024 bytes and after the last, each of the packet's
// bytes so far (as srec_cat sums them); an empty packet ends.
bool readPpb(gcRecordReader& r, const gcImageOptions&, gcImageInfo*) {
  while (r.begin()) {
    const unsigned char* p = r.take(9);
    if (p == nullptr) return false;
    if (p[0] != 0x01) return failf(r, "packet begins 0x%02lX, not 0x01", p[0]);
    const u64 n = getBe(p + 1, 4), iAddr = getBe(p + 5, 4);
    u32 sum = 0;
    for (u64 i = 0; i < n || n == 0; i += 1024) {
      if (!r.data(iAddr, std::min<u64>(1024, n - i), &sum, i) ||
          (p = r.take(1)) == nullptr || !r.check(((sum + *p) & 0xFF) == 0))
        return false;
      if (n == 0) return r.expectEnd(-1);
    }
  }
  return r.missingEnd(), r.isOk();
}

u64 writePpb(gcImageSave& save, gcVMMBase* pVMM, const gcImageOptions&,
             const gcRecordFrame& frame, u64*) {
  auto packet = [&](u64 iAddr, const unsigned char* pData, std::size_t n) {
    unsigned char* p = roomFor(save, n + n / 1024 + 11);
    *p++ = 0x01;
    p = putBe(putBe(p, static_cast<u32>(n), 4), static_cast<u32>(iAddr), 4);
    unsigned int sum = 0;
    for (std::size_t i = 0; i < n || n == 0; i += 1024) {
      const std::size_t k = std::min<std::size_t>(1024, n - i);
      std::memcpy(p, pData + i, k);
      for (std::size_t j = 0; j < k; ++j) sum += p[j];
      p[k] = static_cast<unsigned char>(0u - sum);
      p += k + 1;
      if (n == 0) break;
    }
    wrote(save, p);
  };
  // srec_cat reads packets of at most 8 KiB.
  const u64 iBytes = cutRecords(pVMM, save, 1 << 13, packet);
  if (frame.bFrame) packet(0, kNoData, 0);
  return iBytes;
}

// TRS-80: type and length bytes; data (1) with an LE 16 address, 256 to 258
// bytes written as 0 to 2; an end (2 with the start, 3 without); comments
// (5).
bool readTrs80(gcRecordReader& r, const gcImageOptions&, gcImageInfo* pInfo) {
  while (r.begin()) {
    const unsigned char* p = r.take(2);
    if (p == nullptr) return false;
    const unsigned int iType = p[0], n = p[1];
    if (iType == 0x01) {
      const unsigned int iLength = n < 3 ? n + 256 : n;
      u32 sum = 0;
      if ((p = r.take(2)) == nullptr ||
          !within16(r, getLe(p, 2), iLength - 2) ||
          !r.data(getLe(p, 2), iLength - 2, &sum))
        return false;
    } else if (iType == 0x02 || iType == 0x03) {
      if (n != 2) return failf(r, "end record of length %lu, not 2", n);
      if ((p = r.take(2)) == nullptr) return false;
      if (iType == 0x02 && !r.start(getLe(p, 2), pInfo)) return false;
      return r.expectEnd(-1);
    } else if (iType == 0x05) {
      if ((p = r.take(n)) == nullptr) return false;
      if (pInfo->getHeader().empty())
        pInfo->setHeader(std::string(reinterpret_cast<const char*>(p), n));
    } else {
      return failf(r, "unknown record type 0x%02lX", iType);
    }
  }
  return r.missingEnd(), r.isOk();
}

u64 writeTrs80(gcImageSave& save, gcVMMBase* pVMM,
               const gcImageOptions& options, const gcRecordFrame& frame,
               u64*) {
  if (frame.bFrame && !frame.header.empty()) {
    unsigned char* p = roomFor(save, 260);
    *p = 0x05;
    wrote(save, putName(save, p + 1, frame.header));
  }
  const u64 iBytes =
      cutRecords(pVMM, save, options.getRecordLength(),
                 [&](u64 iAddr, const unsigned char* pData, std::size_t n) {
                   unsigned char* p = roomFor(save, n + 4);
                   *p++ = 0x01;
                   *p++ = static_cast<unsigned char>(n + 2);
                   p = putLe(p, static_cast<u32>(iAddr), 2);
                   std::memcpy(p, pData, n);
                   wrote(save, p + n);
                 });
  if (frame.bFrame) {
    const bool bStart = frame.bStart && frame.bHasStart;
    unsigned char* p = roomFor(save, 4);
    *p++ = bStart ? 0x02 : 0x03;
    *p++ = 2;
    wrote(save, putLe(p, frame.iStart, 2));
  }
  return iBytes;
}

}  // namespace

bool failf(gcRecordReader& reader, const char* pFormat, unsigned long iValue) {
  char reason[120];
  std::snprintf(reason, sizeof reason, pFormat, iValue);
  return reader.fail(reason);
}

const gcBinaryRecordFile::Description kAomf = {"AOMF", 16, 0, readAomf,
                                               writeAomf};
const gcBinaryRecordFile::Description kMsBin = {"MsBin", 32, 32, readMsBin,
                                                writeMsBin};
const gcBinaryRecordFile::Description kFormattedBinary = {
    "Formatted binary", 0, 0, readFormattedBinary, writeFormattedBinary};
const gcBinaryRecordFile::Description kDecBinary = {
    "DEC binary", 16, 16, readDecBinary, writeDecBinary};
const gcBinaryRecordFile::Description kPpb = {"PPB", 32, 0, readPpb, writePpb};
const gcBinaryRecordFile::Description kTrs80 = {"TRS-80", 16, 16, readTrs80,
                                                writeTrs80};
