// Host stand-in for the Windows version facts: settable values with the
// defaults of a 32-bit Windows 7 SP1 workstation (what Wine reports).
#include "os/version.h"

#include <map>
#include <utility>

#include "os/host/host_state.h"
#include "os/host/version_control.h"

namespace os {
namespace host {
namespace {

VersionInfo DefaultVersion() {
  VersionInfo v;
  v.platformId = 2;
  v.major = 6;
  v.minor = 1;
  v.build = 7601;
  v.servicePack = "Service Pack 1";
  v.extended = true;
  v.productType = 1;
  return v;
}

struct VersionFakes {
  VersionInfo info = DefaultVersion();
  bool readable = true;
  int serverR2 = 0;
  std::map<std::pair<std::string, std::string>, bool> procedures;  // upper-cased names
  bool nativeCallable = true;
  bool wow64Succeeds = true;
  bool wow64 = false;
  std::map<std::string, FileVersion> files;  // upper-cased paths
  VersionQueryCounts counts;
};

VersionFakes& fakes() {
  static VersionFakes f;
  return f;
}

}  // namespace

void SetVersionInfo(const VersionInfo& info, bool readable) {
  fakes().info = info;
  fakes().readable = readable;
}
void SetServerR2Metric(int value) { fakes().serverR2 = value; }
void SetProcedureExists(const std::string& library, const std::string& function, bool exists) {
  fakes().procedures[{Upper(library), Upper(function)}] = exists;
}
void SetNativeSystemInfoCallable(bool callable) { fakes().nativeCallable = callable; }
void SetWow64Process(bool succeeds, bool wow64) {
  fakes().wow64Succeeds = succeeds;
  fakes().wow64 = wow64;
}
void SetFileVersion(const std::string& path, std::uint32_t ms, std::uint32_t ls) {
  fakes().files[Upper(path)] = FileVersion{ms, ls};
}
const VersionQueryCounts& VersionCounts() { return fakes().counts; }
void ResetVersionFakes() { fakes() = VersionFakes(); }

}  // namespace host

bool GetVersionInfo(VersionInfo& out) {
  auto& f = host::fakes();
  ++f.counts.versionInfo;
  if (!f.readable) return false;
  out = f.info;
  return true;
}

int GetServerR2Metric() { return host::fakes().serverR2; }

bool ProcedureExists(const std::string& library, const std::string& function) {
  auto& f = host::fakes();
  ++f.counts.procedureLookups;
  auto it = f.procedures.find({host::Upper(library), host::Upper(function)});
  return it == f.procedures.end() ? true : it->second;
}

bool CallGetNativeSystemInfo() {
  auto& f = host::fakes();
  ++f.counts.nativeSystemInfoCalls;
  return ProcedureExists("kernel32.dll", "GetNativeSystemInfo") && f.nativeCallable;
}

bool QueryIsWow64Process(bool& isWow64) {
  auto& f = host::fakes();
  ++f.counts.wow64Calls;
  if (!ProcedureExists("kernel32.dll", "IsWow64Process") || !f.wow64Succeeds) return false;
  isWow64 = f.wow64;
  return true;
}

bool GetFileVersion(const std::string& path, FileVersion& out) {
  auto& f = host::fakes();
  auto it = f.files.find(host::Upper(path));
  if (it == f.files.end()) return false;
  out = it->second;
  return true;
}

}  // namespace os
