#include "counting_new.h"

#include <cstdlib>
#include <new>

namespace {

// Each block starts with its size; 16 bytes keep the alignment of malloc.
constexpr std::size_t kHeader = 16;

std::size_t gBlocks = 0;
std::size_t gBytes = 0;
bool gArmed = false;
bool gOnce = false;
bool gInjected = false;
long gSeen = 0;
long gFailAt = 0;

void* allocate(std::size_t n) {
  if (gArmed && (++gSeen == gFailAt || (!gOnce && gSeen > gFailAt))) {
    gInjected = true;
    throw std::bad_alloc();
  }
  char* p = static_cast<char*>(std::malloc(n + kHeader));
  if (p == nullptr) throw std::bad_alloc();
  *reinterpret_cast<std::size_t*>(p) = n;
  ++gBlocks;
  gBytes += n;
  return p + kHeader;
}

void release(void* p) noexcept {
  if (p == nullptr) return;
  char* b = static_cast<char*>(p) - kHeader;
  --gBlocks;
  gBytes -= *reinterpret_cast<std::size_t*>(b);
  std::free(b);
}

}  // namespace

namespace heap {

std::size_t liveBlocks() { return gBlocks; }
std::size_t liveBytes() { return gBytes; }

void failAt(long k, bool bOnce) {
  gSeen = 0;
  gFailAt = k;
  gOnce = bOnce;
  gInjected = false;
  gArmed = true;
}

bool disarm() {
  gArmed = false;
  return gInjected;
}

}  // namespace heap

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return allocate(n);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept {
  return operator new(n, t);
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }
