// The contenders of the benchmark suite behind one compile-time interface,
// and the data every workload uses.
#ifndef DWXVMM_BENCH_STORES_H_
#define DWXVMM_BENCH_STORES_H_

#include <dwxvmm/dwxvmm.h>
#include <srecord/memory.h>
#include <srecord/memory/walker.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

namespace bench {

// 16 MiB aligned, so that a model's regions hold whole parts of an image.
constexpr std::uint32_t kBase = 0x08000000;
constexpr std::uint32_t kSeqSize = 16u << 20;
constexpr std::uint32_t kImageSize = 64u << 20;
constexpr std::uint32_t kRandomCount = 1000000;
// The scattered working set: this many pages anywhere in the 4 GiB.
constexpr std::uint32_t kScatteredPages = 8192;
constexpr std::uint64_t kAddressSpace = std::uint64_t{1} << 32;

inline std::uint64_t splitmix64(std::uint64_t* pState) {
  std::uint64_t z = (*pState += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// The value a byte workload stores at an address; key varies it between
// runs, so that a write that was dropped shows up.
inline char byteAt(std::uint32_t iAddr, unsigned char key = 0) {
  return static_cast<char>((iAddr ^ (iAddr >> 8) ^ (iAddr >> 19)) ^ key);
}

// Image bytes come in 64 KiB chunks, each from its own seed, so that a
// process can produce any part without holding the whole image.
constexpr std::uint32_t kChunk = 64u << 10;
inline void fillChunk(std::uint32_t iChunkIndex, char* pOut) {
  std::uint64_t state = 0x5EED0000ull + iChunkIndex;
  for (std::uint32_t i = 0; i < kChunk; i += 8) {
    const std::uint64_t v = splitmix64(&state);
    std::memcpy(pOut + i, &v, 8);
  }
}

// The addresses a store is made for; only the flat peers use it.
struct Range {
  std::uint32_t base;
  std::uint64_t size;
};

// ---------------------------------------------------------------------------
// The library, with one of its models.

class CountingPageHandler : public gcVMMPageHandler {
 public:
  bool handlePage(gcVMMPage*) override {
    ++iPages;
    return true;
  }
  std::uint64_t iPages = 0;
};

// A host's own VMM class that changes nothing: the library's virtual path.
class DerivedVMM : public gcVMM {};

template <class Model, class Vmm = gcVMM>
class VmmStore {
 public:
  // kBytes: has byte access. kPreallocated: keeps its memory, so a "fresh"
  // run writes into the same preallocated buffer (the physical limit).
  static constexpr bool kBytes = true;
  static constexpr bool kPreallocated = false;

  explicit VmmStore(const Range&) : vmm_(new Vmm) {
    vmm_->setMemoryModell(new Model);
  }
  void setByte(std::uint32_t a, char v) { vmm_->setByte(a, v); }
  char getByte(std::uint32_t a) { return vmm_->getByte(a); }
  bool isByteMapped(std::uint32_t a) { return vmm_->isByteMapped(a); }
  void setBlock(std::uint32_t a, const char* p, std::uint32_t n) {
    vmm_->setBlock(a, const_cast<char*>(p), n);
  }
  void getBlock(std::uint32_t a, char* p, std::uint32_t n) {
    vmm_->getBlock(a, p, n);
  }
  std::uint64_t enumerate() {
    CountingPageHandler handler;
    if (!vmm_->forAllMappedPages(&handler, false)) return 0;
    return handler.iPages;
  }
  // Every page of the image, and the page at address 0 that a VMM built
  // with a model always holds.
  std::uint64_t expectedUnits(const Range& r) {
    return r.size / vmm_->getPageSize() + (r.base != 0 ? 1 : 0);
  }
  double ownBytes() { return vmm_->getUsedPhysicalMemory(); }
  gcVMM* vmm() { return vmm_.get(); }

 private:
  std::unique_ptr<gcVMM> vmm_;
};

// ---------------------------------------------------------------------------
// The physical limit: one preallocated buffer, blocks by memcpy only.

class MappedBuffer {
 public:
  // Reserved lazily; touched (so that no page fault is timed) when asked.
  MappedBuffer(std::uint64_t iSize, bool bTouch) : iSize_(iSize) {
    void* p = mmap(nullptr, iSize, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    p_ = static_cast<char*>(p);
    if (bTouch) std::memset(p_, 0, iSize);
  }
  ~MappedBuffer() { munmap(p_, iSize_); }
  MappedBuffer(const MappedBuffer&) = delete;
  MappedBuffer& operator=(const MappedBuffer&) = delete;
  char* get() const { return p_; }

 private:
  std::uint64_t iSize_;
  char* p_;
};

class MemcpyStore {
 public:
  static constexpr bool kBytes = false;
  static constexpr bool kPreallocated = true;

  explicit MemcpyStore(const Range& r) : base_(r.base), data_(r.size, true) {}
  void setBlock(std::uint32_t a, const char* p, std::uint32_t n) {
    std::memcpy(data_.get() + (a - base_), p, n);
  }
  void getBlock(std::uint32_t a, char* p, std::uint32_t n) {
    std::memcpy(p, data_.get() + (a - base_), n);
  }
  double ownBytes() { return -1; }

 private:
  std::uint32_t base_;
  MappedBuffer data_;
};

// Sets the written bits of offsets first..last: head and tail by mask, the
// bytes between whole.
inline void markBits(unsigned char* pBits, std::uint64_t iFirst,
                     std::uint64_t iLast) {
  const std::uint64_t b0 = iFirst >> 3, b1 = iLast >> 3;
  const unsigned char head = static_cast<unsigned char>(0xFFu >> (iFirst & 7));
  const unsigned char tail =
      static_cast<unsigned char>(0xFF00u >> ((iLast & 7) + 1));
  if (b0 == b1) {
    pBits[b0] |= head & tail;
    return;
  }
  pBits[b0] |= head;
  std::memset(pBits + b0 + 1, 0xFF, b1 - b0 - 1);
  pBits[b1] |= tail;
}

// The physical limit for byte access: a flat byte array and a flat array of
// written bits over the range.
class FlatStore {
 public:
  static constexpr bool kBytes = true;
  static constexpr bool kPreallocated = true;

  // Ranges up to the whole address space stay reserved, not resident,
  // until touched; smaller ones are touched up front.
  explicit FlatStore(const Range& r)
      : base_(r.base),
        data_(r.size, r.size < kAddressSpace),
        bits_(r.size / 8, r.size < kAddressSpace),
        size_(r.size) {}
  void setByte(std::uint32_t a, char v) {
    const std::uint64_t o = a - base_;
    data_.get()[o] = v;
    bits()[o >> 3] |= static_cast<unsigned char>(0x80u >> (o & 7));
  }
  char getByte(std::uint32_t a) { return data_.get()[a - base_]; }
  bool isByteMapped(std::uint32_t a) {
    const std::uint64_t o = a - base_;
    return (bits()[o >> 3] & (0x80u >> (o & 7))) != 0;
  }
  void setBlock(std::uint32_t a, const char* p, std::uint32_t n) {
    const std::uint64_t o = a - base_;
    std::memcpy(data_.get() + o, p, n);
    markBits(bits(), o, o + n - 1);
  }
  void getBlock(std::uint32_t a, char* p, std::uint32_t n) {
    std::memcpy(p, data_.get() + (a - base_), n);
  }
  // 4 KiB pages with at least one written byte, found in whole words.
  std::uint64_t enumerate() {
    std::uint64_t n = 0;
    const std::uint64_t iPages = size_ >> 12;
    for (std::uint64_t pg = 0; pg < iPages; ++pg) {
      const std::uint64_t* w =
          reinterpret_cast<const std::uint64_t*>(bits() + (pg << 9));
      for (int i = 0; i < 64; ++i)
        if (w[i] != 0) {
          ++n;
          break;
        }
    }
    return n;
  }
  std::uint64_t expectedUnits(const Range& r) { return r.size >> 12; }
  double ownBytes() { return -1; }

 private:
  unsigned char* bits() {
    return reinterpret_cast<unsigned char*>(bits_.get());
  }
  std::uint32_t base_;
  MappedBuffer data_;
  MappedBuffer bits_;
  std::uint64_t size_;
};

// ---------------------------------------------------------------------------
// srecord's srecord::memory: bytes only, so blocks go byte by byte.

class SrecordStore {
 public:
  static constexpr bool kBytes = true;
  static constexpr bool kPreallocated = false;

  explicit SrecordStore(const Range&) {}
  void setByte(std::uint32_t a, char v) {
    m_.set(a, static_cast<unsigned char>(v));
  }
  char getByte(std::uint32_t a) { return static_cast<char>(m_.get(a)); }
  bool isByteMapped(std::uint32_t a) { return m_.set_p(a); }
  void setBlock(std::uint32_t a, const char* p, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i)
      m_.set(a + i, static_cast<unsigned char>(p[i]));
  }
  void getBlock(std::uint32_t a, char* p, std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i)
      p[i] = static_cast<char>(m_.get(a + i));
  }
  // Counts the data bytes its walk shows.
  std::uint64_t enumerate() {
    auto walker = boost::shared_ptr<Walker>(new Walker);
    m_.walk(walker);
    return walker->iBytes;
  }
  std::uint64_t expectedUnits(const Range& r) { return r.size; }
  double ownBytes() { return -1; }

 private:
  struct Walker : srecord::memory_walker {
    void observe(unsigned long, const void*, int n) override { iBytes += n; }
    std::uint64_t iBytes = 0;
  };
  srecord::memory m_;
};

// ---------------------------------------------------------------------------
// What a user writes by hand: 4 KiB pages with a written bitmap in an
// unordered_map keyed by page number, created zeroed on first write.

class MapStore {
 public:
  static constexpr bool kBytes = true;
  static constexpr bool kPreallocated = false;

  explicit MapStore(const Range&) {}
  void setByte(std::uint32_t a, char v) {
    Page& pg = pages_[a >> 12];
    const std::uint32_t o = a & 0xFFF;
    pg.data[o] = v;
    pg.bits[o >> 3] |= static_cast<unsigned char>(0x80u >> (o & 7));
  }
  char getByte(std::uint32_t a) {
    auto it = pages_.find(a >> 12);
    return it == pages_.end() ? 0 : it->second.data[a & 0xFFF];
  }
  bool isByteMapped(std::uint32_t a) {
    auto it = pages_.find(a >> 12);
    const std::uint32_t o = a & 0xFFF;
    return it != pages_.end() && (it->second.bits[o >> 3] & (0x80u >> (o & 7)));
  }
  void setBlock(std::uint32_t a, const char* p, std::uint32_t n) {
    while (n != 0) {
      const std::uint32_t o = a & 0xFFF;
      const std::uint32_t k = n < 4096 - o ? n : 4096 - o;
      Page& pg = pages_[a >> 12];
      std::memcpy(pg.data + o, p, k);
      markBits(pg.bits, o, o + k - 1);
      a += k, p += k, n -= k;
    }
  }
  void getBlock(std::uint32_t a, char* p, std::uint32_t n) {
    while (n != 0) {
      const std::uint32_t o = a & 0xFFF;
      const std::uint32_t k = n < 4096 - o ? n : 4096 - o;
      auto it = pages_.find(a >> 12);
      if (it == pages_.end())
        std::memset(p, 0, k);
      else
        std::memcpy(p, it->second.data + o, k);
      a += k, p += k, n -= k;
    }
  }
  std::uint64_t enumerate() {
    std::uint64_t n = 0;
    for (auto& entry : pages_) {
      static_cast<void>(entry);
      ++n;
    }
    return n;
  }
  std::uint64_t expectedUnits(const Range& r) { return r.size >> 12; }
  double ownBytes() { return -1; }

 private:
  struct Page {
    char data[4096];
    unsigned char bits[512];
  };
  std::unordered_map<std::uint32_t, Page> pages_;
};

using FastStore = VmmStore<gcVMM32BitFast>;
using CompactStore = VmmStore<gcVMM32BitCompact>;
using SmallStore = VmmStore<gcVMM32BitSmall>;
using HashedStore = VmmStore<gcVMM32BitHashed>;
using DerivedStore = VmmStore<gcVMM32BitFast, DerivedVMM>;

}  // namespace bench

#endif  // DWXVMM_BENCH_STORES_H_
