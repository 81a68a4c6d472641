// Controls of the host stand-in for the Windows version facts. The defaults
// describe what Wine reports by default: a 32-bit Windows 7 SP1 workstation.
#pragma once
#include <cstdint>
#include <string>

#include "os/version.h"

namespace os::host {

// The version data GetVersionInfo returns; readable = false makes it fail.
void SetVersionInfo(const VersionInfo& info, bool readable = true);
void SetServerR2Metric(int value);

// Function presence per library (names compared ignoring ASCII case). By
// default every function exists, as on Windows 7: a 32-bit Windows 7 has the
// WOW64 functions too, and only IsWow64Process's answer tells it apart.
void SetProcedureExists(const std::string& library, const std::string& function, bool exists);
// GetNativeSystemInfo's call succeeds (default true).
void SetNativeSystemInfoCallable(bool callable);
// IsWow64Process: succeeds (default true) and answers wow64 (default false).
void SetWow64Process(bool succeeds, bool wow64);

// Fixed file version of a file (the Windows path as the caller passes it,
// compared ignoring ASCII case). Files not set have no version information.
void SetFileVersion(const std::string& path, std::uint32_t ms, std::uint32_t ls);

// How many times each query reached the stand-in (caching is observable).
struct VersionQueryCounts {
  int versionInfo = 0;
  int procedureLookups = 0;
  int nativeSystemInfoCalls = 0;
  int wow64Calls = 0;
};
const VersionQueryCounts& VersionCounts();

// Back to the defaults, counters cleared.
void ResetVersionFakes();

}  // namespace os::host
