#include "gcMifFile.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "gcLittleEndian.h"
#include "gcWordStream.h"

namespace {

typedef std::uint64_t u64;

struct Token {
  std::string text;  // upper case; "..", or one sign
  u64 iLine;
};

// Statements end at ';', and "CONTENT BEGIN" ends the header.
struct MifReader {
  explicit MifReader(gcImageLoad& l) : load(l) {}
  gcImageLoad& load;
  bool bContent = false, bEnd = false, bInComment = false;
  unsigned int iWidth = 0;
  u64 iDepth = 0;
  unsigned int iAddressRadix = 16, iDataRadix = 16;
  std::vector<Token> tokens;

  bool fail(const Token& t, const std::string& sReason) {
    return load.failAt(t.iLine, sReason);
  }

  bool line(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n && !bEnd;) {
      const char c = p[i];
      if (bInComment || c == '%') {
        const void* pEnd =
            std::memchr(p + i + !bInComment, '%', n - i - !bInComment);
        bInComment = pEnd == nullptr;
        i = bInComment ? n : static_cast<const char*>(pEnd) - p + 1;
      } else if (c == '-' && i + 1 < n && p[i + 1] == '-') {
        break;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
      } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
        std::size_t j = i;
        while (j < n &&
               (std::isalnum(static_cast<unsigned char>(p[j])) || p[j] == '_'))
          ++j;
        std::string word(p + i, j - i);
        for (char& k : word)
          k = static_cast<char>(std::toupper(static_cast<unsigned char>(k)));
        tokens.push_back({word, load.getLine()});
        i = j;
        if (!bContent && tokens.size() == 2 && tokens[0].text == "CONTENT") {
          if (tokens[1].text != "BEGIN")
            return fail(tokens[1], "BEGIN must follow CONTENT");
          if (iWidth == 0 || iDepth == 0)
            return fail(tokens[0], "CONTENT before WIDTH and DEPTH");
          tokens.clear();
          bContent = true;
        }
      } else if (c == '.' && i + 1 < n && p[i + 1] == '.') {
        tokens.push_back({"..", load.getLine()});
        i += 2;
      } else if (std::strchr("=:;[]", c) != nullptr) {
        if (c == ';' && !statement(Token{";", load.getLine()})) return false;
        if (c != ';') tokens.push_back({std::string(1, c), load.getLine()});
        ++i;
      } else {
        return load.fail(std::string("unexpected '") + c + "'");
      }
    }
    return true;
  }

  bool number(const Token& t, unsigned int iRadix, u64 iMax, u64* pValue) {
    u64 v = 0;
    for (const char c : t.text) {
      if (c == '_') continue;
      const int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : 99;
      if (d >= static_cast<int>(iRadix))
        return fail(t, "'" + t.text + "' is not a number in radix " +
                           std::to_string(iRadix));
      v = v * iRadix + d;
      if (v > iMax)
        return fail(t, "'" + t.text + "' is over " + std::to_string(iMax));
    }
    *pValue = v;
    return true;
  }

  bool header(const Token& end) {
    if (tokens.size() != 3 || tokens[1].text != "=")
      return fail(tokens.empty() ? end : tokens[0], "expected KEY = VALUE;");
    const std::string& key = tokens[0].text;
    const Token& value = tokens[2];
    if (key == "ADDRESS_RADIX" || key == "DATA_RADIX") {
      static const std::pair<const char*, unsigned int> kRadix[] = {
          {"HEX", 16}, {"DEC", 10}, {"UNS", 10}, {"OCT", 8}, {"BIN", 2}};
      for (auto [name, radix] : kRadix)
        if (value.text == name)
          return (key[0] == 'A' ? iAddressRadix : iDataRadix) = radix, true;
      return fail(value, "unknown radix " + value.text);
    }
    u64 v = 0;
    if (key == "WIDTH") {
      if (!number(value, 10, 32, &v) || v == 0 || v % 8 != 0)
        return load.isOpen() ? fail(value, "WIDTH must be 8, 16, 24 or 32")
                             : false;
      iWidth = static_cast<unsigned int>(v);
      return true;
    }
    if (key == "DEPTH") {
      // As many words as a save would write: a short file cannot ask for
      // gigabytes.
      if (!number(value, 10, u64{1} << 24, &v) || v == 0)
        return load.isOpen() ? fail(value, "DEPTH must be 1 to 16 M words")
                             : false;
      iDepth = v;
      return true;
    }
    return fail(tokens[0], "unknown key " + key);
  }

  bool content(const Token& end) {
    if (tokens.size() == 1 && tokens[0].text == "END") {
      tokens.clear();
      return bEnd = true;
    }
    const unsigned int iBytes = iWidth / 8;
    const u64 iMaxWord = (u64{1} << iWidth) - 1;
    u64 iFirst = 0, iLast = 0;
    std::size_t i = 0;
    const bool bRange = !tokens.empty() && tokens[0].text == "[";
    if (bRange) {
      if (tokens.size() < 5 || tokens[2].text != ".." || tokens[4].text != "]")
        return fail(tokens[0], "expected [FIRST..LAST]");
      if (!number(tokens[1], iAddressRadix, iDepth - 1, &iFirst) ||
          !number(tokens[3], iAddressRadix, iDepth - 1, &iLast))
        return false;
      if (iFirst > iLast)
        return fail(tokens[0], "range's first address above its last");
      i = 5;
    } else if (!tokens.empty()) {
      if (!number(tokens[0], iAddressRadix, iDepth - 1, &iFirst)) return false;
      i = 1;
    }
    if (i == 0 || tokens.size() < i + 2 || tokens[i].text != ":")
      return fail(tokens.empty() ? end : tokens[0],
                  "expected ADDRESS : VALUE;");
    const std::size_t iValues = tokens.size() - i - 1;
    if (!bRange) iLast = iFirst + iValues - 1;
    if (bRange && iValues != 1)
      return fail(tokens[0], "a range takes one value");
    if (iLast >= iDepth) return fail(tokens[0], "address beyond DEPTH");
    unsigned char word[4];
    for (u64 a = iFirst, k = 0; a <= iLast; ++a, k += iValues > 1) {
      u64 v = 0;
      if (!number(tokens[i + 1 + k], iDataRadix, iMaxWord, &v)) return false;
      putLe(word, static_cast<std::uint32_t>(v), iBytes);
      if (a * iBytes + iBytes > u64{1} << 32)
        return fail(tokens[0], "data beyond address 0xFFFFFFFF");
      if (!load.put(a * iBytes, word, iBytes)) return false;
    }
    tokens.clear();
    return true;
  }

  bool statement(const Token& end) {
    const bool bOk = bContent ? content(end) : header(end);
    tokens.clear();
    return bOk;
  }
};

}  // namespace

const char* gcMifFile::getTypeName() { return "MIF"; }

gcFileResult gcMifFile::loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                                  const gcImageOptions& options,
                                  gcImageInfo* pInfo) {
  gcImageLoad load(sFileName, pVMM, options);
  MifReader reader(load);
  // Lines after "END;" are not read.
  load.readRecords(&reader.bEnd, [&](const char* p, std::size_t n) {
    return reader.line(p, n);
  });
  if (load.isOpen() && !reader.bEnd)
    load.fail(reader.bContent ? "no END;" : "no CONTENT BEGIN", false);
  return load.finish(gcImageInfo(), pInfo);
}

gcFileResult gcMifFile::saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                                  const gcImageOptions& options,
                                  const gcImageInfo*) {
  gcImageSave save(sFileName, pVMM, options);
  gcWordStream words(save, options);
  if (!save.open()) return save.finish(0, 0);
  char* p = save.room(128);
  p += std::sprintf(p, "WIDTH=%u;", words.bits());
  p = save.lineEnd(p);
  p += std::sprintf(p, "DEPTH=%llu;",
                    static_cast<unsigned long long>(words.depth()));
  p = save.lineEnd(save.lineEnd(p));
  p += std::sprintf(p, "ADDRESS_RADIX=HEX;");
  p = save.lineEnd(p);
  p += std::sprintf(p, "DATA_RADIX=HEX;");
  p = save.lineEnd(save.lineEnd(p));
  p += std::sprintf(p, "CONTENT BEGIN");
  save.advance(save.lineEnd(p));
  const int iDigits = static_cast<int>(words.bits() / 4);
  u64 iRun = 0, iCount = 0;
  std::uint32_t iValue = 0;
  auto run = [&]() {
    char* q = save.room(64);
    if (iCount == 1)
      q += std::sprintf(q, "\t%llX : %0*X;",
                        static_cast<unsigned long long>(iRun), iDigits, iValue);
    else
      q += std::sprintf(
          q, "\t[%llX..%llX] : %0*X;", static_cast<unsigned long long>(iRun),
          static_cast<unsigned long long>(iRun + iCount - 1), iDigits, iValue);
    save.advance(save.lineEnd(q));
  };
  const u64 iBytes = words.forAllWords(pVMM, [&](u64 i, std::uint32_t v) {
    if (iCount != 0 && v == iValue) {
      ++iCount;
      return;
    }
    if (iCount != 0) run();
    iRun = i, iCount = 1, iValue = v;
  });
  run();
  p = save.room(8);
  p += std::sprintf(p, "END;");
  save.advance(save.lineEnd(p));
  return save.finish(iBytes, 0);
}
