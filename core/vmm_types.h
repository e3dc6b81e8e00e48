// The address type and the export macro shared by every public header.
#ifndef DWXVMM_CORE_VMM_TYPES_H_
#define DWXVMM_CORE_VMM_TYPES_H_

#include <cstdint>

// Addresses, lengths, masks, page sizes and memory counters. It stays 32 bits
// wide on every platform: the masks and the end address 0xFFFFFFFF rest on it,
// and arithmetic on it wraps modulo 2^32.
typedef std::uint32_t vmm_int;

#if defined(__GNUC__) || defined(__clang__)
#define DWXVMM_EXPORT __attribute__((visibility("default")))
#else
#define DWXVMM_EXPORT
#endif

#endif  // DWXVMM_CORE_VMM_TYPES_H_
