#include <algorithm>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "cli.h"

namespace cli {

namespace {

const char* access(const gcFormatInfo& f) {
  if (f.is(gcFormatInfo::kRead | gcFormatInfo::kWrite)) return "read/write";
  return f.is(gcFormatInfo::kRead) ? "read" : "write";
}

// The row's extensions, each with its dot.
std::vector<std::string> extensions(const gcFormatInfo& f) {
  std::vector<std::string> all;
  for (std::string rest = f.pExtensions; !rest.empty();) {
    all.push_back("." + rest.substr(0, rest.find(' ')));
    rest.erase(0, all.back().size());
  }
  return all;
}

std::string joined(const std::vector<std::string>& parts) {
  std::string s;
  for (const std::string& p : parts) s += (s.empty() ? "" : " ") + p;
  return s;
}

void printJson() {
  nlohmann::ordered_json all = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < gcFileSupport::formatCount(); ++i) {
    const gcFormatInfo& f = gcFileSupport::format(i);
    nlohmann::ordered_json row;
    row["word"] = f.pWord;
    row["name"] = f.pTypeName;
    row["aliases"] = nlohmann::ordered_json::array();
    if (f.pAlias != nullptr) row["aliases"].push_back(f.pAlias);
    row["read"] = f.is(gcFormatInfo::kRead);
    row["write"] = f.is(gcFormatInfo::kWrite);
    row["binary"] = f.is(gcFormatInfo::kBinary);
    row["addressed"] = f.is(gcFormatInfo::kAddressed);
    row["unit"] = f.is(gcFormatInfo::kUnit);
    row["extensions"] = extensions(f);
    row["detected"] = f.foundBy();
    row["description"] = f.pDescription;
    all.push_back(row);
  }
  std::printf("%s\n", all.dump(2).c_str());
}

void printTable() {
  const char* kHeads[] = {"word", "name", "access", "extensions", "found by"};
  std::vector<std::vector<std::string>> rows;
  for (std::size_t i = 0; i < gcFileSupport::formatCount(); ++i) {
    const gcFormatInfo& f = gcFileSupport::format(i);
    rows.push_back(
        {f.pWord, f.pTypeName, access(f), joined(extensions(f)), f.foundBy()});
  }
  std::size_t widths[4] = {};
  for (std::size_t c = 0; c < 4; ++c) {
    widths[c] = std::strlen(kHeads[c]);
    for (const auto& row : rows) widths[c] = std::max(widths[c], row[c].size());
  }
  rows.insert(rows.begin(), std::vector<std::string>(kHeads, kHeads + 5));
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < 4; ++c)
      std::printf("%-*s  ", static_cast<int>(widths[c]), row[c].c_str());
    std::printf("%s\n", row[4].c_str());
  }
}

}  // namespace

int formats(Args& args) {
  std::vector<gcImageInput> inputs;
  bool bJson = false;
  std::string words;
  for (std::string option; !(option = args.next(&inputs)).empty();) {
    if (option == "--json")
      bJson = true;
    else if (option == "--words")
      words = args.value();
    else
      throw UsageError("unknown option " + option);
  }
  if (!inputs.empty()) throw UsageError("formats takes no input");
  if (!words.empty()) {
    const unsigned iFlags = words == "read"    ? gcFormatInfo::kRead
                            : words == "write" ? gcFormatInfo::kWrite
                            : words == "all"   ? 0u
                                               : ~0u;
    if (iFlags == ~0u)
      throw UsageError("bad --words '" + words + "' (read, write or all)");
    std::printf("%s\n", gcFileSupport::formatWords(iFlags, "\n").c_str());
  } else if (bJson) {
    printJson();
  } else {
    printTable();
  }
  return kOk;
}

}  // namespace cli
