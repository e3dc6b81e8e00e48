#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <vector>

#include "cli.h"

namespace cli {

namespace {

// The type name for --format's word, or for the output's extension; the
// hints list only the formats written.
std::string outputType(const std::string& sFormat, const std::string& sPath) {
  const std::string sType = sFormat.empty()
                                ? gcFileSupport::typeForExtension(sPath)
                                : gcFileSupport::typeForWord(sFormat);
  const gcFormatInfo* pRow = gcFileSupport::findType(sType);
  if (pRow != nullptr && pRow->is(gcFormatInfo::kWrite)) return sType;
  const std::string sWritten =
      gcFileSupport::formatWords(gcFormatInfo::kWrite, ", ");
  if (pRow != nullptr)
    throw UsageError("cannot write " + sType + " files (" + sWritten + ")");
  if (!sFormat.empty())
    throw UsageError("unknown format '" + sFormat + "' (" + sWritten + ")");
  throw UsageError("cannot tell the output format of '" + sPath +
                   "': give --format " +
                   gcFileSupport::formatWords(gcFormatInfo::kWrite, "|"));
}

// "RANGE[,RANGE...]".
std::vector<gcAddressRange> parseRanges(const std::string& text) {
  std::vector<gcAddressRange> ranges;
  for (std::size_t at = 0, comma; at <= text.size(); at = comma + 1) {
    comma = std::min(text.find(',', at), text.size());
    gcAddressRange r;
    parseRange(text.substr(at, comma - at), &r.iFirst, &r.iLast);
    ranges.push_back(r);
  }
  return ranges;
}

// An edit of the image the inputs made, in command-line order.
typedef std::function<void(gcImage*)> Edit;

// Runs an edit that writes a new image, which then takes the old one's place.
template <class Run>
void replace(gcImage* pImage, Run run) {
  std::unique_ptr<gcVMM> pNew = pImage->newVMM();
  check(run(pImage->getVMM(), pNew.get()));
  pImage->setVMM(std::move(pNew));
}

// The lowest to the highest written byte now; false when none is.
bool writtenRange(gcImage* pImage, std::uint64_t* pFirst,
                  std::uint64_t* pLast) {
  vmm_int low, high;
  if (!findWrittenBounds(pImage->getVMM(), 0, 0xFFFFFFFF, &low, &high))
    return false;
  *pFirst = low, *pLast = high;
  return true;
}

// "BYTE" over the output range, or "BYTE@FIRST-LAST".
Edit fillEdit(const std::string& text, const gcImageOptions& options) {
  const std::size_t at = text.find('@');
  const auto byte = static_cast<std::uint8_t>(
      parseNumber(text.substr(0, at), 255, "fill byte"));
  std::uint64_t iFirst = 0, iLast = 0;
  const bool bRange = at != std::string::npos;
  if (bRange) parseRange(text.substr(at + 1), &iFirst, &iLast);
  return [=, &options](gcImage* pImage) {
    std::uint64_t first = iFirst, last = iLast;
    if (!bRange && options.hasRange())
      first = options.getFirst(), last = options.getLast();
    else if (!bRange && !writtenRange(pImage, &first, &last))
      return;  // nothing written, no range: no holes to fill
    check(fillImage(pImage->getVMM(), byte, first, last));
  };
}

// "NAME@AT" over the written bytes, or "NAME@AT:FIRST-LAST".
Edit checksumEdit(const std::string& text, const bool& bOverwrite) {
  const std::size_t at = text.find('@');
  const std::string name = text.substr(0, at);
  const gcFileResult known = checkChecksumName(name);
  if (!known.isOk())
    throw UsageError(known.getReason() + " (see dwxvmm cat --help)");
  if (at == std::string::npos)
    throw UsageError("bad checksum '" + text + "' (NAME@AT[:FIRST-LAST])");
  const std::size_t colon = text.find(':', at);
  const std::uint64_t iAt = parseNumber(text.substr(at + 1, colon - at - 1),
                                        0xFFFFFFFF, "checksum address");
  std::uint64_t iFirst = 0, iLast = 0;
  const bool bRange = colon != std::string::npos;
  if (bRange) parseRange(text.substr(colon + 1), &iFirst, &iLast);
  return [=, &bOverwrite](gcImage* pImage) {
    std::uint64_t first = iFirst, last = iLast;
    if (!bRange && !writtenRange(pImage, &first, &last))
      throw InputError(name + ": no written byte to compute it over");
    check(checksumImage(pImage->getVMM(), name, iAt, first, last, bOverwrite));
  };
}

// "TYPE:VALUE@AT"; the last '@' starts AT, since a text may hold one.
Edit setEdit(const std::string& text, const bool& bOverwrite) {
  const std::size_t at = text.rfind('@');
  if (at == std::string::npos)
    throw UsageError("bad value '" + text + "' (TYPE:VALUE@AT)");
  const std::string value = text.substr(0, at);
  std::vector<unsigned char> bytes;
  const gcFileResult parsed = parseValue(value, &bytes);
  if (!parsed.isOk()) throw UsageError(parsed.getReason());
  const std::uint64_t iAt =
      parseNumber(text.substr(at + 1), 0xFFFFFFFF, "address");
  return [=, &bOverwrite](gcImage* pImage) {
    check(setImage(pImage->getVMM(), value, iAt, bOverwrite));
  };
}

// "BYTE[@F-L]" (AND, OR, XOR) or "[@F-L]" (NOT, bit reverse, from the
// option's own "--not@F-L") over the written bytes, by default all of them.
Edit transformEdit(const std::string& option, gcTransform op,
                   const std::string& text) {
  const std::size_t at = text.find('@');
  const bool bValue = op == kAnd || op == kOr || op == kXor;
  const auto value = static_cast<std::uint8_t>(
      bValue ? parseNumber(text.substr(0, at), 255, option + " byte") : 0);
  std::uint64_t iFirst = 0, iLast = 0xFFFFFFFF;
  if (at != std::string::npos) parseRange(text.substr(at + 1), &iFirst, &iLast);
  return [=](gcImage* pImage) {
    check(transformImage(pImage->getVMM(), op, value, iFirst, iLast));
  };
}

// "HEX@F-L": the pattern's bytes, an even number of hex digits.
Edit patternEdit(const std::string& text) {
  const std::size_t at = text.find('@');
  if (at == std::string::npos)
    throw UsageError("bad --fill-pattern '" + text + "' (HEX@FIRST-LAST)");
  std::string digits = text.substr(0, at);
  if (digits.compare(0, 2, "0x") == 0 || digits.compare(0, 2, "0X") == 0)
    digits.erase(0, 2);
  std::vector<unsigned char> pattern;
  if (!parseValue("bytes:" + digits, &pattern).isOk())
    throw UsageError("bad --fill-pattern '" + text.substr(0, at) +
                     "' (an even number of hex digits, at least two)");
  std::uint64_t iFirst = 0, iLast = 0;
  parseRange(text.substr(at + 1), &iFirst, &iLast);
  return [=](gcImage* pImage) {
    check(patternFillImage(pImage->getVMM(), pattern, iFirst, iLast));
  };
}

// "BYTE[:MIN]".
Edit unfillEdit(const std::string& text) {
  const std::size_t colon = text.find(':');
  const auto byte = static_cast<std::uint8_t>(
      parseNumber(text.substr(0, colon), 255, "--unfill byte"));
  const std::uint64_t iMin =
      colon == std::string::npos
          ? 1
          : parseNumber(text.substr(colon + 1), 0xFFFFFFFF, "--unfill run");
  if (iMin < 1) throw UsageError("bad --unfill run '0' (at least 1)");
  return [=](gcImage* pImage) {
    replace(pImage, [&](gcVMMBase* pOld, gcVMMBase* pNew) {
      return unfillImage(pOld, byte, iMin, pNew);
    });
  };
}

// Refuses an image with a byte to write outside every region.
void fit(const gcImage& image, const std::vector<gcRegion>& regions,
         const gcImageOptions& options) {
  const std::vector<gcAddressRange> outside =
      options.hasRange() ? outsideRegions(image.getVMM(), regions,
                                          options.getFirst(), options.getLast())
                         : outsideRegions(image.getVMM(), regions);
  if (!outside.empty())
    throw InputError(
        hex(outside.front().iFirst) + "-" + hex(outside.front().iLast) +
        " lies outside every region (" + std::to_string(outside.size()) +
        " range" + (outside.size() == 1 ? "" : "s") + " outside)");
}

// --serial TYPE@AT:FIRST[:STEP] and --count N: the serials of a batch.
struct Serials {
  std::string type;
  std::uint64_t iAt = 0, iFirst = 0, iStep = 1, iCount = 1;
  std::size_t iEdit = 0;  // the edits before it apply once, to every image
  bool bGiven = false, bCount = false;
};

void parseSerial(const std::string& text, Serials* pSerials) {
  const std::size_t at = text.rfind('@');
  const std::size_t colon = text.find(':', at);
  if (at == std::string::npos || colon == std::string::npos)
    throw UsageError("bad --serial '" + text + "' (TYPE@AT:FIRST[:STEP])");
  pSerials->type = text.substr(0, at);
  const gcFileResult known = checkSerialType(pSerials->type);
  if (!known.isOk()) throw UsageError(known.getReason());
  pSerials->iAt = parseNumber(text.substr(at + 1, colon - at - 1), 0xFFFFFFFF,
                              "serial address");
  const std::size_t step = text.find(':', colon + 1);
  const std::uint64_t kMax = ~std::uint64_t{0};
  pSerials->iFirst =
      parseNumber(text.substr(colon + 1, step - colon - 1), kMax, "serial");
  if (step != std::string::npos)
    pSerials->iStep = parseNumber(text.substr(step + 1), kMax, "serial step");
  if (pSerials->iStep == 0)
    throw UsageError("bad serial step '0' (at least 1)");
  pSerials->bGiven = true;
}

// The output name of serial n, the i-th: {n}, {n:x} and {i} filled in.
std::string batchName(const std::string& pattern, std::uint64_t n,
                      std::uint64_t i) {
  std::string out;
  for (std::size_t at = 0; at < pattern.size();) {
    const std::size_t open = pattern.find('{', at);
    out += pattern.substr(at, open - at);
    if (open == std::string::npos) break;
    const std::size_t close = pattern.find('}', open);
    const std::string field = pattern.substr(open, close - open + 1);
    char text[24];
    if (field == "{n}" || field == "{i}")
      std::snprintf(text, sizeof text, "%llu",
                    static_cast<unsigned long long>(field == "{n}" ? n : i));
    else if (field == "{n:x}")
      std::snprintf(text, sizeof text, "%llx",
                    static_cast<unsigned long long>(n));
    else
      throw UsageError("bad output name '" + pattern +
                       "' ({n}, {n:x} and {i} are filled in)");
    out += text;
    at = close + 1;
  }
  return out;
}

// Saves the image and says so; nothing more for standard output.
int writeOne(const gcImage& image, const std::string& sOutput,
          const std::string& type, const gcImageOptions& options) {
  const gcFileResult result = image.save(sOutput, type, options);
  check(result);
  if (sOutput == "-") return kOk;  // standard output holds the image alone
  std::printf("%s: %s, %llu data bytes", sOutput.c_str(), type.c_str(),
              static_cast<unsigned long long>(result.getDataBytes()));
  if (gcFileSupport::isAddressless(type))
    std::printf(", %llu bytes filled with %s",
                static_cast<unsigned long long>(result.getFilledBytes()),
                hex(options.getFillByte(), 2).c_str());
  std::printf("\n");
  return kOk;
}

// Fails, before any file is written, where a serial would change a written
// byte: --set needs --overwrite for that, and so does every image's serial.
void clashes(const gcImage& image, const Serials& serials) {
  std::string value;
  std::vector<unsigned char> bytes;
  check(serialValue(serials.type, serials.iFirst, &value));
  check(parseValue(value, &bytes));
  const std::uint64_t iLast =
      std::min<std::uint64_t>(serials.iAt + bytes.size() - 1, 0xFFFFFFFF);
  const std::vector<gcRun> runs =
      collectRuns(image.getVMM(), serials.iAt, iLast);
  if (runs.empty()) return;
  for (std::uint64_t i = 0; i < serials.iCount; ++i) {
    const std::uint64_t n = serials.iFirst + i * serials.iStep;
    check(serialValue(serials.type, n, &value));
    check(parseValue(value, &bytes));
    for (const gcRun& run : runs) {
      std::string held(run.iLength, '\0');
      std::uint64_t iHole = 0;
      image.read(run.iFirst, run.iLength, &held[0], 0, &iHole);
      for (std::uint64_t a = 0; a < run.iLength; ++a)
        if (static_cast<unsigned char>(held[a]) !=
            bytes[run.iFirst + a - serials.iAt])
          throw InputError("serial " + std::to_string(n) + ": address " +
                           hex(run.iFirst + a) +
                           " already holds another value (--overwrite "
                           "replaces it)");
    }
  }
}

// One image a serial from the loaded one: the edits before --serial once,
// the serial and the edits after it in each. Everything a batch can know
// before writing is checked first: the serials fit, the names differ, no
// file is replaced without --overwrite.
int batch(gcImage& image, const std::vector<Edit>& edits,
          const Serials& serials, const std::string& pattern,
          const std::string& type, bool bFit,
          const std::vector<gcRegion>& regions, bool bOverwrite,
          const gcImageOptions& options) {
  check(checkSerials(serials.type, serials.iFirst, serials.iCount,
                     serials.iStep));
  if (pattern == "-" && serials.iCount > 1)
    throw UsageError("a batch of --count above 1 cannot go to standard output");
  if (serials.iCount > 1 &&
      batchName(pattern, 0, 0) == batchName(pattern, 1, 1))
    throw UsageError("output name '" + pattern +
                     "' is the same for every image: put {n}, {n:x} or {i} "
                     "in it");
  std::vector<std::string> names;
  for (std::uint64_t i = 0; i < serials.iCount; ++i) {
    names.push_back(batchName(pattern, serials.iFirst + i * serials.iStep, i));
    if (!bOverwrite && names.back() != "-" &&
        access(names.back().c_str(), F_OK) == 0)
      throw InputError(names.back() +
                       ": exists; a batch replaces files only with "
                       "--overwrite");
  }
  for (std::size_t i = 0; i < serials.iEdit; ++i) edits[i](&image);
  if (!bOverwrite) clashes(image, serials);
  // Each file's line says how far it is; where those go to a file, the
  // terminal gets a count.
  const bool bProgress =
      serials.iCount > 1 && isatty(STDERR_FILENO) && !isatty(STDOUT_FILENO);
  for (std::uint64_t i = 0; i < serials.iCount; ++i) {
    const std::uint64_t n = serials.iFirst + i * serials.iStep;
    gcImage one;
    check(one.merge(image, kOverlapReplace));
    std::string value;
    check(serialValue(serials.type, n, &value));
    check(setImage(one.getVMM(), value, serials.iAt, bOverwrite));
    for (std::size_t e = serials.iEdit; e < edits.size(); ++e) edits[e](&one);
    if (bFit) fit(one, regions, options);
    writeOne(one, names[i], type, options);
    if (bProgress)
      std::fprintf(stderr, "\r%llu of %llu written",
                   static_cast<unsigned long long>(i + 1),
                   static_cast<unsigned long long>(serials.iCount));
  }
  if (bProgress) std::fprintf(stderr, "\n");
  return kOk;
}

}  // namespace

int cat(Args& args) {
  std::vector<gcImageInput> inputs;
  std::string sOutput, sFormat;
  gcImageOptions options;
  bool bLaterWins = false, bFit = false;
  std::vector<gcRegion> regions;
  Serials serials;
  std::vector<Edit> edits;
  int iFillByte = -1;  // the last --fill BYTE: a binary output's holes
  // Every --random-fill draws from one generator, made once --seed is known.
  std::unique_ptr<gcRandomBytes> random;
  bool bSeed = false;
  std::uint64_t iSeed = 0;
  const std::vector<std::pair<std::string, gcTransform>> transforms = {
      {"--and", kAnd},
      {"--or", kOr},
      {"--xor", kXor},
      {"--not", kNot},
      {"--bit-reverse", kBitReverse}};
  for (std::string name; !(name = args.next(&inputs)).empty();) {
    // --not and --bit-reverse take their range as --not@F-L.
    const std::string bare = name.substr(0, name.find('@'));
    const auto op =
        std::find_if(transforms.begin(), transforms.end(),
                     [&](const std::pair<std::string, gcTransform>& t) {
                       return t.first == bare;
                     });
    if (op != transforms.end()) {
      const bool bValue = op->second != kNot && op->second != kBitReverse;
      if (bValue && bare != name) throw UsageError("unknown option " + name);
      edits.push_back(transformEdit(
          bare, op->second, bValue ? args.value() : name.substr(bare.size())));
    } else if (name == "--random-fill") {
      std::uint64_t iFirst = 0, iLast = 0;
      parseRange(args.value(), &iFirst, &iLast);
      edits.push_back([=, &random](gcImage* pImage) {
        check(randomFillImage(pImage->getVMM(), random.get(), iFirst, iLast));
      });
    } else if (name == "--seed") {
      iSeed = parseNumber(args.value(), ~std::uint64_t{0}, "--seed");
      bSeed = true;
    } else if (name == "--fill-pattern") {
      edits.push_back(patternEdit(args.value()));
    } else if (name == "--unfill") {
      edits.push_back(unfillEdit(args.value()));
    } else if (name == "--split") {
      std::uint32_t m = 0, o = 0, w = 0;
      parseBanks(args.value(), "--split", &m, &o, &w);
      edits.push_back([=](gcImage* pImage) {
        replace(pImage, [&](gcVMMBase* pOld, gcVMMBase* pNew) {
          return splitImage(pOld, m, o, w, pNew, &pImage->getInfo());
        });
      });
    } else if (name == "--address-unit") {
      options.setAddressUnit(parseUnit(args.value(), "--address-unit"));
    } else if (name == "-o" || name == "--output") {
      sOutput = args.value();
    } else if (name == "--format") {
      sFormat = args.value();
    } else if (name == "--range") {
      std::uint64_t iFirst, iLast;
      parseRange(args.value(), &iFirst, &iLast);
      options.setRange(iFirst, iLast);
    } else if (name == "--fill") {
      const std::string value = args.value();
      edits.push_back(fillEdit(value, options));
      if (value.find('@') == std::string::npos)
        iFillByte = static_cast<int>(parseNumber(value, 255, "fill byte"));
    } else if (name == "--crop" || name == "--exclude") {
      const auto ranges = parseRanges(args.value());
      const bool bCrop = name == "--crop";
      edits.push_back([=](gcImage* pImage) {
        replace(pImage, [&](gcVMMBase* pOld, gcVMMBase* pNew) {
          return bCrop ? cropImage(pOld, ranges, pNew)
                       : excludeImage(pOld, ranges, pNew);
        });
      });
    } else if (name == "--swap") {
      const std::string value = args.value();
      const auto group = static_cast<unsigned>(parseNumber(value, 8, "swap"));
      if (group != 2 && group != 4 && group != 8)
        throw UsageError("bad swap '" + value + "' (2, 4 or 8)");
      edits.push_back([=](gcImage* pImage) {
        replace(pImage, [&](gcVMMBase* pOld, gcVMMBase* pNew) {
          return swapImage(pOld, group, pNew);
        });
      });
    } else if (name == "--checksum") {
      edits.push_back(checksumEdit(args.value(), bLaterWins));
    } else if (name == "--set") {
      edits.push_back(setEdit(args.value(), bLaterWins));
    } else if (name == "--align") {
      const auto align = static_cast<std::uint32_t>(
          parseNumber(args.value(), 0xFFFFFFFF, "alignment"));
      edits.push_back([=, &iFillByte](gcImage* pImage) {
        const int fill = iFillByte < 0 ? 0xFF : iFillByte;
        check(alignImage(pImage->getVMM(), align,
                         static_cast<std::uint8_t>(fill)));
      });
    } else if (name == "--list-checksums") {
      std::fputs(checksumList().c_str(), stdout);
      return kOk;
    } else if (name == "--checksum-names") {
      for (const std::string& each : checksumNames())
        std::printf("%s\n", each.c_str());
      return kOk;
    } else if (name == "--srec-address") {
      const std::string bits = args.value();
      if (bits != "16" && bits != "24" && bits != "32")
        throw UsageError("bad S-record address '" + bits + "' (16, 24 or 32)");
      options.setAddressBytes(static_cast<unsigned>(std::stoul(bits)) / 8);
    } else if (name == "--hex-address") {
      const std::string mode = args.value();
      if (mode != "linear" && mode != "segment")
        throw UsageError("bad HEX addressing '" + mode +
                         "' (linear or segment)");
      options.setHexAddressing(mode == "linear" ? gcImageOptions::kHexLinear
                                                : gcImageOptions::kHexSegment);
    } else if (name == "--no-start") {
      options.setWriteStart(false);
    } else if (name == "--data-only") {
      options.setDataOnly(true);
    } else if (name == "--crlf") {
      options.setCrlf(true);
    } else if (name == "--header") {
      options.setHeader(args.value());
    } else if (name == "--no-header") {
      options.setHeader("", false);
    } else if (name == "--line-bytes") {
      options.setRecordLength(
          static_cast<unsigned>(parseNumber(args.value(), 255, "line length")));
      if (options.getRecordLength() == 0)
        throw UsageError("bad line length '0' (1 to 255)");
    } else if (name == "--word-width" || name == "--vmem-width") {
      options.setWordBits(parseWordBits(args.value()));
    } else if (name == "--uf2-family") {
      const std::string family = args.value();
      std::uint32_t iId = 0;
      if (!gcUf2File::familyId(family, &iId))
        throw UsageError("unknown UF2 family '" + family +
                         "' (a short name of the list, or an ID)");
      options.setUf2Family(iId);
    } else if (name == "--dfu-alt") {
      options.setDfuAlt(
          static_cast<unsigned>(parseNumber(args.value(), 255, "--dfu-alt")));
    } else if (name == "--dfu-name") {
      options.setDfuName(args.value());
      if (options.getDfuName().size() > 255)
        throw UsageError("--dfu-name longer than 255 bytes");
    } else if (name == "--dfu-vid" || name == "--dfu-pid" ||
               name == "--dfu-device") {
      const auto id =
          static_cast<std::uint16_t>(parseNumber(args.value(), 0xFFFF, name));
      options.setDfuIds(name == "--dfu-vid" ? id : options.getDfuVendor(),
                        name == "--dfu-pid" ? id : options.getDfuProduct(),
                        name == "--dfu-device" ? id : options.getDfuDevice());
    } else if (name == "--elf-machine") {
      const std::string machine = args.value();
      std::uint16_t iMachine = 0;
      if (!gcElfFile::machineId(machine, &iMachine))
        throw UsageError("unknown ELF machine '" + machine + "' (" +
                         gcElfFile::machineWords() + ", or 0 to 65535)");
      options.setElfMachine(iMachine);
    } else if (name == "--elf-endian") {
      const std::string order = args.value();
      if (order != "little" && order != "big")
        throw UsageError("bad ELF byte order '" + order + "' (little or big)");
      options.setElfBigEndian(order == "big");
    } else if (name == "--name") {
      options.setArrayName(args.value());
    } else if (name == "--overwrite") {
      bLaterWins = true;
    } else if (name == "--serial") {
      if (serials.bGiven) throw UsageError("--serial given twice");
      parseSerial(args.value(), &serials);
      serials.iEdit = edits.size();
    } else if (name == "--count") {
      serials.iCount = parseNumber(args.value(), ~std::uint64_t{0}, "--count");
      if (serials.iCount == 0) throw UsageError("bad --count '0' (at least 1)");
      serials.bCount = true;
    } else if (name == "--fit") {
      bFit = true;
    } else if (regionOption(args, name, &regions)) {
    } else {
      throw UsageError("unknown option " + name);
    }
  }
  if (inputs.empty()) throw UsageError("no input");
  if (sOutput.empty()) throw UsageError("no output: give -o OUTPUT");
  if (serials.bCount && !serials.bGiven)
    throw UsageError("--count needs --serial");
  if (bFit && regions.empty())
    throw UsageError("--fit needs --region or --regions");
  const std::string type = outputType(sFormat, sOutput);
  gcImage image;
  gcImageOptions loading = args.loadOptions();
  random = bSeed ? std::make_unique<gcRandomBytes>(iSeed)
                 : std::make_unique<gcRandomBytes>();
  load(&image, inputs,
       loading.setLaterWins(bLaterWins).setWordBits(options.getWordBits()));
  if (iFillByte >= 0) options.setFillByte(static_cast<std::uint8_t>(iFillByte));
  if (serials.bGiven)
    return batch(image, edits, serials, sOutput, type, bFit, regions,
                 bLaterWins, options);
  for (const Edit& edit : edits) edit(&image);
  if (bFit) fit(image, regions, options);
  return writeOne(image, sOutput, type, options);
}

}  // namespace cli
