// A file library that knows no format, put in front of the real one to see
// the test program give up.
#include "gcFileSupport.h"

gcFileSupport::gcFileSupport() = default;
gcFileSupport::~gcFileSupport() = default;
gcFileFormat* gcFileSupport::createFileSupport(std::string) { return nullptr; }
// The base class's vtable and type information live here too.
gcFileFormat::~gcFileFormat() = default;
bool gcFileFormat::saveFile(std::string, gcVMM*, std::uint64_t, std::uint64_t,
                            std::uint64_t) {
  return false;
}
