// Host system facts: a settable thread locale, real file times, and CD-ROM
// devices that exist for drives given type 5 and record eject requests.
#include "os/system.h"

#include <sys/stat.h>

#include <cctype>
#include <ctime>

#include "os/host/host_state.h"

namespace os {

std::uint32_t GetThreadLocale() { return host::state().threadLocale; }

bool GetFileDosDateTime(const std::string& path, std::uint32_t& packed) {
  struct stat st{};
  if (path.empty() || ::stat(host::MapPath(path).c_str(), &st) != 0) return false;
  std::time_t t = st.st_mtime;
  std::tm tm{};
  if (!::localtime_r(&t, &tm)) return false;
  int year = tm.tm_year + 1900;
  if (year < 1980 || year > 2107) return false;  // outside what DOS dates hold
  std::uint32_t date = static_cast<std::uint32_t>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) |
                                                  tm.tm_mday);
  std::uint32_t time = static_cast<std::uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) |
                                                  (tm.tm_sec / 2));
  packed = (date << 16) | time;
  return true;
}

bool MediaDevice::open(const std::string& deviceName, bool /*readWrite*/) {
  close();
  // "\\.\X:"
  if (deviceName.size() != 6 || deviceName.compare(0, 4, "\\\\.\\") != 0 || deviceName[5] != ':')
    return false;
  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(deviceName[4])));
  auto& types = host::state().driveTypes;
  auto it = types.find(letter);
  if (it == types.end() || it->second != 5) {
    host::state().lastError = 2;
    return false;
  }
  h_ = 0x7000 + letter;
  return true;
}

bool MediaDevice::ejectMedia() {
  if (h_ == kInvalid) return false;
  host::state().ejectedDrives += static_cast<char>(h_ - 0x7000);
  return true;
}

void MediaDevice::close() { h_ = kInvalid; }

}  // namespace os

namespace os::host {

void SetThreadLocale(std::uint32_t lcid) { state().threadLocale = lcid; }
std::string EjectedDrives() { return state().ejectedDrives; }

}  // namespace os::host
