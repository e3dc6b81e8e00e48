// An image as the tool and the Python module hold it: a VMM, what the
// files carry beside their data, and the inputs it was loaded from. Every
// front end loads, saves and walks an image through this one class.
#ifndef DWXFILES_GCIMAGE_H_
#define DWXFILES_GCIMAGE_H_

#include <dwxvmm/dwxvmm.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gcFileResult.h"
#include "gcImageEdit.h"
#include "gcImageOptions.h"

// One input of a load: where its bytes come from and where they go. After
// a load, sType, sDetails and warnings say what was found.
struct DWXFILES_EXPORT gcImageInput {
  // "-": standard input, read once a process (every "-" loads those bytes);
  // its format found from its first bytes unless sType names it, and a
  // binary one only with sType or a load address. Messages name "<stdin>".
  std::string sPath;
  // Bytes in memory to load instead of a file, when pData is not null:
  // sPath only names them in messages. Their format is found from their
  // first bytes as standard input's is, and they must outlive the load,
  // which does not keep them: the image does not list this input.
  const char* pData = nullptr;
  std::uint64_t iSize = 0;
  // The format's type name; empty: gcFileSupport::detectInput decides, and
  // printable text it cannot place fails the load.
  std::string sType;
  // A load address, for a binary file only (another format is an error);
  // text that no format claims loads as binary here.
  bool bPlaced = false;
  std::uint32_t iAddress = 0;
  // Every byte and the start address move by iDelta (any format).
  bool bMoved = false;
  std::int64_t iDelta = 0;
  // From a file of several, the UF2 family or the DfuSe targets (by
  // alternate setting) to load; unset, the load options' hold.
  bool bUf2Family = false;
  std::uint32_t iUf2Family = 0;
  bool bDfuAlt = false;
  unsigned int iDfuAlt = 0;
  // The N-byte unit the file's addresses count (gcImageOptions'
  // setAddressUnit): 1, 2 or 4.
  unsigned int iUnit = 1;
  // A lane of a wide bus spread back after the load (and before a move):
  // see unsplitImage.
  bool bUnsplit = false;
  std::uint32_t iUnsplitMultiple = 2;
  std::uint32_t iUnsplitOffset = 0;
  std::uint32_t iUnsplitWidth = 1;

  // What the file says of itself (ELF: "ELF32, little-endian, ARM").
  std::string sDetails;
  std::vector<std::string> warnings;
  // Data bytes the file held (0: nothing to load).
  std::uint64_t iDataBytes = 0;

  // How people see it: PATH, PATH@0x08000000, PATH@+0x100 or PATH@-0x100,
  // then @unit=N and @unsplit=M:O:W where they apply.
  std::string getName() const;
};

// The library's choice of memory model for images (gcVMM32BitHashed); a host
// may pass its own maker (a function returning a model made with new) to
// gcImage.
typedef gcVMemoryModell* (*gcModelMaker)();
DWXFILES_EXPORT gcVMemoryModell* makeImageModel();

class DWXFILES_EXPORT gcImage {
 public:
  // An empty image whose VMMs get their models from makeModel.
  explicit gcImage(gcModelMaker makeModel = makeImageModel);
  ~gcImage();
  gcImage(const gcImage&) = delete;
  gcImage& operator=(const gcImage&) = delete;

  // Loads the inputs in order. Each input is all or nothing: the first that
  // fails ends the load with its error (file, line, reason) and leaves the
  // image as the inputs before it made it. A byte that differs from one
  // already written is an error unless options ask the later to win; a
  // moved input is loaded apart, moved, then added by the same rule. The
  // start address and header are the last input's that has them. The
  // result carries every input's warnings (also on failure, those before
  // it) and the data bytes loaded. Throws bad_alloc.
  gcFileResult load(const std::vector<gcImageInput>& inputs,
                    const gcImageOptions& options);

  // Saves as the format sType (a type name, see gcFileSupport) to a file
  // beside sPath, renamed to sPath once whole: on any failure sPath is as
  // it was and nothing is left beside it. A C array without a name in
  // options is named after sPath. sPath "-" is standard output, written
  // only once the whole file is made; a binary format is refused when it is
  // a terminal. Messages name it "<stdout>".
  gcFileResult save(const std::string& sPath, const std::string& sType,
                    const gcImageOptions& options) const;
  // The same file made in *pOut instead, which it replaces (empty on
  // failure). Messages name sName; a C array is named "image" unless
  // options name it.
  gcFileResult saveToMemory(const std::string& sName, const std::string& sType,
                            const gcImageOptions& options,
                            std::string* pOut) const;

  // Adds other's written bytes, where they clash as eOverlap says (see
  // mergeImage), and its inputs to this image's; other's start address and
  // header fill in only where this image has none. On failure this image is
  // as it was. Merging an image into itself changes nothing.
  gcFileResult merge(const gcImage& other, gcOverlap eOverlap);
  // The same written bytes with the same values, the same start address
  // (in the same form) and the same header.
  bool equals(const gcImage& other) const;

  // The runs of written bytes, in address order, each whole.
  std::vector<gcRun> getRuns() const;
  // Pages the VMM holds, with memory or without.
  std::uint64_t countPages() const;
  // Copies n bytes from iFirst into pOut. A hole takes iFill, or, with
  // iFill < 0, ends the copy: then false with *pHole its address.
  // REQUIRES: iFirst + n <= 2^32.
  bool read(std::uint64_t iFirst, std::uint64_t n, char* pOut, int iFill,
            std::uint64_t* pHole) const;
  // Writes n bytes (any number, up to 4 GiB) from iFirst; n = 0 maps
  // nothing. REQUIRES: iFirst + n <= 2^32.
  void write(std::uint64_t iFirst, const char* pData, std::uint64_t n);

  // The layout as one self-contained SVG document: each input's runs in
  // its own colour (each input loaded again alone, with options), overlaps
  // and the start address marked. Fails where an input no longer loads.
  gcFileResult layoutSvg(const gcImageOptions& options,
                         std::string* pSvg) const;
  // Writes sText to sPath as save() writes a file: whole or not at all.
  static gcFileResult saveText(const std::string& sPath,
                               const std::string& sText);
  // The library's memory-map report of the VMM (writeMemoryMap's text), to
  // sPath as save() writes a file, "-" standard output. The working folder
  // is neither used nor changed: images in other threads may save meanwhile.
  gcFileResult saveMemoryMap(const std::string& sPath) const;

  // A new empty VMM of this image's model: what an edit that makes a new
  // image writes into before it takes this one's place with setVMM.
  std::unique_ptr<gcVMM> newVMM() const;
  void setVMM(std::unique_ptr<gcVMM> pVMM);
  gcVMM* getVMM() const;
  gcImageInfo& getInfo();
  const gcImageInfo& getInfo() const;
  // The inputs loaded so far, in order, with what was found.
  const std::vector<gcImageInput>& getInputs() const;

 protected:
  gcFileResult loadOne(gcImageInput* pInput, const gcImageOptions& options);
  gcFileResult loadFrom(gcImageInput* pInput, const std::string& sFile,
                        const gcImageOptions& options);

  gcModelMaker makeModel;
  std::unique_ptr<gcVMM> vmm;
  gcImageInfo info;
  std::vector<gcImageInput> inputs;
};

#endif  // DWXFILES_GCIMAGE_H_
