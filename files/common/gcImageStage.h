// Internal: the staging area of a load, so that a file with an error
// changes nothing.
#ifndef DWXFILES_GCIMAGESTAGE_H_
#define DWXFILES_GCIMAGESTAGE_H_

#include <cstdint>
#include <map>
#include <memory>

class gcVMMBase;
class gcVMMPage;

// Holds the bytes of a load until the whole file has proved sound, in pages
// of its own, and checks each byte against what the stage and the VMM
// already hold. The VMM is only read (getPage; no page is created or given
// memory) until commit().
class gcImageStage {
 public:
  // iMaxMemory (0: none) bounds the VMM's usage now plus the staged pages.
  // REQUIRES: pVMM has a memory model.
  gcImageStage(gcVMMBase* pVMM, bool bLaterWins, std::uint64_t iMaxMemory);
  gcImageStage(const gcImageStage&) = delete;
  gcImageStage& operator=(const gcImageStage&) = delete;

  // Stages n bytes from iAddr. False when a byte differs from one staged or
  // written before (unless the later wins): *pConflict is then its address,
  // and the stage must not be committed. False also when a new page would
  // pass the memory limit (isOverLimit()). Throws bad_alloc.
  // REQUIRES: iAddr + n <= 2^32.
  bool put(std::uint64_t iAddr, const unsigned char* pData, std::uint64_t n,
           std::uint32_t* pConflict);
  bool isOverLimit() const;
  // Distinct addresses staged.
  std::uint64_t getBytes() const;
  // Writes every staged run into the VMM in address order with setBlock,
  // releasing each staged page once written. Throws bad_alloc (from the VMM).
  void commit();

 protected:
  static constexpr std::uint64_t kPage = 4096;
  struct Page {
    unsigned char data[kPage];
    std::uint64_t bits[kPage / 64];  // bit o % 64 of word o / 64: offset o
  };
  // Null when a new page would pass the memory limit.
  Page* page(std::uint64_t iBase);
  // The first address in [iAddr, iAddr + n) that the VMM holds written with
  // another value than pData, or iAddr + n.
  std::uint64_t findConflict(std::uint64_t iAddr, const unsigned char* pData,
                             std::uint64_t n);
  const unsigned char* targetPage(std::uint64_t iAddr, std::uint64_t* pBase,
                                  std::uint64_t* pSize);

  gcVMMBase* pVMM;
  bool bLaterWins;
  std::map<std::uint64_t, std::unique_ptr<Page>> pages;
  std::uint64_t iLastBase;
  Page* pLastPage;
  std::uint64_t iTargetBase;
  std::uint64_t iTargetSize;         // a power of two
  const unsigned char* pTargetData;  // null: nothing written there
  std::uint64_t iBytes;
  std::uint64_t iPagesAllowed;  // staged pages within the limit
  bool bOverLimit;
};

#endif  // DWXFILES_GCIMAGESTAGE_H_
