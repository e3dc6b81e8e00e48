// The differential fuzz target. The input picks a memory model and a stream
// of operations; each runs on a gcVMM and on Shadow, the plainest record of
// what the library promises, and the first divergence aborts. Built with
// DWXVMM_FUZZ_MODELS, the stream runs on the fast and the compact model
// instead, which must agree on every byte, bit and page.
#include <dwxvmm/dwxvmm.h>
#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

#ifdef DWXVMM_FUZZ_MODELS
constexpr bool kFastAgainstCompact = true;
#else
constexpr bool kFastAgainstCompact = false;
#endif

enum Model { kFast, kCompact, kSmall };
constexpr std::uint64_t kSpace = std::uint64_t{1} << 32;
constexpr vmm_int kRegion = 1u << 24;
constexpr vmm_int kMaxBlock = 9000;         // crosses two 4 KiB page edges
constexpr vmm_int kMaxReport = 128 * 1024;  // addresses a report may cover
constexpr std::size_t kMaxSteps = 64;

vmm_int pageSizeOf(int model) { return model == kSmall ? 0x10000 : 0x1000; }

// The part of a block at a that lies inside the address space.
vmm_int clamp(vmm_int a, vmm_int n) {
  return static_cast<vmm_int>(std::min<std::uint64_t>(n, kSpace - a));
}

std::string hex(std::uint32_t v) {
  char s[12];
  std::snprintf(s, sizeof s, "%x", v);
  return s;
}

struct Op {
  enum Kind {
    kSetByte,
    kGetByte,
    kIsByteMapped,
    kSetBlock,
    kGetBlock,
    kWalk,
    kUsage,
    kLoad,
    kReport,
  } kind = kSetByte;
  vmm_int addr = 0;
  vmm_int size = 0;  // block length, load chunk, or pages until a walk stops
  std::string data;  // bytes to write or to load
  bool deleteHandler = false;
};

const char* const kOpNames[] = {"setByte",  "getByte",  "isByteMapped",
                                "setBlock", "getBlock", "forAllMappedPages",
                                "usage",    "load",     "report"};

// What an operation showed; equal outcomes or the run aborts.
struct Outcome {
  std::string data;  // bytes and bits read, the report
  std::vector<vmm_int> pages;
  std::string walk;  // result, finish() calls, handler deleted
  vmm_int usage = 0;
  bool operator==(const Outcome& o) const {
    return std::tie(data, pages, walk, usage) ==
           std::tie(o.data, o.pages, o.walk, o.usage);
  }
};

// Turns fuzz bytes into operations, with addresses and lengths biased to
// page and region edges, 0, 0xFFFFFFFF and the end of the address space.
class Decoder {
 public:
  Decoder(const std::uint8_t* p, std::size_t n) : in_(p, n) {}
  int model() { return in_.ConsumeIntegralInRange(0, 2); }
  // A report steps through the whole address space page by page, which
  // takes a million lookups with 4 KiB pages and would swamp the run: only
  // VMMs with 64 KiB pages end with one, one input in four.
  bool report(int model) {
    return in_.ConsumeIntegralInRange(0, 3) == 3 && model == kSmall;
  }
  bool more() { return in_.remaining_bytes() > 0; }

  Op next(vmm_int pageSize) {
    Op op;
    op.kind = static_cast<Op::Kind>(in_.ConsumeIntegralInRange(0, 7));
    op.addr = address(pageSize);
    switch (op.kind) {
      case Op::kSetByte:
        op.data = std::string(1, in_.ConsumeIntegral<char>());
        break;
      case Op::kSetBlock:
        op.size = length(op.addr, pageSize);
        if (clamp(op.addr, op.size) > kMaxBlock) op.size %= kMaxBlock + 1;
        op.data = pattern(clamp(op.addr, op.size));
        break;
      case Op::kGetBlock:
        op.size = length(op.addr, pageSize);
        if (op.size > 2 * kMaxBlock) op.size %= kMaxBlock + 1;
        break;
      case Op::kWalk:
        op.size = in_.ConsumeIntegralInRange(0, 6);
        op.deleteHandler = in_.ConsumeBool();
        break;
      case Op::kLoad:
        op.data = pattern(in_.ConsumeIntegralInRange<vmm_int>(0, kMaxBlock));
        op.size = in_.ConsumeBool() ? pageSize
                                    : in_.ConsumeIntegralInRange<vmm_int>(
                                          0, op.data.size() + 1);
        break;
      default:
        break;
    }
    return op;
  }

 private:
  vmm_int address(vmm_int pageSize) {
    const auto near = static_cast<vmm_int>(in_.ConsumeIntegralInRange(-8, 8));
    switch (in_.ConsumeIntegralInRange(0, 4)) {
      case 0:
        return in_.ConsumeIntegral<vmm_int>();
      case 1:
        return near;  // around 0
      case 2:
        return 0xFFFFFFFF + near;
      case 3:
        return in_.ConsumeIntegral<std::uint8_t>() * kRegion + near;
      default:
        return in_.ConsumeIntegral<std::uint8_t>() * kRegion +
               in_.ConsumeIntegralInRange<vmm_int>(0, 16) * pageSize + near;
    }
  }
  vmm_int length(vmm_int addr, vmm_int pageSize) {
    switch (in_.ConsumeIntegralInRange(0, 4)) {
      case 0:
        return 0;
      case 1:
        return in_.ConsumeIntegralInRange<vmm_int>(1, 16);
      case 2:
        return in_.ConsumeIntegralInRange<vmm_int>(1, kMaxBlock);
      case 3:  // to the next page edge, a little short or beyond
        return pageSize - addr % pageSize +
               static_cast<vmm_int>(in_.ConsumeIntegralInRange(-2, 2));
      default:  // past 0xFFFFFFFF
        return vmm_int(0 - addr) + in_.ConsumeIntegral<std::uint16_t>();
    }
  }
  std::string pattern(vmm_int n) {
    std::string s(n, '\0');
    const auto seed = in_.ConsumeIntegral<std::uint8_t>();
    for (vmm_int i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 7);
    return s;
  }

  FuzzedDataProvider in_;
};

// The library's promises, kept the plainest way: the bytes ever written,
// the pages that must exist and those whose memory was touched.
class Shadow {
 public:
  explicit Shadow(int model) : model_(model), pageSize_(pageSizeOf(model)) {
    map(0);  // the page prototype
  }

  Outcome expect(const Op& op) {
    Outcome out;
    const vmm_int n = clamp(op.addr, op.size);
    switch (op.kind) {
      case Op::kSetByte:
        touch(op.addr);
        bytes_[op.addr] = op.data[0];
        break;
      case Op::kGetByte:
      case Op::kIsByteMapped:
        if (pages_.count(pageOf(op.addr)) != 0) touch(op.addr);
        out.data = op.kind == Op::kGetByte ? std::string(1, byte(op.addr))
                   : written(op.addr)      ? "1"
                                           : "0";
        break;
      case Op::kSetBlock:
        block(op.addr, n);
        for (vmm_int i = 0; i < n; ++i) bytes_[op.addr + i] = op.data[i];
        break;
      case Op::kGetBlock:
        block(op.addr, n);
        out.data.assign(op.size, '\0');
        for (vmm_int i = 0; i < n; ++i) out.data[i] = byte(op.addr + i);
        break;
      case Op::kWalk: {
        out.pages = order();
        const bool stops = op.size != 0 && op.size <= out.pages.size();
        if (stops) out.pages.resize(op.size);
        out.walk = stops ? "false 0 kept" : "true 1 ";
        if (!stops) out.walk += op.deleteHandler ? "deleted" : "kept";
        break;
      }
      case Op::kUsage:
        out.usage = usage();
        break;
      case Op::kLoad:  // chunk by chunk; the address wraps between chunks
        for (std::size_t at = 0; op.size != 0 && at < op.data.size();
             at += op.size) {
          const vmm_int a = op.addr + static_cast<vmm_int>(at);
          const std::string chunk = op.data.substr(at, op.size);
          Op write;
          write.kind = Op::kSetBlock;
          write.addr = a;
          write.size = static_cast<vmm_int>(chunk.size());
          write.data = chunk;
          expect(write);
        }
        break;
      default:
        out.data = report();
        for (vmm_int page : pages_) physical_.insert(page);
        break;
    }
    return out;
  }

  // Directories list their regions in the order of each region's first
  // node (region 0 first), a table in address order.
  std::vector<vmm_int> order() const {
    if (model_ == kFast) return {pages_.begin(), pages_.end()};
    std::vector<vmm_int> out;
    for (vmm_int region : regions_)
      for (auto it = pages_.lower_bound(region);
           it != pages_.end() && *it - region < kRegion; ++it)
        out.push_back(*it);
    return out;
  }

  // What the root, one table (and list element) per region and every page
  // object and touched page memory cost.
  vmm_int usage() const {
    const vmm_int entry = sizeof(gcVMMPageBase*);
    const vmm_int element = sizeof(std::_List_node<gcVMMPageBase*>);
    const vmm_int table =
        sizeof(gcVMMPageTable) + (kRegion / pageSize_) * entry;
    vmm_int n = model_ == kFast
                    ? sizeof(gcVMMPageTable) + 256 * entry
                    : sizeof(gcVMMPageDir) + sizeof(std::list<gcVMMPageBase*>);
    n += regions_.size() * (table + (model_ == kFast ? 0 : element));
    n += pages_.size() * sizeof(gcVMMPage);
    return n + physical_.size() * (pageSize_ + pageSize_ / 8);
  }

  // Every page's data and bitmap, in address order.
  std::string contents() const {
    std::string out;
    for (vmm_int page : pages_) {
      std::string data(pageSize_, '\0'), bits(pageSize_ / 8, '\0');
      for (auto it = bytes_.lower_bound(page);
           it != bytes_.end() && it->first - page < pageSize_; ++it) {
        data[it->first - page] = it->second;
        bits[(it->first - page) / 8] |=
            static_cast<char>(0x80 >> it->first % 8);
      }
      out += data + bits;
    }
    return out;
  }

  // Runs of consecutive pages: a header, sixteen entries a line.
  std::string report() const {
    std::string out;
    for (auto it = pages_.begin(); it != pages_.end();) {
      out += "- Address 0x" + hex(*it) + " - \n";
      for (vmm_int page = *it; it != pages_.end() && *it == page; ++it) {
        for (vmm_int a = page; a - page < pageSize_; ++a) {
          out += written(a) ? "0x" +
                                  hex(static_cast<std::int32_t>(
                                      static_cast<signed char>(byte(a)))) +
                                  " "
                            : "---- ";
          if ((a + 1) % 16 == 0) out += "\n";
        }
        page += pageSize_;
        if (page == 0) return out;  // reached the top
      }
      out += "\n\n";
    }
    return out;
  }

  bool small() const { return pages_.size() * pageSize_ <= kMaxReport; }

 private:
  vmm_int pageOf(vmm_int a) const { return a - a % pageSize_; }
  void map(vmm_int a) {
    pages_.insert(pageOf(a));
    if (std::find(regions_.begin(), regions_.end(), a / kRegion * kRegion) ==
        regions_.end())
      regions_.push_back(a / kRegion * kRegion);
  }
  void touch(vmm_int a) {
    map(a);
    physical_.insert(pageOf(a));
  }
  // A block maps every page it reaches; an empty one the page of its
  // address, without touching its memory.
  void block(vmm_int a, vmm_int n) {
    if (n == 0) return map(a);
    for (std::uint64_t p = pageOf(a); p < std::uint64_t{a} + n; p += pageSize_)
      touch(static_cast<vmm_int>(p));
  }
  bool written(vmm_int a) const { return bytes_.count(a) != 0; }
  char byte(vmm_int a) const {
    auto it = bytes_.find(a);
    return it == bytes_.end() ? 0 : it->second;
  }

  int model_;
  vmm_int pageSize_;
  std::map<vmm_int, char> bytes_;
  std::set<vmm_int> pages_;     // page starts
  std::set<vmm_int> physical_;  // pages whose memory exists
  std::vector<vmm_int> regions_;
};

class Recorder : public gcVMMPageHandler {
 public:
  Recorder(Outcome* pOut, vmm_int stopAfter, int* pFinished, bool* pDeleted)
      : out_(pOut),
        stopAfter_(stopAfter),
        finished_(pFinished),
        deleted_(pDeleted) {}
  ~Recorder() override { *deleted_ = true; }
  bool handlePage(gcVMMPage* pPage) override {
    out_->pages.push_back(pPage->getVAddr());
    return out_->pages.size() != stopAfter_;
  }
  void finish() override { ++*finished_; }

 private:
  Outcome* out_;
  std::size_t stopAfter_;
  int* finished_;
  bool* deleted_;
};

std::vector<gcVMMPage*> pagesOf(gcVMM& vmm) {
  struct Collect : gcVMMPageHandler {
    std::vector<gcVMMPage*> pages;
    bool handlePage(gcVMMPage* p) override {
      pages.push_back(p);
      return true;
    }
  } collect;
  vmm.forAllMappedPages(&collect, false);
  std::sort(
      collect.pages.begin(), collect.pages.end(),
      [](gcVMMPage* a, gcVMMPage* b) { return a->getVAddr() < b->getVAddr(); });
  return collect.pages;
}

Outcome run(gcVMM& vmm, const Op& op) {
  Outcome out;
  switch (op.kind) {
    case Op::kSetByte:
      vmm.setByte(op.addr, op.data[0]);
      break;
    case Op::kGetByte:
      out.data = std::string(1, vmm.getByte(op.addr));
      break;
    case Op::kIsByteMapped:
      out.data = vmm.isByteMapped(op.addr) ? "1" : "0";
      break;
    case Op::kSetBlock: {
      std::string data = op.data;  // exactly the part the block may read
      vmm.setBlock(op.addr, &data[0], op.size);
      break;
    }
    case Op::kGetBlock:
      out.data.assign(op.size, '\x5A');
      vmm.getBlock(op.addr, &out.data[0], op.size);
      break;
    case Op::kWalk: {
      int finished = 0;
      bool deleted = false;
      auto* pHandler = new Recorder(&out, op.size, &finished, &deleted);
      const bool complete = vmm.forAllMappedPages(pHandler, op.deleteHandler);
      out.walk = std::string(complete ? "true " : "false ") +
                 std::to_string(finished) + " " +
                 (deleted ? "deleted" : "kept");
      if (!deleted) delete pHandler;
      break;
    }
    case Op::kUsage:
      out.usage = vmm.getUsedPhysicalMemory();
      break;
    case Op::kLoad: {  // from a file of its own, gone afterwards
      char name[] = "/tmp/dwxvmm_fuzz_load.XXXXXX";
      const int fd = mkstemp(name);
      if (fd < 0 || write(fd, op.data.data(), op.data.size()) !=
                        static_cast<ssize_t>(op.data.size()))
        std::abort();
      close(fd);
      loadBinaryToVMM(&vmm, name, op.addr, op.size);
      unlink(name);
      break;
    }
    default: {  // the report is written into the working folder
      char dir[] = "/tmp/dwxvmm_fuzz_report.XXXXXX";
      const int home = open(".", O_RDONLY);
      if (mkdtemp(dir) == nullptr || chdir(dir) != 0) std::abort();
      writeMemoryMap(&vmm);
      std::ifstream in("vmm.mmap", std::ios::binary);
      out.data.assign(std::istreambuf_iterator<char>(in), {});
      unlink("vmm.mmap");
      if (fchdir(home) != 0) std::abort();
      close(home);
      rmdir(dir);
      break;
    }
  }
  return out;
}

// Whether each page has memory.
std::string physical(gcVMM& vmm) {
  std::string out;
  for (gcVMMPage* p : pagesOf(vmm))
    out += hex(p->getVAddr()) + (p->isPhysical() ? "+" : "-");
  return out;
}

// Every page's data and bitmap, in address order.
std::string contents(gcVMM& vmm) {
  std::string out;
  for (gcVMMPage* p : pagesOf(vmm))
    out.append(p->getPageBuffer(), p->getPageMemSize());
  return out;
}

// With DWXVMM_FUZZ_TRACE set, every operation is listed as it runs: the
// way to turn a finding into a regression test.
void trace(std::size_t step, const Op& op) {
  static const bool bTrace = std::getenv("DWXVMM_FUZZ_TRACE") != nullptr;
  if (bTrace)
    std::fprintf(stderr, "%zu: %s addr 0x%x size 0x%x data %zu bytes\n", step,
                 kOpNames[op.kind], op.addr, op.size, op.data.size());
}

// Aborts, naming the step and the operation, unless ok.
void check(bool ok, const char* what, std::size_t step,
           const Op* pOp = nullptr) {
  if (ok) return;
  std::fprintf(stderr, "DIVERGENCE in %s at step %zu", what, step);
  if (pOp != nullptr)
    std::fprintf(stderr, " (%s addr 0x%x size 0x%x)", kOpNames[pOp->kind],
                 pOp->addr, pOp->size);
  std::fprintf(stderr, "\n");
  std::abort();
}

gcVMemoryModell* newModel(int model) {
  if (model == kFast) return new gcVMM32BitFast;
  if (model == kCompact) return new gcVMM32BitCompact;
  return new gcVMM32BitSmall;
}

// One model against the shadow, after every operation and at the end.
void againstShadow(Decoder& in) {
  const int model = in.model();
  const bool bReport = in.report(model);
  if (std::getenv("DWXVMM_FUZZ_TRACE") != nullptr)
    std::fprintf(stderr, "model %d%s\n", model, bReport ? ", report" : "");
  gcVMM vmm;
  vmm.setMemoryModell(newModel(model));
  Shadow shadow(model);
  std::size_t step = 0;
  for (; in.more() && step < kMaxSteps; ++step) {
    const Op op = in.next(pageSizeOf(model));
    trace(step, op);
    check(run(vmm, op) == shadow.expect(op), "outcome", step, &op);
  }
  Op last;
  last.kind = Op::kReport;
  if (bReport && shadow.small())
    check(run(vmm, last) == shadow.expect(last), "final report", step);
  last.kind = Op::kWalk;
  check(run(vmm, last) == shadow.expect(last), "final page order", step);
  check(vmm.getUsedPhysicalMemory() == shadow.usage(), "final usage", step);
  check(contents(vmm) == shadow.contents(), "final contents", step);
}

// The fast and the compact model agree on everything but the page order
// and the cost.
void fastAgainstCompact(Decoder& in) {
  in.model();
  gcVMM fast, compact;
  fast.setMemoryModell(newModel(kFast));
  compact.setMemoryModell(newModel(kCompact));
  std::size_t step = 0;
  for (; in.more() && step < kMaxSteps; ++step) {
    const Op op = in.next(pageSizeOf(kFast));
    trace(step, op);
    Outcome a = run(fast, op), b = run(compact, op);
    std::sort(a.pages.begin(), a.pages.end());
    std::sort(b.pages.begin(), b.pages.end());
    if (op.kind == Op::kWalk && op.size != 0) {  // each saw its first pages
      a.pages.assign(a.pages.size(), 0);
      b.pages.assign(b.pages.size(), 0);
    }
    a.usage = b.usage = 0;
    check(a == b, "outcome", step, &op);
  }
  check(physical(fast) == physical(compact), "final pages", step);
  check(contents(fast) == contents(compact), "final contents", step);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::cerr.rdbuf(nullptr);  // the library's notices are not under test here
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData,
                                      std::size_t iSize) {
  Decoder in(pData, iSize);
  if (kFastAgainstCompact)
    fastAgainstCompact(in);
  else
    againstShadow(in);
  return 0;
}
