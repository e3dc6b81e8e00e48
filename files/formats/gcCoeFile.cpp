#include "gcCoeFile.h"

#include "gcHexCodec.h"
#include "gcImageSave.h"
#include "gcWordStream.h"

const char* gcCoeFile::getTypeName() { return "COE"; }

gcFileResult gcCoeFile::loadImage(const std::string& sFileName, gcVMMBase*,
                                  const gcImageOptions&, gcImageInfo*) {
  return gcFileResult::failure(sFileName, 0,
                               "cannot read COE files (a format written only)");
}

gcFileResult gcCoeFile::saveImage(const std::string& sFileName, gcVMMBase* pVMM,
                                  const gcImageOptions& options,
                                  const gcImageInfo*) {
  gcImageSave save(sFileName, pVMM, options);
  gcWordStream words(save, options);
  if (!save.open()) return save.finish(0, 0);
  char* p = save.room(64);
  for (const char* pLine :
       {"memory_initialization_radix=16;", "memory_initialization_vector="}) {
    while (*pLine != '\0') *p++ = *pLine++;
    p = save.lineEnd(p);
  }
  save.advance(p);
  const std::uint16_t* pDigits = hexPairDigits();
  const unsigned int iWordBytes = words.bits() / 8;
  const std::uint64_t iLast = words.depth() - 1;
  const std::uint64_t iBytes =
      words.forAllWords(pVMM, [&](std::uint64_t i, std::uint32_t v) {
        char* q = save.room(12);
        for (unsigned int b = iWordBytes; b-- > 0;)
          q = encodeHex(q, pDigits, static_cast<unsigned char>(v >> 8 * b));
        *q++ = i == iLast ? ';' : ',';
        if (i % 16 == 15 || i == iLast) q = save.lineEnd(q);
        save.advance(q);
      });
  return save.finish(iBytes, 0);
}
