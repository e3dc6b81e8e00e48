// One file format of the file-support library.
#ifndef DWXFILES_GCFILEFORMAT_H_
#define DWXFILES_GCFILEFORMAT_H_

#include <cstdint>
#include <string>

#include "gcFileResult.h"
#include "gcImageOptions.h"

class gcVMM;
class gcVMMBase;

// Loads a file into a VMM and saves a range of a VMM to a file. Loading
// streams the file through a read buffer of fixed size and stages its bytes
// apart until the whole file has proved sound, so that a file with any
// error leaves the VMM as it was. Saving reads only written bytes (holes
// stay holes in the text formats) and maps nothing. Bad input never throws;
// only allocation failure does (bad_alloc passes on). The slot order of the
// virtual operations is part of the binary interface: append only.
class DWXFILES_EXPORT gcFileFormat {
 public:
  gcFileFormat() = default;
  gcFileFormat(const gcFileFormat&) = delete;
  gcFileFormat& operator=(const gcFileFormat&) = delete;
  virtual ~gcFileFormat();

  // Saves the bytes of the VMM from iFirst to iLast (inclusive) to the file
  // sFileName with this format's defaults (binary: holes as 0xFF).
  // iBlockSize, from 1 to 255, is the data bytes per record of the text
  // formats (else 32); binary ignores it. False, with no file left, for a
  // null VMM, a range that is empty or beyond 32 bits, or a failed write.
  virtual bool saveFile(std::string sFileName, gcVMM* pVMM,
                        std::uint64_t iFirst, std::uint64_t iLast,
                        std::uint64_t iBlockSize);

  // The type name that gcFileSupport knows this format by.
  virtual const char* getTypeName() = 0;

  // Loads the file sFileName into pVMM. On success the image's start
  // address and header go to *pInfo (unless null) and the result counts the
  // bytes loaded; it warns of a missing end record. On failure the result
  // names the file, the line and the reason, and pVMM and *pInfo are as they
  // were. A byte that differs from one written before (by the VMM's owner,
  // an earlier load, or an earlier record of the file) is an error unless
  // options ask the later to win. Throws bad_alloc; if that happens while
  // the staged bytes are written into the VMM, part of them may be there.
  virtual gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                                 const gcImageOptions& options,
                                 gcImageInfo* pInfo) = 0;

  // Saves the written bytes of pVMM in the range of options (default: from
  // the lowest to the highest written byte) to sFileName, with what of
  // *pInfo (may be null) the format can hold. On failure (bad options, no
  // VMM, a failed write) no file is left. Maps nothing, gives no page memory.
  virtual gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                                 const gcImageOptions& options,
                                 const gcImageInfo* pInfo) = 0;
};

#endif  // DWXFILES_GCFILEFORMAT_H_
