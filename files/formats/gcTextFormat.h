// Internal: the load and save loops of the text formats without records
// of their own, so that each says only how it reads a line and writes a
// run. A format is gcTextFormat<Reader, Writer>; its reader and writer
// derive from gcTextReader and gcTextWriter and hide the hooks they need.
#ifndef DWXFILES_GCTEXTFORMAT_H_
#define DWXFILES_GCTEXTFORMAT_H_

#include <cstdint>
#include <memory>
#include <string>

#include "gcFileFormat.h"
#include "gcImageLoad.h"
#include "gcImageSave.h"
#include "gcTextLines.h"

// One load: made per file, handed each line (or, with kByCharacter, each
// character) until it returns false, which it does only after load.fail().
struct gcTextReader {
  gcTextReader(gcImageLoad& load, const gcImageOptions& options, bool bVariant)
      : load(load), options(options), bVariant(bVariant) {}
  static constexpr bool kByCharacter = false;
  // True once nothing more is read (the lines after it are left unread).
  bool done() const { return false; }
  // After the last line, when there was no error.
  void end() {}

  gcImageLoad& load;
  const gcImageOptions& options;
  bool bVariant;
  gcImageInfo info;  // what the load hands on
};

// One save: made before the file is opened (so it may fail the save first),
// then begin(), walk() over the range, end(), and the counts.
class gcTextWriter : public gcSegmentHandler {
 public:
  gcTextWriter(gcImageSave& save, const gcImageOptions& options,
               const gcImageInfo* pInfo, bool bVariant)
      : save_(save), options_(options), pInfo_(pInfo), bVariant_(bVariant) {}
  void begin() {}
  void walk(gcVMMBase* pVMM) {
    forAllSegments(pVMM, this, save_.getFirst(), save_.getLast(), 1 << 16);
  }
  void end() {}
  std::uint64_t dataBytes() const { return iBytes_; }
  std::uint64_t filledBytes() const { return 0; }

 protected:
  gcImageSave& save_;
  const gcImageOptions& options_;
  const gcImageInfo* pInfo_;  // may be null
  bool bVariant_;
  std::uint64_t iBytes_ = 0;  // for the default dataBytes()
};

template <class Reader, class Writer>
class gcTextFormat : public gcFileFormat {
 public:
  // pName outlives the format (a literal). bVariant goes to the reader and
  // the writer.
  explicit gcTextFormat(const char* pName, bool bVariant = false)
      : pName_(pName), bVariant_(bVariant) {}
  const char* getTypeName() override { return pName_; }

  gcFileResult loadImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         gcImageInfo* pInfo) override {
    gcImageLoad load(sFileName, pVMM, options);
    // Readers stage a line's bytes in arrays too large for the stack.
    std::unique_ptr<Reader> reader(new Reader(load, options, bVariant_));
    if constexpr (Reader::kByCharacter) {
      const char* pData = nullptr;
      bool bOk = true;
      for (std::size_t n;
           bOk && load.isOpen() && (n = load.nextBlock(&pData)) > 0;)
        for (std::size_t i = 0; bOk && i < n; ++i)
          bOk = reader->character(pData[i]);
    } else {
      const char* pLine = nullptr;
      std::size_t n = 0;
      while (load.isOpen() && !reader->done() && load.nextLine(&pLine, &n))
        if (!reader->line(pLine, n)) break;
    }
    if (load.isOpen()) reader->end();
    return load.finish(reader->info, pInfo);
  }

  gcFileResult saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                         const gcImageOptions& options,
                         const gcImageInfo* pInfo) override {
    gcImageSave save(sFileName, pVMM, options);
    Writer writer(save, options, pInfo, bVariant_);
    if (!save.open()) return save.finish(0, 0);
    writer.begin();
    writer.walk(pVMM);
    writer.end();
    return save.finish(writer.dataBytes(), writer.filledBytes());
  }

 private:
  const char* pName_;
  bool bVariant_;
};

#endif  // DWXFILES_GCTEXTFORMAT_H_
