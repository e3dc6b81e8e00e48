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

void reportAddress(const char* pText, std::uint32_t iValue) {
  char line[512];
  std::snprintf(line, sizeof line, "%s%x", pText, iValue);
  reportLine(line);
}

QuietErrors::QuietErrors() { ++tQuiet; }

QuietErrors::~QuietErrors() { --tQuiet; }

}  // namespace dwxvmm_detail
