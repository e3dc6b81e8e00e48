#include "gcVerilogMemFile.h"

#include "gcBlockWriter.h"
#include "gcImageSave.h"

const char* gcVerilogMemFile::getTypeName() { return "Verilog memory"; }

gcFileResult gcVerilogMemFile::loadImage(const std::string& sFileName,
                                         gcVMMBase*, const gcImageOptions&,
                                         gcImageInfo*) {
  return gcFileResult::failure(
      sFileName, 0, "cannot read Verilog memory files (a format written only)");
}

gcFileResult gcVerilogMemFile::saveImage(const std::string& sFileName,
                                         gcVMMBase* pVMM,
                                         const gcImageOptions& options,
                                         const gcImageInfo*) {
  gcImageSave save(sFileName, pVMM, options);
  const unsigned int iBits = options.getWordBits();
  if (iBits != 8 && iBits != 16 && iBits != 32)
    save.fail("word width must be 8, 16 or 32 bits");
  if (!save.open()) return save.finish(0, 0);
  gcBlockWriter writer(save, iBits / 8, 8);
  forAllSegments(pVMM, &writer, save.getFirst(), save.getLast(), 0x10000);
  writer.endLine();
  return save.finish(writer.bytes(), 0);
}
