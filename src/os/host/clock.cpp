#include "os/clock.h"

#include <ctime>
#include <time.h>
#include <sched.h>
#include <unistd.h>

#include "os/host/host_state.h"

namespace os {

LocalTime GetLocalTime() {
  if (host::state().clock) return *host::state().clock;
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  std::tm lt{};
  ::localtime_r(&ts.tv_sec, &lt);
  LocalTime t;
  t.year = lt.tm_year + 1900;
  t.month = lt.tm_mon + 1;
  t.day = lt.tm_mday;
  t.hour = lt.tm_hour;
  t.minute = lt.tm_min;
  t.second = lt.tm_sec;
  t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
  t.dayOfWeek = lt.tm_wday;
  return t;
}

std::uint32_t TickCount() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000 +
                                    static_cast<std::uint64_t>(ts.tv_nsec) / 1000000);
}

std::int64_t PerformanceCounter() {
  timespec ts{};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
}

std::int64_t PerformanceFrequency() { return 10000000; }

char LocaleDateSeparator() { return host::state().dateSep; }
char LocaleTimeSeparator() { return host::state().timeSep; }

// Sleep(0) on Windows only gives up the rest of the time slice; a zero-length
// nanosleep can cost far more here, and the message pumps call it constantly.
void SleepMs(std::uint32_t ms) {
  if (ms == 0)
    ::sched_yield();
  else
    ::usleep(static_cast<useconds_t>(ms) * 1000);
}

}  // namespace os
