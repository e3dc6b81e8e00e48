// Internal: an image's layout drawn on the address space.
#ifndef DWXFILES_GCLAYOUTSVG_H_
#define DWXFILES_GCLAYOUTSVG_H_

#include <dwxvmm/dwxvmm.h>

#include <string>
#include <vector>

#include "gcImageOptions.h"

// One input of a layout: its name, format and its own runs.
struct gcLayoutInput {
  std::string sName, sType;
  std::vector<gcRun> runs;
};

// The layout as one self-contained SVG document (no script, no external
// reference): each 16 MiB region in use a band of runs and holes, the runs
// in their inputs' colours; runs are the image's, the union of the inputs'.
std::string layoutSvg(const std::vector<gcLayoutInput>& inputs,
                      const std::vector<gcRun>& runs, const gcImageInfo& info);

#endif  // DWXFILES_GCLAYOUTSVG_H_
