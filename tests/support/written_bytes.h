// Every written byte of a VMM by address, as the segment walk finds them:
// what the format tests and their fuzz target compare.
#ifndef DWXVMM_TESTS_SUPPORT_WRITTEN_BYTES_H_
#define DWXVMM_TESTS_SUPPORT_WRITTEN_BYTES_H_

#include <dwxvmm/dwxvmm.h>

#include <map>

inline std::map<vmm_int, char> writtenBytes(gcVMMBase& vmm) {
  struct Collect : gcSegmentHandler {
    std::map<vmm_int, char> bytes;
    bool handleSegment(vmm_int a, std::uint64_t n, const char* p) override {
      for (std::uint64_t i = 0; i < n; ++i) bytes[a + i] = p[i];
      return true;
    }
  } collect;
  forAllSegments(&vmm, &collect);
  return collect.bytes;
}

#endif  // DWXVMM_TESTS_SUPPORT_WRITTEN_BYTES_H_
