#include "gcIntelHexFile.h"

#include <algorithm>
#include <cstdio>

#include "gcHexCodec.h"
#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "tools/segments.h"

namespace {

typedef std::uint64_t u64;
constexpr u64 kSpace = u64{1} << 32;

// What the records read so far have set.
struct IntelState {
  gcImageLoad& load;
  gcImageInfo& info;
  u64 iBase;
  bool bSegmented;  // 02 in force: offsets wrap within 64 K units
  bool bEnd;
  unsigned int iUnit;  // bytes an address counts
};

// A record: its bytes (count, offset, type, data, checksum), checked.
typedef bool (*IntelHandler)(IntelState&, const unsigned char* pRecord);

struct IntelRecordType {
  int iLength;  // data bytes the type needs, -1 for any
  IntelHandler handle;
};

std::uint32_t value(const unsigned char* pRecord) {
  return bigEndian(pRecord + 4, pRecord[0]);
}

// A linear start address in units.
bool start(IntelState& s, u64 iFileAddr) {
  u64 a = 0;
  if (!s.load.imageAddress(iFileAddr, 1, &a)) return false;
  s.info.setStartAddress(static_cast<std::uint32_t>(a), false);
  return true;
}

const IntelRecordType kIntelTypes[] = {
    {-1,  // 00 data
     [](IntelState& s, const unsigned char* pRecord) {
       const u64 offset = bigEndian(pRecord + 1, 2), n = pRecord[0];
       // Where the offset wraps: at the segment's end, or at 4 GiB.
       const u64 first = s.iBase + offset;
       const u64 wrap = s.bSegmented ? 0x10000 - offset : kSpace - first;
       const u64 k = std::min(n, wrap * s.iUnit);
       u64 at = 0, then = 0;
       return s.load.imageAddress(first, k, &at) &&
              s.load.put(at, pRecord + 4, k) &&
              (k == n ||
               (s.load.imageAddress(s.bSegmented ? s.iBase : 0, n - k, &then) &&
                s.load.put(then, pRecord + 4 + k, n - k)));
     }},
    {0,  // 01 end of file
     [](IntelState& s, const unsigned char*) { return s.bEnd = true; }},
    {2,  // 02 extended segment address
     [](IntelState& s, const unsigned char* pRecord) {
       s.iBase = u64{value(pRecord)} << 4;
       return s.bSegmented = true;
     }},
    {4,  // 03 start segment address (CS:IP)
     [](IntelState& s, const unsigned char* pRecord) {
       if (s.iUnit == 1) {
         s.info.setStartAddress(value(pRecord), true);
         return true;
       }
       // In units CS:IP names no byte address of its own form: linear.
       const u64 a =
           (u64{value(pRecord) >> 16} << 4) + (value(pRecord) & 0xFFFF);
       return start(s, a);
     }},
    {2,  // 04 extended linear address
     [](IntelState& s, const unsigned char* pRecord) {
       s.iBase = u64{value(pRecord)} << 16;
       s.bSegmented = false;
       return true;
     }},
    {4,  // 05 start linear address
     [](IntelState& s, const unsigned char* pRecord) {
       return start(s, value(pRecord));
     }},
};

// Checks one line and hands its record to its type; false after an error.
bool readRecord(IntelState& s, const char* pLine, std::size_t iLength) {
  unsigned char record[5 + 255];
  if (pLine[0] != ':') return s.load.fail("record does not start with ':'");
  if (iLength % 2 == 0) return s.load.fail("odd number of hex digits");
  const std::size_t n = iLength / 2;
  if (n < 5) return s.load.fail("record too short");
  if (n > sizeof record) return s.load.fail("record too long");
  unsigned int sum = 0;
  if (!decodeHex(pLine + 1, n, record, &sum))
    return s.load.fail("invalid hex digit");
  if (record[0] + 5u != n)
    return s.load.fail("byte count does not match the record");
  if ((sum & 0xFF) != 0 && !s.load.checksumMismatch()) return false;
  const unsigned int type = record[3];
  char reason[48];
  if (type >= sizeof kIntelTypes / sizeof kIntelTypes[0]) {
    std::snprintf(reason, sizeof reason, "unknown record type %02X", type);
    return s.load.fail(reason);
  }
  const IntelRecordType& kind = kIntelTypes[type];
  if (kind.iLength >= 0 && record[0] != kind.iLength) {
    std::snprintf(reason, sizeof reason, "record type %02X needs %d data bytes",
                  type, kind.iLength);
    return s.load.fail(reason);
  }
  return kind.handle(s, record);
}

// Writes the runs of the image as records.
class IntelWriter : public gcSegmentHandler {
 public:
  IntelWriter(gcImageSave& save, unsigned int iRecordLength, bool bSegment,
              unsigned int iUnit)
      : save_(save),
        iRecordLength_(iRecordLength),
        bSegment_(bSegment),
        iUnit_(iUnit) {}
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    // A run never crosses 64 KiB, so never 64 K units.
    if (iFirst / iUnit_ >> 16 != iUpper_) {
      iUpper_ = iFirst / iUnit_ >> 16;
      // A segment's base is 16 times its value: 0x1000 a 64 KiB step.
      const u64 base = bSegment_ ? iUpper_ << 12 : iUpper_;
      const unsigned char upper[2] = {static_cast<unsigned char>(base >> 8),
                                      static_cast<unsigned char>(base)};
      record(bSegment_ ? 2 : 4, 0, upper, 2);
    }
    const auto* p = reinterpret_cast<const unsigned char*>(pData);
    for (u64 i = 0; i < iLength; i += iRecordLength_)
      record(0, (iFirst + i) / iUnit_ & 0xFFFF, p + i,
             static_cast<unsigned int>(
                 std::min<u64>(iRecordLength_, iLength - i)));
    iBytes_ += iLength;
    return save_.isOk();
  }
  void record(unsigned int type, unsigned int offset,
              const unsigned char* pData, unsigned int n) {
    const std::uint16_t* pDigits = hexPairDigits();
    char* p = save_.room(2 * n + 16);
    unsigned int sum = n + (offset >> 8) + (offset & 0xFF) + type;
    *p++ = ':';
    p = encodeHex(encodeHex(p, pDigits, n), pDigits, offset >> 8);
    p = encodeHex(encodeHex(p, pDigits, offset), pDigits, type);
    p = encodeHex(p, pData, n, &sum);
    save_.advance(save_.lineEnd(encodeHex(p, pDigits, -sum)));
  }
  u64 bytes() const { return iBytes_; }

 private:
  gcImageSave& save_;
  unsigned int iRecordLength_;
  bool bSegment_;
  unsigned int iUnit_;
  u64 iUpper_ = ~u64{0};  // an 04 record before the first data record
  u64 iBytes_ = 0;
};

}  // namespace

const char* gcIntelHexFile::getTypeName() { return "Intel HEX"; }

gcFileResult gcIntelHexFile::loadImage(const std::string& sFileName,
                                       gcVMMBase* pVMM,
                                       const gcImageOptions& options,
                                       gcImageInfo* pInfo) {
  gcImageLoad load(sFileName, pVMM, options);
  gcImageInfo info;
  IntelState state{load, info, 0, false, false, load.addressUnit()};
  load.readRecords(&state.bEnd, [&](const char* pLine, std::size_t iLength) {
    return readRecord(state, pLine, iLength);
  });
  return load.finish(info, pInfo);
}

gcFileResult gcIntelHexFile::saveImage(const std::string& sFileName,
                                       gcVMMBase* pVMM,
                                       const gcImageOptions& options,
                                       const gcImageInfo* pInfo) {
  gcImageSave save(sFileName, pVMM, options);
  const unsigned int iRecordLength = options.getRecordLength();
  const unsigned int iUnit = save.addressUnit();
  if (iRecordLength < 1 || iRecordLength > 255)
    save.fail("record length must be 1 to 255");
  else if (iRecordLength % iUnit != 0)
    save.fail("record length " + std::to_string(iRecordLength) +
              " is not a multiple of the address unit " +
              std::to_string(iUnit));
  const gcImageOptions::HexAddressing mode = options.getHexAddressing();
  const bool bSegment = mode == gcImageOptions::kHexSegment;
  const bool bStart = options.getWriteStart() && !options.getDataOnly() &&
                      pInfo != nullptr && pInfo->hasStartAddress();
  std::uint32_t iStart = bStart ? pInfo->getStartAddress() : 0;
  bool bSegmentedStart = bStart && pInfo->isSegmentedStart();
  if (bStart &&
      (iUnit != 1 || (mode == gcImageOptions::kHexLinear && bSegmentedStart)))
    iStart = static_cast<std::uint32_t>(
        save.fileStart(pInfo->getLinearStartAddress())),
    bSegmentedStart = false;
  char reason[96];
  if (bSegment && save.getHighest() / iUnit >= 0x100000) {
    std::snprintf(reason, sizeof reason,
                  "address 0x%08llX is beyond segment addressing (below 1 MiB)",
                  static_cast<unsigned long long>(save.getHighest()));
    save.fail(reason);
  } else if (bSegment && bStart && !bSegmentedStart) {
    if (iStart >= 0x100000) {
      std::snprintf(reason, sizeof reason,
                    "start address 0x%08X is beyond segment addressing "
                    "(below 1 MiB)",
                    iStart);
      save.fail(reason);
    }
    iStart = (iStart >> 4 & 0xF000) << 16 | (iStart & 0xFFFF);
    bSegmentedStart = true;
  }
  if (!save.open()) return save.finish(0, 0);
  IntelWriter writer(save, iRecordLength, bSegment, iUnit);
  forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 0x10000);
  if (bStart) {
    const std::uint32_t a = iStart;
    const unsigned char start[4] = {static_cast<unsigned char>(a >> 24),
                                    static_cast<unsigned char>(a >> 16),
                                    static_cast<unsigned char>(a >> 8),
                                    static_cast<unsigned char>(a)};
    writer.record(bSegmentedStart ? 3 : 5, 0, start, 4);
  }
  if (!options.getDataOnly()) writer.record(1, 0, nullptr, 0);
  return save.finish(writer.bytes(), 0);
}
