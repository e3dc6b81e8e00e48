// dwxvmm: inspect, convert and compare memory images from the shell.
#include <cstdio>
#include <cstring>
#include <iostream>

#include "cli.h"

namespace {

const char kUsage[] =
    "usage: dwxvmm [--verbose] COMMAND [OPTIONS] INPUT...\n"
    "\n"
    "Commands:\n"
    "  info   what an image holds: formats, data bytes, runs, addresses\n"
    "  cat    load inputs in order and write them as one image\n"
    "  cmp    compare the written bytes of two inputs\n"
    "  map    write the memory-map report of an image, or its picture (.svg)\n"
    "  dump   the written bytes of an image in hex and ASCII\n"
    "  formats  every format: word, name, read or written, extensions\n"
    "\n"
    "An INPUT is a path, its format (any that is read, and {rest}) found from\n"
    "its first bytes ({named} from the name; text no format claims, and bytes\n"
    "two formats read differently, are refused), or\n"
    "PATH@ADDRESS for a binary file placed at ADDRESS (0x hex or decimal; a\n"
    "binary input without it starts at 0), or PATH@+DELTA, PATH@-DELTA for\n"
    "any input moved by DELTA, or PATH@FORMAT for a file of that format:\n"
    "  {read}\n"
    "(PATH@FORMAT@ADDRESS places a file of a format without addresses); then\n"
    "@family=NAME or @alt=N choose from a UF2 or DfuSe file of several,\n"
    "@unit=N (2 or 4) reads addresses that count N-byte units (any format\n"
    "whose addresses count bytes: see cat --address-unit),\n"
    "@unsplit=M:O[:W] spreads a bank back (see cat --split). '-' reads\n"
    "standard input\n"
    "(its format found from its first bytes; a binary one needs -@ADDRESS\n"
    "or -@{rest}).\n"
    "Holes stay holes: only written bytes are data.\n"
    "\n"
    "Every command that loads (info, cat, cmp, map, dump) also takes:\n"
    "  --strict          a warning (a missing end record) is an error\n"
    "  --max-memory SIZE the most memory a load may take, in bytes or with K,\n"
    "                    M, G (default 1G; 0: no limit)\n"
    "  --ignore-checksums load records whose checksum is wrong (Intel HEX,\n"
    "                    S-record, the record formats), each a warning\n"
    "                    (the first ten, then a count)\n"
    "\n"
    "  --verbose   let the library's own notices through to standard error\n"
    "  --help      this text; 'dwxvmm COMMAND --help' for a command\n"
    "  --version   the version\n"
    "\n"
    "Exit status: 0 success; 1 cmp found differences, or info --verify a\n"
    "stored check that differs; 2 an error (bad input,\n"
    "bad command line, failed write), said in one line on standard error.\n";

struct Command {
  const char* name;
  int (*run)(cli::Args&);
  const char* help;
};

const Command kCommands[] = {
    {"info", cli::info,
     "usage: dwxvmm info [--json] [--strict] [--max-memory SIZE]\n"
     "                   [--word-width 8|16|32] [--checksum NAME[:F-L]]...\n"
     "                   [--verify NAME@AT[:F-L]]... [--region NAME=F-L]...\n"
     "                   [--regions FILE] INPUT...\n"
     "\n"
     "Loads the inputs into one image and prints the format of each input, "
     "the\n"
     "number of data bytes, the runs of written bytes (first and last "
     "address,\n"
     "inclusive, and length: the first 20 and a count of the rest), the "
     "lowest\n"
     "and highest written address, the start address and header where the\n"
     "inputs have them, and the pages and memory the image occupies. An ELF\n"
     "input's class, byte order and machine, a UF2 input's families and\n"
     "skipped blocks, a DfuSe input's IDs and targets follow its format; an\n"
     "input without data says that it holds no loadable data.\n"
     "  --json   the same as one JSON object (text that is not UTF-8 as\n"
     "           U+FFFD; the header's bytes also as header_hex)\n"
     "  --strict, --max-memory SIZE, --ignore-checksums  see 'dwxvmm "
     "--help'\n"
     "  --word-width B  bits a word of Verilog memory inputs (default 8)\n"
     "  --checksum NAME[:F-L]  then a line 'NAME 0xFIRST-0xLAST: VALUE', the\n"
     "           bytes cat's --checksum would write, in hex (default range:\n"
     "           the lowest to the highest written byte; a hole is an error);\n"
     "           in --json a \"checksums\" list; names as for cat\n"
     "  --verify NAME@AT[:F-L]  computes NAME over F-L as cat's --checksum\n"
     "           would write it at AT and compares it with the bytes there:\n"
     "           'NAME 0xAT: ok' or 'NAME 0xAT: stored 0x..., computed\n"
     "           0x...'. Without F-L, the lowest to the highest written byte\n"
     "           less the stored value where it lies at either end. Exit 1\n"
     "           when one differs, 2 for a hole at AT or a bad range; in\n"
     "           --json a \"verify\" list\n"
     "  --region NAME=FIRST-LAST, --region NAME=FIRST+SIZE  a region of the\n"
     "           part (SIZE and LAST with K, M as --max-memory reads them)\n"
     "  --regions FILE  regions a line: NAME FIRST SIZE ('#' a comment)\n"
     "           With regions: each one's used bytes, share and free bytes,\n"
     "           then the written bytes outside every region as ranges; in\n"
     "           --json \"regions\" and \"outside\". Regions may not overlap.\n"
     "Example: is the CRC at the end of the application right, and does the\n"
     "image fit a 128 KiB flash and its option bytes?\n"
     "  dwxvmm info fw.hex --verify crc32-le@0x0801fffc \\\n"
     "    --region flash=0x08000000+128K --region opt=0x1fff7800+16\n"
     "PATH@FORMAT, PATH@family=NAME and PATH@alt=N as for cat.\n"},
    {"cat", cli::cat,
     "usage: dwxvmm cat INPUT... -o OUTPUT\n"
     "                  [--format FORMAT]\n"
     "                  [--range FIRST-LAST] [--line-bytes N]\n"
     "                  [--word-width 8|16|32] [--name NAME] [--overwrite]\n"
     "                  [--uf2-family NAME|ID] [--dfu-alt N] [--dfu-name "
     "NAME]\n"
     "                  [--dfu-vid ID] [--dfu-pid ID] [--dfu-device ID]\n"
     "                  [--srec-address 16|24|32] [--hex-address "
     "linear|segment]\n"
     "                  [--no-start] [--header TEXT | --no-header]\n"
     "                  [--data-only] [--crlf] [--address-unit 2|4] [--seed "
     "N]\n"
     "                  [--elf-machine NAME|NUMBER] [--elf-endian little|big]\n"
     "                  [--fit --region NAME=F-L... | --regions FILE]\n"
     "                  [--strict] [--max-memory SIZE] [--ignore-checksums]\n"
     "                  [EDIT...] [--serial TYPE@AT:FIRST[:STEP] --count N\n"
     "                  [EDIT...]]\n"
     "       dwxvmm cat --list-checksums | --checksum-names\n"
     "\n"
     "Loads the inputs in order into one image, applies the edits in the\n"
     "order given, and writes the image to OUTPUT (first to a file beside it,\n"
     "then renamed: never half-written). PATH@+DELTA and PATH@-DELTA move an\n"
     "input of any format, its start address with it. PATH@FORMAT reads a\n"
     "file of that format (Verilog memory of --word-width words);\n"
     "PATH@family=NAME loads that family of a UF2 file of several,\n"
     "PATH@alt=N those targets of a DfuSe file of several.\n"
     "  -o, --output OUTPUT  the file to write; '-' is standard output (a\n"
     "                 binary one not to a terminal), then --format is needed\n"
     "  --format F     a format written ('dwxvmm formats'), else from "
     "OUTPUT's\n"
     "                 extension:\n"
     "                 {write-ext}\n"
     "  --range F-L    only the addresses F to L, inclusive\n"
     "  --line-bytes N data bytes per record, 1 to 255 (default 32); TI-TXT,\n"
     "                 Verilog memory and C write 16 a line\n"
     "  --word-width B Verilog memory, MIF, COE: bits a word, 8, 16 or 32\n"
     "                 (default 8), words little-endian (--vmem-width too);\n"
     "                 Verilog memory runs must start and end on a word; MIF\n"
     "                 and COE write from 0 to the highest word, holes as\n"
     "                 --fill's byte (default 0)\n"
     "  --uf2-family F UF2: the family (a short name of the UF2 list in any\n"
     "                 case, e.g. RP2040, or an ID); default none\n"
     "  --dfu-alt N, --dfu-name NAME  DfuSe: the target's alternate setting\n"
     "                 (default 0) and name (default ST...)\n"
     "  --dfu-vid, --dfu-pid, --dfu-device ID  DfuSe: the suffix's IDs\n"
     "                 (default 0x0483, 0xdf11, 0xffff)\n"
     "  --elf-machine M  ELF: e_machine, by name (none, arm, aarch64, riscv,\n"
     "                 avr, msp430, xtensa, mips, ppc, sparc, x86, x86-64) or\n"
     "                 number (default none); an executable ELF32, a PT_LOAD\n"
     "                 segment and an AX section (.sec1, ...) a run, the "
     "start\n"
     "                 address as entry point, e_flags 0 (arm: EABI 5)\n"
     "  --elf-endian E ELF: little (default) or big\n"
     "  --fit          refuse to write an image with a byte outside every\n"
     "                 region of --region and --regions (see info --help)\n"
     "  --name NAME    C: the prefix of the names defined (default: OUTPUT's\n"
     "                 file name as an identifier)\n"
     "  --overwrite    a later input's byte replaces an earlier one of "
     "another\n"
     "                 value, and a checksum or --set written bytes (else an\n"
     "                 error)\n"
     "  --srec-address B  S1/S9, S2/S8 or S3/S7 records for 16, 24 or 32 bits\n"
     "                 (default: the narrowest that holds every address)\n"
     "  --hex-address M linear: 04 and 05 records; segment: 02 and 03, below\n"
     "                 1 MiB only (default: 04, the start as loaded)\n"
     "  --no-start     write no start address record (03, 05, S7-S9)\n"
     "  --header TEXT  the S0 header; --no-header writes none\n"
     "  --data-only    only data records: no header, start address, record\n"
     "                 count or end record\n"
     "  --crlf         end every line of a text format with CR LF\n"
     "  --address-unit N  addresses count N-byte units (2 or 4), the start\n"
     "                 address too; each run must begin and end on a unit\n"
     "                 (inputs: PATH@unit=N), in the formats whose addresses\n"
     "                 count bytes:\n"
     "                 {unit}\n"
     "  --strict, --max-memory SIZE, --ignore-checksums  see 'dwxvmm --help'\n"
     "Edits (ranges F-L are inclusive; RANGES is F-L[,F-L...]):\n"
     "  --fill BYTE    fill the holes of --range, else of the lowest to the\n"
     "                 highest written byte; also the holes the output\n"
     "                 fills: {fills} (default 0xff)\n"
     "  --fill BYTE@F-L       fill the holes from F to L\n"
     "  --crop RANGES         keep only the bytes in RANGES\n"
     "  --exclude RANGES      drop the bytes in RANGES\n"
     "  --swap N              the byte at A goes to A xor (N - 1); N is 2, 4, "
     "8\n"
     "  --checksum NAME@AT[:F-L]  write at AT the checksum of F to L "
     "(default:\n"
     "                 the lowest to the highest written byte); a hole there\n"
     "                 is an error: fill first\n"
     "  --set TYPE:VALUE@AT   write VALUE at AT: u8, u16le, u16be, u32le, "
     "u32be,\n"
     "                 u64le, u64be (a number that fits), bytes:HEX,\n"
     "                 text:STRING or textz:STRING (with a NUL)\n"
     "  --align N      grow every run down and up to multiples of N (a power\n"
     "                 of two, 2 to 1 MiB), with --fill's byte (default 0xff)\n"
     "  --and BYTE[@F-L], --or BYTE[@F-L], --xor BYTE[@F-L]  each written "
     "byte\n"
     "                 (from F to L) AND, OR, XOR BYTE; holes stay holes\n"
     "  --not[@F-L], --bit-reverse[@F-L]  each written byte complemented, or\n"
     "                 its bits in reverse order\n"
     "  --random-fill F-L     fill the holes from F to L with random bytes\n"
     "  --seed N       seeds the one generator of every --random-fill (else\n"
     "                 the system's random source): the same bytes each run\n"
     "  --fill-pattern HEX@F-L  fill the holes from F to L with the pattern's\n"
     "                 bytes repeated from F (a hole at A: byte (A-F) mod "
     "len)\n"
     "  --unfill BYTE[:MIN]   runs of at least MIN (default 1) written bytes\n"
     "                 equal to BYTE become holes\n"
     "  --split M[:O[:W]]     keep the W bytes (default 1) at O (default 0) "
     "of\n"
     "                 every M and close the gaps: A goes to (A div M) * W +\n"
     "                 (A mod M - O); PATH@unsplit=M:O[:W] undoes it. M at\n"
     "                 least 2, W below M, O + W at most M; a start address\n"
     "                 is dropped with a warning\n"
     "Serials, one image a device from one load:\n"
     "  --serial TYPE@AT:FIRST[:STEP]  the i-th image gets FIRST + i x STEP\n"
     "                 (STEP default 1) at AT: TYPE u8 ... u64be as --set's,\n"
     "                 text:WIDTH (decimal, zero-padded) or bcd:BYTES (the\n"
     "                 most significant digit pair first). Edits before it\n"
     "                 apply once, those after it to each image in order\n"
     "  --count N      N images (default 1); OUTPUT names each: {n} the "
     "serial\n"
     "                 in decimal, {n:x} in hex, {i} the index from 0. Every\n"
     "                 serial must fit and no file may exist (unless\n"
     "                 --overwrite), checked before the first is written\n"
     "Checksums (-le, -be: the byte order written):\n"
     "  crc32-le, crc32-be      CRC-32/ISO-HDLC, as zlib's crc32\n"
     "  stm32-le, stm32-be      CRC-32/MPEG-2 over 32-bit little-endian "
     "words,\n"
     "                          as the STM32 CRC unit (F a multiple of 4,\n"
     "                          whole words)\n"
     "  crc16-xmodem-le, -be    CRC-16/XMODEM\n"
     "  crc16-ccitt-le, -be     CRC-16/IBM-3740 (CCITT-FALSE)\n"
     "  crc16-aug-le, -be       CRC-16/SPI-FUJITSU (CCITT augmented)\n"
     "  sum8, sum16-le, -be, sum32-le, -be   the sum of the bytes; with neg\n"
     "                          in front (negsum8 ...) its two's complement,\n"
     "                          with not in front its one's complement\n"
     "  length16-le, -be, length32-le, -be   the number of bytes F to L\n"
     "  lowest16-le ... lowest32-be, end16-le ... end32-be   the lowest "
     "written\n"
     "                          address from F to L, the highest plus one\n"
     "  adler16-le, -be, adler32-le, -be, fletcher16-le, -be,\n"
     "  fletcher32-le, -be      as srec_cat's filters of those names\n"
     "  md5, sha1, sha224, sha256, sha384, sha512, rmd160, tiger, whirlpool\n"
     "                          digests (libgcrypt), their bytes as given\n"
     "  any CRC of the catalogue by name or alias, in any case, with -le or\n"
     "  -be: crc-16/modbus-le, crc-32c-be, crc-64/xz-le (--list-checksums)\n"
     "  (--checksum-names: every name, one a line, for scripts and "
     "completions)\n"
     "  any other CRC by its parameters, with -le or -be:\n"
     "    crc(width=16,poly=0x8005,init=0xffff,refin=true,refout=true,\n"
     "        xorout=0)-le\n"
     "\n"
     "Example: fill a 128 KiB flash at 0x08000000 with 0xff short of its last\n"
     "word, and put the STM32 CRC of the rest in that word:\n"
     "  dwxvmm cat app.hex --fill 0xff@0x08000000-0x0801fffb \\\n"
     "    --checksum stm32-le@0x0801fffc:0x08000000-0x0801fffb -o flash.hex\n"
     "A serial number in each of 1000 images, with a CRC over it, for gdb:\n"
     "  dwxvmm cat app.hex --fill 0xff@0x08000000-0x0801efff \\\n"
     "    --serial u32le@0x0801f000:1000 --count 1000 \\\n"
     "    --checksum crc32-le@0x0801f004 --elf-machine arm -o 'fw-{n}.elf'\n"},
    {"cmp", cli::cmp,
     "usage: dwxvmm cmp [--json] [--strict] [--max-memory SIZE] A B\n"
     "\n"
     "Compares which bytes the two inputs write and their values; prints the\n"
     "number of differing addresses, then the ranges of consecutive\n"
     "addresses that differ in the same way (written only in A, only in B,\n"
     "or in both with other values: the first 8 bytes of each), the first "
     "20\n"
     "and a count of the rest. Exit status 0 when they are the same, 1 when\n"
     "they differ.\n"
     "  --json   the count and every range as one JSON object\n"
     "  --strict, --max-memory SIZE, --ignore-checksums  see 'dwxvmm "
     "--help'\n"},
    {"map", cli::map,
     "usage: dwxvmm map INPUT... -o REPORT [--overwrite] [--strict]\n"
     "                  [--max-memory SIZE]\n"
     "\n"
     "Loads the inputs into one image and writes the library's memory-map\n"
     "report of it to REPORT: per run of pages a header, then sixteen bytes a\n"
     "line, 0x<hex> for a written byte, ---- for one never written; '-'\n"
     "writes it to standard output. A REPORT named *.svg gets a picture\n"
     "instead: each 16 MiB region in use as a band of runs (in their input's\n"
     "colour) and holes, with overlaps and the start address marked; a\n"
     "block's tooltip has its addresses.\n"
     "  --overwrite    a later input's byte replaces an earlier one of "
     "another\n"
     "                 value (without it that is an error)\n"
     "  --strict, --max-memory SIZE, --ignore-checksums  see 'dwxvmm "
     "--help'\n"},
    {"formats", cli::formats,
     "usage: dwxvmm formats [--json | --words read|write|all]\n"
     "\n"
     "Prints the formats, a line each after a header: the word that names it\n"
     "(PATH@WORD, cat's --format), its name, whether it is read, written or\n"
     "both, the extensions cat's OUTPUT takes it from, and how an input is\n"
     "found to be one: by its first bytes (content), by its name alone\n"
     "(extension) or only by its word (no).\n"
     "  --json         the same as a JSON array, an object a format: word,\n"
     "                 name, aliases, read, write, binary, addressed, unit,\n"
     "                 extensions, detected, description\n"
     "  --words W      only the words, one a line: of the formats read,\n"
     "                 written, or all\n"},
    {"dump", cli::dump,
     "usage: dwxvmm dump INPUT... [--range FIRST-LAST] [--width 16|32]\n"
     "                   [--overwrite] [--strict] [--max-memory SIZE]\n"
     "\n"
     "Loads the inputs into one image and prints its written bytes, a row of\n"
     "WIDTH addresses a line (default 16): the address, each byte in hex\n"
     "(-- for a hole) and as ASCII (. if unprintable, a blank for a hole).\n"
     "Rows without a written byte are left out, each gap as one line\n"
     "'... N bytes unwritten'; rows equal to the one before are one line "
     "'*'.\n"
     "  --range F-L    only the addresses F to L, inclusive\n"
     "  --width N      16 or 32 addresses a row\n"
     "  --overwrite    a later input's byte replaces an earlier one of "
     "another\n"
     "                 value (without it that is an error)\n"
     "  --strict, --max-memory SIZE, --ignore-checksums  see 'dwxvmm "
     "--help'\n"},
};

// A list of formats that a help text names by {token}, from the table.
std::string formatList(const std::string& token) {
  if (token == "read")
    return gcFileSupport::formatWords(gcFormatInfo::kRead, ", ");
  if (token == "unit")
    return gcFileSupport::formatWords(gcFormatInfo::kUnit, ", ");
  if (token == "fills")
    return gcFileSupport::formatWords(
        gcFormatInfo::kFills | gcFormatInfo::kWrite, ", ");
  std::string s;
  for (std::size_t i = 0; i < gcFileSupport::formatCount(); ++i) {
    const gcFormatInfo& f = gcFileSupport::format(i);
    std::string item;
    if (token == "rest" && f.is(gcFormatInfo::kRest)) return f.pWord;
    if (token == "content" && f.recognise != nullptr) item = f.pWord;
    if (token == "named" && f.is(gcFormatInfo::kNamed))
      item = "." + std::string(f.pExtensions)
                       .substr(0, std::strcspn(f.pExtensions, " "));
    if (token == "write-ext" && f.is(gcFormatInfo::kWrite)) {
      item = f.pWord;
      for (const char* p = f.pExtensions; *p != '\0'; p += *p == ' ')
        for (item += " ."; *p != '\0' && *p != ' '; ++p) item += *p;
    }
    if (!item.empty()) s += (s.empty() ? "" : ", ") + item;
  }
  return s;
}

// The help text with each {token} replaced by its list, wrapped at ", " to
// 78 columns, indented as the token's line.
std::string withFormats(const char* pHelp) {
  std::string text = pHelp, out;
  for (std::size_t open; (open = text.find('{')) != std::string::npos;) {
    const std::size_t close = text.find('}', open);
    const std::size_t lineStart = text.rfind('\n', open) + 1;  // npos + 1 = 0
    const std::string indent(text.find_first_not_of(' ', lineStart) - lineStart,
                             ' ');
    std::string list = formatList(text.substr(open + 1, close - open - 1));
    std::size_t column = open - lineStart;
    const std::size_t lineEnd = text.find('\n', close);
    std::size_t tail = lineEnd - close - 1;  // what follows on the line
    std::string wrapped;
    for (std::size_t at = 0; at < list.size();) {
      std::size_t next = list.find(", ", at);
      next = next == std::string::npos ? list.size() : next + 2;
      std::string item = list.substr(at, next - at);
      const std::size_t width = item.size() - (next < list.size() ? 1 : 0) +
                                (next == list.size() ? tail : 0);
      if (column + width > 78 && column > indent.size()) {
        while (!wrapped.empty() && wrapped.back() == ' ') wrapped.pop_back();
        wrapped += "\n" + indent;
        column = indent.size();
      }
      wrapped += item;
      column += item.size();
      at = next;
    }
    out += text.substr(0, open) + wrapped;
    text.erase(0, close + 1);
  }
  return out + text;
}

int usageError(const std::string& sReason, const char* pCommand) {
  std::fprintf(
      stderr, "dwxvmm: %s\nTry 'dwxvmm %s--help'.\n", sReason.c_str(),
      pCommand == nullptr ? "" : (std::string(pCommand) + " ").c_str());
  return cli::kError;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> words(argv + 1, argv + argc);
  bool bVerbose = false;
  const Command* pCommand = nullptr;
  std::vector<std::string> rest;
  for (const std::string& w : words) {
    if (pCommand == nullptr && w == "--version") {
      std::printf("dwxvmm %s\n", DWXVMM_VERSION);
      return cli::kOk;
    }
    if (w == "--verbose") {
      bVerbose = true;
    } else if (w == "--help" || w == "-h") {
      std::fputs(
          withFormats(pCommand == nullptr ? kUsage : pCommand->help).c_str(),
          stdout);
      return cli::kOk;
    } else if (pCommand == nullptr) {
      for (const Command& c : kCommands)
        if (w == c.name) pCommand = &c;
      if (pCommand == nullptr)
        return usageError(
            w[0] == '-' ? "unknown option " + w : "unknown command '" + w + "'",
            nullptr);
    } else {
      rest.push_back(w);
    }
  }
  if (pCommand == nullptr) return usageError("no command", nullptr);
  // The library's notices ("Create space for ...") are not this tool's
  // output; the tool writes its own lines with stdio.
  if (!bVerbose) std::cerr.rdbuf(nullptr);
  try {
    cli::Args args(pCommand->name, rest);
    return pCommand->run(args);
  } catch (const cli::UsageError& e) {
    return usageError(e.what(), pCommand->name);
  } catch (const cli::InputError& e) {
    std::fprintf(stderr, "dwxvmm: %s\n", e.what());
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "dwxvmm: out of memory\n");
  }
  return cli::kError;
}
