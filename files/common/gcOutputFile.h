// Internal: outputs that are never left half-written.
#ifndef DWXFILES_GCOUTPUTFILE_H_
#define DWXFILES_GCOUTPUTFILE_H_

#include <functional>
#include <string>

#include "gcFileResult.h"

// Has write() fill a new file beside sPath, then renames it to sPath, so
// that sPath is either the old file or the whole new one. A failure of
// write(), or of the rename, removes the new file; its message names sPath,
// not the file beside it. The new file gets the mode a plain open gives.
gcFileResult replaceFile(
    const std::string& sPath,
    const std::function<gcFileResult(const std::string& sBeside)>& write);

// Writes sText to sPath as it is (no file beside it): a failure names sPath.
gcFileResult writeTextFile(const std::string& sPath, const std::string& sText);
// The whole of the file sPath; false if it cannot be read.
bool readTextFile(const std::string& sPath, std::string* pText);

// replaceFile for a text already made.
gcFileResult replaceFileWithText(const std::string& sPath,
                                 const std::string& sText);

#endif  // DWXFILES_GCOUTPUTFILE_H_
