// A minimal file-support library: what the test program needs of one.
#ifndef DWXFILES_GCFILESUPPORT_H_
#define DWXFILES_GCFILESUPPORT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#if defined(__GNUC__) || defined(__clang__)
#define DWXFILES_EXPORT __attribute__((visibility("default")))
#else
#define DWXFILES_EXPORT
#endif

class gcVMM;

// One file format.
class DWXFILES_EXPORT gcFileFormat {
 public:
  gcFileFormat() = default;
  gcFileFormat(const gcFileFormat&) = delete;
  gcFileFormat& operator=(const gcFileFormat&) = delete;
  virtual ~gcFileFormat();

  // Saves the bytes of the VMM from iFirst to iLast (inclusive) to the file
  // sFileName, reading them iBlockSize bytes at a time (0: 64 KiB). Reading
  // maps the pages of the range. False, with nothing written, for a null
  // VMM, a range that is empty or beyond 32 bits, or a file that cannot be
  // written.
  virtual bool saveFile(std::string sFileName, gcVMM* pVMM,
                        std::uint64_t iFirst, std::uint64_t iLast,
                        std::uint64_t iBlockSize) = 0;
};

// Hands out formats by type name. Owns every format it returned and
// releases them when it is destroyed.
class DWXFILES_EXPORT gcFileSupport {
 public:
  gcFileSupport();
  gcFileSupport(const gcFileSupport&) = delete;
  gcFileSupport& operator=(const gcFileSupport&) = delete;
  ~gcFileSupport();

  // "Binaray file" gives the raw binary format; any other name gives null.
  gcFileFormat* createFileSupport(std::string sTypeName);

 private:
  std::vector<std::unique_ptr<gcFileFormat>> formats_;
};

#endif  // DWXFILES_GCFILESUPPORT_H_
