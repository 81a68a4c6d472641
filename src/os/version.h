// The Windows version as the system reports it to this 32-bit process, the
// presence of a few system functions, and the fixed version data of a file.
#pragma once
#include <cstdint>
#include <string>

namespace os {

// What GetVersionExA reports. The manifest declares compatibility up to
// Windows 8.1, so later Windows versions report 6.3 here.
struct VersionInfo {
  std::uint32_t platformId = 0;   // 0 Win32s, 1 Windows 95/98/ME, 2 NT family
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;        // as reported (95/98/ME keep the version in the high word)
  std::string servicePack;        // untrimmed, as reported
  bool extended = false;          // the extended form was available (product type valid)
  std::uint8_t productType = 0;   // 1 workstation, 2 domain controller, 3 server
};

// False when the system refuses both the extended and the plain query.
bool GetVersionInfo(VersionInfo& out);

// GetSystemMetrics(SM_SERVERR2): non-zero on Windows Server 2003 R2.
int GetServerR2Metric();

// Whether the library (a system DLL, loaded from the system folder and kept
// loaded) exports the function. Only looks it up; never calls it.
bool ProcedureExists(const std::string& library, const std::string& function);

// Calls GetNativeSystemInfo from kernel32; false when it is missing or the
// call does not return normally.
bool CallGetNativeSystemInfo();

// IsWow64Process for the current process; false when the function is missing
// or fails, otherwise true with the answer in isWow64.
bool QueryIsWow64Process(bool& isWow64);

// The file version of the fixed file information in a file's version
// resource (VS_FIXEDFILEINFO dwFileVersionMS / LS). False when the file has
// no readable version information.
struct FileVersion {
  std::uint32_t ms = 0;
  std::uint32_t ls = 0;
};
bool GetFileVersion(const std::string& path, FileVersion& out);

}  // namespace os
