// Windows version facts through the real API.
#include "os/version.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace os {
namespace {

// A system DLL by its full path in the system folder, so that a library of
// the same name beside the setup file is never picked up. Already loaded
// modules are taken as they are. The library stays loaded for the process.
HMODULE SystemLibrary(const std::string& name) {
  if (HMODULE h = ::GetModuleHandleA(name.c_str())) return h;
  char dir[MAX_PATH + 1] = {};
  UINT n = ::GetSystemDirectoryA(dir, MAX_PATH);
  if (n == 0 || n > MAX_PATH) return nullptr;
  std::string path(dir, n);
  if (path.back() != '\\') path += '\\';
  path += name;
  return ::LoadLibraryA(path.c_str());
}

FARPROC Procedure(const char* library, const char* function) {
  HMODULE h = SystemLibrary(library);
  return h ? ::GetProcAddress(h, function) : nullptr;
}

}  // namespace

bool GetVersionInfo(VersionInfo& out) {
  OSVERSIONINFOEXA ex;
  ZeroMemory(&ex, sizeof ex);
  ex.dwOSVersionInfoSize = sizeof ex;
  bool extended = ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex)) != 0;
  if (!extended) {
    // Windows 95 and NT 4 before SP6 know only the plain form.
    ZeroMemory(&ex, sizeof ex);
    ex.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&ex))) return false;
  }
  out = VersionInfo();
  out.platformId = ex.dwPlatformId;
  out.major = ex.dwMajorVersion;
  out.minor = ex.dwMinorVersion;
  out.build = ex.dwBuildNumber;
  out.servicePack.assign(ex.szCSDVersion, strnlen(ex.szCSDVersion, sizeof ex.szCSDVersion));
  out.extended = extended;
  out.productType = extended ? ex.wProductType : 0;
  return true;
}

int GetServerR2Metric() { return ::GetSystemMetrics(SM_SERVERR2); }

bool ProcedureExists(const std::string& library, const std::string& function) {
  return Procedure(library.c_str(), function.c_str()) != nullptr;
}

bool CallGetNativeSystemInfo() {
  using Fn = void(WINAPI*)(LPSYSTEM_INFO);
  auto fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(Procedure("kernel32.dll", "GetNativeSystemInfo")));
  if (!fn) return false;
  SYSTEM_INFO si;
  ZeroMemory(&si, sizeof si);
  fn(&si);
  return true;
}

bool QueryIsWow64Process(bool& isWow64) {
  using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(Procedure("kernel32.dll", "IsWow64Process")));
  if (!fn) return false;
  BOOL wow = FALSE;
  if (!fn(::GetCurrentProcess(), &wow)) return false;
  isWow64 = wow != FALSE;
  return true;
}

bool GetFileVersion(const std::string& path, FileVersion& out) {
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return false;
  // Some files under-report the size of their version block; a generous
  // floor keeps the copy whole.
  std::vector<char> buf(std::max<DWORD>(size, 16384));
  if (!::GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(buf.size()), buf.data()))
    return false;
  void* fixed = nullptr;
  UINT len = 0;
  if (!::VerQueryValueA(buf.data(), "\\", &fixed, &len) || !fixed ||
      len < sizeof(VS_FIXEDFILEINFO))
    return false;
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
  out.ms = info->dwFileVersionMS;
  out.ls = info->dwFileVersionLS;
  return true;
}

}  // namespace os
