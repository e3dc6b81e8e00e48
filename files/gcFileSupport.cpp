#include "gcFileSupport.h"

#include <cstdio>

#include "../core/gcVMM.h"

namespace {

class BinaryFileFormat : public gcFileFormat {
 public:
  bool saveFile(std::string sFileName, gcVMM* pVMM, std::uint64_t iFirst,
                std::uint64_t iLast, std::uint64_t iBlockSize) override {
    if (pVMM == nullptr || iFirst > iLast || iLast > 0xFFFFFFFFu) return false;
    std::unique_ptr<FILE, int (*)(FILE*)> file(
        std::fopen(sFileName.c_str(), "wb"), &std::fclose);
    if (!file) return false;
    if (iBlockSize == 0 || iBlockSize > kMaxBlock) iBlockSize = kMaxBlock;
    std::vector<char> block(iBlockSize);
    for (std::uint64_t iAddr = iFirst; iAddr <= iLast; iAddr += iBlockSize) {
      const std::uint64_t n =
          iLast - iAddr + 1 < iBlockSize ? iLast - iAddr + 1 : iBlockSize;
      pVMM->getBlock(static_cast<vmm_int>(iAddr), block.data(),
                     static_cast<vmm_int>(n));
      if (std::fwrite(block.data(), 1, n, file.get()) != n) return false;
    }
    return true;
  }

 private:
  static constexpr std::uint64_t kMaxBlock = 1 << 16;
};

}  // namespace

gcFileFormat::~gcFileFormat() = default;

gcFileSupport::gcFileSupport() = default;

gcFileSupport::~gcFileSupport() = default;

gcFileFormat* gcFileSupport::createFileSupport(std::string sTypeName) {
  if (sTypeName != "Binaray file") return nullptr;
  formats_.push_back(std::make_unique<BinaryFileFormat>());
  return formats_.back().get();
}
