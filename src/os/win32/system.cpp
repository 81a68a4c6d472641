// Win32 system facts and the eject request.
#include "os/system.h"

#include <windows.h>
#include <winioctl.h>

namespace os {

std::uint32_t GetThreadLocale() { return ::GetThreadLocale(); }

bool GetFileDosDateTime(const std::string& path, std::uint32_t& packed) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (path.empty() || !::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
    return false;
  FILETIME local{};
  WORD date = 0, time = 0;
  if (!::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
      !::FileTimeToDosDateTime(&local, &date, &time))
    return false;
  packed = (static_cast<std::uint32_t>(date) << 16) | time;
  return true;
}

bool MediaDevice::open(const std::string& deviceName, bool readWrite) {
  close();
  DWORD access = readWrite ? (GENERIC_READ | GENERIC_WRITE) : GENERIC_READ;
  HANDLE h = ::CreateFileA(deviceName.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  h_ = reinterpret_cast<std::intptr_t>(h);  // INVALID_HANDLE_VALUE reads as -1
  return h != INVALID_HANDLE_VALUE;
}

bool MediaDevice::ejectMedia() {
  if (h_ == kInvalid) return false;
  DWORD bytes = 0;
  return ::DeviceIoControl(reinterpret_cast<HANDLE>(h_), IOCTL_STORAGE_EJECT_MEDIA, nullptr, 0,
                           nullptr, 0, &bytes, nullptr) != FALSE;
}

void MediaDevice::close() {
  if (h_ != kInvalid) ::CloseHandle(reinterpret_cast<HANDLE>(h_));
  h_ = kInvalid;
}

}  // namespace os
