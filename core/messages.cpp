#include "messages.h"

#include <iostream>

namespace dwxvmm_detail {

void reportLine(const char* pText) { std::cerr << pText << std::endl; }

void reportAddress(const char* pText, std::uint32_t iValue) {
  std::cerr << pText << std::hex << iValue << std::dec << std::endl;
}

QuietErrors::QuietErrors() : pSaved(std::cerr.rdbuf(nullptr)) {}

// Handing the buffer back also clears the bad state that writing set.
QuietErrors::~QuietErrors() { std::cerr.rdbuf(pSaved); }

}  // namespace dwxvmm_detail
