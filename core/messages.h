// Internal: the one place that writes the library's error lines.
#ifndef DWXVMM_CORE_MESSAGES_H_
#define DWXVMM_CORE_MESSAGES_H_

#include <cstdint>

#include "vmm_types.h"

namespace dwxvmm_detail {

// Writes pText and a flushing line end to the standard error stream, as one
// write (lines of VMMs in separate threads do not interleave) that allocates
// nothing. Nothing while a QuietErrors lives in the calling thread.
void reportLine(const char* pText);

// Writes pText, iValue in lowercase hex and a flushing line end, and leaves
// the stream in decimal, whatever base it was in before.
void reportAddress(const char* pText, std::uint32_t iValue);

// Writes pText, iValue in decimal, pTail and a flushing line end, and leaves
// the stream in decimal, whatever base it was in before.
void reportCount(const char* pText, std::uint32_t iValue, const char* pTail);

// Silences the library's lines in the calling thread while it lives (other
// threads, and what a host writes itself, are not affected): for the
// library's own checks whose lookups would repeat a line that the walk
// already wrote, and for front ends that keep the notices from their users.
class DWXVMM_EXPORT QuietErrors {
 public:
  QuietErrors();
  ~QuietErrors();
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;
};

}  // namespace dwxvmm_detail

#endif  // DWXVMM_CORE_MESSAGES_H_
