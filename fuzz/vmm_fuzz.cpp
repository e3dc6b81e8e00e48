// The differential fuzz target. The input picks a memory model and a stream
// of operations; each runs on a gcVMM and on Shadow, the plainest record of
// what the library promises (bytes, written bits, pages, page memory, walk
// order, usage), and the first divergence aborts. An operation may first be
// tried with one of its allocations failing (or every one from the k-th on):
// bad_alloc must reach the caller, and a retry must leave what one clean run
// leaves; leaks are the sanitizers' to find.
#include <dwxvmm/dwxvmm.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <new>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "../tests/support/failing_heap.h"

namespace {

enum Model { kFast, kCompact, kSmall, kHashed };
enum Kind { kSet, kGet, kMapped, kSetBlock, kGetBlock, kWalk, kUsage, kLoad };
constexpr std::uint64_t kSpace = std::uint64_t{1} << 32;
constexpr vmm_int kRegion = 1u << 24;
constexpr vmm_int kMaxBlock = 9000;  // crosses two 4 KiB page edges

// The part of a block at a that lies inside the address space.
vmm_int clamp(vmm_int a, vmm_int n) {
  return static_cast<vmm_int>(std::min<std::uint64_t>(n, kSpace - a));
}

// Fuzz bytes as operations, with addresses and lengths biased to page and
// region edges, 0 and the end of the address space.
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
  long failAt = 0;  // the allocation that fails on the first try, or 0
  bool failFrom = false;
};

Op next(Input& in) {
  Op op;
  op.kind = in.ConsumeIntegralInRange(0, 7);
  op.addr = in.address();
  if (op.kind == kSet) op.data.assign(1, in.ConsumeIntegral<char>());
  if (op.kind == kSetBlock || op.kind == kGetBlock) {
    op.size = in.length(op.addr);
    const bool bWrite = op.kind == kSetBlock;
    if (bWrite ? clamp(op.addr, op.size) > kMaxBlock : op.size > 2 * kMaxBlock)
      op.size %= kMaxBlock + 1;
    if (bWrite) op.data = in.pattern(clamp(op.addr, op.size));
  }
  if (op.kind == kWalk) {
    op.size = in.ConsumeIntegralInRange(0, 6);
    op.deleteHandler = in.ConsumeBool();
  }
  const int fail = in.ConsumeIntegralInRange(0, 11);
  op.failAt = fail < 4 ? 0 : (fail - 4) / 2 + 1;
  op.failFrom = fail % 2 != 0;
  if (op.kind == kLoad) {
    op.data = in.pattern(in.ConsumeIntegralInRange<vmm_int>(0, kMaxBlock));
    op.size = in.ConsumeBool()
                  ? in.pageSize
                  : in.ConsumeIntegralInRange<vmm_int>(0, op.data.size() + 1);
  }
  return op;
}

// What an operation showed: bytes or bits read, a walk's pages and result,
// the usage.
using Outcome = std::string;

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

  Outcome run(const Op& op) {
    Outcome out;
    if (op.kind == kSet || op.kind == kSetBlock) write(op.addr, op.data);
    if (op.kind == kGet || op.kind == kMapped) {
      read(op.addr);
      out = op.kind == kGet    ? std::string(1, byte(op.addr))
            : written(op.addr) ? "1"
                               : "0";
    }
    if (op.kind == kGetBlock) {
      block(op.addr, clamp(op.addr, op.size));
      out.assign(op.size, '\0');
      for (vmm_int i = 0; i < clamp(op.addr, op.size); ++i)
        out[i] = byte(op.addr + i);
    }
    if (op.kind == kWalk) {
      const std::vector<vmm_int> pages = order();
      const bool bStops = op.size != 0 && op.size <= pages.size();
      for (std::size_t i = 0; i < (bStops ? op.size : pages.size()); ++i)
        out += std::to_string(pages[i]) + " ";
      // A walk that stops calls no finish() and deletes nothing.
      out += !bStops ? op.deleteHandler ? "finished true deleted"
                                        : "finished true kept"
                     : "false kept";
    }
    if (op.kind == kUsage) out = std::to_string(usage());
    for (std::size_t at = 0;
         op.kind == kLoad && op.size != 0 && at < op.data.size();
         at += op.size)  // in chunks; the address wraps
      write(op.addr + static_cast<vmm_int>(at), op.data.substr(at, op.size));
    return out;
  }

  // A directory lists its regions in the order of their first node (region
  // 0 first), a table or a hash in address order.
  std::vector<vmm_int> order() const {
    if (model == kFast || model == kHashed) return {pages.begin(), pages.end()};
    std::vector<vmm_int> out;
    for (vmm_int r : regions)
      for (vmm_int p : pages)
        if (p / kRegion == r) out.push_back(p);
    return out;
  }
  // The root, a table (and a list element) per region, every page object
  // and the memory of the touched pages; for a hash, its slots, which it
  // doubles before they are three quarters full.
  vmm_int usage() const {
    const vmm_int entry = sizeof(gcVMMPageBase*);
    const vmm_int pageBytes = pages.size() * sizeof(gcVMMPage) +
                              physical.size() * (pageSize + pageSize / 8);
    if (model == kHashed) {
      vmm_int slots = 16;
      while (4 * pages.size() > 3 * slots) slots *= 2;
      return sizeof(gcVMMPageHash) +
             slots * (8 + sizeof(void*) + sizeof(void*) * 3 / 4) + pageBytes;
    }
    const vmm_int element = sizeof(std::_List_node<gcVMMPageBase*>);
    const vmm_int table = sizeof(gcVMMPageTable) + kRegion / pageSize * entry;
    vmm_int n = model == kFast
                    ? sizeof(gcVMMPageTable) + 256 * entry
                    : sizeof(gcVMMPageDir) + sizeof(std::list<gcVMMPageBase*>);
    n += regions.size() * (table + (model == kFast ? 0 : element));
    return n + pageBytes;
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
      out += std::to_string(page) + (physical.count(page) ? "+" : "-") + data +
             bits;
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
struct Recorder : gcVMMPageHandler {
  Recorder(Outcome* pOut, std::size_t n, bool* p)
      : out(pOut), stopAfter(n), deleted(p) {}
  ~Recorder() override { *deleted = true; }
  bool handlePage(gcVMMPage* pPage) override {
    *out += std::to_string(pPage->getVAddr()) + " ";
    return ++seen != stopAfter;
  }
  void finish() override { *out += "finished "; }
  Outcome* out;
  std::size_t stopAfter, seen = 0;
  bool* deleted;
};

Outcome attempt(gcVMM& vmm, const Op& op) {
  Outcome out;
  std::string data = op.data;  // exactly the bytes a write may read
  if (op.kind == kSet) vmm.setByte(op.addr, op.data[0]);
  if (op.kind == kGet) out.assign(1, vmm.getByte(op.addr));
  if (op.kind == kMapped) out = vmm.isByteMapped(op.addr) ? "1" : "0";
  if (op.kind == kSetBlock) vmm.setBlock(op.addr, &data[0], op.size);
  if (op.kind == kGetBlock) {
    out.assign(op.size, '\x5A');
    vmm.getBlock(op.addr, &out[0], op.size);
  }
  if (op.kind == kWalk) {
    bool deleted = false;
    auto* pHandler = new Recorder(&out, op.size, &deleted);
    out += vmm.forAllMappedPages(pHandler, op.deleteHandler) ? "true" : "false";
    out += deleted ? " deleted" : " kept";
    if (!deleted) delete pHandler;
  }
  if (op.kind == kUsage) out = std::to_string(vmm.getUsedPhysicalMemory());
  if (op.kind == kLoad) {  // from a file of its own
    const std::string name = "/tmp/dwxvmm_fuzz." + std::to_string(getpid());
    std::ofstream(name, std::ios::binary) << data;
    loadBinaryToVMM(&vmm, &std::string(name)[0], op.addr, op.size);
    std::remove(name.c_str());
  }
  return out;
}

// A plain gcVMM takes the direct path through the nodes and pages that are
// exactly ours; a derived VMM with derived nodes takes every virtual call.
// Twins runs each operation on both and requires the same outcome, messages
// and accounting calls. The plain VMM's nodes report to a witness; by mix,
// its tables below the root or its pages are derived, where the direct path
// must hand over to the virtual one.
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
  if (bDerived) return new Derived<Node>(pOwner, mask, 0);
  return new Node(pOwner, mask, 0);
}

struct Twins {
  Twins(int model, int mix) {
    chain(&plain, &witness, model, mix);
    chain(&derived, &derived, model, 3);
    witness.log = derived.log = "";
  }
  // mix: bit 0 derived tables below the root (a derived hash for the
  // hashed model, whose plain twin then goes all the virtual way), bit 1
  // derived pages.
  static void chain(gcVMM* pVMM, gcVMMBase* pOwner, int model, int mix) {
    if (model == kHashed) {
      pVMM->addAddressTranslator(
          node<gcVMMPageHash>(mix & 1, pOwner, 0xFFFFF000));
      pVMM->addAddressTranslator(node<gcVMMPage>(mix & 2, pOwner, 0xFFF));
      return;
    }
    const vmm_int second = model == kSmall ? 0x00FF0000 : 0x00FFF000;
    pVMM->addAddressTranslator(
        model == kFast ? node<gcVMMPageTable>(false, pOwner, 0xFF000000)
                       : node<gcVMMPageDir>(false, pOwner, 0xFF000000));
    pVMM->addAddressTranslator(node<gcVMMPageTable>(mix & 1, pOwner, second));
    pVMM->addAddressTranslator(
        node<gcVMMPage>(mix & 2, pOwner, (second & (0 - second)) - 1));
  }
  // What an operation showed, its messages, its accounting calls in order
  // and the usage after it.
  static std::string shown(gcVMM& vmm, Ledger& ledger, const Op& op) {
    std::stringbuf messages;
    std::cerr.rdbuf(&messages);
    // The plain VMM's usage is its witness's: the ledger shows it below.
    const Outcome out = op.kind == kUsage ? "" : attempt(vmm, op);
    std::cerr.rdbuf(nullptr);
    const std::string s = out + "|" + messages.str() + "|" + ledger.log + "|" +
                          std::to_string(ledger.getUsedPhysicalMemory());
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

// A walk's handler allocates in its own right: walks are not failed. A
// read that fails leaves in its buffer the bytes it read, and 0 for the rest.
Outcome run(gcVMM& vmm, const Op& op) {
  std::string failed;
  if (op.failAt != 0 && op.kind == kGetBlock) {
    failed.assign(op.size, '\x5A');
    if (!failing(op.failAt, op.failFrom,
                 [&] { vmm.getBlock(op.addr, &failed[0], op.size); }))
      failed.clear();
  } else if (op.failAt != 0 && op.kind != kWalk) {
    failing(op.failAt, op.failFrom, [&] { attempt(vmm, op); });
  }
  const Outcome out = attempt(vmm, op);
  for (std::size_t i = 0; i < failed.size(); ++i)
    if (failed[i] != '\0' && failed[i] != out[i]) std::abort();
  return out;
}

// The shadow's pages (the final walk showed they are the VMM's) in address
// order: whether each has memory, its data and its bitmap.
std::string contents(gcVMM& vmm, const Shadow& shadow) {
  std::string out;
  for (vmm_int addr : shadow.pages) {
    gcVMMPage* p = vmm.getPage(addr);
    out += std::to_string(addr) + (p->isPhysical() ? "+" : "-");
    out.append(p->getPageBuffer(), p->getPageMemSize());
  }
  return out;
}

// Aborts, naming the step and the operation, unless ok.
void check(bool ok, const char* what, std::size_t step, const Op& op) {
  if (ok) return;
  std::fprintf(stderr, "DIVERGENCE in %s at step %zu (kind %d, 0x%x, 0x%x)\n",
               what, step, op.kind, op.addr, op.size);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::cerr.rdbuf(nullptr);  // the library's notices are not under test here
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData,
                                      std::size_t iSize) {
  Input in(pData, iSize);
  const int model = in.ConsumeIntegralInRange(0, 3);
  const long failModelAt = in.ConsumeIntegralInRange(0, 3) * 2;
  gcVMM vmm;
  auto setModel = [&] {
    if (model == kFast) vmm.setMemoryModell(new gcVMM32BitFast);
    if (model == kCompact) vmm.setMemoryModell(new gcVMM32BitCompact);
    if (model == kSmall) vmm.setMemoryModell(new gcVMM32BitSmall);
    if (model == kHashed) vmm.setMemoryModell(new gcVMM32BitHashed);
  };
  // A model that fails half-way leaves the VMM as new, ready for another.
  if (failModelAt != 0 && failing(failModelAt, false, setModel) &&
      (vmm.getFirstAddressTranslator() != nullptr ||
       vmm.getUsedPhysicalMemory() != 0))
    std::abort();
  if (vmm.getFirstAddressTranslator() == nullptr) setModel();
  Shadow shadow(model);
  in.pageSize = shadow.pageSize;
  Twins twins(model, static_cast<int>(iSize % 4));  // no input byte of its own
  std::size_t step = 0;
  Op op;
  for (; in.remaining_bytes() > 0 && step < 64; ++step) {
    op = next(in);
    check(run(vmm, op) == shadow.run(op), "outcome", step, op);
    check(twins.same(op), "direct against virtual", step, op);
  }
  for (int kind : {kWalk, kUsage}) {  // a full walk, the usage
    op = Op();
    op.kind = kind;
    check(run(vmm, op) == shadow.run(op), "final outcome", step, op);
    check(twins.same(op), "direct against virtual", step, op);
  }
  check(contents(vmm, shadow) == shadow.contents() &&
            contents(twins.plain, shadow) == contents(twins.derived, shadow),
        "final contents", step, op);
  return 0;
}
