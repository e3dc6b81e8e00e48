#include "gcTiTxtFile.h"

#include <cstring>
#include <memory>

#include "gcBlockWriter.h"
#include "gcHexCodec.h"
#include "gcImageLoad.h"
#include "gcImageSave.h"

namespace {

typedef std::uint64_t u64;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

struct TiTxtState {
  gcImageLoad& load;
  u64 iAddress;
  bool bAddress;  // an "@ADDR" line came
  bool bEnd;
  unsigned char data[1 << 15];  // a line's bytes: the buffer's size / 2
};

bool readLine(TiTxtState& s, const char* pLine, std::size_t iLength) {
  while (iLength > 0 && isBlank(pLine[iLength - 1])) --iLength;
  std::size_t i = 0;
  while (i < iLength && isBlank(pLine[i])) ++i;
  if (i == iLength) return true;
  if (pLine[i] == 'q' || pLine[i] == 'Q') {
    if (i + 1 != iLength) return s.load.fail("text after 'q'");
    return s.bEnd = true;
  }
  if (pLine[i] == '@') {
    u64 iAddress = 0;
    const std::size_t iDigits = iLength - i - 1;
    if (iDigits == 0 || iDigits > 8) return s.load.fail("bad address");
    for (++i; i < iLength; ++i) {
      const unsigned int d = hexByte('0', pLine[i]);
      if (d > 0xFF) return s.load.fail("bad address");
      iAddress = iAddress << 4 | d;
    }
    if (!s.load.imageAddress(iAddress, 0, &s.iAddress)) return false;
    return s.bAddress = true;
  }
  if (!s.bAddress) return s.load.fail("data before the first address");
  // Bytes one blank apart, as writers write them, in one pass; anything
  // else byte by byte, which names what is wrong.
  std::size_t n = (iLength - i + 1) / 3;
  if ((iLength - i + 1) % 3 != 0 ||
      !gpHexKernels->decodeSpaced(pLine + i, n, s.data))
    n = 0;
  else
    i = iLength;
  for (; i < iLength; ++n) {
    unsigned int sum = 0;
    if (iLength - i < 2 || (iLength - i > 2 && !isBlank(pLine[i + 2])) ||
        !decodeHex(pLine + i, 1, s.data + n, &sum))
      return s.load.fail("a data byte is not two hex digits");
    for (i += 2; i < iLength && isBlank(pLine[i]);) ++i;
  }
  if (s.iAddress + n > u64{1} << 32)
    return s.load.fail("data beyond address 0xFFFFFFFF");
  if (!s.load.put(s.iAddress, s.data, n)) return false;
  s.iAddress += n;
  return true;
}

}  // namespace

const char* gcTiTxtFile::getTypeName() { return "TI-TXT"; }

gcFileResult gcTiTxtFile::loadImage(const std::string& sFileName,
                                    gcVMMBase* pVMM,
                                    const gcImageOptions& options,
                                    gcImageInfo* pInfo) {
  gcImageLoad load(sFileName, pVMM, options);
  load.addressUnit();  // imageAddress scales every address
  std::unique_ptr<TiTxtState> state(new TiTxtState{load, 0, false, false, {}});
  load.readRecords(&state->bEnd, [&](const char* pLine, std::size_t iLength) {
    return readLine(*state, pLine, iLength);
  });
  return load.finish(gcImageInfo(), pInfo);
}

gcFileResult gcTiTxtFile::saveImage(const std::string& sFileName,
                                    gcVMMBase* pVMM,
                                    const gcImageOptions& options,
                                    const gcImageInfo*) {
  gcImageSave save(sFileName, pVMM, options);
  const unsigned int iUnit = save.addressUnit();
  if (!save.open()) return save.finish(0, 0);
  gcBlockWriter writer(save, 1, 4, iUnit);
  forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 0x10000);
  writer.endLine();
  if (options.getDataOnly()) return save.finish(writer.bytes(), 0);
  char* p = save.room(4);
  *p++ = 'q';
  save.advance(save.lineEnd(p));
  return save.finish(writer.bytes(), 0);
}
