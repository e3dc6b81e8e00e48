// Internal: what the binary record formats share: a cursor that names the
// byte offset of the record it reads, fields of either byte order, and the
// writers that cut an image into records or lay it out with its holes.
#ifndef DWXFILES_GCBINARYRECORDS_H_
#define DWXFILES_GCBINARYRECORDS_H_

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "tools/segments.h"

inline std::uint32_t getBe(const unsigned char* p, int iBytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < iBytes; ++i) v = v << 8 | p[i];
  return v;
}

// Returns the byte after the field.
inline unsigned char* putBe(unsigned char* p, std::uint32_t v, int iBytes) {
  for (int i = iBytes; i-- > 0;) *p++ = static_cast<unsigned char>(v >> 8 * i);
  return p;
}

// Reads a file front to back, a record at a time. Every error names the
// byte offset of the record begun last ("offset 0x1A: checksum mismatch");
// a record that the file's end cuts short is named by that end, unless the
// source is a longer file's head and the record is not the first: the
// file then ends before it.
class gcRecordReader {
 public:
  static constexpr std::size_t kMaxTake = 1 << 12;
  // bAddresses: the format has an address field, whose addresses count the
  // load's unit; without one, a load with a unit fails at its first byte.
  gcRecordReader(gcImageLoad& load, bool bAddresses);
  bool isOk() const { return load_.isOpen(); }
  std::uint64_t offset() const { return iBase_ + iPos_; }
  // Begins a record at the next byte; false at the end of the file or
  // after an error.
  bool begin();
  // The next n bytes; null, failed, when the file ends first.
  // REQUIRES: n <= kMaxTake.
  const unsigned char* take(std::size_t n) {
    if (iEnd_ - iPos_ < n && !refill(n)) return cutShort();
    iPos_ += n;
    return buffer_.get() + iPos_ - n;
  }
  // The next byte without taking it; -1 at the end of the file.
  int peek();
  // The next n bytes without taking them; null when fewer are left.
  // REQUIRES: n <= kMaxTake.
  const unsigned char* look(std::size_t n) {
    return iEnd_ - iPos_ >= n || refill(n) ? buffer_.get() + iPos_ : nullptr;
  }
  // The bytes a file address counts.
  unsigned int unit() const { return iUnit_; }
  // Takes n bytes and stages them from the image address of iFileAddr and
  // iOffset bytes more, adding each to *pSum. Fails, naming the record, for
  // data past 0xFFFFFFFF.
  bool data(std::uint64_t iFileAddr, std::uint64_t n, std::uint32_t* pSum,
            std::uint64_t iOffset = 0) {
    return consume(iFileAddr * iUnit_ + iOffset, n, pSum, true);
  }
  // Stages n bytes already taken; fails for data past 0xFFFFFFFF.
  bool put(std::uint64_t iFileAddr, const unsigned char* p, std::size_t n) {
    const std::uint64_t iAddr = iFileAddr * iUnit_;
    return iAddr + n <= std::uint64_t{1} << 32
               ? load_.put(iAddr, p, n)
               : fail("data runs past address 0xFFFFFFFF");
  }
  // Hands on the start address of file address iFileAddr; fails when it
  // passes 4 GiB.
  bool start(std::uint64_t iFileAddr, gcImageInfo* pInfo) {
    const std::uint64_t iAddr = iFileAddr * iUnit_;
    if (iAddr >> 32 != 0) return fail("start address past 4 GiB");
    pInfo->setStartAddress(static_cast<std::uint32_t>(iAddr));
    return true;
  }
  // The same for n bytes that are not data.
  bool skip(std::uint64_t n, std::uint32_t* pSum) {
    return consume(0, n, pSum, false);
  }
  // A record's check: fails, or warns under --ignore-checksums.
  bool check(bool bGood) { return bGood || load_.checksumMismatch(); }
  bool fail(const std::string& sReason) { return load_.fail(sReason, false); }
  // After the end record: fails, naming the first byte that is not
  // iPad, for anything more.
  bool expectEnd(int iPad);
  // The file ended without an end record: a warning, an error if strict.
  void missingEnd();

 private:
  bool refill(std::size_t n);
  bool consume(std::uint64_t iAddr, std::uint64_t n, std::uint32_t* pSum,
               bool bPut);
  const unsigned char* cutShort();

  gcImageLoad& load_;
  const unsigned int iUnit_;
  std::unique_ptr<unsigned char[]> buffer_;
  std::uint64_t iBase_ = 0;  // file offset of buffer_[0]
  std::uint64_t iRecord_ = 0;
  std::uint64_t iRecords_ = 0;  // begun
  std::size_t iPos_ = 0, iEnd_ = 0;
  bool bEof_ = false;
};

// Hands each run of the range to record(file address, bytes, n) in pieces
// of at most iMax bytes, each beginning on a unit of the save.
// REQUIRES: the save asked its address unit before it opened the file.
template <class Record>
class gcRecordCutter : public gcSegmentHandler {
 public:
  gcRecordCutter(gcImageSave& save, std::uint64_t iMax, Record record)
      : save_(save),
        iUnit_(save.addressUnit()),
        iMax_(std::max<std::uint64_t>(iMax - iMax % iUnit_, iUnit_)),
        record_(record) {}
  bool handleSegment(vmm_int iFirst, std::uint64_t iLength,
                     const char* pData) override {
    const auto* p = reinterpret_cast<const unsigned char*>(pData);
    for (std::uint64_t i = 0; i < iLength && save_.isOk(); i += iMax_)
      record_((std::uint64_t{iFirst} + i) / iUnit_, p + i,
              static_cast<std::size_t>(std::min(iMax_, iLength - i)));
    iBytes_ += iLength;
    return save_.isOk();
  }
  std::uint64_t bytes() const { return iBytes_; }

 private:
  gcImageSave& save_;
  const unsigned int iUnit_;
  const std::uint64_t iMax_;
  Record record_;
  std::uint64_t iBytes_ = 0;
};

// Walks the save's range, iMax bytes a record at most.
template <class Record>
std::uint64_t cutRecords(gcVMMBase* pVMM, gcImageSave& save, std::uint64_t iMax,
                         Record record) {
  gcRecordCutter<Record> cutter(save, iMax, record);
  forAllSegments(pVMM, &cutter, save.getFirst(), save.getLast(), 1 << 16);
  return cutter.bytes();
}

// Writes every address of the save's range: the runs, and the fill byte
// for each hole; with bSum, keeps the sum of all it wrote.
class gcFillWriter : public gcSegmentHandler {
 public:
  gcFillWriter(gcImageSave& save, std::uint8_t iFill, bool bSum = false);
  bool handleSegment(vmm_int iFirst, std::uint64_t iLength,
                     const char* pData) override;
  // Walks the range and fills to its end.
  void writeRange(gcVMMBase* pVMM);
  std::uint64_t bytes() const { return iBytes_; }
  std::uint64_t filled() const { return iFilled_; }
  std::uint32_t sum() const { return iSum_; }

 private:
  void fillTo(std::uint64_t iEnd);

  gcImageSave& save_;
  std::uint64_t iNext_;
  std::uint8_t iFill_;
  bool bSum_;
  std::uint64_t iBytes_ = 0, iFilled_ = 0;
  std::uint32_t iSum_ = 0;
};

#endif  // DWXFILES_GCBINARYRECORDS_H_
