// The outcome of loading or saving an image: errors are values.
#ifndef DWXFILES_GCFILERESULT_H_
#define DWXFILES_GCFILERESULT_H_

#include <cstdint>
#include <string>
#include <vector>

#if defined(__GNUC__) || defined(__clang__)
#define DWXFILES_EXPORT __attribute__((visibility("default")))
#else
#define DWXFILES_EXPORT
#endif

// Success, or the one error that stopped the operation: the file, the line
// (1-based; 0 where no line applies) and the reason. A success may carry
// warnings and counts. Nothing here throws except on allocation failure.
class DWXFILES_EXPORT gcFileResult {
 public:
  // A success with no warnings and zero counts.
  gcFileResult();
  static gcFileResult failure(std::string sFile, std::uint64_t iLine,
                              std::string sReason);

  bool isOk() const;
  const std::string& getFile() const;
  std::uint64_t getLine() const;
  // Empty for a success.
  const std::string& getReason() const;
  // "image.hex:17: checksum mismatch", or "image.hex: reason" without a line,
  // or just the reason without a file either (an edit's); empty for a success.
  std::string getMessage() const;

  // Each in the form of getMessage(), e.g. "image.hex: no end record".
  const std::vector<std::string>& getWarnings() const;
  void addWarning(const std::string& sFile, std::uint64_t iLine,
                  const std::string& sReason);

  // Data bytes loaded or saved (holes and fill not counted).
  std::uint64_t getDataBytes() const;
  void setDataBytes(std::uint64_t iBytes);
  // Bytes a binary save wrote for holes.
  std::uint64_t getFilledBytes() const;
  void setFilledBytes(std::uint64_t iBytes);

 protected:
  bool bOk;
  std::string sFile;
  std::uint64_t iLine;
  std::string sReason;
  std::vector<std::string> warnings;
  std::uint64_t iDataBytes;
  std::uint64_t iFilledBytes;
};

#endif  // DWXFILES_GCFILERESULT_H_
