// The benchmark suite's own main: the library exports one (the test
// program), and benchmark_main from a static archive would never be picked.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "workloads.h"

int main(int argc, char** argv) {
  const std::string kProbe = "--memory-probe=";
  if (argc == 2 && std::string(argv[1]).compare(0, kProbe.size(), kProbe) == 0)
    return bench::runMemoryProbe(argv[1] + kProbe.size());

  // The heap keeps what the stores free, so that a run into fresh memory
  // measures a store's own work (allocation, filling, copying) rather than
  // the kernel's first touch of new pages: as in a host whose heap is warm,
  // and as for the memcpy peer, whose buffer is preallocated.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, INT_MAX);

  // The reports and the loader's file go to a scratch folder.
  char dir[] = "/tmp/dwxvmm-bench.XXXXXX";
  if (mkdtemp(dir) == nullptr || chdir(dir) != 0) {
    std::perror("scratch folder");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::registerWorkloads();
  bench::registerChecksums();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return 0;
}
