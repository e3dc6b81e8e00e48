// The checksums over a 16 MiB range of a fast-model VMM, one run of random
// bytes: a width of each kind, reflected and not, zlib's CRC-32, the sums
// and digests; and the bit operations over the same run, in place.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "gcFileSupport.h"
#include "workloads.h"

namespace bench {

namespace {

constexpr std::uint32_t kFirst = 0x08000000, kBytes = 16u << 20;

void fillRandom(gcVMM* pVMM) {
  pVMM->setMemoryModell(new gcVMM32BitFast);
  std::vector<char> data(kBytes);
  std::mt19937 rnd(28);
  for (char& c : data) c = static_cast<char>(rnd());
  pVMM->setBlock(kFirst, data.data(), kBytes);
}

void transform(benchmark::State& st, gcTransform op) {
  gcVMM vmm;
  fillRandom(&vmm);
  for (auto _ : st) {
    const gcFileResult r =
        transformImage(&vmm, op, 0x5A, kFirst, kFirst + kBytes - 1);
    if (!r.isOk()) st.SkipWithError(r.getMessage().c_str());
  }
  st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations()) * kBytes);
}

void checksum(benchmark::State& st, const std::string& name) {
  gcVMM vmm;
  fillRandom(&vmm);
  for (auto _ : st) {
    const gcFileResult r = checksumImage(&vmm, name, kFirst - 64, kFirst,
                                         kFirst + kBytes - 1, true);
    if (!r.isOk()) st.SkipWithError(r.getMessage().c_str());
  }
  st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations()) * kBytes);
}

}  // namespace

void registerChecksums() {
  for (const char* name : {"crc32-le",
                           "stm32-le",
                           "crc-3/gsm",
                           "crc-8/maxim-dow",
                           "crc-16/modbus-le",
                           "crc-16/xmodem-le",
                           "crc-24/openpgp-be",
                           "crc-32c-le",
                           "crc-32/bzip2-be",
                           "crc-40/gsm-be",
                           "crc-64/xz-le",
                           "crc-64/ecma-182-be",
                           "sum32-le",
                           "adler32-le",
                           "fletcher32-le",
                           "adler16-le",
                           "md5",
                           "sha1",
                           "sha256",
                           "sha512"})
    benchmark::RegisterBenchmark((std::string("checksum/") + name).c_str(),
                                 checksum, std::string(name))
        ->Unit(benchmark::kMillisecond);
  for (auto [name, op] :
       {std::pair{"xor", kXor}, std::pair{"and", kAnd}, std::pair{"not", kNot},
        std::pair{"bit-reverse", kBitReverse}})
    benchmark::RegisterBenchmark((std::string("transform/") + name).c_str(),
                                 transform, op)
        ->Unit(benchmark::kMillisecond);
}

}  // namespace bench
