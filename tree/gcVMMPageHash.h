// The hashed page directory: its children in an open-addressed table keyed
// by their address bits under the node's mask.
#ifndef DWXVMM_TREE_GCVMMPAGEHASH_H_
#define DWXVMM_TREE_GCVMMPAGEHASH_H_

#include <cstddef>
#include <cstdint>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "gcVMMPageBase.h"

// Costs memory only for the children it has, like a directory, and finds
// one in a cache line or two like a table. Growing moves the table, never a
// child: a child's address stays valid as long as the node lives. Keeps one
// child per key. Reports its object and its table as dynamic table memory.
// Prints nothing.
class DWXVMM_EXPORT gcVMMPageHash : public gcVMMPageBase {
 public:
  gcVMMPageHash(gcVMMBase* pVMMBase, vmm_int iAddrMask, vmm_int iVAddr);
  // Deletes every child (in the order they were added), then reports the
  // table and the object released.
  ~gcVMMPageHash() override;

  // The child whose address agrees with iAddr in the masked bits, or null.
  // Asks no child anything.
  gcVMMPageBase* getPageObject(vmm_int iAddr) override;
  // A new, empty hashed directory with this one's owner and mask at iAddr.
  gcVMMPageBase* createObject(vmm_int iAddr) override;
  // Children in ascending address order (a sorted copy of the table: the
  // handler may add children); stops at the first false. Throws bad_alloc
  // before any child is visited when the copy cannot be made.
  bool forAllMappedPagesRecursive(gcVMMPageHandler* handler) override;
  // Stores pNew under its getVAddr() and owns it from then on. Keeps nothing
  // for null or for a key that already has a child. Throws bad_alloc, with
  // the table and its reports as they were, when it cannot grow.
  void addPageBase(gcVMMPageBase* pNew) override;

 protected:
  // The direct path of an exact VMM reads the table in place.
  friend class gcVMMBase;

  // Four slots in a cache line, their keys compared at once: a lookup is one
  // line and a branch that goes the same way nearly every time. Slots fill
  // from the front and are never emptied.
  static constexpr unsigned kSlots = 4;
  struct alignas(64) Bucket {
    std::uint32_t aKey[kSlots];    // the child's address under the mask
    std::uint32_t aChild[kSlots];  // 1 + its index in pChildren; 0: free
    // The child's page memory, kept by the direct path of the VMM whose root
    // this is, so that a byte access never loads the page object; null: not
    // known. The page tells that VMM when its memory comes and goes.
    char* apMemory[kSlots];
  };

  // The slots of b whose key is iKey, a bit each; free slots hold key 0.
  static unsigned keyMatches(const Bucket& b, vmm_int iKey) {
#ifdef __SSE2__
    // One load where the loop makes four.
    const __m128i keys =
        _mm_load_si128(reinterpret_cast<const __m128i*>(b.aKey));
    const __m128i eq =
        _mm_cmpeq_epi32(keys, _mm_set1_epi32(static_cast<int>(iKey)));
    return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(eq)));
#else
    unsigned m = 0;
    for (unsigned j = 0; j < kSlots; ++j) m |= unsigned{b.aKey[j] == iKey} << j;
    return m;
#endif
  }
  // Fibonacci hashing (the product's top bits). The key's zero low bits
  // stay in: shifting them out would cost a load of the shift.
  static std::size_t home(vmm_int iKey, std::uint64_t iProbe) {
    return static_cast<std::size_t>(
        (std::uint64_t{iKey} * 0x9E3779B97F4A7C15ull) >> (iProbe & 63));
  }
  static vmm_int probeMask(std::uint64_t iProbe) {
    return static_cast<vmm_int>(iProbe >> 32);
  }
  std::size_t home(vmm_int iKey) const { return home(iKey, iProbe); }
  // The bucket after pBucket along a probe sequence.
  const Bucket* nextBucket(const Bucket* pBucket) const {
    return pBuckets + ((pBucket - pBuckets + 1) & iBucketMask);
  }
  // The bucket, and in *pSlot the slot, of the child stored under iAddr's
  // key; null if there is none.
  Bucket* findSlot(vmm_int iAddr, unsigned* pSlot) const;
  gcVMMPageBase* find(vmm_int iAddr) const {
    unsigned j;
    const Bucket* pBucket = findSlot(iAddr, &j);
    return pBucket == nullptr ? nullptr : pChildren[pBucket->aChild[j] - 1];
  }
  // Fetches the bucket of iAddr's key into the cache ahead of its lookup.
  void prefetch(vmm_int iAddr) const {
    if (pBuckets != nullptr)
      __builtin_prefetch(&pBuckets[home(iAddr & iAddrMask)]);
  }

  // One allocation: the buckets, then room for the children up to where the
  // table grows (three quarters of its slots).
  Bucket* pBuckets;           // owned; null until the first child
  gcVMMPageBase** pChildren;  // owned (the children too), in order added
  std::size_t iBucketMask;    // buckets - 1, buckets a power of two
  std::size_t iChildren;
  // 64 - log2(buckets) (low half: a shift count as it is) and the mask
  // (high half): a lookup's parameters in one load.
  std::uint64_t iProbe;

 private:
  // Moves the slots into a table of iBuckets buckets. REQUIRES: iBuckets a
  // power of two whose slots hold more than iChildren.
  void rehash(std::size_t iBuckets);
  // Stores a slot in the first free one along iKey's probe sequence.
  void place(vmm_int iKey, std::uint32_t iChild, char* pMemory);
  // How many children the table takes before it grows, and its size.
  std::size_t room() const { return (iBucketMask + 1) * kSlots / 4 * 3; }
  static std::size_t tableBytes(std::size_t iBuckets);
};

#endif  // DWXVMM_TREE_GCVMMPAGEHASH_H_
