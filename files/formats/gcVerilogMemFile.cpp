#include "gcVerilogMemFile.h"

#include <cctype>
#include <string>

#include "gcBlockWriter.h"
#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "gcLittleEndian.h"

namespace {

typedef std::uint64_t u64;

struct VmemReader {
  gcImageLoad& load;
  unsigned int iBytes;
  u64 iWord = 0;  // where the next word goes
  bool bInComment = false;

  bool line(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
      if (bInComment) {
        for (; i < n && !(p[i] == '*' && i + 1 < n && p[i + 1] == '/');) ++i;
        bInComment = i == n;
        i += bInComment ? 0 : 2;
        continue;
      }
      const char c = p[i];
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
      } else if (c == '/' && i + 1 < n && p[i + 1] == '/') {
        return true;
      } else if (c == '/' && i + 1 < n && p[i + 1] == '*') {
        bInComment = true;
        i += 2;
      } else {
        std::size_t j = i + 1;
        while (j < n && !std::isspace(static_cast<unsigned char>(p[j])) &&
               p[j] != '/')
          ++j;
        if (!(c == '@' ? address(p + i + 1, j - i - 1) : word(p + i, j - i)))
          return false;
        i = j;
      }
    }
    return true;
  }

  // Hex digits and '_' (not first), at most iMaxBits / 4 digits, leading
  // zeros too: false, failed, for anything else.
  bool number(const char* p, std::size_t n, unsigned int iMaxBits, u64* pV,
              const char* pWhat) {
    u64 v = 0;
    unsigned int iDigits = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const int c = std::tolower(static_cast<unsigned char>(p[i]));
      if (c == '_' && i != 0) continue;
      if (c == 'x' || c == 'z')
        return load.fail(std::string(pWhat) + " '" + std::string(p, n) +
                         "' holds x or z");
      const int d = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                           : -1;
      if (d < 0)
        return load.fail(std::string(pWhat) + " '" + std::string(p, n) +
                         "' is not hex");
      v = v << 4 | d;
      if (4 * ++iDigits > iMaxBits)
        return load.fail(std::string(pWhat) + " '" + std::string(p, n) +
                         "' is wider than " + std::to_string(iMaxBits) +
                         " bits");
    }
    if (n == 0) return load.fail(std::string(pWhat) + " missing");
    *pV = v;
    return true;
  }

  bool address(const char* p, std::size_t n) {
    return number(p, n, 32, &iWord, "address");
  }

  bool word(const char* p, std::size_t n) {
    u64 v = 0;
    if (!number(p, n, iBytes * 8, &v, "word")) return false;
    if ((iWord + 1) * iBytes > u64{1} << 32)
      return load.fail("word beyond address 0xFFFFFFFF");
    unsigned char bytes[4];
    putLe(bytes, static_cast<std::uint32_t>(v), iBytes);
    return load.put(iWord++ * iBytes, bytes, iBytes);
  }
};

}  // namespace

const char* gcVerilogMemFile::getTypeName() { return "Verilog memory"; }

gcFileResult gcVerilogMemFile::loadImage(const std::string& sFileName,
                                         gcVMMBase* pVMM,
                                         const gcImageOptions& options,
                                         gcImageInfo* pInfo) {
  gcImageLoad load(sFileName, pVMM, options);
  const unsigned int iBits = options.getWordBits();
  if (iBits != 8 && iBits != 16 && iBits != 32)
    load.fail("word width must be 8, 16 or 32 bits", false);
  VmemReader reader{load, iBits / 8};
  const char* pLine = nullptr;
  std::size_t iLength = 0;
  while (load.isOpen() && load.nextLine(&pLine, &iLength))
    if (!reader.line(pLine, iLength)) break;
  if (load.isOpen() && reader.bInComment)
    load.fail("comment not closed", false);
  return load.finish(gcImageInfo(), pInfo);
}

gcFileResult gcVerilogMemFile::saveImage(const std::string& sFileName,
                                         gcVMMBase* pVMM,
                                         const gcImageOptions& options,
                                         const gcImageInfo*) {
  gcImageSave save(sFileName, pVMM, options);
  const unsigned int iBits = options.getWordBits();
  if (iBits != 8 && iBits != 16 && iBits != 32)
    save.fail("word width must be 8, 16 or 32 bits");
  if (!save.open()) return save.finish(0, 0);
  gcBlockWriter writer(save, iBits / 8, 8);
  forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 0x10000);
  writer.endLine();
  return save.finish(writer.bytes(), 0);
}
