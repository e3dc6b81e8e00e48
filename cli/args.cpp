#include <cctype>
#include <cstdio>

#include "cli.h"

namespace cli {

Args::Args(std::string command, std::vector<std::string> words)
    : command_(std::move(command)), words_(std::move(words)) {
  load_.setMaxMemory(std::uint64_t{1} << 30);
}

std::string Args::next(std::vector<gcImageInput>* pInputs) {
  while (next_ < words_.size()) {
    const std::string& word = words_[next_++];
    // "-" alone is a path (standard input), and so is "-@...".
    if (word.size() > 1 && word[0] == '-' && word[1] != '@') {
      option_ = word;
      const std::string name = word.substr(0, word.find('='));
      if (name == "--strict")
        load_.setStrict(true);
      else if (name == "--ignore-checksums")
        load_.setIgnoreChecksums(true);
      else if (name == "--max-memory")
        load_.setMaxMemory(parseSize(value(), "--max-memory value"));
      else
        return name;
      continue;
    }
    pInputs->push_back(parseInput(word));
  }
  return "";
}

std::string Args::value() {
  const std::size_t eq = option_.find('=');
  if (eq != std::string::npos) return option_.substr(eq + 1);
  if (next_ >= words_.size()) throw UsageError(option_ + " needs a value");
  return words_[next_++];
}

std::uint64_t parseNumber(const std::string& text, std::uint64_t iMax,
                          const std::string& what) {
  const bool bHex =
      text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  std::uint64_t value = 0;
  bool bValid = !text.empty() && text.size() <= (bHex ? 18 : 19);
  for (std::size_t i = bHex ? 2 : 0; bValid && i < text.size(); ++i) {
    const char c = text[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (bHex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (bHex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    bValid = digit >= 0;
    value = value * (bHex ? 16 : 10) + digit;
  }
  if (!bValid || value > iMax)
    throw UsageError("bad " + what + " '" + text + "' (0 to " +
                     (iMax > 255 ? hex(iMax) : std::to_string(iMax)) + ")");
  return value;
}

std::uint64_t parseSize(const std::string& text, const std::string& what) {
  const std::string units = "KMG";
  const std::size_t unit =
      text.empty() ? std::string::npos
                   : units.find(static_cast<char>(std::toupper(text.back())));
  const int shift = unit == std::string::npos ? 0 : 10 * (unit + 1);
  const std::string digits =
      unit == std::string::npos ? text : text.substr(0, text.size() - 1);
  const std::uint64_t iMax = std::uint64_t{1} << 50;
  try {
    const std::uint64_t value = parseNumber(digits, iMax >> shift, what);
    return value << shift;
  } catch (const UsageError&) {
    throw UsageError("bad " + what + " '" + text + "' (bytes, or K, M, G)");
  }
}

void parseRange(const std::string& text, std::uint64_t* pFirst,
                std::uint64_t* pLast) {
  // The separator is the first '-' after the first digit, so "0x10-0x1f".
  const std::size_t dash = text.find('-', 1);
  if (dash == std::string::npos)
    throw UsageError("bad range '" + text + "' (FIRST-LAST)");
  *pFirst = parseNumber(text.substr(0, dash), 0xFFFFFFFF, "range start");
  *pLast = parseNumber(text.substr(dash + 1), 0xFFFFFFFF, "range end");
  if (*pFirst > *pLast)
    throw UsageError("bad range '" + text + "': FIRST is above LAST");
}

std::string hex(std::uint64_t iValue, int iDigits) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llx", iDigits,
                static_cast<unsigned long long>(iValue));
  return text;
}

unsigned int parseUnit(const std::string& text, const std::string& what) {
  if (text != "2" && text != "4")
    throw UsageError("bad " + what + " '" + text + "' (2 or 4)");
  return text[0] - '0';
}

void parseBanks(const std::string& text, const std::string& what,
                std::uint32_t* pMultiple, std::uint32_t* pOffset,
                std::uint32_t* pWidth) {
  std::uint64_t v[3] = {0, 0, 1};
  std::size_t at = 0;
  for (int i = 0; i < 3 && at <= text.size(); ++i) {
    const std::size_t colon = std::min(text.find(':', at), text.size());
    v[i] = parseNumber(text.substr(at, colon - at), 0xFFFFFFFF,
                       what + " '" + text + "':");
    at = colon + 1;
  }
  if (at <= text.size() || v[0] < 2 || v[2] < 1 || v[2] >= v[0] ||
      v[1] + v[2] > v[0])
    throw UsageError("bad " + what + " '" + text +
                     "' (MULTIPLE[:OFFSET[:WIDTH]]: MULTIPLE at least 2, "
                     "WIDTH at least 1 and below MULTIPLE, OFFSET + WIDTH at "
                     "most MULTIPLE)");
  *pMultiple = static_cast<std::uint32_t>(v[0]);
  *pOffset = static_cast<std::uint32_t>(v[1]);
  *pWidth = static_cast<std::uint32_t>(v[2]);
}

unsigned int parseWordBits(const std::string& text) {
  if (text != "8" && text != "16" && text != "32")
    throw UsageError("bad word width '" + text + "' (8, 16 or 32)");
  return static_cast<unsigned>(std::stoul(text));
}

bool regionOption(Args& args, const std::string& option,
                  std::vector<gcRegion>* pRegions) {
  if (option == "--regions") {
    check(loadRegions(args.value(), pRegions));
  } else if (option == "--region") {
    gcRegion r;
    const gcFileResult parsed = parseRegion(args.value(), &r);
    if (!parsed.isOk()) throw UsageError(parsed.getReason());
    pRegions->push_back(r);
  } else {
    return false;
  }
  check(checkRegions(*pRegions));
  return true;
}

gcImageInput parseInput(const std::string& whole) {
  gcImageInput input;
  std::string arg = whole;
  // Selectors come last, so that a path may hold '@'.
  for (std::size_t at; (at = arg.rfind('@')) != std::string::npos && at > 0;) {
    const std::string tail = arg.substr(at + 1);
    if (!gcFileSupport::typeForWord(tail).empty()) {
      input.sType = gcFileSupport::typeForWord(tail);
    } else if (tail.compare(0, 7, "family=") == 0) {
      if (!gcUf2File::familyId(tail.substr(7), &input.iUf2Family))
        throw UsageError("unknown UF2 family '" + tail.substr(7) + "' in '" +
                         whole + "' (a short name of the list, or an ID)");
      input.bUf2Family = true;
    } else if (tail.compare(0, 5, "unit=") == 0) {
      input.iUnit = parseUnit(tail.substr(5), "unit in '" + whole + "'");
    } else if (tail.compare(0, 8, "unsplit=") == 0) {
      parseBanks(tail.substr(8), "unsplit in '" + whole + "'",
                 &input.iUnsplitMultiple, &input.iUnsplitOffset,
                 &input.iUnsplitWidth);
      input.bUnsplit = true;
    } else if (tail.compare(0, 4, "alt=") == 0) {
      input.iDfuAlt = static_cast<unsigned>(parseNumber(
          tail.substr(4), 255, "alternate setting in '" + whole + "'"));
      input.bDfuAlt = true;
    } else {
      break;
    }
    arg.resize(at);
  }
  input.sPath = arg;
  const std::size_t at = arg.rfind('@');
  if (at != std::string::npos && at > 0) {
    input.sPath = arg.substr(0, at);
    const char sign = at + 1 < arg.size() ? arg[at + 1] : '\0';
    input.bMoved = sign == '+' || sign == '-';
    input.bPlaced = !input.bMoved;
    // Not a number: a misspelt format.
    if (input.bPlaced && sign != '\0' &&
        !std::isdigit(static_cast<unsigned char>(sign)))
      throw UsageError(
          "unknown format '" + arg.substr(at + 1) + "' in '" + whole + "' (" +
          gcFileSupport::formatWords(gcFormatInfo::kRead, ", ") + ")");
    const std::uint64_t value = parseNumber(
        arg.substr(at + (input.bMoved ? 2 : 1)), 0xFFFFFFFF,
        (input.bMoved ? "offset in '" : "address in '") + arg + "'");
    if (input.bMoved)
      input.iDelta = sign == '-' ? -static_cast<std::int64_t>(value)
                                 : static_cast<std::int64_t>(value);
    else
      input.iAddress = static_cast<std::uint32_t>(value);
    // An address says the file is a binary one, whatever its first bytes.
    if (input.bPlaced && input.sType.empty())
      input.sType = gcFileSupport::detectType(nullptr, 0);
  }
  return input;
}

}  // namespace cli
