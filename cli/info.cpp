#include <cstdio>
#include <cstdlib>

#include "cli.h"

namespace cli {

namespace {

constexpr std::size_t kRunsShown = 20;

// A header may hold any byte: quoted, with the unprintable ones escaped as
// JSON wants them (bytes above 0x7E as the code point of that value).
std::string quote(const std::string& text, bool bJson) {
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
      std::snprintf(escaped, sizeof escaped, bJson ? "\\u%04x" : "\\x%02x", u);
      out += escaped;
    }
  }
  return out + "\"";
}

struct Summary {
  std::vector<gcRun> runs;
  std::uint64_t iBytes = 0, iPages = 0;
};

void printText(const gcImage& image, const Summary& s) {
  std::printf("inputs:\n");
  for (const gcImageInput& input : image.getInputs())
    std::printf("  %s (%s%s%s)\n", input.getName().c_str(), input.sType.c_str(),
                input.sDetails.empty() ? "" : ": ", input.sDetails.c_str());
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
    std::printf("header:        %s\n", quote(info.getHeader(), false).c_str());
  std::printf("pages:         %llu\nmemory:        %u bytes\n",
              static_cast<unsigned long long>(s.iPages),
              image.getVMM()->getUsedPhysicalMemory());
}

void printJson(const gcImage& image, const Summary& s) {
  std::string out = "{\"inputs\":[";
  for (const gcImageInput& input : image.getInputs()) {
    out += (out.back() == '[' ? "{" : ",{") + std::string("\"path\":") +
           quote(input.sPath, true);
    if (input.bPlaced) out += ",\"address\":" + std::to_string(input.iAddress);
    if (input.bMoved) out += ",\"delta\":" + std::to_string(input.iDelta);
    out += ",\"format\":" + quote(input.sType, true);
    if (!input.sDetails.empty())
      out += ",\"details\":" + quote(input.sDetails, true);
    out += "}";
  }
  out += "],\"data_bytes\":" + std::to_string(s.iBytes) +
         ",\"run_count\":" + std::to_string(s.runs.size()) + ",\"runs\":[";
  for (std::size_t i = 0; i < s.runs.size() && i < kRunsShown; ++i) {
    const auto [first, length] = s.runs[i];
    out += (i == 0 ? "{\"first\":" : ",{\"first\":") + std::to_string(first) +
           ",\"last\":" + std::to_string(first + length - 1) +
           ",\"length\":" + std::to_string(length) + "}";
  }
  out += "],\"more_runs\":" +
         std::to_string(s.runs.size() - std::min(s.runs.size(), kRunsShown));
  const std::string none = "null";
  out += ",\"lowest\":" +
         (s.runs.empty() ? none : std::to_string(s.runs.front().iFirst));
  out +=
      ",\"highest\":" +
      (s.runs.empty()
           ? none
           : std::to_string(s.runs.back().iFirst + s.runs.back().iLength - 1));
  const gcImageInfo& info = image.getInfo();
  out += ",\"start_address\":" +
         (info.hasStartAddress() ? std::to_string(info.getLinearStartAddress())
                                 : none);
  out += ",\"header\":" +
         (info.getHeader().empty() ? none : quote(info.getHeader(), true));
  out += ",\"pages\":" + std::to_string(s.iPages) + ",\"memory\":" +
         std::to_string(image.getVMM()->getUsedPhysicalMemory()) + "}\n";
  std::fputs(out.c_str(), stdout);
}

}  // namespace

int info(Args& args) {
  bool bJson = false;
  gcImageOptions options;
  std::vector<gcImageInput> inputs;
  for (std::string option; !(option = args.next(&inputs)).empty();) {
    if (option == "--word-width" || option == "--vmem-width")
      options.setWordBits(parseWordBits(args.value()));
    else if (option == "--json")
      bJson = true;
    else
      throw UsageError("unknown option " + option);
  }
  if (inputs.empty()) throw UsageError("no input");
  gcImage image;
  load(&image, inputs, options);
  Summary s;
  s.runs = image.getRuns();
  for (const gcRun& run : s.runs) s.iBytes += run.iLength;
  s.iPages = image.countPages();
  (bJson ? printJson : printText)(image, s);
  return kOk;
}

}  // namespace cli
