// The workloads, each run the same way for every contender. Every workload
// checks what it reads back and reports an error instead of a figure when
// the data is wrong.
#include "workloads.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <type_traits>

#include "stores.h"

extern char** environ;

namespace bench {
namespace {

const std::vector<char>& image(int which) {
  static std::vector<char> images[2];
  if (images[0].empty()) {
    images[0].resize(kImageSize);
    for (std::uint32_t i = 0; i < kImageSize / kChunk; ++i)
      fillChunk(i, images[0].data() + std::size_t{i} * kChunk);
    images[1].resize(kImageSize);
    for (std::uint32_t i = 0; i < kImageSize; ++i)
      images[1][i] = static_cast<char>(~images[0][i]);
  }
  return images[which];
}

// Where the random byte workloads go: anywhere in the 4 GiB (each access
// its own page, mostly), within 8,192 pages anywhere in the 4 GiB, or
// within the dense 64 MiB image.
enum Spread { kAnywhere, kPages, kDense };
const char* const kSpreadNames[] = {"random", "pages", "dense"};

const std::vector<std::uint32_t>& randomAddresses(Spread spread = kAnywhere) {
  static std::vector<std::uint32_t> addrs[3];
  std::vector<std::uint32_t>& out = addrs[spread];
  if (out.empty()) {
    std::uint64_t state = 42;
    std::vector<std::uint32_t> pages(kScatteredPages);
    for (auto& pg : pages)
      pg = static_cast<std::uint32_t>(splitmix64(&state)) & ~0xFFFu;
    out.resize(kRandomCount);
    for (auto& a : out) {
      const std::uint64_t r = splitmix64(&state);
      const auto low = static_cast<std::uint32_t>(r);
      if (spread == kAnywhere) a = low;
      if (spread == kPages)
        a = pages[(r >> 32) % kScatteredPages] | (low & 0xFFF);
      if (spread == kDense) a = kBase + low % kImageSize;
    }
  }
  return out;
}

// One populated store, kept across the calls Google Benchmark makes for a
// group of benchmarks (iteration probes, repetitions, block sizes) and
// released before the next one is built, so only one is resident.
std::shared_ptr<void> gHeld;
std::string gHeldKey;

template <class T, class Make>
T& held(const std::string& key, Make make) {
  if (!gHeld || key != gHeldKey) {
    gHeld.reset();
    std::shared_ptr<T> p = make();
    gHeld = p;
    gHeldKey = key;
  }
  return *static_cast<T*>(gHeld.get());
}

// A store and what it holds now: the key of its byte values, or which of
// the two images.
template <class S>
struct Held {
  std::unique_ptr<S> store;
  int state = 0;
};

template <class S>
bool sameImage(S* s, const std::vector<char>& img) {
  static std::vector<char> piece(1u << 20);
  for (std::uint32_t o = 0; o < kImageSize; o += 1u << 20) {
    s->getBlock(kBase + o, piece.data(), 1u << 20);
    if (std::memcmp(piece.data(), img.data() + o, 1u << 20) != 0) return false;
  }
  return true;
}

template <class S>
void writeImage(S* s, const std::vector<char>& img, std::uint32_t iBlock) {
  for (std::uint32_t o = 0; o < kImageSize; o += iBlock)
    s->setBlock(kBase + o, img.data() + o, iBlock);
}

// A store that is not preallocated starts fresh in every iteration, built
// and torn down outside the timing.
template <class S>
void renew(benchmark::State& st, std::unique_ptr<S>* pStore, const Range& r) {
  if (S::kPreallocated) return;
  st.PauseTiming();
  pStore->reset();
  pStore->reset(new S(r));
  st.ResumeTiming();
}

// ---------------------------------------------------------------------------
// Bytes.

template <class S>
void byteWriteSeq(benchmark::State& st) {
  const Range r{kBase, kSeqSize};
  std::unique_ptr<S> s;
  if (S::kPreallocated) s.reset(new S(r));
  for (auto _ : st) {
    renew(st, &s, r);
    for (std::uint32_t a = kBase; a != kBase + kSeqSize; ++a)
      s->setByte(a, byteAt(a));
  }
  for (std::uint32_t a = kBase; a != kBase + kSeqSize; ++a)
    if (s->getByte(a) != byteAt(a) || !s->isByteMapped(a))
      return st.SkipWithError("read back differs");
  st.SetBytesProcessed(st.iterations() * kSeqSize);
}

template <class S>
void byteReadSeq(benchmark::State& st, const std::string& name) {
  auto& h = held<Held<S>>("seq/" + name, [] {
    auto p = std::make_shared<Held<S>>();
    p->store.reset(new S(Range{kBase, kSeqSize}));
    for (std::uint32_t a = kBase; a != kBase + kSeqSize; ++a)
      p->store->setByte(a, byteAt(a));
    return p;
  });
  std::uint64_t iExpected = 0;
  for (std::uint32_t a = kBase; a != kBase + kSeqSize; ++a)
    iExpected += static_cast<unsigned char>(byteAt(a));
  S* s = h.store.get();
  for (auto _ : st) {
    std::uint64_t iSum = 0;
    for (std::uint32_t a = kBase; a != kBase + kSeqSize; ++a)
      iSum += static_cast<unsigned char>(s->getByte(a));
    if (iSum != iExpected) return st.SkipWithError("read back differs");
  }
  st.SetBytesProcessed(st.iterations() * kSeqSize);
}

template <class S>
Held<S>& randomStore(const std::string& name, Spread spread) {
  return held<Held<S>>(kSpreadNames[spread] + ("/" + name), [spread] {
    auto p = std::make_shared<Held<S>>();
    p->store.reset(new S(spread == kDense ? Range{kBase, kImageSize}
                                          : Range{0, kAddressSpace}));
    for (std::uint32_t a : randomAddresses(spread))
      p->store->setByte(a, byteAt(a));
    return p;
  });
}

template <class S>
void byteRewriteRandom(benchmark::State& st, const std::string& name,
                       Spread spread) {
  auto& h = randomStore<S>(name, spread);
  S* s = h.store.get();
  const auto& addrs = randomAddresses(spread);
  const unsigned char key = static_cast<unsigned char>(h.state ^ 0x5A);
  for (auto _ : st)
    for (std::uint32_t a : addrs) s->setByte(a, byteAt(a, key));
  h.state = key;
  for (std::uint32_t a : addrs)
    if (s->getByte(a) != byteAt(a, key) || !s->isByteMapped(a))
      return st.SkipWithError("read back differs");
  st.SetItemsProcessed(st.iterations() * kRandomCount);
}

template <class S>
void byteReadRandom(benchmark::State& st, const std::string& name,
                    Spread spread) {
  auto& h = randomStore<S>(name, spread);
  S* s = h.store.get();
  const auto& addrs = randomAddresses(spread);
  const unsigned char key = static_cast<unsigned char>(h.state);
  std::uint64_t iExpected = 0;
  for (std::uint32_t a : addrs)
    iExpected += static_cast<unsigned char>(byteAt(a, key));
  for (auto _ : st) {
    std::uint64_t iSum = 0;
    for (std::uint32_t a : addrs)
      iSum += static_cast<unsigned char>(s->getByte(a));
    if (iSum != iExpected) return st.SkipWithError("read back differs");
  }
  st.SetItemsProcessed(st.iterations() * kRandomCount);
}

// ---------------------------------------------------------------------------
// Blocks of a 64 MiB image.

template <class S>
void blockWriteFresh(benchmark::State& st, std::uint32_t iBlock) {
  const Range r{kBase, kImageSize};
  const auto& img = image(0);
  std::unique_ptr<S> s;
  if (S::kPreallocated) s.reset(new S(r));
  for (auto _ : st) {
    renew(st, &s, r);
    writeImage(s.get(), img, iBlock);
  }
  if (!sameImage(s.get(), img)) return st.SkipWithError("read back differs");
  st.SetBytesProcessed(st.iterations() * kImageSize);
}

// Every call writes the image the store does not hold, so that a dropped
// write cannot pass the check.
template <class S>
void blockWriteMapped(benchmark::State& st, const std::string& name,
                      std::uint32_t iBlock) {
  auto& h = held<Held<S>>("mapped/" + name, [] {
    auto p = std::make_shared<Held<S>>();
    p->store.reset(new S(Range{kBase, kImageSize}));
    writeImage(p->store.get(), image(1), 1u << 20);
    p->state = 1;
    return p;
  });
  const int target = 1 - h.state;
  const auto& img = image(target);
  for (auto _ : st) writeImage(h.store.get(), img, iBlock);
  h.state = target;
  if (!sameImage(h.store.get(), img))
    return st.SkipWithError("read back differs");
  st.SetBytesProcessed(st.iterations() * kImageSize);
}

template <class S>
Held<S>& imageStore(const std::string& name) {
  return held<Held<S>>("image/" + name, [] {
    auto p = std::make_shared<Held<S>>();
    p->store.reset(new S(Range{kBase, kImageSize}));
    writeImage(p->store.get(), image(0), 1u << 20);
    return p;
  });
}

template <class S>
void blockRead(benchmark::State& st, const std::string& name,
               std::uint32_t iBlock) {
  S* s = imageStore<S>(name).store.get();
  const auto& img = image(0);
  static std::vector<char> out(kImageSize);
  for (auto _ : st) {
    st.PauseTiming();
    std::memset(out.data(), 0xA5, kImageSize);
    st.ResumeTiming();
    for (std::uint32_t o = 0; o < kImageSize; o += iBlock)
      s->getBlock(kBase + o, out.data() + o, iBlock);
    st.PauseTiming();
    const bool bSame = std::memcmp(out.data(), img.data(), kImageSize) == 0;
    st.ResumeTiming();
    if (!bSame) return st.SkipWithError("read back differs");
  }
  st.SetBytesProcessed(st.iterations() * kImageSize);
}

template <class S>
void enumeratePages(benchmark::State& st, const std::string& name) {
  S* s = imageStore<S>(name).store.get();
  const std::uint64_t iExpected = s->expectedUnits(Range{kBase, kImageSize});
  for (auto _ : st)
    if (s->enumerate() != iExpected)
      return st.SkipWithError("wrong number of pages");
}

// ---------------------------------------------------------------------------
// writeMemoryMap of a 1 MiB run, against a formatter over flat arrays.

constexpr std::uint32_t kMapBase = 0x20000000;
constexpr std::uint32_t kMapSize = 1u << 20;

// Every 61st byte of the run stays unwritten, so both entry kinds show.
bool mapWritten(std::uint32_t a) { return a % 61 != 7; }

// The report text of one run, as tools/memory_map.h documents it.
template <class Written, class Value>
void formatRun(std::string* pOut, std::uint32_t iFirst, std::uint32_t iCount,
               Written written, Value value) {
  static const char kHex[] = "0123456789abcdef";
  char line[32];
  auto hex = [&](char* p, std::uint32_t v) {
    char digits[8];
    int n = 0;
    do {
      digits[n++] = kHex[v & 0xF];
      v >>= 4;
    } while (v != 0);
    char* q = p;
    while (n > 0) *q++ = digits[--n];
    return q;
  };
  char* q = hex(line, iFirst);
  pOut->append("- Address 0x");
  pOut->append(line, q);
  pOut->append(" - \n");
  for (std::uint32_t i = 0; i < iCount; ++i) {
    const std::uint32_t a = iFirst + i;
    if (written(a)) {
      char* p = line;
      *p++ = '0';
      *p++ = 'x';
      p = hex(p, static_cast<std::uint32_t>(static_cast<std::int32_t>(
                     static_cast<signed char>(value(a)))));
      *p++ = ' ';
      pOut->append(line, p);
    } else {
      pOut->append("---- ", 5);
    }
    if ((i & 15) == 15) pOut->push_back('\n');
  }
  pOut->append("\n\n");
}

// What the report must hold for a VMM with the given page size: the never
// written page at address 0, then the run.
const std::string& expectedReport(std::uint32_t iPageSize) {
  static std::string texts[2];
  std::string& text = texts[iPageSize == 4096 ? 0 : 1];
  if (text.empty()) {
    formatRun(
        &text, 0, iPageSize, [](std::uint32_t) { return false; },
        [](std::uint32_t) { return 0; });
    formatRun(&text, kMapBase, kMapSize, mapWritten,
              [](std::uint32_t a) { return byteAt(a); });
  }
  return text;
}

bool fileHolds(const char* pName, const std::string& text) {
  std::ifstream in(pName, std::ios::binary);
  std::string s((std::istreambuf_iterator<char>(in)),
                std::istreambuf_iterator<char>());
  return s == text;
}

template <class S>
void populateMapRun(S* s) {
  for (std::uint32_t a = kMapBase; a != kMapBase + kMapSize; ++a)
    if (mapWritten(a)) s->setByte(a, byteAt(a));
}

template <class S>
void writeMemoryMapBench(benchmark::State& st) {
  S s(Range{kMapBase, kMapSize});
  populateMapRun(&s);
  for (auto _ : st) writeMemoryMap(s.vmm());
  if (!fileHolds("vmm.mmap", expectedReport(s.vmm()->getPageSize())))
    return st.SkipWithError("report differs");
}

void formatFlatReport(benchmark::State& st) {
  FlatStore s(Range{kMapBase, kMapSize});
  populateMapRun(&s);
  for (auto _ : st) {
    std::string text;
    text.reserve(12u << 20);
    formatRun(
        &text, 0, 4096, [](std::uint32_t) { return false; },
        [](std::uint32_t) { return 0; });
    formatRun(
        &text, kMapBase, kMapSize,
        [&](std::uint32_t a) { return s.isByteMapped(a); },
        [&](std::uint32_t a) { return s.getByte(a); });
    const int fd = open("flat.mmap", O_WRONLY | O_CREAT | O_TRUNC, 0664);
    if (fd < 0 || write(fd, text.data(), text.size()) !=
                      static_cast<ssize_t>(text.size()))
      return st.SkipWithError("cannot write flat.mmap");
    close(fd);
  }
  if (!fileHolds("flat.mmap", expectedReport(4096)))
    return st.SkipWithError("report differs");
}

// ---------------------------------------------------------------------------
// Loading a 64 MiB file in 64 KiB chunks.

char kImageFile[] = "image.bin";

void ensureImageFile() {
  static bool bWritten = false;
  if (bWritten) return;
  std::FILE* f = std::fopen(kImageFile, "wb");
  if (f == nullptr ||
      std::fwrite(image(0).data(), 1, kImageSize, f) != kImageSize) {
    std::perror(kImageFile);
    std::exit(1);
  }
  std::fclose(f);
  bWritten = true;
}

template <class S>
void loadWithStdio(S* s) {
  std::FILE* f = std::fopen(kImageFile, "rb");
  if (f == nullptr) return;
  static std::vector<char> chunk(kChunk);
  std::uint32_t iOffset = 0;
  for (;;) {
    const std::size_t n = std::fread(chunk.data(), 1, kChunk, f);
    if (n == 0) break;
    s->setBlock(kBase + iOffset, chunk.data(), static_cast<std::uint32_t>(n));
    iOffset += static_cast<std::uint32_t>(n);
  }
  std::fclose(f);
}

template <class S>
struct IsVmm : std::false_type {};
template <class M, class V>
struct IsVmm<VmmStore<M, V>> : std::true_type {};

template <class S>
void loadBinary(benchmark::State& st) {
  ensureImageFile();
  const Range r{kBase, kImageSize};
  std::unique_ptr<S> s;
  if (S::kPreallocated) s.reset(new S(r));
  for (auto _ : st) {
    renew(st, &s, r);
    if constexpr (IsVmm<S>::value)
      loadBinaryToVMM(s->vmm(), kImageFile, kBase, kChunk);
    else
      loadWithStdio(s.get());
  }
  if (!sameImage(s.get(), image(0)))
    return st.SkipWithError("read back differs");
  st.SetBytesProcessed(st.iterations() * kImageSize);
}

// ---------------------------------------------------------------------------
// Memory per data byte, measured in a process of its own.

long statusKiB(const char* pField) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::size_t n = std::strlen(pField);
  while (std::getline(in, line))
    if (line.compare(0, n, pField) == 0) return std::atol(line.c_str() + n);
  return -1;
}

std::uint64_t heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// Bookkeeping of the scattered working set: what the heap holds (malloc's
// headers included) and what the store counts itself, less the pages' data
// and bitmaps, per page.
template <class S>
void scatteredBookkeeping(double* pHeap, double* pOwn) {
  const auto& addrs = randomAddresses(kPages);
  std::vector<std::uint32_t> pages;
  for (std::uint32_t a : addrs) pages.push_back(a >> 12);
  std::sort(pages.begin(), pages.end());
  const double n = static_cast<double>(std::unique(pages.begin(), pages.end()) -
                                       pages.begin());
  const std::uint64_t iBefore = heapInUse();
  S s(Range{0, kAddressSpace});
  for (std::uint32_t a : addrs) s.setByte(a, byteAt(a));
  const double iPageBytes = n * (4096 + 512);
  *pHeap = (static_cast<double>(heapInUse() - iBefore) - iPageBytes) / n;
  *pOwn = s.ownBytes() < 0 ? -1 : (s.ownBytes() - iPageBytes) / n;
}

template <class S>
int probe() {
  const long iStart = statusKiB("VmRSS:");
  double iOwn = 0;
  long iPeak = 0;
  bool bSame = true;
  {
    std::vector<char> chunk(kChunk), back(kChunk);
    S s(Range{kBase, kImageSize});
    for (std::uint32_t i = 0; i < kImageSize / kChunk; ++i) {
      fillChunk(i, chunk.data());
      s.setBlock(kBase + i * kChunk, chunk.data(), kChunk);
    }
    iPeak = statusKiB("VmHWM:");
    for (std::uint32_t i = 0; i < kImageSize / kChunk && bSame; ++i) {
      fillChunk(i, chunk.data());
      s.getBlock(kBase + i * kChunk, back.data(), kChunk);
      bSame = std::memcmp(chunk.data(), back.data(), kChunk) == 0;
    }
    iOwn = s.ownBytes();
  }
  // After the image, so that its peak is measured from a fresh heap.
  double iBookHeap = -1, iBookOwn = -1;
  if constexpr (S::kBytes && !std::is_same<S, SrecordStore>::value &&
                !std::is_same<S, FlatStore>::value)
    scatteredBookkeeping<S>(&iBookHeap, &iBookOwn);
  std::printf("%.0f %ld %d %.1f %.1f\n", iOwn, (iPeak - iStart) * 1024L,
              bSame ? 1 : 0, iBookHeap, iBookOwn);
  return 0;
}

void memoryPerByte(benchmark::State& st, const std::string& name) {
  std::string sOut;
  for (auto _ : st) {
    int fds[2];
    if (pipe(fds) != 0) return st.SkipWithError("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    const std::string sArg = "--memory-probe=" + name;
    char exe[] = "/proc/self/exe";
    char* argv[] = {exe, const_cast<char*>(sArg.c_str()), nullptr};
    pid_t pid;
    const int rc = posix_spawn(&pid, exe, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    char buf[256];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) sOut.append(buf, n);
    close(fds[0]);
    int status = 0;
    if (rc != 0 || waitpid(pid, &status, 0) != pid || status != 0)
      return st.SkipWithError("memory probe failed");
  }
  double own = 0, rss = 0, bookHeap = -1, bookOwn = -1;
  int ok = 0;
  std::istringstream(sOut) >> own >> rss >> ok >> bookHeap >> bookOwn;
  if (ok != 1) return st.SkipWithError("read back differs");
  if (own >= 0) st.counters["own_per_byte"] = own / kImageSize;
  if (bookHeap >= 0) st.counters["book_heap_per_page"] = bookHeap;
  if (bookOwn >= 0) st.counters["book_own_per_page"] = bookOwn;
  st.counters["rss_per_byte"] = rss / kImageSize;
}

// ---------------------------------------------------------------------------
// Registration: workload by workload, each contender in turn.

template <class S>
struct Tag {
  using type = S;
};

template <class F>
void forEachStore(F f) {
  f(Tag<FastStore>{}, "fast");
  f(Tag<CompactStore>{}, "compact");
  f(Tag<SmallStore>{}, "small");
  f(Tag<HashedStore>{}, "hashed");
  f(Tag<DerivedStore>{}, "derived");
  f(Tag<MemcpyStore>{}, "memcpy");
  f(Tag<FlatStore>{}, "flat");
  f(Tag<SrecordStore>{}, "srecord");
  f(Tag<MapStore>{}, "map");
}

const std::uint32_t kBlockSizes[] = {256, 4u << 10, 64u << 10, 1u << 20};

std::string blockName(std::uint32_t iBlock) {
  return iBlock >= (1u << 20)   ? std::to_string(iBlock >> 20) + "MiB"
         : iBlock >= (1u << 10) ? std::to_string(iBlock >> 10) + "KiB"
                                : std::to_string(iBlock) + "B";
}

benchmark::internal::Benchmark* timed(benchmark::internal::Benchmark* b) {
  return b->Unit(benchmark::kMillisecond);
}

}  // namespace

void registerWorkloads() {
  // srecord keeps its chunks in one sorted array, so a million scattered
  // chunks would take hours to insert: it sits out the random workloads.
  forEachStore([](auto tag, const std::string& name) {
    using S = typename decltype(tag)::type;
    if constexpr (S::kBytes)
      timed(benchmark::RegisterBenchmark(("byte_write_seq/" + name).c_str(),
                                         byteWriteSeq<S>));
  });
  forEachStore([](auto tag, const std::string& name) {
    using S = typename decltype(tag)::type;
    if constexpr (S::kBytes)
      timed(benchmark::RegisterBenchmark(("byte_read_seq/" + name).c_str(),
                                         byteReadSeq<S>, name));
  });
  forEachStore([](auto tag, const std::string& name) {
    using S = typename decltype(tag)::type;
    if constexpr (S::kBytes && !std::is_same<S, SrecordStore>::value) {
      for (Spread spread : {kAnywhere, kPages, kDense}) {
        const std::string suffix = kSpreadNames[spread] + ("/" + name);
        timed(benchmark::RegisterBenchmark(("byte_rewrite_" + suffix).c_str(),
                                           byteRewriteRandom<S>, name, spread));
        timed(benchmark::RegisterBenchmark(("byte_read_" + suffix).c_str(),
                                           byteReadRandom<S>, name, spread));
      }
    }
  });
  forEachStore([](auto tag, const std::string& name) {
    using S = typename decltype(tag)::type;
    for (std::uint32_t b : kBlockSizes)
      timed(benchmark::RegisterBenchmark(
          ("block_write_fresh/" + blockName(b) + "/" + name).c_str(),
          blockWriteFresh<S>, b));
  });
  forEachStore([](auto tag, const std::string& name) {
    using S = typename decltype(tag)::type;
    for (std::uint32_t b : kBlockSizes)
      timed(benchmark::RegisterBenchmark(
          ("block_write_mapped/" + blockName(b) + "/" + name).c_str(),
          blockWriteMapped<S>, name, b));
  });
  forEachStore([](auto tag, const std::string& name) {
    using S = typename decltype(tag)::type;
    for (std::uint32_t b : kBlockSizes)
      timed(benchmark::RegisterBenchmark(
          ("block_read/" + blockName(b) + "/" + name).c_str(), blockRead<S>,
          name, b));
    if constexpr (S::kBytes)
      timed(benchmark::RegisterBenchmark(("enumerate_pages/" + name).c_str(),
                                         enumeratePages<S>, name))
          ->Unit(benchmark::kMicrosecond);
  });
  forEachStore([](auto tag, const std::string& name) {
    using S = typename decltype(tag)::type;
    if constexpr (IsVmm<S>::value)
      timed(benchmark::RegisterBenchmark(("write_memory_map/" + name).c_str(),
                                         writeMemoryMapBench<S>));
    else if constexpr (std::is_same<S, FlatStore>::value)
      timed(benchmark::RegisterBenchmark(("write_memory_map/" + name).c_str(),
                                         formatFlatReport));
  });
  forEachStore([](auto tag, const std::string& name) {
    using S = typename decltype(tag)::type;
    timed(benchmark::RegisterBenchmark(("load_binary/" + name).c_str(),
                                       loadBinary<S>));
  });
  forEachStore([](auto, const std::string& name) {
    benchmark::RegisterBenchmark(("memory/" + name).c_str(), memoryPerByte,
                                 name)
        ->Iterations(1)
        ->Repetitions(1);
  });
}

int runMemoryProbe(const std::string& name) {
  int rc = 2;
  forEachStore([&](auto tag, const std::string& n) {
    if (n == name) rc = probe<typename decltype(tag)::type>();
  });
  if (rc == 2) std::fprintf(stderr, "unknown store %s\n", name.c_str());
  return rc;
}

}  // namespace bench
