// Time sources.
#pragma once
#include <cstdint>
#include <string>

namespace os {

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  int dayOfWeek = 0;  // 0 = Sunday
};

LocalTime GetLocalTime();
std::uint32_t TickCount();                 // milliseconds since start, wraps
std::int64_t PerformanceCounter();
std::int64_t PerformanceFrequency();       // 0 when there is none
char LocaleDateSeparator();
char LocaleTimeSeparator();
void SleepMs(std::uint32_t ms);

}  // namespace os
