#include <cctype>
#include <cstdio>
#include <vector>

#include "cli.h"

namespace cli {

namespace {

// The output formats: --format's word, the type name, the extensions.
const struct {
  const char* pWord;
  const char* pType;
  std::vector<const char*> extensions;
} kOutputs[] = {
    {"ihex", "Intel HEX", {"hex", "ihex", "ihx"}},
    {"srec", "Motorola S-record", {"srec", "s19", "s28", "s37", "mot"}},
    {"binary", "Binary file", {"bin"}},
    {"titxt", "TI-TXT", {}},  // .txt says too little
    {"vmem", "Verilog memory", {"vmem", "mem"}},
    {"c", "C array", {"c"}},
};
const char kWords[] = "ihex|srec|binary|titxt|vmem|c";

// The type name for --format's word, or for the output's extension.
std::string outputType(const std::string& sFormat, const std::string& sPath) {
  const std::size_t dot = sPath.rfind('.');
  std::string ext =
      dot == std::string::npos || sPath.find('/', dot) != std::string::npos
          ? ""
          : sPath.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(c));
  for (const auto& o : kOutputs) {
    if (sFormat == o.pWord) return o.pType;
    for (const char* e : o.extensions)
      if (sFormat.empty() && ext == e) return o.pType;
  }
  if (!sFormat.empty())
    throw UsageError("unknown format '" + sFormat +
                     "' (ihex, srec, binary, titxt, vmem, c)");
  throw UsageError("cannot tell the output format of '" + sPath +
                   "': give --format " + kWords);
}

}  // namespace

int cat(Args& args) {
  std::vector<Input> inputs;
  std::string sOutput, sFormat;
  gcImageOptions options;
  bool bLaterWins = false;
  for (std::string name; !(name = args.next(&inputs)).empty();) {
    if (name == "-o" || name == "--output") {
      sOutput = args.value();
    } else if (name == "--format") {
      sFormat = args.value();
    } else if (name == "--range") {
      std::uint64_t iFirst, iLast;
      parseRange(args.value(), &iFirst, &iLast);
      options.setRange(iFirst, iLast);
    } else if (name == "--fill") {
      options.setFillByte(static_cast<std::uint8_t>(
          parseNumber(args.value(), 255, "fill byte")));
    } else if (name == "--line-bytes") {
      options.setRecordLength(
          static_cast<unsigned>(parseNumber(args.value(), 255, "line length")));
      if (options.getRecordLength() == 0)
        throw UsageError("bad line length '0' (1 to 255)");
    } else if (name == "--vmem-width") {
      const std::string bits = args.value();
      if (bits != "8" && bits != "16" && bits != "32")
        throw UsageError("bad word width '" + bits + "' (8, 16 or 32)");
      options.setWordBits(static_cast<unsigned>(std::stoul(bits)));
    } else if (name == "--name") {
      options.setArrayName(args.value());
    } else if (name == "--overwrite") {
      bLaterWins = true;
    } else {
      throw UsageError("unknown option " + name);
    }
  }
  if (inputs.empty()) throw UsageError("no input");
  if (sOutput.empty()) throw UsageError("no output: give -o OUTPUT");
  const std::string type = outputType(sFormat, sOutput);
  // The file written first has another name: the array's comes from OUTPUT.
  if (options.getArrayName().empty())
    options.setArrayName(gcCArrayFile::nameFor(sOutput));
  Image image;
  load(&image, inputs, bLaterWins);
  gcFileResult result;
  writeBeside(sOutput, [&](const std::string& sTemp) {
    result = image.formats.createFileSupport(type)->saveImage(
        sTemp, &image.vmm, options, &image.info);
    // The message names the file the user asked for.
    return result.isOk() ? std::string() : sOutput + ": " + result.getReason();
  });
  std::printf("%s: %s, %llu data bytes", sOutput.c_str(), type.c_str(),
              static_cast<unsigned long long>(result.getDataBytes()));
  if (type == "Binary file")
    std::printf(", %llu bytes filled with %s",
                static_cast<unsigned long long>(result.getFilledBytes()),
                hex(options.getFillByte(), 2).c_str());
  std::printf("\n");
  return kOk;
}

}  // namespace cli
