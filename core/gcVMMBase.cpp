#include "gcVMMBase.h"

#include <cstring>
#include <memory>

#include "../page/gcVMMPage.h"
#include "../tree/gcVMMPageBase.h"
#include "direct_path.h"
#include "gcVMMPageHandler.h"
#include "messages.h"

using dwxvmm_detail::reportAddress;
using dwxvmm_detail::reportLine;

namespace {

const char kNoTranslationRules[] =
    "gcVMMBase::translateVirtualAddress(vmm_int iAddr): NO TRANSLATION RULES!";

// The number of bytes of a block at iAddr that lie inside the address space.
vmm_int clampToAddressSpace(vmm_int iAddr, vmm_int iSize) {
  const std::uint64_t iRoom = (std::uint64_t{1} << 32) - iAddr;
  return iSize <= iRoom ? iSize : static_cast<vmm_int>(iRoom);
}

}  // namespace

gcVMMBase::gcVMMBase()
    : pFirstTranslator(nullptr),
      pLastTranslator(nullptr),
      iStaticTablePMem(0),
      iDynamicTablePMem(0),
      iPagePMem(0),
      iPageDMem(0),
      pDirectRoot(nullptr),
      iDirectPageSize(0),
      bHashedRoot(false),
      pRecentPage(nullptr),
      iRecentRange(dwxvmm_detail::range(0, 1)),
      iRecentEpoch(0),
      pCheckedDir(nullptr),
      iCheckedEpoch(0) {}

gcVMMBase::~gcVMMBase() {
  pDirectRoot = nullptr;  // the pages going need not tell it
  bHashedRoot = false;
  delete pFirstTranslator;
  pFirstTranslator = nullptr;
}

void gcVMMBase::addAddressTranslator(gcVMMPageBase* pTranslator) {
  if (pTranslator == nullptr) return;
  if (pLastTranslator == nullptr) {
    pFirstTranslator = pLastTranslator = pTranslator;
    decideDirectPath();
    return;
  }
  pLastTranslator->setNextTranslator(pTranslator);
  try {
    pLastTranslator->addPageBase(pTranslator);
  } catch (...) {
    // Nobody owns the new translator yet: release it and keep the chain.
    pLastTranslator->setNextTranslator(nullptr);
    delete pTranslator;
    throw;
  }
  // A translator its predecessor did not keep (behind a page, or a table
  // without entries) would be owned by nobody: the chain stays as it was.
  // The lookup is this check's own and prints nothing.
  bool bKept;
  {
    dwxvmm_detail::QuietErrors quiet;
    bKept =
        pLastTranslator->getPageObject(pTranslator->getVAddr()) == pTranslator;
  }
  if (!bKept) {
    pLastTranslator->setNextTranslator(nullptr);
    delete pTranslator;
    return;
  }
  pLastTranslator = pTranslator;
  decideDirectPath();
}

unsigned int gcVMMBase::getAddressSpaceBits() { return 32; }

vmm_int gcVMMBase::getAddressSpaceEnd() {
  const vmm_int iHalf = vmm_int{1} << (getAddressSpaceBits() - 1);
  return (iHalf - 1) + iHalf;
}

vmm_int gcVMMBase::getPageSize() {
  return pLastTranslator == nullptr ? 0 : pLastTranslator->getMaxSize();
}

gcVMMPage* gcVMMBase::getPage(vmm_int iAddr) {
  if (pDirectRoot != nullptr) return pageFor(iAddr, false);
  gcVMMPageBase* pRoot = getFirstAddressTranslator();
  if (pRoot == nullptr) {
    reportLine(kNoTranslationRules);
    return nullptr;
  }
  gcVMMPageBase* pNode = pRoot->getPageRecursive(iAddr);
  return pNode == nullptr ? nullptr : pNode->isPage();
}

gcVMMPage* gcVMMBase::mapPage(vmm_int iAddr) {
  if (pDirectRoot != nullptr) return pageFor(iAddr, true);
  gcVMMPageBase* pRoot = getFirstAddressTranslator();
  if (pRoot == nullptr) {
    reportLine(kNoTranslationRules);
    return nullptr;
  }
  return dwxvmm_detail::mappedPage(pRoot->mapPageRecursive(iAddr), iAddr);
}

gcVMMPage* dwxvmm_detail::mappedPage(gcVMMPageBase* pEnd, vmm_int iAddr) {
  if (pEnd == nullptr) {
    reportAddress(
        "gcVMMBase::translateVirtualAddress(vmm_int iAddr): UNABLE TO MAP PAGE "
        "AT ADDRESS ",
        iAddr);
    return nullptr;
  }
  gcVMMPage* pPage = pEnd->isPage();
  if (pPage == nullptr)
    reportAddress("gcVMMBase::translateVirtualAddress(vmm_int iAddr): BUGGY! ",
                  iAddr);
  return pPage;
}

// The byte operations: the direct path's common case inline, the rest of
// it and the virtual path out of line, each compiled as if alone. The
// recent page's check comes first: without a direct path it never matches.
void gcVMMBase::setByte(vmm_int iAddr, char value) {
  if (char* pMemory = recentMemory(iAddr)) {
    const vmm_int iOffset = iAddr & pRecentPage->iAddrMask;
    pMemory[iOffset] = value;
    pMemory[pRecentPage->iMaxSize + (iOffset >> 3)] |=
        static_cast<char>(0x80u >> (iOffset & 7));
    return;
  }
  vmm_int iOffset, iMask;
  if (char* pMemory = hashedMemory(iAddr, &iOffset, &iMask, true)) {
    pMemory[iOffset] = value;
    pMemory[~iMask + 1 + (iOffset >> 3)] |=
        static_cast<char>(0x80u >> (iOffset & 7));
    return;
  }
  if (pDirectRoot == nullptr) return setByteVirtually(iAddr, value);
  setByteDirect(iAddr, value);
}

char gcVMMBase::getByte(vmm_int iAddr) {
  if (const char* pMemory = recentMemory(iAddr))
    return pMemory[iAddr & pRecentPage->iAddrMask];
  vmm_int iOffset, iMask;
  if (const char* pMemory = hashedMemory(iAddr, &iOffset, &iMask, false))
    return pMemory[iOffset];
  if (pDirectRoot == nullptr) return getByteVirtually(iAddr);
  return getByteDirect(iAddr);
}

bool gcVMMBase::isByteMapped(vmm_int iAddr) {
  if (const char* pMemory = recentMemory(iAddr)) {
    const vmm_int iOffset = iAddr & pRecentPage->iAddrMask;
    return (pMemory[pRecentPage->iMaxSize + (iOffset >> 3)] &
            (0x80u >> (iOffset & 7))) != 0;
  }
  vmm_int iOffset, iMask;
  if (const char* pMemory = hashedMemory(iAddr, &iOffset, &iMask, false)) {
    return (pMemory[~iMask + 1 + (iOffset >> 3)] & (0x80u >> (iOffset & 7))) !=
           0;
  }
  if (pDirectRoot == nullptr) return isByteMappedVirtually(iAddr);
  return isByteMappedDirect(iAddr);
}

__attribute__((noinline)) void gcVMMBase::setByteVirtually(vmm_int iAddr,
                                                           char value) {
  gcVMMPage* pPage = mapPage(iAddr);
  if (pPage != nullptr) pPage->setByte(iAddr, value);
}

__attribute__((noinline)) char gcVMMBase::getByteVirtually(vmm_int iAddr) {
  gcVMMPage* pPage = getPage(iAddr);
  return pPage == nullptr ? 0 : pPage->getByte(iAddr);
}

__attribute__((noinline)) bool gcVMMBase::isByteMappedVirtually(vmm_int iAddr) {
  gcVMMPage* pPage = getPage(iAddr);
  return pPage != nullptr && pPage->isByteMapped(iAddr);
}

// The list goes also when a page cannot get its memory (bad_alloc).
void gcVMMBase::setBlock(vmm_int iAddr, void* pBuffer, vmm_int iSize) {
  iSize = clampToAddressSpace(iAddr, iSize);
  if (iDirectPageSize != 0 && iSize != 0 &&
      setBlockDirect(iAddr, static_cast<const char*>(pBuffer), iSize))
    return;
  const std::unique_ptr<std::list<gcVMMPage*>> pPages(
      createAndMapPageList(iAddr, iAddr + iSize - 1));
  if (pPages == nullptr) return;
  for (gcVMMPage* pPage : *pPages) pPage->putBlockPart(iAddr, pBuffer, iSize);
}

void gcVMMBase::getBlock(vmm_int iAddr, void* pBuffer, vmm_int iSize) {
  if (iDirectPageSize != 0 && iSize != 0) {
    const vmm_int iInSpace = clampToAddressSpace(iAddr, iSize);
    std::memset(static_cast<char*>(pBuffer) + iInSpace, 0, iSize - iInSpace);
    if (getBlockDirect(iAddr, static_cast<char*>(pBuffer), iInSpace)) return;
  }
  if (iSize != 0) std::memset(pBuffer, 0, iSize);
  iSize = clampToAddressSpace(iAddr, iSize);
  const std::unique_ptr<std::list<gcVMMPage*>> pPages(
      createAndMapPageList(iAddr, iAddr + iSize - 1));
  if (pPages == nullptr) return;
  for (gcVMMPage* pPage : *pPages) pPage->getBlockPart(iAddr, pBuffer, iSize);
}

bool gcVMMBase::forAllMappedPages(gcVMMPageHandler* handlePage,
                                  bool bDeleteHandler) {
  if (handlePage == nullptr) return true;
  gcVMMPageBase* pRoot = getFirstAddressTranslator();
  if (pRoot == nullptr) {
    reportLine(
        "forAllMappedPages(vmm_page_handler handlePage): NO ADDRESS "
        "TRANSLATION RULES!");
    return false;
  }
  if (!pRoot->forAllMappedPagesRecursive(handlePage)) return false;
  handlePage->finish();
  if (bDeleteHandler) delete handlePage;
  return true;
}

void gcVMMBase::notifyStaticTablePAlloc(vmm_int iBytes) {
  iStaticTablePMem += iBytes;
  notifyPhysicalUsageChanged();
}

void gcVMMBase::notifyStaticTablePFree(vmm_int iBytes) {
  iStaticTablePMem -= iBytes;
  notifyPhysicalUsageChanged();
}

void gcVMMBase::notifyDynamicTablePAlloc(vmm_int iBytes) {
  iDynamicTablePMem += iBytes;
  notifyPhysicalUsageChanged();
}

void gcVMMBase::notifyDynamicTablePFree(vmm_int iBytes) {
  iDynamicTablePMem -= iBytes;
  notifyPhysicalUsageChanged();
}

void gcVMMBase::notifyPagePAlloc(vmm_int iBytes) {
  iPagePMem += iBytes;
  notifyPhysicalUsageChanged();
}

void gcVMMBase::notifyPagePFree(vmm_int iBytes) {
  iPagePMem -= iBytes;
  notifyPhysicalUsageChanged();
}

void gcVMMBase::notifyPageDAlloc(vmm_int iBytes) { iPageDMem += iBytes; }

void gcVMMBase::notifyPageDFree(vmm_int iBytes) { iPageDMem -= iBytes; }

void gcVMMBase::notifyPhysicalUsageChanged() {}

vmm_int gcVMMBase::getUsedPhysicalMemory() {
  return iStaticTablePMem + iDynamicTablePMem + iPagePMem;
}

std::list<gcVMMPage*>* gcVMMBase::createAndMapPageList(vmm_int iStartAddr,
                                                       vmm_int iEndAddr) {
  auto* pPages = new std::list<gcVMMPage*>;
  const bool bEmptyBlock = iEndAddr == vmm_int(iStartAddr - 1);
  try {
    // Neither changes during a block: asked once, not once per page.
    const std::uint64_t iPageSize = getPageSize();
    const vmm_int iSpaceEnd = getAddressSpaceEnd();
    // 64-bit, so that neither the cursor nor the end bound wraps to 0. Every
    // candidate after the first is a page start plus the block's offset; a
    // page that starts past the block's end is never mapped.
    for (std::uint64_t iCursor = iStartAddr;
         iCursor < std::uint64_t{iEndAddr} + iPageSize; iCursor += iPageSize) {
      if (iCursor != iStartAddr && iCursor - iCursor % iPageSize > iEndAddr)
        break;
      gcVMMPage* pPage = mapPage(static_cast<vmm_int>(iCursor));
      if (pPage == nullptr) {
        delete pPages;
        return nullptr;
      }
      if (!pPage->isInPage(iStartAddr, iEndAddr)) break;
      pPages->push_back(pPage);
      if (bEmptyBlock || iPageSize == 0 ||
          pPage->isInPage(iSpaceEnd, iSpaceEnd))
        break;
    }
  } catch (...) {
    delete pPages;
    throw;
  }
  return pPages;
}

gcVMMPageBase* gcVMMBase::getFirstAddressTranslator() {
  return pFirstTranslator;
}
