// TI's tagged object format: a stream of tagged fields (see gcRecordFile.h).

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "gcHexCodec.h"
#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "gcRecordFormat.h"
#include "tools/segments.h"

namespace {

typedef std::uint64_t u64;

bool hex4(const char* p, unsigned int* pValue) {
  unsigned char b[2];
  unsigned int sum = 0;
  if (!decodeHex(p, 2, b, &sum)) return false;
  *pValue = b[0] << 8 | b[1];
  return true;
}

unsigned int charSum(const char* p, std::size_t n) {
  unsigned int sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += static_cast<unsigned char>(p[i]);
  return sum;
}

// The characters each tag takes, itself included; 0 for no tag.
std::size_t tagLength(char tag) {
  switch (tag) {
    case '0':
      return 13;
    case '*':
      return 3;
    case '7':
    case '8':
    case '9':
    case 'B':
    case 'K':
      return 5;
    default:
      return 0;
  }
}

class Reader {
 public:
  Reader(gcImageLoad& load, gcImageInfo& info, unsigned int iUnit)
      : load_(load), info_(info), iUnit_(iUnit), iLimit_(0x10000 * iUnit) {}
  const bool* ended() const { return &bEnd_; }

  // One record: its tags up to 'F', or ':' alone.
  bool line(const char* p, std::size_t len) {
    if (p[0] == ':') {
      bEnd_ = true;
      return len == 1 || load_.fail("text after ':'");
    }
    unsigned int sum = 0;
    for (std::size_t i = 0; i < len;) {
      const char tag = p[i];
      if (tag == 'F') {
        if (i + 1 != len) return load_.fail("text after 'F'");
        return flush();
      }
      std::size_t n = tagLength(tag);
      char reason[48];
      if (n == 0) {
        std::snprintf(reason, sizeof reason, "bad tag '%c' at column %zu", tag,
                      i + 1);
        return load_.fail(reason);
      }
      unsigned int v = 0;
      if (i + n > len) return load_.fail("record too short");
      if (tag != '0' &&
          !(tag == '*' ? hexByte(p + i + 1, &v) : hex4(p + i + 1, &v)))
        return load_.fail("invalid hex digit");
      if (tag == 'K') {
        if (v < 5 || i + v > len)
          return load_.fail("bad length of the program identifier");
        info_.setHeader(std::string(p + i + 5, v - 5));
        n = v;
      }
      sum += charSum(p + i, tag == '7' ? 1 : n);
      if (tag == '7' && ((-sum) & 0xFFFF) != v && !load_.checksumMismatch())
        return false;
      if (tag == '9') {
        if (!flush()) return false;
        iAddress_ = u64{v} * iUnit_;
      } else if (tag == 'B' || tag == '*') {
        const unsigned int k = tag == 'B' ? 2 : 1;
        if (iAddress_ + pending_.size() + k > iLimit_) {
          std::snprintf(reason, sizeof reason, "data past address 0x%08llX",
                        static_cast<unsigned long long>(iLimit_ - 1));
          return load_.fail(reason);
        }
        if (k == 2) pending_.push_back(static_cast<unsigned char>(v >> 8));
        pending_.push_back(static_cast<unsigned char>(v));
      }
      i += n;
    }
    return load_.fail("record does not end with 'F'");
  }

 private:
  static bool hexByte(const char* p, unsigned int* pValue) {
    unsigned char b;
    unsigned int sum = 0;
    if (!decodeHex(p, 1, &b, &sum)) return false;
    *pValue = b;
    return true;
  }
  bool flush() {
    const bool bOk = load_.put(iAddress_, pending_.data(), pending_.size());
    iAddress_ += pending_.size();
    pending_.clear();
    return bOk;
  }

  gcImageLoad& load_;
  gcImageInfo& info_;
  unsigned int iUnit_;
  u64 iLimit_;
  u64 iAddress_ = 0;
  std::vector<unsigned char> pending_;
  bool bEnd_ = false;
};

// Writes the runs of the image, a record a line.
class Writer : public gcChunkWriter {
 public:
  Writer(gcImageSave& save, unsigned int iUnit, unsigned int iChunk)
      : gcChunkWriter(save, iChunk), iUnit_(iUnit) {}
  void piece(u64 iAddr, const unsigned char* p, std::size_t n, bool) override {
    char* out = save_.room(n * 5 / 2 + 24);
    char* start = out;
    out = field(out, '9', static_cast<unsigned>(iAddr / iUnit_));
    for (std::size_t k = 0; k + 1 < n; k += 2)
      out = field(out, 'B', p[k] << 8 | p[k + 1]);
    if (n % 2 != 0) {
      *out++ = '*';
      out = encodeHex(out, hexPairDigits(), p[n - 1]);
    }
    save_.advance(save_.lineEnd(end(start, out)));
  }
  // The checksum and 'F' after the record from start to out.
  static char* end(const char* start, char* out) {
    *out++ = '7';
    out = field(out - 1, '7', -charSum(start, out - start) & 0xFFFF);
    *out++ = 'F';
    return out;
  }
  static char* field(char* out, char tag, unsigned int v) {
    const std::uint16_t* pDigits = hexPairDigits();
    *out++ = tag;
    return encodeHex(encodeHex(out, pDigits, v >> 8), pDigits, v);
  }

 private:
  unsigned int iUnit_;
};

}  // namespace

gcFileResult loadTagged(const gcRecordFormat& f, const std::string& sFileName,
                        gcVMMBase* pVMM, const gcImageOptions& options,
                        gcImageInfo* pInfo) {
  gcImageLoad load(sFileName, pVMM, options);
  gcImageInfo info;
  Reader reader(load, info, f.iUnit * std::max(userUnit(f, load), 1u));
  load.readRecordsToEnd(
      reader.ended(), true,
      [&](const char* p, std::size_t n) { return reader.line(p, n); });
  return load.finish(info, pInfo);
}

gcFileResult saveTagged(const gcRecordFormat& f, const std::string& sFileName,
                        gcVMMBase* pVMM, const gcImageOptions& options,
                        const gcImageInfo* pInfo) {
  gcImageSave save(sFileName, pVMM, options);
  std::string header = pInfo != nullptr ? pInfo->getHeader() : "";
  if (options.hasHeader())
    header = options.getWriteHeader() ? options.getHeader() : "";
  if (options.getDataOnly()) header.clear();
  // Its record ("K", its length, the text, the check, "F", CR LF) is one
  // line, which a reader takes up to 64 KiB long.
  if (header.size() > 0xFFFF - 12 ||
      header.find_first_of("\r\n") != std::string::npos)
    save.fail("the header does not fit a program identifier (one line)");
  const unsigned int iScale = f.iUnit * std::max(userUnit(f, save), 1u);
  if (save.isOk() && save.getFirst() <= save.getLast()) {
    const std::string reason =
        unfitRuns(save, pVMM, 0x10000 * iScale, f.iUnit, false);
    if (!reason.empty()) save.fail(reason);
  }
  if (!save.open()) return save.finish(0, 0);
  // Whole 'B' fields, each record from a unit.
  const unsigned int iStep = std::max(iScale, 2u);
  const unsigned int iLength = options.getRecordLength();
  Writer writer(save, iScale, std::max(iLength - iLength % iStep, iStep));
  if (!header.empty()) {  // up to 64 KiB: more than the save's buffer
    std::string record(header.size() + 11, '\0');
    char* out = Writer::field(&record[0], 'K',
                              static_cast<unsigned>(header.size() + 5));
    out = Writer::end(&record[0], std::copy(header.begin(), header.end(), out));
    record.resize(out - &record[0]);
    putLine(save, record);
  }
  forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 0x10000);
  if (!options.getDataOnly()) {
    char* out = save.room(3);
    *out++ = ':';
    save.advance(save.lineEnd(out));
  }
  return save.finish(writer.bytes(), 0);
}
