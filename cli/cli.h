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

struct Input;

// The words after the command, taken one at a time.
class Args {
 public:
  Args(std::string command, std::vector<std::string> words);
  // Takes words until an option: each input goes to *pInputs. Returns the
  // option's name ("--range" also for "--range=0-9"); empty at the end.
  std::string next(std::vector<Input>* pInputs);
  // The value of the option just returned (from "--name=value" or the next
  // word); a UsageError if there is none.
  std::string value();
  const std::string& command() const { return command_; }

 private:
  std::string command_;
  std::vector<std::string> words_;
  std::size_t next_ = 0;
  std::string option_;  // as written
};

// "0x1F", "31": a UsageError naming what unless it lies in [0, iMax].
std::uint64_t parseNumber(const std::string& text, std::uint64_t iMax,
                          const std::string& what);
// "FIRST-LAST", inclusive, within the 32-bit address space.
void parseRange(const std::string& text, std::uint64_t* pFirst,
                std::uint64_t* pLast);
std::string hex(std::uint64_t iValue, int iDigits = 8);

// An input: a path whose format is found from its first bytes, or
// PATH@ADDRESS for a binary file placed at ADDRESS, or PATH@+DELTA and
// PATH@-DELTA for any file moved by DELTA (its start address with it);
// after either, selectors: @vmem and @mif (a Verilog memory or MIF file,
// which no first bytes tell), @family=NAME (the
// UF2 family to load), @alt=N (the DfuSe targets to load).
struct Input {
  std::string path;
  bool placed = false;
  std::uint32_t address = 0;
  bool moved = false;
  std::int64_t delta = 0;
  std::string forced;     // a type name the selectors gave
  gcImageOptions select;  // the selectors' family and alternate setting
  std::string type;       // the format's type name, once loaded
  std::string details;    // what the file says of itself (ELF: class...)
};
Input parseInput(const std::string& arg);

// A VMM with the inputs loaded in order, and what they carry beside data.
struct Image {
  Image();
  // A VMM of the image's model, empty: what an edit that makes a new image
  // writes into before it takes the image's place.
  static std::unique_ptr<gcVMM> newVMM();
  std::unique_ptr<gcVMM> vmm;
  gcImageInfo info;  // start address and header: the last input's that has
  std::vector<Input> inputs;
  gcFileSupport formats;
};
// Loads every input into image (bLaterWins: a later byte replaces an earlier
// one of another value, else that is an error). Throws InputError.
// iWordBits: of Verilog memory inputs.
void load(Image* pImage, std::vector<Input> inputs, bool bLaterWins,
          unsigned int iWordBits = 8);
// "8", "16" or "32" for --word-width; else a UsageError.
unsigned int parseWordBits(const std::string& text);

// Writes with pWrite(tempName) into a file beside sPath, then renames it to
// sPath, so that sPath is never left half-written. pWrite returns an error
// message, or "" on success; on error the temporary file is removed and an
// InputError thrown.
template <class Write>
void writeBeside(const std::string& sPath, Write write);
void renameInto(const std::string& sTemp, const std::string& sPath);
std::string makeTemp(const std::string& sPath, bool bDirectory);

// Reads written bytes of a VMM page by page, keeping the page at hand: a
// run of bytes costs one lookup per page. Gives no page memory.
class Reader {
 public:
  explicit Reader(gcVMMBase* pVMM) : pVMM_(pVMM) {}
  // The byte at iAddr, or -1 where none was written.
  int at(vmm_int iAddr) {
    if (iSize_ == 0 || iAddr - iBase_ >= iSize_) find(iAddr);
    if (pData_ == nullptr) return -1;
    const vmm_int o = iAddr - iBase_;
    return pData_[iSize_ + o / 8] & (0x80 >> o % 8) ? pData_[o] : -1;
  }

 private:
  void find(vmm_int iAddr) {
    gcVMMPage* pPage = pVMM_->getPage(iAddr);
    pData_ = nullptr;
    iSize_ = pVMM_->getPageSize();  // also where no page is: a hole
    iBase_ = iAddr - iAddr % iSize_;
    if (pPage != nullptr && pPage->isPhysical())
      pData_ = reinterpret_cast<const unsigned char*>(pPage->getPageBuffer());
  }
  gcVMMBase* pVMM_;
  const unsigned char* pData_ = nullptr;
  vmm_int iBase_ = 0, iSize_ = 0;
};

// Every run of written bytes in ascending order (first, length).
using Runs = std::vector<std::pair<std::uint32_t, std::uint64_t>>;
Runs runs(gcVMMBase* pVMM);
// How the tool names an input to people: PATH, or PATH@ADDRESS.
std::string inputName(const Input& input);

// One input of a layout: its name, format and its own runs.
struct LayoutInput {
  std::string name, type;
  Runs runs;
};
// The layout of an image as one self-contained SVG document (no script, no
// external reference): runs are the image's, the union of the inputs' runs.
std::string layoutSvg(const std::vector<LayoutInput>& inputs, const Runs& runs,
                      const gcImageInfo& info);

int info(Args& args);
int cat(Args& args);
int cmp(Args& args);
int map(Args& args);

template <class Write>
void writeBeside(const std::string& sPath, Write write) {
  const std::string sTemp = makeTemp(sPath, false);
  std::string sError;
  try {
    sError = write(sTemp);
  } catch (...) {
    std::remove(sTemp.c_str());
    throw;
  }
  if (!sError.empty()) {
    std::remove(sTemp.c_str());
    throw InputError(sError);
  }
  renameInto(sTemp, sPath);
}

}  // namespace cli

#endif  // DWXVMM_CLI_CLI_H_
