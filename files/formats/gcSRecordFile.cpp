#include "gcSRecordFile.h"

#include <algorithm>
#include <cstdio>

#include "gcHexCodec.h"
#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "tools/segments.h"

namespace {

typedef std::uint64_t u64;

struct SRecordState {
  gcImageLoad& load;
  gcImageInfo& info;
  u64 iDataRecords;
  bool bEnd;
};

// A record's address and data, checked.
typedef bool (*SRecordHandler)(SRecordState&, u64 iAddr,
                               const unsigned char* pData, unsigned int n);

struct SRecordType {
  unsigned int iAddressBytes;  // 0: no such type
  SRecordHandler handle;
};

bool data(SRecordState& s, u64 iAddr, const unsigned char* pData,
          unsigned int n) {
  ++s.iDataRecords;
  u64 at = 0;
  return s.load.imageAddress(iAddr, n, &at) && s.load.put(at, pData, n);
}

bool count(SRecordState& s, u64 iAddr, const unsigned char*, unsigned int n) {
  if (n != 0) return s.load.fail("count record with data");
  if (iAddr == s.iDataRecords) return true;
  char reason[80];
  std::snprintf(reason, sizeof reason,
                "count record says %llu data records, %llu were read",
                static_cast<unsigned long long>(iAddr),
                static_cast<unsigned long long>(s.iDataRecords));
  return s.load.fail(reason);
}

bool start(SRecordState& s, u64 iAddr, const unsigned char*, unsigned int n) {
  if (n != 0) return s.load.fail("end record with data");
  u64 at = 0;
  if (!s.load.imageAddress(iAddr, 1, &at)) return false;
  s.info.setStartAddress(static_cast<std::uint32_t>(at));
  return s.bEnd = true;
}

const SRecordType kSRecordTypes[10] = {
    {2,
     [](SRecordState& s, u64, const unsigned char* pData, unsigned int n) {
       s.info.setHeader(std::string(reinterpret_cast<const char*>(pData), n));
       return true;
     }},
    {2, data},
    {3, data},
    {4, data},
    {0, nullptr},
    {2, count},
    {3, count},
    {4, start},
    {3, start},
    {2, start},
};

bool readRecord(SRecordState& s, const char* pLine, std::size_t iLength) {
  unsigned char record[256];
  if (pLine[0] != 'S') return s.load.fail("record does not start with 'S'");
  if (iLength < 2) return s.load.fail("record too short");
  const unsigned int type = static_cast<unsigned char>(pLine[1]) - '0';
  if (type > 9 || kSRecordTypes[type].iAddressBytes == 0) {
    const std::string name(pLine, 2);
    return s.load.fail("unknown record type " + name);
  }
  if (iLength % 2 != 0) return s.load.fail("odd number of hex digits");
  const std::size_t n = iLength / 2 - 1;
  if (n > sizeof record) return s.load.fail("record too long");
  unsigned int sum = 0;
  if (!decodeHex(pLine + 2, n, record, &sum))
    return s.load.fail("invalid hex digit");
  if (n == 0 || record[0] + 1u != n)
    return s.load.fail("byte count does not match the record");
  if ((sum & 0xFF) != 0xFF && !s.load.checksumMismatch()) return false;
  const SRecordType& kind = kSRecordTypes[type];
  if (record[0] < kind.iAddressBytes + 1)
    return s.load.fail("record too short");
  return kind.handle(s, bigEndian(record + 1, kind.iAddressBytes),
                     record + 1 + kind.iAddressBytes,
                     record[0] - kind.iAddressBytes - 1);
}

class SRecordWriter : public gcSegmentHandler {
 public:
  SRecordWriter(gcImageSave& save, unsigned int iRecordLength,
                unsigned int iAddressBytes, unsigned int iUnit)
      : save_(save),
        iRecordLength_(iRecordLength),
        iWidth_(iAddressBytes),
        iUnit_(iUnit) {}
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    const auto* p = reinterpret_cast<const unsigned char*>(pData);
    for (u64 i = 0; i < iLength; i += iRecordLength_, ++iRecords_)
      record(char('0' + iWidth_ - 1), iWidth_, (iFirst + i) / iUnit_, p + i,
             static_cast<unsigned int>(
                 std::min<u64>(iRecordLength_, iLength - i)));
    iBytes_ += iLength;
    return save_.isOk();
  }
  void record(char type, unsigned int iWidth, u64 iAddr,
              const unsigned char* pData, unsigned int n) {
    const std::uint16_t* pDigits = hexPairDigits();
    char* p = save_.room(2 * n + 20);
    *p++ = 'S';
    *p++ = type;
    unsigned int sum = iWidth + n + 1;
    p = encodeHex(p, pDigits, sum);
    for (unsigned int i = iWidth; i-- > 0;) {
      p = encodeHex(p, pDigits, iAddr >> 8 * i & 0xFF);
      sum += iAddr >> 8 * i & 0xFF;
    }
    p = encodeHex(p, pData, n, &sum);
    save_.advance(save_.lineEnd(encodeHex(p, pDigits, ~sum)));
  }
  u64 records() const { return iRecords_; }
  u64 bytes() const { return iBytes_; }

 private:
  gcImageSave& save_;
  unsigned int iRecordLength_;
  unsigned int iWidth_;
  unsigned int iUnit_;
  u64 iRecords_ = 0;
  u64 iBytes_ = 0;
};

unsigned int widthFor(u64 iAddr) {
  return iAddr <= 0xFFFF ? 2 : iAddr <= 0xFFFFFF ? 3 : 4;
}

}  // namespace

const char* gcSRecordFile::getTypeName() { return "Motorola S-record"; }

gcFileResult gcSRecordFile::loadImage(const std::string& sFileName,
                                      gcVMMBase* pVMM,
                                      const gcImageOptions& options,
                                      gcImageInfo* pInfo) {
  gcImageLoad load(sFileName, pVMM, options);
  gcImageInfo info;
  load.addressUnit();  // imageAddress scales every address
  SRecordState state{load, info, 0, false};
  load.readRecords(&state.bEnd, [&](const char* pLine, std::size_t iLength) {
    return readRecord(state, pLine, iLength);
  });
  return load.finish(info, pInfo);
}

gcFileResult gcSRecordFile::saveImage(const std::string& sFileName,
                                      gcVMMBase* pVMM,
                                      const gcImageOptions& options,
                                      const gcImageInfo* pInfo) {
  gcImageSave save(sFileName, pVMM, options);
  const unsigned int iUnit = save.addressUnit();
  const bool bStart = options.getWriteStart() && !options.getDataOnly() &&
                      pInfo != nullptr && pInfo->hasStartAddress();
  const u64 iStart =
      bStart ? save.fileStart(pInfo->getLinearStartAddress()) : 0;
  const u64 iHighest = save.getHighest() / iUnit;
  const unsigned int iNeeded = widthFor(std::max(iHighest, iStart));
  unsigned int iWidth = options.getAddressBytes();
  if (iWidth == 0) iWidth = iNeeded;
  const unsigned int iRecordLength = options.getRecordLength();
  char reason[80];
  if (iWidth < 2 || iWidth > 4) {
    save.fail("address width must be 2, 3 or 4 bytes");
  } else if (iWidth < iNeeded) {
    std::snprintf(reason, sizeof reason,
                  "addresses up to 0x%08llX do not fit in S%u records",
                  static_cast<unsigned long long>(std::max(iHighest, iStart)),
                  iWidth - 1);
    save.fail(reason);
  } else if (iRecordLength < 1 || iRecordLength > 254 - iWidth) {
    std::snprintf(reason, sizeof reason,
                  "record length must be 1 to %u for S%u records", 254 - iWidth,
                  iWidth - 1);
    save.fail(reason);
  } else if (iRecordLength % iUnit != 0) {
    save.fail("record length " + std::to_string(iRecordLength) +
              " is not a multiple of the address unit " +
              std::to_string(iUnit));
  }
  std::string header = pInfo != nullptr ? pInfo->getHeader() : "";
  if (options.hasHeader())
    header = options.getWriteHeader() ? options.getHeader() : "";
  if (options.getDataOnly()) header.clear();
  if (header.size() > 252) save.fail("header longer than 252 bytes");
  if (!save.open()) return save.finish(0, 0);
  SRecordWriter writer(save, iRecordLength, iWidth, iUnit);
  if (!header.empty())
    writer.record('0', 2, 0,
                  reinterpret_cast<const unsigned char*>(header.data()),
                  static_cast<unsigned int>(header.size()));
  forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 0x10000);
  if (options.getDataOnly()) return save.finish(writer.bytes(), 0);
  if (writer.records() <= 0xFFFFFF) {
    const unsigned int iCountWidth = writer.records() <= 0xFFFF ? 2 : 3;
    writer.record(char('0' + iCountWidth + 3), iCountWidth, writer.records(),
                  nullptr, 0);
  }
  if (options.getWriteStart())
    writer.record(char('0' + 11 - iWidth), iWidth, iStart, nullptr, 0);
  return save.finish(writer.bytes(), 0);
}
