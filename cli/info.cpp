#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "cli.h"

namespace cli {

namespace {

constexpr std::size_t kRunsShown = 20;

// A header may hold any byte: quoted, the unprintable ones escaped.
std::string quote(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    char escaped[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u >= 0x20 && u < 0x7F) {
      out += c;
    } else {
      std::snprintf(escaped, sizeof escaped, "\\x%02x", u);
      out += escaped;
    }
  }
  return out + "\"";
}

// A checksum asked for: its name as given, its range and its bytes in hex.
struct Checksum {
  std::string name;
  std::uint64_t iFirst, iLast;
  std::string value;
};

// A stored checksum to verify: as cat's --checksum wrote it.
struct Verify {
  std::string name;
  std::uint64_t iAt;
  bool bRange;
  std::uint64_t iFirst, iLast;
  gcChecksumCheck check;
};

struct Summary {
  std::vector<gcRun> runs;
  std::uint64_t iBytes = 0, iPages = 0;
  std::vector<Checksum> checksums;
  std::vector<Verify> verify;
  std::vector<gcRegion> regions;
  std::vector<std::uint64_t> used;
  std::vector<gcAddressRange> outside;
};

void printRegions(const Summary& s) {
  std::size_t iWidth = 0;
  for (const gcRegion& r : s.regions) iWidth = std::max(iWidth, r.sName.size());
  std::printf("regions:\n");
  for (std::size_t i = 0; i < s.regions.size(); ++i) {
    const gcRegion& r = s.regions[i];
    const std::uint64_t iSize = r.iLast - r.iFirst + 1;
    std::printf(
        "  %-*s  %s-%s  %llu bytes used (%.1f%%), %llu free\n",
        static_cast<int>(iWidth), r.sName.c_str(), hex(r.iFirst).c_str(),
        hex(r.iLast).c_str(), static_cast<unsigned long long>(s.used[i]),
        100.0 * static_cast<double>(s.used[i]) / static_cast<double>(iSize),
        static_cast<unsigned long long>(iSize - s.used[i]));
  }
  std::uint64_t iOutside = 0;
  for (const gcAddressRange& r : s.outside) iOutside += r.iLast - r.iFirst + 1;
  std::printf("outside:       %llu bytes\n",
              static_cast<unsigned long long>(iOutside));
  for (std::size_t i = 0; i < s.outside.size() && i < kRunsShown; ++i)
    std::printf("  %s-%s  %llu bytes\n", hex(s.outside[i].iFirst).c_str(),
                hex(s.outside[i].iLast).c_str(),
                static_cast<unsigned long long>(s.outside[i].iLast -
                                                s.outside[i].iFirst + 1));
  if (s.outside.size() > kRunsShown)
    std::printf("  ... and %zu more\n", s.outside.size() - kRunsShown);
}

std::string hexBytes(const std::vector<unsigned char>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

void printText(const gcImage& image, const Summary& s) {
  std::printf("inputs:\n");
  for (const gcImageInput& input : image.getInputs())
    std::printf("  %s (%s%s%s)%s\n", input.getName().c_str(),
                input.sType.c_str(), input.sDetails.empty() ? "" : ": ",
                input.sDetails.c_str(),
                input.iDataBytes == 0 ? ": holds no loadable data" : "");
  std::printf("data bytes:    %llu\nruns:          %zu\n",
              static_cast<unsigned long long>(s.iBytes), s.runs.size());
  for (std::size_t i = 0; i < s.runs.size() && i < kRunsShown; ++i) {
    const auto [first, length] = s.runs[i];
    std::printf("  %s-%s  %llu bytes\n", hex(first).c_str(),
                hex(first + length - 1).c_str(),
                static_cast<unsigned long long>(length));
  }
  if (s.runs.size() > kRunsShown)
    std::printf("  ... and %zu more\n", s.runs.size() - kRunsShown);
  if (!s.runs.empty())
    std::printf("lowest:        %s\nhighest:       %s\n",
                hex(s.runs.front().iFirst).c_str(),
                hex(s.runs.back().iFirst + s.runs.back().iLength - 1).c_str());
  const gcImageInfo& info = image.getInfo();
  if (info.hasStartAddress() && info.isSegmentedStart())
    std::printf("start address: %s (%s:%s)\n",
                hex(info.getLinearStartAddress()).c_str(),
                hex(info.getStartAddress() >> 16, 4).c_str(),
                hex(info.getStartAddress() & 0xFFFF, 4).c_str());
  else if (info.hasStartAddress())
    std::printf("start address: %s\n", hex(info.getStartAddress()).c_str());
  if (!info.getHeader().empty())
    std::printf("header:        %s\n", quote(info.getHeader()).c_str());
  std::printf("pages:         %llu\nmemory:        %u bytes\n",
              static_cast<unsigned long long>(s.iPages),
              image.getVMM()->getUsedPhysicalMemory());
  for (const Checksum& c : s.checksums)
    std::printf("%s %s-%s: %s\n", c.name.c_str(), hex(c.iFirst).c_str(),
                hex(c.iLast).c_str(), c.value.c_str());
  if (!s.regions.empty()) printRegions(s);
  for (const Verify& v : s.verify)
    if (v.check.bOk)
      std::printf("%s %s: ok\n", v.name.c_str(), hex(v.iAt).c_str());
    else
      std::printf("%s %s: stored 0x%s, computed 0x%s\n", v.name.c_str(),
                  hex(v.iAt).c_str(), hexBytes(v.check.stored).c_str(),
                  hexBytes(v.check.computed).c_str());
}

std::string hexBytes(const std::string& bytes) {
  return hexBytes(std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

void printJson(const gcImage& image, const Summary& s) {
  using Json = nlohmann::ordered_json;
  Json inputs = Json::array();
  for (const gcImageInput& input : image.getInputs()) {
    Json one = {{"path", input.sPath}};
    if (input.bPlaced) one["address"] = input.iAddress;
    if (input.bMoved) one["delta"] = input.iDelta;
    one["format"] = input.sType;
    if (!input.sDetails.empty()) one["details"] = input.sDetails;
    one["data_bytes"] = input.iDataBytes;
    if (input.iUnit != 1) one["unit"] = input.iUnit;
    inputs.push_back(one);
  }
  Json runs = Json::array();
  for (std::size_t i = 0; i < s.runs.size() && i < kRunsShown; ++i) {
    const auto [first, length] = s.runs[i];
    runs.push_back(
        {{"first", first}, {"last", first + length - 1}, {"length", length}});
  }
  const gcImageInfo& info = image.getInfo();
  const bool bRuns = !s.runs.empty(), bHeader = !info.getHeader().empty();
  Json out = {
      {"inputs", inputs},
      {"data_bytes", s.iBytes},
      {"run_count", s.runs.size()},
      {"runs", runs},
      {"more_runs", s.runs.size() - std::min(s.runs.size(), kRunsShown)},
      {"lowest", bRuns ? Json(s.runs.front().iFirst) : Json()},
      {"highest",
       bRuns ? Json(s.runs.back().iFirst + s.runs.back().iLength - 1) : Json()},
      {"start_address",
       info.hasStartAddress() ? Json(info.getLinearStartAddress()) : Json()},
      {"header", bHeader ? Json(info.getHeader()) : Json()},
      {"header_hex", bHeader ? Json(hexBytes(info.getHeader())) : Json()},
      {"pages", s.iPages},
      {"memory", image.getVMM()->getUsedPhysicalMemory()}};
  if (!s.checksums.empty()) {
    Json checksums = Json::array();
    for (const Checksum& c : s.checksums)
      checksums.push_back({{"name", c.name},
                           {"first", c.iFirst},
                           {"last", c.iLast},
                           {"value", c.value}});
    out["checksums"] = checksums;
  }
  if (!s.regions.empty()) {
    Json regions = Json::array(), outside = Json::array();
    for (std::size_t i = 0; i < s.regions.size(); ++i) {
      const gcRegion& r = s.regions[i];
      const std::uint64_t iSize = r.iLast - r.iFirst + 1;
      regions.push_back({{"name", r.sName},
                         {"first", r.iFirst},
                         {"last", r.iLast},
                         {"size", iSize},
                         {"used", s.used[i]},
                         {"free", iSize - s.used[i]}});
    }
    for (const gcAddressRange& r : s.outside)
      outside.push_back({{"first", r.iFirst},
                         {"last", r.iLast},
                         {"length", r.iLast - r.iFirst + 1}});
    out["regions"] = regions;
    out["outside"] = outside;
  }
  if (!s.verify.empty()) {
    Json verify = Json::array();
    for (const Verify& v : s.verify)
      verify.push_back({{"name", v.name},
                        {"at", v.iAt},
                        {"first", v.check.iFirst},
                        {"last", v.check.iLast},
                        {"ok", v.check.bOk},
                        {"stored", hexBytes(v.check.stored)},
                        {"computed", hexBytes(v.check.computed)}});
    out["verify"] = verify;
  }
  // Names and headers are bytes: what is not UTF-8 becomes U+FFFD (the
  // header's exact bytes are in header_hex).
  std::puts(out.dump(-1, ' ', true, Json::error_handler_t::replace).c_str());
}

}  // namespace

int info(Args& args) {
  bool bJson = false;
  unsigned int iWordBits = 8;
  std::vector<gcImageInput> inputs;
  Summary s;
  for (std::string option; !(option = args.next(&inputs)).empty();) {
    if (option == "--word-width" || option == "--vmem-width") {
      iWordBits = parseWordBits(args.value());
    } else if (option == "--checksum") {
      // "NAME[:F-L]"; the range by default the written bytes', once loaded.
      const std::string text = args.value();
      const std::size_t colon = text.find(':');
      Checksum c{text.substr(0, colon), 1, 0, ""};
      const gcFileResult known = checkChecksumName(c.name);
      if (!known.isOk())
        throw UsageError(known.getReason() + " (see dwxvmm cat --help)");
      if (colon != std::string::npos)
        parseRange(text.substr(colon + 1), &c.iFirst, &c.iLast);
      s.checksums.push_back(c);
    } else if (option == "--verify") {
      // "NAME@AT[:F-L]"; the range by default the written bytes' beside AT.
      const std::string text = args.value();
      const std::size_t at = text.find('@');
      const std::size_t colon = text.find(':', at);
      Verify v{text.substr(0, at), 0, colon != std::string::npos, 0, 0, {}};
      const gcFileResult known = checkChecksumName(v.name);
      if (!known.isOk())
        throw UsageError(known.getReason() + " (see dwxvmm cat --help)");
      if (at == std::string::npos)
        throw UsageError("bad --verify '" + text + "' (NAME@AT[:FIRST-LAST])");
      v.iAt = parseNumber(text.substr(at + 1, colon - at - 1), 0xFFFFFFFF,
                          "checksum address");
      if (v.bRange) parseRange(text.substr(colon + 1), &v.iFirst, &v.iLast);
      s.verify.push_back(v);
    } else if (regionOption(args, option, &s.regions)) {
    } else if (option == "--json") {
      bJson = true;
    } else {
      throw UsageError("unknown option " + option);
    }
  }
  if (inputs.empty()) throw UsageError("no input");
  gcImage image;
  gcImageOptions loading = args.loadOptions();
  load(&image, inputs, loading.setWordBits(iWordBits));
  s.runs = image.getRuns();
  for (Checksum& c : s.checksums) {
    if (c.iFirst > c.iLast && !s.runs.empty())
      c.iFirst = s.runs.front().iFirst,
      c.iLast = s.runs.back().iFirst + s.runs.back().iLength - 1;
    if (c.iFirst > c.iLast)
      throw InputError(c.name + ": no written byte to compute it over");
    std::vector<unsigned char> bytes;
    check(checksumValue(image.getVMM(), c.name, c.iFirst, c.iLast, &bytes));
    c.value = hexBytes(bytes);
  }
  s.used = regionUsage(image.getVMM(), s.regions);
  s.outside = outsideRegions(image.getVMM(), s.regions);
  bool bDiffer = false;
  for (Verify& v : s.verify) {
    check(verifyChecksum(image.getVMM(), v.name, v.iAt, v.bRange, v.iFirst,
                         v.iLast, &v.check));
    bDiffer = bDiffer || !v.check.bOk;
  }
  for (const gcRun& run : s.runs) s.iBytes += run.iLength;
  s.iPages = image.countPages();
  (bJson ? printJson : printText)(image, s);
  return bDiffer ? kDiffer : kOk;
}

}  // namespace cli
