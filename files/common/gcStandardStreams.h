// Internal: standard input and output as the files that loads and saves
// name. Both go through a file in memory: a format may seek in what it
// reads, and a failed save must leave nothing half-written on a pipe.
#ifndef DWXFILES_GCSTANDARDSTREAMS_H_
#define DWXFILES_GCSTANDARDSTREAMS_H_

#include <cstdint>
#include <functional>
#include <string>

#include "gcFileResult.h"

// How standard input and output are named in messages.
extern const char kStdinName[];
extern const char kStdoutName[];

// Standard input, read to its end once a process: later calls give the same
// bytes. *pPath names a seekable copy that lives as long as the process;
// *pHead holds its first bytes (for telling the format). More than
// iMaxMemory bytes (0: no limit) are refused, as a load over it would be.
// A failure names standard input.
gcFileResult spoolStandardInput(std::uint64_t iMaxMemory, std::string* pPath,
                                std::string* pHead);

// Has write() fill a file in memory, then copies it to standard output;
// nothing reaches standard output when write() fails. Messages name
// standard output, not the file in memory.
gcFileResult writeStandardOutput(
    const std::function<gcFileResult(const std::string& sPath)>& write);

// r with sPath, as a file or a warning's prefix, replaced by sName.
gcFileResult renameInResult(const gcFileResult& r, const std::string& sPath,
                            const std::string& sName);

#endif  // DWXFILES_GCSTANDARDSTREAMS_H_
