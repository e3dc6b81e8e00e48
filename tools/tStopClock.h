// A stopwatch on the wall clock (gettimeofday), in microseconds.
#ifndef DWXVMM_TOOLS_TSTOPCLOCK_H_
#define DWXVMM_TOOLS_TSTOPCLOCK_H_

#include <cstdint>

#include "../core/vmm_types.h"

// No guard against a clock set back: the unsigned differences then wrap.
class DWXVMM_EXPORT tStopClock {
 public:
  tStopClock();
  ~tStopClock();

  // Restarts the measurement; returns the new start reading.
  std::uint64_t Start();
  // Whole milliseconds since Start (since the epoch without a Start). The
  // microseconds, read just after, are kept for getDiffTime().
  std::uint64_t End();
  std::uint64_t getDiffTime();
  // The current wall clock in microseconds since the epoch.
  std::uint64_t getTimerTicks();

 protected:
  std::uint64_t iStartTime;
  std::uint64_t iEndTime;
  std::uint64_t iDiffTime;
};

#endif  // DWXVMM_TOOLS_TSTOPCLOCK_H_
