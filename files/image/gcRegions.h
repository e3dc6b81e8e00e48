// The regions of a part's memory (flash banks, RAM, option bytes) and
// whether an image fits them: what a programmer would refuse, said before.
#ifndef DWXFILES_GCREGIONS_H_
#define DWXFILES_GCREGIONS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "gcFileResult.h"
#include "gcImageEdit.h"

class gcVMMBase;

// A named inclusive range; iFirst <= iLast <= 0xFFFFFFFF.
struct gcRegion {
  std::string sName;
  std::uint64_t iFirst;
  std::uint64_t iLast;
};

// "NAME=FIRST-LAST" or "NAME=FIRST+SIZE", numbers 0x hex or decimal, SIZE
// (and LAST) with K, M or G for powers of 1024. Fails, naming the text,
// for a bad number, an empty region or one past 0xFFFFFFFF.
DWXFILES_EXPORT gcFileResult parseRegion(const std::string& sText,
                                         gcRegion* pRegion);
// Appends the regions of a file of "NAME FIRST SIZE" lines ('#' to the
// line's end a comment, blank lines skipped). Fails naming the file and
// line; *pRegions then holds those before it.
DWXFILES_EXPORT gcFileResult loadRegions(const std::string& sPath,
                                         std::vector<gcRegion>* pRegions);
// Fails for two regions that overlap or share a name, naming both.
DWXFILES_EXPORT gcFileResult checkRegions(const std::vector<gcRegion>& regions);

// The written bytes of each region, in the order given.
DWXFILES_EXPORT std::vector<std::uint64_t> regionUsage(
    gcVMMBase* pVMM, const std::vector<gcRegion>& regions);
// The ranges of written bytes from iFirst to iLast that lie in no region,
// in address order; empty when the image fits. Maps nothing.
DWXFILES_EXPORT std::vector<gcAddressRange> outsideRegions(
    gcVMMBase* pVMM, const std::vector<gcRegion>& regions,
    std::uint64_t iFirst = 0, std::uint64_t iLast = 0xFFFFFFFF);

#endif  // DWXFILES_GCREGIONS_H_
