#include "messages.h"

#include <cstdio>
#include <cstring>
#include <iostream>

namespace dwxvmm_detail {

namespace {

thread_local unsigned tQuiet = 0;

}  // namespace

// Unformatted output only: the stream's width and flags are shared by every
// thread, and a formatted write would change them.
void reportLine(const char* pText) {
  if (tQuiet != 0) return;
  char line[512];
  const std::size_t n = std::strlen(pText);
  if (n < sizeof line) {
    std::memcpy(line, pText, n);
    line[n] = '\n';
    std::cerr.write(line, static_cast<std::streamsize>(n + 1));
  } else {
    std::cerr.write(pText, static_cast<std::streamsize>(n)).put('\n');
  }
  std::cerr.flush();
}

namespace {

// The stream's base, as the manipulator these lines once applied left it.
// Written only when it is not decimal already: threads whose hosts leave
// the base alone then only read the shared flags, and never race on them.
void leaveDecimal() {
  if (tQuiet != 0) return;
  if ((std::cerr.flags() & std::ios_base::basefield) != std::ios_base::dec)
    std::cerr.setf(std::ios_base::dec, std::ios_base::basefield);
}

}  // namespace

void reportAddress(const char* pText, std::uint32_t iValue) {
  char line[512];
  std::snprintf(line, sizeof line, "%s%x", pText, iValue);
  reportLine(line);
  leaveDecimal();
}

void reportCount(const char* pText, std::uint32_t iValue, const char* pTail) {
  char line[512];
  std::snprintf(line, sizeof line, "%s%u%s", pText, iValue, pTail);
  reportLine(line);
  leaveDecimal();
}

QuietErrors::QuietErrors() { ++tQuiet; }

QuietErrors::~QuietErrors() { --tQuiet; }

}  // namespace dwxvmm_detail
