#include "gcCArrayFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "gcImageSave.h"
#include "tools/segments.h"

namespace {

typedef std::uint64_t u64;
constexpr unsigned int kLineBytes = 16;

bool isIdentifier(const std::string& s) {
  if (s.empty() || std::isdigit(static_cast<unsigned char>(s[0]))) return false;
  for (const char c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

const char kPreamble[] =
    "#include <stdint.h>\n"
    "\n"
    "#ifndef DWXVMM_RUN_DEFINED\n"
    "#define DWXVMM_RUN_DEFINED\n"
    "/* A run of written bytes: length bytes from address. */\n"
    "typedef struct dwxvmm_run {\n"
    "  uint32_t address;\n"
    "  uint32_t length;\n"
    "  const uint8_t *data;\n"
    "} dwxvmm_run;\n"
    "#ifdef __cplusplus\n"
    "#define DWXVMM_DEFINE extern \"C\"\n"
    "#else\n"
    "#define DWXVMM_DEFINE\n"
    "#endif\n"
    "#endif\n";

// "171," for each byte value, and its length: decimal is the shortest
// text for a byte in C, and the writer's time goes with its output's size.
struct ByteTexts {
  char text[256][8];
  unsigned char size[256];
  ByteTexts() {
    for (int v = 0; v < 256; ++v)
      size[v] = static_cast<unsigned char>(std::snprintf(text[v], 8, "%d,", v));
  }
};

// Writes each run as a static array of its bytes and remembers the runs.
class CArrayWriter : public gcSegmentHandler {
 public:
  CArrayWriter(gcImageSave& save, const std::string& name)
      : save_(save), name_(name) {}
  bool handleSegment(vmm_int iFirst, u64 iLength, const char* pData) override {
    if (runs_.empty() || runs_.back().first + runs_.back().second != iFirst) {
      endRun();
      runs_.emplace_back(iFirst, 0);
      text("static const uint8_t " + name_ + "_run" +
           std::to_string(runs_.size() - 1) + "[] = {");
    }
    static const ByteTexts kTexts;
    const auto* pByte = reinterpret_cast<const unsigned char*>(pData);
    // A line at a time, each byte's text copied as 8 bytes.
    for (u64 i = 0, iOnLine = runs_.back().second % kLineBytes; i < iLength;) {
      const u64 k = std::min<u64>(kLineBytes - iOnLine, iLength - i);
      char* p = save_.room(4 * kLineBytes + 8);
      if (iOnLine == 0) {
        p = save_.lineEnd(p);
        *p++ = ' ', *p++ = ' ';
      }
      for (const u64 end = i + k; i < end; ++i) {
        std::memcpy(p, kTexts.text[pByte[i]], 8);
        p += kTexts.size[pByte[i]];
      }
      save_.advance(p);
      iOnLine = 0;
    }
    runs_.back().second += iLength;
    return save_.isOk();
  }
  void endRun() {
    if (!runs_.empty()) text("\n};\n");
  }
  // s's line ends as the save ends lines (CR LF with --crlf); a piece at a
  // time, for a name of any length.
  void text(const std::string& s) {
    for (std::size_t i = 0; i < s.size(); i += 4096) {
      const std::size_t n = std::min<std::size_t>(4096, s.size() - i);
      char* p = save_.room(2 * n);
      for (char c : s.substr(i, n))
        p = c == '\n' ? save_.lineEnd(p) : (*p++ = c, p);
      save_.advance(p);
    }
  }
  const std::vector<std::pair<u64, u64>>& runs() const { return runs_; }

 private:
  gcImageSave& save_;
  const std::string& name_;
  std::vector<std::pair<u64, u64>> runs_;  // first address, length
};

}  // namespace

const char* gcCArrayFile::getTypeName() { return "C array"; }

std::string gcCArrayFile::nameFor(const std::string& sPath) {
  std::string name = sPath.substr(sPath.rfind('/') + 1);
  name = name.substr(0, name.rfind('.'));
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])))
    name = "image_" + name;
  return name;
}

gcFileResult gcCArrayFile::loadImage(const std::string& sFileName, gcVMMBase*,
                                     const gcImageOptions&, gcImageInfo*) {
  return gcFileResult::failure(
      sFileName, 0, "cannot read C array files (a format written only)");
}

gcFileResult gcCArrayFile::saveImage(const std::string& sFileName,
                                     gcVMMBase* pVMM,
                                     const gcImageOptions& options,
                                     const gcImageInfo* pInfo) {
  gcImageSave save(sFileName, pVMM, options);
  const std::string name = options.getArrayName().empty()
                               ? nameFor(sFileName)
                               : options.getArrayName();
  if (!isIdentifier(name))
    save.fail("array name '" + name + "' is not a C identifier");
  if (!save.open()) return save.finish(0, 0);
  CArrayWriter writer(save, name);
  writer.text("/* " + name +
              ": the runs of written bytes of an image, by dwxvmm. */\n");
  writer.text(kPreamble);
  writer.text("\n");
  forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 0x10000);
  writer.endRun();
  const auto& runs = writer.runs();
  u64 iBytes = 0;
  char line[96];
  writer.text("\nDWXVMM_DEFINE const uint32_t " + name +
              "_count = " + std::to_string(runs.size()) + "u;\n");
  writer.text("DWXVMM_DEFINE const dwxvmm_run " + name + "_runs[" +
              std::to_string(runs.empty() ? 1 : runs.size()) + "] = {\n");
  if (runs.empty()) writer.text("  {0u, 0u, 0},\n");  // no array is empty
  for (std::size_t i = 0; i < runs.size(); ++i) {
    std::snprintf(line, sizeof line, "  {0x%08llxu, %lluu, ",
                  static_cast<unsigned long long>(runs[i].first),
                  static_cast<unsigned long long>(runs[i].second));
    writer.text(line + name + "_run" + std::to_string(i) + "},\n");
    iBytes += runs[i].second;
    if (runs[i].second > 0xFFFFFFFF)
      save.fail("a run of 4 GiB does not fit in a dwxvmm_run");
  }
  writer.text("};\n");
  if (pInfo != nullptr && pInfo->hasStartAddress()) {
    std::snprintf(line, sizeof line, "_start = 0x%08xu;\n",
                  pInfo->getLinearStartAddress());
    writer.text("DWXVMM_DEFINE const uint32_t " + name + line);
  }
  return save.finish(iBytes, 0);
}
