// A global operator new whose k-th allocation fails (or every one from the
// k-th on), for the programs that inject allocation failures: include it in
// exactly one file of the program.
#ifndef DWXVMM_TESTS_SUPPORT_FAILING_HEAP_H_
#define DWXVMM_TESTS_SUPPORT_FAILING_HEAP_H_

#include <cstdlib>
#include <new>
#include <utility>

namespace heap {
long seen = 0, failAt = 0;  // failAt 0: no failures
bool from = false, injected = false;
}  // namespace heap

// Both out of line: inlined, gcc would pair the malloc inside one with the
// delete outside it and warn of a mismatch that is not there.
[[gnu::noinline]] void* operator new(std::size_t n) {
  using namespace heap;
  if (failAt > 0 && (++seen == failAt || (from && seen > failAt))) {
    injected = true;
    throw std::bad_alloc();
  }
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
// Nothrow allocations (libFuzzer's own) come back through the delete above.
extern "C" const char* __asan_default_options() {
  return "alloc_dealloc_mismatch=0";
}

// Runs fn with allocation k failing (and every later one with bFrom).
// Whether it failed is returned; that an injected failure reached us as
// bad_alloc, and only then, is checked (abort otherwise).
template <class F>
bool failing(long k, bool bFrom, F fn) {
  heap::seen = 0, heap::failAt = k, heap::from = bFrom;
  bool bThrew = false;
  try {
    fn();
  } catch (const std::bad_alloc&) {
    bThrew = true;
  }
  heap::failAt = 0;
  if (std::exchange(heap::injected, false) != bThrew) std::abort();
  return bThrew;
}

#endif  // DWXVMM_TESTS_SUPPORT_FAILING_HEAP_H_
