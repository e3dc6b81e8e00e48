#include "gcBinaryRecords.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t kBlock = 1 << 16;  // what gcImageLoad::nextBlock gives

std::string offsetText(std::uint64_t iOffset) {
  char text[32];
  std::snprintf(text, sizeof text,
                "offset 0x%llX: ", static_cast<unsigned long long>(iOffset));
  return text;
}

}  // namespace

gcRecordReader::gcRecordReader(gcImageLoad& load, bool bAddresses)
    : load_(load),
      iUnit_(bAddresses ? load.addressUnit() : 1),
      buffer_(new unsigned char[kMaxTake + kBlock]) {}

bool gcRecordReader::begin() {
  if (!isOk() || peek() < 0) return false;
  iRecord_ = offset();
  ++iRecords_;
  load_.setContext(offsetText(iRecord_));
  return true;
}

int gcRecordReader::peek() {
  if (iPos_ == iEnd_ && !refill(1)) return -1;
  return buffer_[iPos_];
}

bool gcRecordReader::refill(std::size_t n) {
  // The bytes left are fewer than one take: they move to the front.
  std::memmove(buffer_.get(), buffer_.get() + iPos_, iEnd_ - iPos_);
  iBase_ += iPos_;
  iEnd_ -= iPos_;
  iPos_ = 0;
  while (iEnd_ < n && !bEof_ && isOk()) {
    const char* pBlock = nullptr;
    const std::size_t k = load_.nextBlock(&pBlock);
    std::memcpy(buffer_.get() + iEnd_, pBlock, k);
    iEnd_ += k;
    bEof_ = k == 0;
  }
  return iEnd_ >= n;
}

const unsigned char* gcRecordReader::cutShort() {
  if (!isOk()) return nullptr;
  // The head of a longer file: the records before this one told enough.
  if (load_.isSourceHead() && iRecords_ > 1) {
    bEof_ = true, iPos_ = iEnd_;
    return nullptr;
  }
  load_.setContext(offsetText(iBase_ + iEnd_));
  char reason[80];
  std::snprintf(reason, sizeof reason,
                "the file ends inside the record at offset 0x%llX",
                static_cast<unsigned long long>(iRecord_));
  fail(reason);
  return nullptr;
}

bool gcRecordReader::consume(std::uint64_t iAddr, std::uint64_t n,
                             std::uint32_t* pSum, bool bPut) {
  if (bPut && iAddr + n > std::uint64_t{1} << 32)
    return fail("data runs past address 0xFFFFFFFF");
  while (n != 0) {
    if (iPos_ == iEnd_ && !refill(1)) return cutShort() != nullptr;
    const std::size_t k =
        static_cast<std::size_t>(std::min<std::uint64_t>(n, iEnd_ - iPos_));
    const unsigned char* p = buffer_.get() + iPos_;
    std::uint32_t iSum = 0;
    for (std::size_t i = 0; i < k; ++i) iSum += p[i];
    *pSum += iSum;
    if (bPut && !load_.put(iAddr, p, k)) return false;
    iPos_ += k, iAddr += k, n -= k;
  }
  return true;
}

bool gcRecordReader::expectEnd(int iPad) {
  for (int c; (c = peek()) >= 0; ++iPos_)
    if (c != iPad) return begin() && fail("data after the end record");
  return isOk();
}

void gcRecordReader::missingEnd() {
  if (!isOk()) return;
  load_.setContext(offsetText(offset()));
  load_.warn("no end record");
}

gcFillWriter::gcFillWriter(gcImageSave& save, std::uint8_t iFill, bool bSum)
    : save_(save), iNext_(save.getFirst()), iFill_(iFill), bSum_(bSum) {}

bool gcFillWriter::handleSegment(vmm_int iFirst, std::uint64_t iLength,
                                 const char* pData) {
  fillTo(iFirst);
  for (std::uint64_t i = 0; i < iLength; i += kBlock) {
    const std::size_t k =
        static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, iLength - i));
    char* p = save_.room(k);
    std::memcpy(p, pData + i, k);
    save_.advance(p + k);
    if (bSum_)
      for (std::size_t j = 0; j < k; ++j)
        iSum_ += static_cast<unsigned char>(p[j]);
  }
  iNext_ = std::uint64_t{iFirst} + iLength;
  iBytes_ += iLength;
  return save_.isOk();
}

void gcFillWriter::fillTo(std::uint64_t iEnd) {
  while (iNext_ < iEnd && save_.isOk()) {
    const std::size_t k = static_cast<std::size_t>(
        std::min<std::uint64_t>(kBlock, iEnd - iNext_));
    char* p = save_.room(k);
    std::memset(p, iFill_, k);
    save_.advance(p + k);
    iSum_ += bSum_ ? static_cast<std::uint32_t>(k) * iFill_ : 0;
    iNext_ += k, iFilled_ += k;
  }
}

void gcFillWriter::writeRange(gcVMMBase* pVMM) {
  forAllSegments(pVMM, this, save_.getFirst(), save_.getLast(), 1 << 16);
  if (save_.getFirst() <= save_.getLast()) fillTo(save_.getLast() + 1);
}
