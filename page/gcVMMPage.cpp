#include "gcVMMPage.h"

#include <cstring>

#include "../core/gcVMMBase.h"
#include "../core/gcVMMPageHandler.h"
#include "../core/messages.h"

namespace {

// Sets the bits of data offsets first..last: head and tail bytes by mask,
// the bytes between as whole 0xFF bytes.
void markRun(unsigned char* pBitmap, vmm_int iFirst, vmm_int iLast) {
  const vmm_int b0 = iFirst >> 3;
  const vmm_int b1 = iLast >> 3;
  const unsigned char head = static_cast<unsigned char>(0xFFu >> (iFirst & 7));
  const unsigned char tail =
      static_cast<unsigned char>(0xFF00u >> ((iLast & 7) + 1));
  if (b0 == b1) {
    pBitmap[b0] |= head & tail;
    return;
  }
  pBitmap[b0] |= head;
  std::memset(pBitmap + b0 + 1, 0xFF, b1 - b0 - 1);
  pBitmap[b1] |= tail;
}

// The part of a block (first address, length) that falls in the page of size
// iPageSize at iPageAddr. All unsigned and ordered so that nothing wraps,
// whatever the distance. False when the block has no byte there.
bool partOf(vmm_int iPageAddr, vmm_int iPageSize, vmm_int iAddr, vmm_int iSize,
            vmm_int* pSkip, vmm_int* pOffset, vmm_int* pCount) {
  vmm_int iSkip = 0;
  vmm_int iOffset = 0;
  if (iAddr < iPageAddr)
    iSkip = iPageAddr - iAddr;
  else
    iOffset = iAddr - iPageAddr;
  if (iSize <= iSkip || iOffset >= iPageSize) return false;
  vmm_int iCount = iSize - iSkip;
  if (iCount > iPageSize - iOffset) iCount = iPageSize - iOffset;
  *pSkip = iSkip;
  *pOffset = iOffset;
  *pCount = iCount;
  return true;
}

bool rangeReaches(vmm_int iPageAddr, vmm_int iPageSize, vmm_int iFirst,
                  vmm_int iLast) {
  if (iFirst > iPageAddr + (iPageSize - 1)) return false;
  if (iFirst >= iPageAddr) return true;
  return iLast >= iPageAddr;
}

}  // namespace

gcVMMPage::gcVMMPage(gcVMMBase* pVMMBase, vmm_int iAddrMask, vmm_int iVAddr)
    : gcVMMPageBase(pVMMBase, iAddrMask, iVAddr),
      pPageBuffer(nullptr),
      bSwapped(false) {
  if (pVMMBase != nullptr) pVMMBase->notifyPagePAlloc(sizeof(gcVMMPage));
}

gcVMMPage::~gcVMMPage() {
  if (getVMMBase() != nullptr) getVMMBase()->notifyPagePFree(sizeof(gcVMMPage));
  unmapPhysical();
}

gcVMMPage* gcVMMPage::isPage() { return this; }

gcVMMPageBase* gcVMMPage::createObject(vmm_int iAddr) {
  return new gcVMMPage(getVMMBase(), getAddrMask(), iAddr);
}

bool gcVMMPage::forAllMappedPagesRecursive(gcVMMPageHandler* handler) {
  return handler == nullptr ? true : handler->handlePage(this);
}

inline bool gcVMMPage::prepareAccess() {
  if (isSwapped()) unswap();
  if (!isPhysical()) mapPhysical();
  return pPageBuffer != nullptr;
}

void gcVMMPage::setByte(vmm_int iAddr, char value) {
  const vmm_int iOffset = iAddr & getAddrMask();
  if (!prepareAccess()) return;
  pPageBuffer[iOffset] = value;
  notifyByteMapped(iOffset);
}

char gcVMMPage::getByte(vmm_int iAddr) {
  if (!prepareAccess()) return getUninitializedValue();
  return pPageBuffer[iAddr & getAddrMask()];
}

bool gcVMMPage::isByteMapped(vmm_int iAddr) {
  if (!prepareAccess()) return false;
  const vmm_int iOffset = iAddr & getAddrMask();
  const unsigned char bits =
      static_cast<unsigned char>(pPageBuffer[getMaxSize() + (iOffset >> 3)]);
  return (bits & (0x80u >> (iOffset & 7))) != 0;
}

void gcVMMPage::notifyByteMapped(vmm_int iAddr) {
  if (!prepareAccess()) return;
  const vmm_int iOffset = iAddr & getAddrMask();
  pPageBuffer[getMaxSize() + (iOffset >> 3)] |=
      static_cast<char>(0x80u >> (iOffset & 7));
}

bool gcVMMPage::isAllPageDataMapped() {
  if (!prepareAccess()) return false;
  const unsigned char* pBitmap =
      reinterpret_cast<unsigned char*>(pPageBuffer) + getMaxSize();
  const vmm_int n = getPageBitmapSize();
  for (vmm_int i = 0; i < n; ++i)
    if (pBitmap[i] != 0xFF) return false;
  return true;
}

bool gcVMMPage::blockPart(vmm_int iAddr, vmm_int iSize,
                          const char* pOperationMessage, vmm_int* pSkip,
                          vmm_int* pOffset, vmm_int* pCount) {
  const vmm_int iPageAddr = getVAddr();
  const vmm_int iPageSize = getMaxSize();
  if (partOf(iPageAddr, iPageSize, iAddr, iSize, pSkip, pOffset, pCount))
    return true;
  dwxvmm_detail::reportLine(pOperationMessage);
  return false;
}

void gcVMMPage::putBlockPart(vmm_int iAddr, void* pBuffer, vmm_int iSize) {
  vmm_int iSkip, iOffset, iCount;
  if (!blockPart(iAddr, iSize,
                 "gcVMMPage::putBlockPart(...): Invalid Destination for this "
                 "Block!",
                 &iSkip, &iOffset, &iCount))
    return;
  if (!prepareAccess()) return;
  std::memcpy(pPageBuffer + iOffset, static_cast<char*>(pBuffer) + iSkip,
              iCount);
  markRun(reinterpret_cast<unsigned char*>(pPageBuffer) + getMaxSize(), iOffset,
          iOffset + iCount - 1);
}

void gcVMMPage::getBlockPart(vmm_int iAddr, void* pBuffer, vmm_int iSize) {
  vmm_int iSkip, iOffset, iCount;
  if (!blockPart(iAddr, iSize,
                 "gcVMMPage::getBlockPart(...): Invalid Destination for this "
                 "Block!",
                 &iSkip, &iOffset, &iCount))
    return;
  if (!prepareAccess()) return;
  std::memcpy(static_cast<char*>(pBuffer) + iSkip, pPageBuffer + iOffset,
              iCount);
}

bool gcVMMPage::isPhysical() { return pPageBuffer != nullptr; }

bool gcVMMPage::isSwapped() { return bSwapped; }

char gcVMMPage::getUninitializedValue() { return 0; }

bool gcVMMPage::mapPhysical() {
  if (isPhysical()) return true;
  const vmm_int iSize = getPageMemSize();
  pPageBuffer = new char[iSize];
  if (getVMMBase() != nullptr) getVMMBase()->notifyPagePAlloc(iSize);
  std::memset(pPageBuffer, getUninitializedValue(), iSize);
  if (pVMMBase != nullptr) pVMMBase->memoryChanged(this);
  return true;
}

bool gcVMMPage::unmapPhysical() {
  if (pPageBuffer == nullptr) return false;
  char* pGoing = pPageBuffer;
  pPageBuffer = nullptr;
  if (pVMMBase != nullptr) pVMMBase->memoryChanged(this);
  delete[] pGoing;
  if (getVMMBase() != nullptr) getVMMBase()->notifyPagePFree(getPageMemSize());
  return true;
}

bool gcVMMPage::swap() { return false; }

bool gcVMMPage::unswap() { return false; }

bool gcVMMPage::isInPage(vmm_int iFirst, vmm_int iLast) {
  const vmm_int iPageAddr = getVAddr();
  return rangeReaches(iPageAddr, getMaxSize(), iFirst, iLast);
}

char* gcVMMPage::getPageBuffer() {
  prepareAccess();
  return pPageBuffer;
}

vmm_int gcVMMPage::getPageBitmapSize() { return getMaxSize() >> 3; }

vmm_int gcVMMPage::getPageMemSize() {
  return getMaxSize() + getPageBitmapSize();
}

bool gcVMMPage::reaches(vmm_int iFirst, vmm_int iLast) const {
  return rangeReaches(iVAddr, iMaxSize, iFirst, iLast);
}

void gcVMMPage::putPart(vmm_int iAddr, const char* pBuffer, vmm_int iSize) {
  vmm_int iSkip, iOffset, iCount;
  if (!partOf(iVAddr, iMaxSize, iAddr, iSize, &iSkip, &iOffset, &iCount))
    return putBlockPart(iAddr, const_cast<char*>(pBuffer), iSize);
  if (pPageBuffer == nullptr && iCount == iMaxSize && iMaxSize % 8 == 0) {
    // mapPhysical and the copy, less the fills that the copy makes moot:
    // every data byte is copied, every bit set.
    const vmm_int iMemSize = iMaxSize + (iMaxSize >> 3);
    pPageBuffer = new char[iMemSize];
    if (pVMMBase != nullptr) pVMMBase->notifyPagePAlloc(iMemSize);
    std::memcpy(pPageBuffer, pBuffer + iSkip, iCount);
    std::memset(pPageBuffer + iMaxSize, 0xFF, iMemSize - iMaxSize);
    if (pVMMBase != nullptr) pVMMBase->memoryChanged(this);
    return;
  }
  if (pPageBuffer == nullptr) {
    mapPhysical();
    if (pPageBuffer == nullptr) return;
  }
  std::memcpy(pPageBuffer + iOffset, pBuffer + iSkip, iCount);
  markRun(reinterpret_cast<unsigned char*>(pPageBuffer) + iMaxSize, iOffset,
          iOffset + iCount - 1);
}

vmm_int gcVMMPage::getPart(vmm_int iAddr, char* pBuffer, vmm_int iSize,
                           vmm_int iFilled) {
  vmm_int iSkip, iOffset, iCount;
  if (!partOf(iVAddr, iMaxSize, iAddr, iSize, &iSkip, &iOffset, &iCount)) {
    getBlockPart(iAddr, pBuffer, iSize);
    return iFilled;
  }
  if (iSkip > iFilled) std::memset(pBuffer + iFilled, 0, iSkip - iFilled);
  if (pPageBuffer == nullptr) mapPhysical();
  if (pPageBuffer == nullptr)
    std::memset(pBuffer + iSkip, 0, iCount);
  else
    std::memcpy(pBuffer + iSkip, pPageBuffer + iOffset, iCount);
  return iSkip + iCount > iFilled ? iSkip + iCount : iFilled;
}
