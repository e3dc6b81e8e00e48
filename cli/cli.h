// The dwxvmm command-line tool: what its commands share.
#ifndef DWXVMM_CLI_CLI_H_
#define DWXVMM_CLI_CLI_H_

#include <dwxvmm/dwxvmm.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "gcFileSupport.h"
#include "gcImage.h"
#include "gcImageCompare.h"

namespace cli {

// Exit statuses, stable for scripts.
enum Status { kOk = 0, kDiffer = 1, kError = 2 };

// A bad command line: reported as "dwxvmm: reason" with a usage hint.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// Bad input or a failed write: reported as "dwxvmm: reason", where the
// reason names the file (and the line, for bad input).
struct InputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The words after the command, taken one at a time.
class Args {
 public:
  Args(std::string command, std::vector<std::string> words);
  // Takes words until an option: each input goes to *pInputs, and the
  // options of every load (--strict, --max-memory, --ignore-checksums) to
  // loadOptions(). Returns the option's name ("--range" also for
  // "--range=0-9"); empty at the end.
  std::string next(std::vector<gcImageInput>* pInputs);
  // Strictness and the memory limit (default 1 GiB) of every load.
  const gcImageOptions& loadOptions() const { return load_; }
  // The value of the option just returned (from "--name=value" or the next
  // word); a UsageError if there is none.
  std::string value();
  const std::string& command() const { return command_; }

 private:
  std::string command_;
  std::vector<std::string> words_;
  std::size_t next_ = 0;
  std::string option_;  // as written
  gcImageOptions load_;
};

// "0x1F", "31": a UsageError naming what unless it lies in [0, iMax].
std::uint64_t parseNumber(const std::string& text, std::uint64_t iMax,
                          const std::string& what);
// "FIRST-LAST", inclusive, within the 32-bit address space.
void parseRange(const std::string& text, std::uint64_t* pFirst,
                std::uint64_t* pLast);
std::string hex(std::uint64_t iValue, int iDigits = 8);
// "512", "64K", "1G" (K, M, G: powers of 1024) in bytes.
std::uint64_t parseSize(const std::string& text, const std::string& what);

// An input: a path whose format is found from its first bytes, or
// PATH@ADDRESS for a binary file placed at ADDRESS, or PATH@+DELTA and
// PATH@-DELTA for any file moved by DELTA (its start address with it), or
// PATH@FORMAT (a format word of cat's --format); last, @family=NAME and
// @alt=N choose from a UF2 or DfuSe file of several, @unit=N reads
// addresses of N-byte units, @unsplit=M:O[:W] spreads a lane back. "-" is
// standard input.
gcImageInput parseInput(const std::string& arg);
// "2" or "4": an address unit; else a UsageError naming what.
unsigned int parseUnit(const std::string& text, const std::string& what);
// "MULTIPLE[:OFFSET[:WIDTH]]" (OFFSET 0, WIDTH 1 by default) within the
// bounds of splitImage; else a UsageError naming what.
void parseBanks(const std::string& text, const std::string& what,
                std::uint32_t* pMultiple, std::uint32_t* pOffset,
                std::uint32_t* pWidth);
// "8", "16" or "32" for --word-width; else a UsageError.
unsigned int parseWordBits(const std::string& text);

// --region NAME=FIRST-LAST|NAME=FIRST+SIZE and --regions FILE: adds to
// *pRegions and returns true, or false for another option.
bool regionOption(Args& args, const std::string& option,
                  std::vector<gcRegion>* pRegions);

// Loads the inputs into *pImage, printing the warnings; throws InputError.
void load(gcImage* pImage, const std::vector<gcImageInput>& inputs,
          const gcImageOptions& options);
// Throws InputError for a failed result.
void check(const gcFileResult& result);

int info(Args& args);
int cat(Args& args);
int cmp(Args& args);
int map(Args& args);
int dump(Args& args);
int formats(Args& args);

}  // namespace cli

#endif  // DWXVMM_CLI_CLI_H_
