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
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#ifndef DWXVMM_FUZZ_MODELS
#define DWXVMM_FUZZ_MODELS 0
#endif

namespace {

enum Model { kFast, kCompact, kSmall };
constexpr std::uint64_t kSpace = std::uint64_t{1} << 32;
constexpr vmm_int kRegion = 1u << 24;
constexpr vmm_int kMaxBlock = 9000;         // crosses two 4 KiB page edges
constexpr vmm_int kMaxReport = 128 * 1024;  // addresses a report may cover

// The part of a block at a that lies inside the address space.
vmm_int clamp(vmm_int a, vmm_int n) {
  return static_cast<vmm_int>(std::min<std::uint64_t>(n, kSpace - a));
}

std::string hex(std::uint32_t v) {
  char s[12];
  std::snprintf(s, sizeof s, "%x", v);
  return s;
}

// Fuzz bytes as addresses and lengths biased to page and region edges, 0,
// 0xFFFFFFFF and the end of the address space.
struct Input : FuzzedDataProvider {
  using FuzzedDataProvider::FuzzedDataProvider;
  vmm_int address() {
    const auto near = static_cast<vmm_int>(ConsumeIntegralInRange(-8, 8));
    const int kind = ConsumeIntegralInRange(0, 4);
    if (kind == 0) return ConsumeIntegral<vmm_int>();
    if (kind == 1) return near;
    if (kind == 2) return 0xFFFFFFFF + near;
    const vmm_int region = ConsumeIntegral<std::uint8_t>() * kRegion + near;
    if (kind == 3) return region;
    return region + ConsumeIntegralInRange<vmm_int>(0, 16) * pageSize;
  }
  vmm_int length(vmm_int addr) {
    const int kind = ConsumeIntegralInRange(0, 4);
    if (kind == 0) return 0;
    if (kind == 1) return ConsumeIntegralInRange<vmm_int>(1, 16);
    if (kind == 2) return ConsumeIntegralInRange<vmm_int>(1, kMaxBlock);
    if (kind == 3)  // to the next page edge, a little short or beyond
      return pageSize - addr % pageSize +
             static_cast<vmm_int>(ConsumeIntegralInRange(-2, 2));
    return vmm_int(0 - addr) + ConsumeIntegral<std::uint16_t>();  // wraps
  }
  std::string pattern(vmm_int n) {
    std::string s(n, '\0');
    const auto seed = ConsumeIntegral<std::uint8_t>();
    for (vmm_int i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 7);
    return s;
  }
  vmm_int pageSize = 0x1000;
};

struct Op {
  int kind = 0;
  vmm_int addr = 0;
  vmm_int size = 0;  // block length, load chunk, or pages until a walk stops
  std::string data;  // bytes to write or to load
  bool deleteHandler = false;
};

// What an operation showed: bytes and bits read, a walk's result, a report.
struct Outcome {
  std::string data;
  std::vector<vmm_int> pages;
  vmm_int usage = 0;
  bool operator==(const Outcome& o) const {
    return std::tie(data, pages, usage) == std::tie(o.data, o.pages, o.usage);
  }
};

// The library's promises, kept the plainest way: the bytes ever written,
// the pages that must exist and those whose memory was touched.
struct Shadow {
  explicit Shadow(int m) : model(m), pageSize(m == kSmall ? 0x10000 : 0x1000) {
    map(0);  // the page prototype
  }
  vmm_int pageOf(vmm_int a) const { return a - a % pageSize; }
  void map(vmm_int a) {
    pages.insert(pageOf(a));
    if (std::find(regions.begin(), regions.end(), a / kRegion) == regions.end())
      regions.push_back(a / kRegion);
  }
  void touch(vmm_int a) {
    map(a);
    physical.insert(pageOf(a));
  }
  void read(vmm_int a) {  // gives a mapped page its memory, maps none
    if (pages.count(pageOf(a)) != 0) touch(a);
  }
  // A block maps every page it reaches; an empty one the page of its
  // address, without touching its memory.
  void block(vmm_int a, vmm_int n) {
    if (n == 0) return map(a);
    for (std::uint64_t p = pageOf(a); p < std::uint64_t{a} + n; p += pageSize)
      touch(static_cast<vmm_int>(p));
  }
  void write(vmm_int a, const std::string& data) {  // cut at the top
    const vmm_int n = clamp(a, data.size());
    block(a, n);
    for (vmm_int i = 0; i < n; ++i) bytes[a + i] = data[i];
  }
  bool written(vmm_int a) const { return bytes.count(a) != 0; }
  char byte(vmm_int a) const { return written(a) ? bytes.at(a) : 0; }

  // A directory lists its regions in the order of their first node (region
  // 0 first), a table in address order.
  std::vector<vmm_int> order() const {
    if (model == kFast) return {pages.begin(), pages.end()};
    std::vector<vmm_int> out;
    for (vmm_int r : regions)
      for (vmm_int p : pages)
        if (p / kRegion == r) out.push_back(p);
    return out;
  }
  // The root, a table (and a list element) per region, every page object
  // and the memory of the touched pages.
  vmm_int usage() const {
    const vmm_int entry = sizeof(gcVMMPageBase*);
    const vmm_int element = sizeof(std::_List_node<gcVMMPageBase*>);
    const vmm_int table = sizeof(gcVMMPageTable) + kRegion / pageSize * entry;
    vmm_int n = model == kFast
                    ? sizeof(gcVMMPageTable) + 256 * entry
                    : sizeof(gcVMMPageDir) + sizeof(std::list<gcVMMPageBase*>);
    n += regions.size() * (table + (model == kFast ? 0 : element));
    return n + pages.size() * sizeof(gcVMMPage) +
           physical.size() * (pageSize + pageSize / 8);
  }
  // Every page: whether it has memory, its data and its bitmap.
  std::string contents() const {
    std::string out;
    for (vmm_int page : pages) {
      std::string data(pageSize, '\0'), bits(pageSize / 8, '\0');
      for (auto it = bytes.lower_bound(page);
           it != bytes.end() && it->first - page < pageSize; ++it) {
        data[it->first - page] = it->second;
        bits[(it->first - page) / 8] |=
            static_cast<char>(0x80 >> it->first % 8);
      }
      out += hex(page) + (physical.count(page) ? "+" : "-") + data + bits;
    }
    return out;
  }
  // Runs of consecutive pages: a header, sixteen entries a line.
  std::string report() const {
    std::string out;
    for (auto it = pages.begin(); it != pages.end();) {
      out += "- Address 0x" + hex(*it) + " - \n";
      for (vmm_int page = *it; it != pages.end() && *it == page; ++it) {
        for (vmm_int a = page; a - page < pageSize; ++a) {
          out += written(a) ? "0x" + hex(int{static_cast<signed char>(byte(a))})
                            : "----";
          out += (a + 1) % 16 == 0 ? " \n" : " ";
        }
        page += pageSize;
        if (page == 0) return out;  // reached the top
      }
      out += "\n\n";
    }
    return out;
  }

  int model;
  vmm_int pageSize;
  std::map<vmm_int, char> bytes;
  std::set<vmm_int> pages, physical;  // page starts
  std::vector<vmm_int> regions;       // in the order of their first node
};

// Records the pages visited and stops after stopAfter (0: never).
class Recorder : public gcVMMPageHandler {
 public:
  Recorder(Outcome* pOut, std::size_t stopAfter, bool* pDeleted)
      : out_(pOut), stopAfter_(stopAfter), deleted_(pDeleted) {}
  ~Recorder() override { *deleted_ = true; }
  bool handlePage(gcVMMPage* pPage) override {
    out_->pages.push_back(pPage->getVAddr());
    return out_->pages.size() != stopAfter_;
  }
  void finish() override { out_->data += "finished "; }

 private:
  Outcome* out_;
  std::size_t stopAfter_;
  bool* deleted_;
};

// Each operation: how it is decoded, run on a VMM, and what the shadow
// expects of it.
struct Kind {
  const char* name;
  void (*decode)(Input&, Op&);
  void (*run)(gcVMM&, const Op&, Outcome&);
  void (*expect)(Shadow&, const Op&, Outcome&);
};
const Kind kKinds[] = {
    {"setByte",
     [](Input& in, Op& op) {
       op.data = std::string(1, in.ConsumeIntegral<char>());
     },
     [](gcVMM& vmm, const Op& op, Outcome&) {
       vmm.setByte(op.addr, op.data[0]);
     },
     [](Shadow& s, const Op& op, Outcome&) { s.write(op.addr, op.data); }},
    {"getByte", [](Input&, Op&) {},
     [](gcVMM& vmm, const Op& op, Outcome& out) {
       out.data = vmm.getByte(op.addr);
     },
     [](Shadow& s, const Op& op, Outcome& out) {
       s.read(op.addr);
       out.data = s.byte(op.addr);
     }},
    {"isByteMapped", [](Input&, Op&) {},
     [](gcVMM& vmm, const Op& op, Outcome& out) {
       out.data = vmm.isByteMapped(op.addr) ? "1" : "0";
     },
     [](Shadow& s, const Op& op, Outcome& out) {
       s.read(op.addr);
       out.data = s.written(op.addr) ? "1" : "0";
     }},
    {"setBlock",
     [](Input& in, Op& op) {
       op.size = in.length(op.addr);
       if (clamp(op.addr, op.size) > kMaxBlock) op.size %= kMaxBlock + 1;
       op.data = in.pattern(clamp(op.addr, op.size));
     },
     [](gcVMM& vmm, const Op& op, Outcome&) {
       std::string data = op.data;  // exactly the part the block may read
       vmm.setBlock(op.addr, &data[0], op.size);
     },
     [](Shadow& s, const Op& op, Outcome&) { s.write(op.addr, op.data); }},
    {"getBlock",
     [](Input& in, Op& op) {
       op.size = in.length(op.addr);
       if (op.size > 2 * kMaxBlock) op.size %= kMaxBlock + 1;
     },
     [](gcVMM& vmm, const Op& op, Outcome& out) {
       out.data.assign(op.size, '\x5A');
       vmm.getBlock(op.addr, &out.data[0], op.size);
     },
     [](Shadow& s, const Op& op, Outcome& out) {
       s.block(op.addr, clamp(op.addr, op.size));
       out.data.assign(op.size, '\0');
       for (vmm_int i = 0; i < clamp(op.addr, op.size); ++i)
         out.data[i] = s.byte(op.addr + i);
     }},
    {"forAllMappedPages",
     [](Input& in, Op& op) {
       op.size = in.ConsumeIntegralInRange(0, 6);
       op.deleteHandler = in.ConsumeBool();
     },
     [](gcVMM& vmm, const Op& op, Outcome& out) {
       bool deleted = false;
       auto* pHandler = new Recorder(&out, op.size, &deleted);
       out.data +=
           vmm.forAllMappedPages(pHandler, op.deleteHandler) ? "true" : "false";
       out.data += deleted ? " deleted" : " kept";
       if (!deleted) delete pHandler;
     },
     [](Shadow& s, const Op& op, Outcome& out) {
       out.pages = s.order();
       if (op.size != 0 && op.size <= out.pages.size()) {
         out.pages.resize(op.size);
         out.data = "false kept";  // no finish(), nothing deleted
       } else {
         out.data =
             op.deleteHandler ? "finished true deleted" : "finished true kept";
       }
     }},
    {"usage", [](Input&, Op&) {},
     [](gcVMM& vmm, const Op&, Outcome& out) {
       out.usage = vmm.getUsedPhysicalMemory();
     },
     [](Shadow& s, const Op&, Outcome& out) { out.usage = s.usage(); }},
    {"load",
     [](Input& in, Op& op) {
       op.data = in.pattern(in.ConsumeIntegralInRange<vmm_int>(0, kMaxBlock));
       op.size = in.ConsumeBool() ? in.pageSize
                                  : in.ConsumeIntegralInRange<vmm_int>(
                                        0, op.data.size() + 1);
     },
     [](gcVMM& vmm, const Op& op, Outcome&) {  // from a file of its own
       char name[] = "/tmp/dwxvmm_fuzz_load.XXXXXX";
       const int fd = mkstemp(name);
       if (fd < 0 || write(fd, op.data.data(), op.data.size()) !=
                         static_cast<ssize_t>(op.data.size()))
         std::abort();
       close(fd);
       loadBinaryToVMM(&vmm, name, op.addr, op.size);
       unlink(name);
     },
     [](Shadow& s, const Op& op, Outcome&) {  // chunks; the address wraps
       for (std::size_t at = 0; op.size != 0 && at < op.data.size();
            at += op.size)
         s.write(op.addr + static_cast<vmm_int>(at),
                 op.data.substr(at, op.size));
     }},
    {"report", [](Input&, Op&) {},
     [](gcVMM& vmm, const Op&, Outcome& out) {  // written to the working dir
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
     },
     [](Shadow& s, const Op&, Outcome& out) {
       out.data = s.report();
       s.physical = s.pages;
     }},
};
enum { kWalk = 5, kUsage = 6, kReport = 8 };  // the report only ends a run

Op next(Input& in) {
  Op op;
  op.kind = in.ConsumeIntegralInRange(0, 7);
  op.addr = in.address();
  kKinds[op.kind].decode(in, op);
  return op;
}

Outcome run(gcVMM& vmm, const Op& op) {
  Outcome out;
  return kKinds[op.kind].run(vmm, op, out), out;
}

// Every page in address order: whether it has memory, data and bitmap.
std::string contents(gcVMM& vmm) {
  struct Collect : gcVMMPageHandler {
    std::map<vmm_int, gcVMMPage*> pages;
    bool handlePage(gcVMMPage* p) override {
      return pages.emplace(p->getVAddr(), p).second;
    }
  } collect;
  vmm.forAllMappedPages(&collect, false);
  std::string out;
  for (auto [addr, p] : collect.pages) {
    out += hex(addr) + (p->isPhysical() ? "+" : "-");
    out.append(p->getPageBuffer(), p->getPageMemSize());
  }
  return out;
}

// With DWXVMM_FUZZ_TRACE set every operation is listed as it runs: the way
// to turn a finding into a regression test.
const bool kTrace = std::getenv("DWXVMM_FUZZ_TRACE") != nullptr;
void say(const char* what, std::size_t step, const Op& op) {
  std::fprintf(stderr, "%s at step %zu (%s addr 0x%x size 0x%x, %zu bytes)\n",
               what, step, kKinds[op.kind].name, op.addr, op.size,
               op.data.size());
}

// Aborts, naming the step and the operation, unless ok.
void check(bool ok, const char* what, std::size_t step, const Op& op) {
  if (ok) return;
  std::fprintf(stderr, "DIVERGENCE in ");
  say(what, step, op);
  std::abort();
}

gcVMemoryModell* newModel(int model) {
  if (model == kFast) return new gcVMM32BitFast;
  if (model == kCompact) return new gcVMM32BitCompact;
  return new gcVMM32BitSmall;
}

// A plain gcVMM takes the direct path through the nodes and pages that are
// exactly ours; a derived VMM with derived nodes takes every virtual call.
// Twins runs each operation on both and requires the same outcome, the same
// messages and the same accounting calls. The plain VMM's nodes report to a
// witness, its derived pages or tables (by mix) take it off the direct path
// there.
class Ledger : public gcVMM {  // its overrides only forward, after a note
 public:
#define DWXVMM_FORWARD(op)                     \
  void op(vmm_int n) override {                \
    log += #op " " + std::to_string(n) + "\n"; \
    gcVMM::op(n);                              \
  }
  DWXVMM_FORWARD(notifyStaticTablePAlloc)
  DWXVMM_FORWARD(notifyStaticTablePFree)
  DWXVMM_FORWARD(notifyDynamicTablePAlloc)
  DWXVMM_FORWARD(notifyDynamicTablePFree)
  DWXVMM_FORWARD(notifyPagePAlloc)
  DWXVMM_FORWARD(notifyPagePFree)
#undef DWXVMM_FORWARD
  void notifyPhysicalUsageChanged() override { log += "changed\n"; }
  std::string log;
};

template <class Node>
struct Derived : Node {  // makes nodes of its own kind, as Node does
  using Node::Node;
  gcVMMPageBase* createObject(vmm_int a) override {
    return new Derived(this->getVMMBase(), this->getAddrMask(), a);
  }
};

template <class Node>
gcVMMPageBase* node(bool bDerived, gcVMMBase* pOwner, vmm_int mask) {
  return bDerived ? new Derived<Node>(pOwner, mask, 0)
                  : new Node(pOwner, mask, 0);
}

struct Twins {
  Twins(int model, int mix) {
    chain(&plain, &witness, model, mix);
    chain(&derived, &derived, model, 3);
    witness.log = derived.log = "";
  }
  // mix: bit 0 derived tables below the root, bit 1 derived pages.
  static void chain(gcVMM* pVMM, gcVMMBase* pOwner, int model, int mix) {
    const vmm_int second = model == kSmall ? 0x00FF0000 : 0x00FFF000;
    pVMM->addAddressTranslator(
        model == kFast ? node<gcVMMPageTable>(false, pOwner, 0xFF000000)
                       : node<gcVMMPageDir>(false, pOwner, 0xFF000000));
    pVMM->addAddressTranslator(node<gcVMMPageTable>(mix & 1, pOwner, second));
    pVMM->addAddressTranslator(
        node<gcVMMPage>(mix & 2, pOwner, (second & (0 - second)) - 1));
  }
  // Everything an operation shows: what it returned, its messages, its
  // accounting calls in order and the usage after it.
  std::string shown(gcVMM& vmm, Ledger& ledger, const Op& op) {
    std::stringbuf messages;
    std::cerr.rdbuf(&messages);
    Outcome out = run(vmm, op);
    std::cerr.rdbuf(nullptr);
    std::string s = out.data + "|" + messages.str() + "|" + ledger.log + "|" +
                    std::to_string(ledger.getUsedPhysicalMemory());
    for (vmm_int page : out.pages) s += " " + hex(page);
    ledger.log.clear();
    return s;
  }
  bool same(const Op& op) {
    return shown(plain, witness, op) == shown(derived, derived, op);
  }
  Ledger witness;  // first, so that it outlives the plain VMM's tree
  gcVMM plain;
  Ledger derived;
};

// One model against the shadow, after every operation and at the end.
void againstShadow(Input& in) {
  const int mix = in.remaining_bytes() % 4;  // no input byte of its own
  const int model = in.ConsumeIntegralInRange(0, 2);
  // A report steps through the whole address space page by page, a million
  // lookups with 4 KiB pages: only VMMs with 64 KiB pages end with one, one
  // input in four, and only if it stays small.
  const bool bReport = in.ConsumeIntegralInRange(0, 3) == 3 && model == kSmall;
  if (kTrace)
    std::fprintf(stderr, "model %d%s\n", model, bReport ? ", report" : "");
  gcVMM vmm;
  vmm.setMemoryModell(newModel(model));
  Shadow shadow(model);
  in.pageSize = shadow.pageSize;
  Twins twins(model, mix);
  auto same = [&](const Op& op) {
    Outcome expected;
    kKinds[op.kind].expect(shadow, op, expected);
    return run(vmm, op) == expected && twins.same(op);
  };
  std::size_t step = 0;
  for (; in.remaining_bytes() > 0 && step < 64; ++step) {
    const Op op = next(in);
    if (kTrace) say("run", step, op);
    check(same(op), "outcome", step, op);
  }
  Op last;  // a full walk, the usage, maybe a report
  for (int kind : {kWalk, kUsage, kReport}) {
    last.kind = kind;
    if (kind != kReport ||
        (bReport && shadow.pages.size() * shadow.pageSize <= kMaxReport))
      check(same(last), "final outcome", step, last);
  }
  check(contents(vmm) == shadow.contents() &&
            contents(twins.plain) == contents(twins.derived),
        "final contents", step, last);
}

// The fast and the compact model agree on everything but the page order
// and the cost.
void fastAgainstCompact(Input& in) {
  in.ConsumeIntegralInRange(0, 2);  // the model
  gcVMM fast, compact;
  fast.setMemoryModell(newModel(kFast));
  compact.setMemoryModell(newModel(kCompact));
  std::size_t step = 0;
  Op op;
  for (; in.remaining_bytes() > 0 && step < 64; ++step) {
    op = next(in);
    if (kTrace) say("run", step, op);
    Outcome a = run(fast, op), b = run(compact, op);
    for (Outcome* p : {&a, &b}) {
      std::sort(p->pages.begin(), p->pages.end());
      if (op.kind == kWalk && op.size != 0)  // each saw its own first pages
        p->pages.assign(p->pages.size(), 0);
      p->usage = 0;
    }
    check(a == b, "outcome", step, op);
  }
  check(contents(fast) == contents(compact), "final contents", step, op);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::cerr.rdbuf(nullptr);  // the library's notices are not under test here
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData,
                                      std::size_t iSize) {
  Input in(pData, iSize);
  (DWXVMM_FUZZ_MODELS ? fastAgainstCompact : againstShadow)(in);
  return 0;
}
