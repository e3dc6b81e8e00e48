// The global operator new of the stress tests: it counts what is live and
// throws bad_alloc on request.
#ifndef DWXVMM_TESTS_STRESS_COUNTING_NEW_H_
#define DWXVMM_TESTS_STRESS_COUNTING_NEW_H_

#include <cstddef>

namespace heap {

// Blocks and bytes allocated through operator new and not yet released.
std::size_t liveBlocks();
std::size_t liveBytes();
// Counting from this call, the k-th allocation (k >= 1) throws bad_alloc;
// with bOnce only that one, else every one from the k-th on.
void failAt(long k, bool bOnce);
// Ends the failures. True when one was injected since failAt.
bool disarm();

}  // namespace heap

#endif  // DWXVMM_TESTS_STRESS_COUNTING_NEW_H_
