// SYSTEMTIME in the portable date-time record.
#pragma once
#include "os/clock.h"
#include "os/win32/win.h"

namespace os {

inline LocalTime FromSystemTime(const SYSTEMTIME& st) {
  LocalTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.millisecond = st.wMilliseconds;
  t.dayOfWeek = st.wDayOfWeek;
  return t;
}

}  // namespace os
