// Win32 time sources.
#include "os/clock.h"

#include "os/win32/systime.h"
#include "os/win32/win.h"

namespace os {
namespace {

char LocaleChar(LCTYPE what, char fallback) {
  char buf[8] = {};
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, what, buf, sizeof buf) < 2) return fallback;
  return buf[0];
}

}  // namespace

LocalTime GetLocalTime() {
  SYSTEMTIME st{};
  ::GetLocalTime(&st);
  return FromSystemTime(st);
}

std::uint32_t TickCount() { return ::GetTickCount(); }

std::int64_t PerformanceCounter() {
  LARGE_INTEGER v{};
  return ::QueryPerformanceCounter(&v) ? v.QuadPart : 0;
}

std::int64_t PerformanceFrequency() {
  LARGE_INTEGER f{};
  return ::QueryPerformanceFrequency(&f) ? f.QuadPart : 0;
}

char LocaleDateSeparator() { return LocaleChar(LOCALE_SDATE, '/'); }
char LocaleTimeSeparator() { return LocaleChar(LOCALE_STIME, ':'); }

void SleepMs(std::uint32_t ms) { ::Sleep(ms); }

}  // namespace os
