// The benchmark suite's workloads.
#ifndef DWXVMM_BENCH_WORKLOADS_H_
#define DWXVMM_BENCH_WORKLOADS_H_

#include <string>

namespace bench {

// Registers every workload for every contender with Google Benchmark.
void registerWorkloads();
// The checksums over 16 MiB, in bytes a second.
void registerChecksums();

// Builds the dense 64 MiB image in the named store, checks it and prints
// "<own bytes> <peak resident bytes added> <1 if the image read back>".
int runMemoryProbe(const std::string& name);

}  // namespace bench

#endif  // DWXVMM_BENCH_WORKLOADS_H_
