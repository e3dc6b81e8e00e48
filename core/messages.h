// Internal: the one place that writes the library's error lines.
#ifndef DWXVMM_CORE_MESSAGES_H_
#define DWXVMM_CORE_MESSAGES_H_

#include <cstdint>
#include <streambuf>

namespace dwxvmm_detail {

// Writes pText and a flushing line end to the standard error stream.
void reportLine(const char* pText);

// Writes pText, iValue in lowercase hex (stream switched back to decimal
// afterwards) and a flushing line end.
void reportAddress(const char* pText, std::uint32_t iValue);

// Silences the standard error stream while it lives, for the library's own
// checks whose lookups would repeat a line that the walk already wrote.
class QuietErrors {
 public:
  QuietErrors();
  ~QuietErrors();
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  std::streambuf* pSaved;
};

}  // namespace dwxvmm_detail

#endif  // DWXVMM_CORE_MESSAGES_H_
