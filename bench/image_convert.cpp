// The image-format benchmark's program: loads an image and saves it again
// in the same format, as a whole process, so that it can be timed beside
// srec_cat doing the same. "make DIR" writes the benchmark's image;
// "writers IN DIR REPS" loads IN once and times each writer saving it;
// "models DIR REPS" times each memory model loading and saving the image
// workloads (the 16 MiB image in Intel HEX and in S-records, 100,000 bytes
// scattered over the address space in Intel HEX) in the same format, and the
// VMM's own memory; "speed REPS" times the library's own path (gcImage's
// load from memory and saveToMemory, as the module's loads and dumps use
// it) for the text formats, in GB/s of text each way; "floor IN OUT BYTES"
// reads IN and writes BYTES bytes to OUT, 64 KiB a call, in a new file
// renamed over OUT as the tool writes: the least a conversion can cost.
// Usage: image_convert TYPE IN OUT | image_convert make DIR |
//        image_convert writers IN DIR REPS | image_convert models DIR REPS |
//        image_convert speed REPS [WORD] | image_convert floor IN OUT BYTES
#include <dwxvmm/dwxvmm.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "gcFileSupport.h"
#include "gcImage.h"

namespace {

// 256 runs of 64 KiB in four regions, each run starting off any 64 KiB
// boundary and followed by a 4 KiB hole; the last run ends at 0xFFFFFFFF.
int make(const std::string& dir) {
  gcVMM vmm;
  vmm.setMemoryModell(new gcVMM32BitFast);
  const std::uint64_t kStride = 0x11000, kRun = 0x10000, kSkew = 0x123;
  const std::uint64_t top =
      (std::uint64_t{1} << 32) - (kSkew + 63 * kStride + kRun);
  std::vector<char> run(kRun);
  std::uint32_t x = 2463534242u;
  for (std::uint64_t base : {std::uint64_t{0}, std::uint64_t{0x08000000},
                             std::uint64_t{0x20000000}, top})
    for (std::uint64_t i = 0; i < 64; ++i) {
      for (char& c : run) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = static_cast<char>(x);
      }
      vmm.setBlock(static_cast<vmm_int>(base + kSkew + i * kStride), run.data(),
                   kRun);
    }
  gcImageInfo info;
  info.setStartAddress(0x08000123);
  for (auto [type, name] : {std::pair{"Intel HEX", "/image.hex"},
                            std::pair{"Motorola S-record", "/image.srec"}}) {
    gcFileSupport support;
    const gcFileResult r = support.createFileSupport(type)->saveImage(
        dir + name, &vmm, gcImageOptions(), &info);
    if (!r.isOk())
      return std::fprintf(stderr, "%s\n", r.getMessage().c_str()), 1;
  }
  return 0;
}

// The median CPU seconds (user and system: the machine may be shared) of
// each writer saving the image of IN, one line each: type, word bits,
// seconds.
int writers(const std::string& in, const std::string& dir, int reps) {
  gcFileSupport support;
  gcVMM vmm;
  vmm.setMemoryModell(new gcVMM32BitFast);
  gcImageInfo info;
  gcFileResult r = support.createFileSupport(gcFileSupport::detectFileType(in))
                       ->loadImage(in, &vmm, gcImageOptions(), &info);
  const struct {
    const char* type;
    unsigned int bits;
    const char* name;
  } kWriters[] = {{"Intel HEX", 8, "/w.hex"},
                  {"TI-TXT", 8, "/w.txt"},
                  {"Verilog memory", 8, "/w8.vmem"},
                  {"Verilog memory", 32, "/w32.vmem"},
                  {"C array", 8, "/w.c"}};
  for (const auto& w : kWriters) {
    std::vector<double> times;
    gcImageOptions options;
    options.setWordBits(w.bits);
    for (int i = 0; i < reps && r.isOk(); ++i) {
      const std::clock_t start = std::clock();
      r = support.createFileSupport(w.type)->saveImage(dir + w.name, &vmm,
                                                       options, &info);
      times.push_back(double(std::clock() - start) / CLOCKS_PER_SEC);
    }
    if (!r.isOk()) break;
    std::sort(times.begin(), times.end());
    std::printf("%s\t%u\t%.4f\n", w.type, w.bits, times[times.size() / 2]);
  }
  if (!r.isOk()) return std::fprintf(stderr, "%s\n", r.getMessage().c_str()), 1;
  return 0;
}

// 100,000 bytes as 6,250 records of 16 at random addresses anywhere in the
// 4 GiB.
int makeScattered(const std::string& path) {
  gcVMM vmm;
  vmm.setMemoryModell(new gcVMM32BitHashed);
  std::uint32_t x = 2463534242u;
  char record[16];
  for (int i = 0; i < 6250; ++i) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    for (char& c : record) c = static_cast<char>(x >> (&c - record));
    vmm.setBlock(x & ~15u, record, sizeof record);
  }
  gcFileSupport support;
  gcImageInfo info;
  const gcFileResult r = support.createFileSupport("Intel HEX")
                             ->saveImage(path, &vmm, gcImageOptions(), &info);
  if (!r.isOk()) return std::fprintf(stderr, "%s\n", r.getMessage().c_str()), 1;
  return 0;
}

// For each model and input: the median CPU seconds of a load and a save
// in the same format, and the VMM's own memory, one line each.
int models(const std::string& dir, int reps) {
  if (make(dir) != 0 || makeScattered(dir + "/scattered.hex") != 0) return 1;
  const struct {
    const char* name;
    gcVMemoryModell* (*make)();
  } kModels[] = {
      {"fast", []() -> gcVMemoryModell* { return new gcVMM32BitFast; }},
      {"compact", []() -> gcVMemoryModell* { return new gcVMM32BitCompact; }},
      {"small", []() -> gcVMemoryModell* { return new gcVMM32BitSmall; }},
      {"hashed", []() -> gcVMemoryModell* { return new gcVMM32BitHashed; }},
  };
  gcFileSupport support;
  std::printf(
      "| input | model | CPU s, load and save | own memory, bytes |\n"
      "|---|---|---:|---:|\n");
  for (const char* in : {"/image.hex", "/image.srec", "/scattered.hex"}) {
    gcFileFormat* pFormat =
        support.createFileSupport(gcFileSupport::detectFileType(dir + in));
    for (const auto& m : kModels) {
      std::vector<double> times;
      double iMemory = 0;
      for (int i = 0; i < reps; ++i) {
        const std::clock_t start = std::clock();
        gcVMM vmm;
        vmm.setMemoryModell(m.make());
        gcImageInfo info;
        gcFileResult r =
            pFormat->loadImage(dir + in, &vmm, gcImageOptions(), &info);
        if (r.isOk())
          r = pFormat->saveImage(dir + "/out", &vmm, gcImageOptions(), &info);
        if (!r.isOk())
          return std::fprintf(stderr, "%s\n", r.getMessage().c_str()), 1;
        iMemory = vmm.getUsedPhysicalMemory();
        times.push_back(double(std::clock() - start) / CLOCKS_PER_SEC);
      }
      std::sort(times.begin(), times.end());
      std::printf("| %s | %s | %.4f | %.0f |\n", in + 1, m.name,
                  times[times.size() / 2], iMemory);
    }
  }
  return 0;
}

// 16 MiB of random bytes from iBase in runs of iRun bytes, each followed
// by a hole of iHole (0: one run).
void fillImage(gcVMMBase* pVMM, std::uint64_t iBase, std::uint64_t iRun,
               std::uint64_t iHole) {
  std::vector<char> run(iRun);
  std::uint32_t x = 2463534242u;
  for (std::uint64_t done = 0; done < (16u << 20); done += iRun) {
    for (char& c : run) {
      x ^= x << 13, x ^= x >> 17, x ^= x << 5;
      c = static_cast<char>(x);
    }
    const std::uint64_t n = std::min<std::uint64_t>(iRun, (16u << 20) - done);
    pVMM->setBlock(static_cast<vmm_int>(iBase), run.data(),
                   static_cast<vmm_int>(n));
    iBase += iRun + iHole;
  }
}

// This thread's CPU time (user and system: page faults count, other jobs
// on a shared machine do not).
double threadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

// Each text format's load from memory and save to memory of a dense 16 MiB
// image and of one with a hole every 3,000 bytes, wall time on one thread:
// the best and the median of REPS runs as GB/s of text. A save's bytes go
// to a buffer allocated once; each load goes into a fresh image, and the
// image loaded is compared with the one saved.
int speed(int reps, const std::string& only) {
  const struct {
    const char* type;
    const char* word;
    std::uint64_t base;  // within the format's address field
  } kFormats[] = {
      {"Intel HEX", "ihex", 0x08000000},
      {"Motorola S-record", "srec (S3)", 0x08000000},
      {"TI-TXT", "ti-txt", 0x08000000},
      {"Intel HEX-16", "ihex16", 0x08000000},
      {"Tektronix extended", "tektronix-ext", 0x08000000},
      {"ASCII-Hex", "ascii-hex", 0x08000000},
  };
  std::printf(
      "| format | image | text | load best / median | save best / median "
      "|\n|---|---|---:|---:|---:|\n");
  for (const auto& f : kFormats)
    for (const bool bHoles : {false, true}) {
      if (!only.empty() && only != f.word) continue;
      gcImage source;
      fillImage(source.getVMM(), f.base, bHoles ? 3000 : 16u << 20,
                bHoles ? 1096 : 0);
      gcImageOptions options;
      options.setRecordLength(32);
      std::string text;
      gcFileResult r = source.saveToMemory("image", f.type, options, &text);
      std::vector<char> out(text.size());
      std::vector<double> loads, saves;
      for (int i = 0; i < reps && r.isOk(); ++i) {
        gcImage image;
        gcImageInput input;
        input.sPath = "image";
        input.pData = text.data();
        input.iSize = text.size();
        input.sType = f.type;
        const double t0 = threadSeconds();
        r = image.load({input}, gcImageOptions());
        const double t1 = threadSeconds();
        if (!r.isOk()) break;
        std::size_t n = 0;
        r = image.saveToMemory("out", f.type, options,
                               [&](const char* p, std::size_t k) {
                                 if (n + k <= out.size())
                                   std::memcpy(out.data() + n, p, k);
                                 n += k;
                               });
        const double t2 = threadSeconds();
        if (r.isOk() &&
            (n != text.size() || std::memcmp(out.data(), text.data(), n) != 0))
          r = gcFileResult::failure("out", 0, "the output differs");
        loads.push_back(text.size() / (t1 - t0) / 1e9);
        saves.push_back(text.size() / (t2 - t1) / 1e9);
      }
      if (!r.isOk())
        return std::fprintf(stderr, "%s\n", r.getMessage().c_str()), 1;
      std::sort(loads.rbegin(), loads.rend());
      std::sort(saves.rbegin(), saves.rend());
      std::printf(
          "| %s | %s | %.1f MiB | %.2f / %.2f GB/s | %.2f / %.2f "
          "GB/s |\n",
          f.word, bHoles ? "holes" : "dense", text.size() / 1048576.0, loads[0],
          loads[loads.size() / 2], saves[0], saves[saves.size() / 2]);
      std::fflush(stdout);
    }
  return 0;
}

// Written as the library writes an output: a new file beside the old one,
// the writeback of each finished MiB asked for, then renamed over it.
int floor(const char* pIn, const char* pOut, std::uint64_t iBytes) {
  const std::string sBeside = std::string(pOut) + ".floor";
  const int from = open(pIn, O_RDONLY | O_CLOEXEC);
  const int to =
      open(sBeside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (from < 0 || to < 0) return 1;
  std::vector<char> buffer(1 << 16);
  while (read(from, buffer.data(), buffer.size()) > 0) {
  }
  bool bOk = true;
  for (std::uint64_t i = 0; i < iBytes && bOk; i += buffer.size()) {
    const auto n = static_cast<std::size_t>(
        std::min<std::uint64_t>(buffer.size(), iBytes - i));
    bOk = write(to, buffer.data(), n) == static_cast<ssize_t>(n);
    if ((i + n) % (1 << 20) == 0)
      sync_file_range(to, static_cast<off64_t>(i + n - (1 << 20)), 1 << 20,
                      SYNC_FILE_RANGE_WRITE);
  }
  close(from);
  bOk = close(to) == 0 && bOk;
  return bOk && std::rename(sBeside.c_str(), pOut) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "make") return make(argv[2]);
  if (argc == 4 && std::string(argv[1]) == "models")
    return models(argv[2], std::atoi(argv[3]));
  if ((argc == 3 || argc == 4) && std::string(argv[1]) == "speed")
    return speed(std::atoi(argv[2]), argc == 4 ? argv[3] : "");
  if (argc == 5 && std::string(argv[1]) == "floor")
    return floor(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10));
  if (argc == 5 && std::string(argv[1]) == "writers")
    return writers(argv[2], argv[3], std::atoi(argv[4]));
  if (argc != 4) {
    std::fprintf(stderr,
                 "usage: image_convert TYPE IN OUT | image_convert make DIR\n");
    return 2;
  }
  gcFileSupport support;
  gcFileFormat* pFormat = support.createFileSupport(argv[1]);
  if (pFormat == nullptr) return std::fprintf(stderr, "unknown type\n"), 2;
  gcVMM vmm;
  vmm.setMemoryModell(new gcVMM32BitFast);
  gcImageInfo info;
  gcFileResult r = pFormat->loadImage(argv[2], &vmm, gcImageOptions(), &info);
  if (r.isOk()) r = pFormat->saveImage(argv[3], &vmm, gcImageOptions(), &info);
  if (!r.isOk()) return std::fprintf(stderr, "%s\n", r.getMessage().c_str()), 1;
  return 0;
}
