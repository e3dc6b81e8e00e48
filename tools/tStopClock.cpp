#include "tStopClock.h"

#include <sys/time.h>

tStopClock::tStopClock() : iStartTime(0), iEndTime(0), iDiffTime(0) {}

tStopClock::~tStopClock() = default;

std::uint64_t tStopClock::Start() {
  iStartTime = getTimerTicks();
  iEndTime = 0;
  iDiffTime = 0;
  return iStartTime;
}

std::uint64_t tStopClock::End() {
  iEndTime = getTimerTicks();
  iDiffTime = getTimerTicks() - iStartTime;
  return (iEndTime - iStartTime) / 1000;
}

std::uint64_t tStopClock::getDiffTime() { return iDiffTime; }

std::uint64_t tStopClock::getTimerTicks() {
  timeval now;
  gettimeofday(&now, nullptr);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
         static_cast<std::uint64_t>(now.tv_usec);
}
