#include "sys/win64.h"

#include <cstdio>

#include "os/version.h"
#include "package/ksub.h"
#include "sys/kdebug.h"
#include "sys/utils.h"

namespace kv {
namespace {

constexpr std::uint32_t kPlatformWin32s = 0;
constexpr std::uint32_t kPlatformWindows = 1;
constexpr std::uint32_t kPlatformNT = 2;

struct OSRow {
  const char* version;
  const char* name;
  std::int32_t code;
};

// NT family on any Windows.
constexpr OSRow kNTRows[] = {
    {"4.0", "NT", kOSNT},       {"5.0", "2000", kOS2000},   {"5.1", "XP", kOSXP},
    {"5.2", "2003", kOS2003},   {"6.0", "Vista", kOSVista}, {"6.1", "7", kOS7},
    {"6.2", "8", kOS8},         {"6.3", "8.1", kOS8_1},
};
// 64-bit Windows: replaces the row above for the same version. 5.2 on x64 is
// XP x64 (it shares its kernel with Server 2003).
constexpr OSRow k64Rows[] = {
    {"5.2", "XP.64", kOSXP64},    {"6.0", "Vista.64", kOSVista64}, {"6.1", "7.64", kOS7_64},
    {"6.2", "8.64", kOS8_64},     {"6.3", "8.1.64", kOS8_1_64},
};
// 64-bit server editions: replace again. A 5.2 server keeps "XP.64".
constexpr OSRow kServer64Rows[] = {
    {"6.0", "2008.64", kOS2008_64},   {"6.1", "2008R2.64", kOS2008R2_64},
    {"6.2", "2012.64", kOS2012_64},   {"6.3", "2012R2.64", kOS2012R2_64},
};

template <std::size_t N>
bool ApplyRow(const OSRow (&rows)[N], OSInfo& info) {
  for (const OSRow& r : rows) {
    if (info.version == r.version) {
      info.name = r.name;
      info.code = r.code;
      return true;
    }
  }
  return false;
}

bool ReadVersion(os::VersionInfo& v) { return os::GetVersionInfo(v); }

std::uint8_t Tri(bool b) { return b ? 1 : 0; }

bool HasNativeSystemInfo() {
  auto& s = win64State();
  if (s.hasNativeSystemInfo == 255)
    s.hasNativeSystemInfo = Tri(os::ProcedureExists("kernel32.dll", "GetNativeSystemInfo"));
  return s.hasNativeSystemInfo == 1;
}

bool HasIsWow64Process() {
  auto& s = win64State();
  if (s.hasIsWow64Process == 255)
    s.hasIsWow64Process = Tri(os::ProcedureExists("kernel32.dll", "IsWow64Process"));
  return s.hasIsWow64Process == 1;
}

}  // namespace

Win64State& win64State() {
  static Win64State s;
  return s;
}

void ResetWin64State() { win64State() = Win64State(); }

std::string VersionText(std::uint32_t major, std::uint32_t minor) {
  return std::to_string(major) + "." + std::to_string(minor);
}

OSInfo ClassifyOS(const OSVersionData& v) {
  OSInfo info;
  info.version = VersionText(v.major, v.minor);
  info.servicePack = Trim(v.servicePack);
  info.build = static_cast<std::int32_t>(v.build & 0xFFFF);
  switch (v.platformId) {
    case kPlatformWin32s:
      info.name = "32S";
      info.code = 0;
      break;
    case kPlatformWindows:
      // Build 3000 of a 4.10 is Windows ME.
      if (info.version == "4.10" && info.build == 3000) info.version = "4.90";
      if (info.version == "4.0") {
        info.name = "95";
        info.code = kOS95;
      } else if (info.version == "4.10") {
        info.name = "98";
        info.code = kOS98;
      } else if (info.version == "4.90") {
        info.name = "ME";
        info.code = kOSME;
      } else {
        info.name = "9x";
        info.code = kOS95;
      }
      break;
    case kPlatformNT:
      if (!ApplyRow(kNTRows, info)) {
        info.name = "NTx";
        info.code = kOSNT;
      }
      if (v.is64) ApplyRow(k64Rows, info);
      if (v.isServer) {
        if (v.is64) {
          ApplyRow(kServer64Rows, info);
        } else if (info.version == "6.0") {
          info.name = "2008";
          info.code = kOS2008;
        }
      }
      break;
    default:
      break;  // unknown platform: no name, code 0
  }
  return info;
}

bool IsWin8OrLaterVersion(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor) {
  if (platformId != kPlatformNT) return false;
  return StrToFloatAny(VersionText(major, minor), 0) >= 6.2;
}

bool IsServerFrom(int serverR2Metric, bool extendedRead, std::uint8_t productType) {
  if (serverR2Metric != 0) return true;
  if (!extendedRead) return false;
  return productType == 2 || productType == 3;  // domain controller, server
}

std::string FormatVersion(const std::string& version, int minDigits, int parts) {
  std::string text;
  for (char c : version) {
    if (c == ',') c = '.';
    if ((c >= '0' && c <= '9') || c == '.') text += c;
  }
  text = "." + text + ".";
  std::string out;
  for (int i = 0; i < parts; ++i) {
    std::int64_t n = StrToInt64Def(SUB::GetField(text, i, ""), 0);
    out += ZeroPad(std::to_string(n), minDigits) + ".";
  }
  std::size_t b = out.find_first_not_of('.');
  if (b == std::string::npos) return "";
  std::size_t e = out.find_last_not_of('.');
  return out.substr(b, e - b + 1);
}

bool IsWinNT() {
  os::VersionInfo v;
  return ReadVersion(v) && v.platformId == kPlatformNT;
}

bool IsWinXP() {
  auto& s = win64State();
  if (s.isWinXP == 255) {
    os::VersionInfo v;
    s.isWinXP = Tri(ReadVersion(v) && v.platformId == kPlatformNT &&
                    VersionText(v.major, v.minor) == "5.1");
  }
  return s.isWinXP == 1;
}

bool IsWin8OrLater() {
  os::VersionInfo v;
  return ReadVersion(v) && IsWin8OrLaterVersion(v.platformId, v.major, v.minor);
}

bool HasWow64FsRedirection() {
  auto& s = win64State();
  if (s.hasFsRedirection == 255)
    s.hasFsRedirection =
        Tri(os::ProcedureExists("kernel32.dll", "Wow64DisableWow64FsRedirection") &&
            os::ProcedureExists("kernel32.dll", "Wow64RevertWow64FsRedirection"));
  return s.hasFsRedirection == 1;
}

bool Is64BitWindows() {
  auto& s = win64State();
  if (s.is64BitWindows == 255) {
    bool wow64 = false;
    bool result = HasNativeSystemInfo() && os::CallGetNativeSystemInfo() &&
                  HasIsWow64Process() && os::QueryIsWow64Process(wow64) && wow64 &&
                  HasWow64FsRedirection() &&
                  os::ProcedureExists("kernel32.dll", "GetSystemWow64DirectoryA") &&
                  os::ProcedureExists("advapi32.dll", "RegDeleteKeyExA");
    s.is64BitWindows = Tri(result);
  }
  return s.is64BitWindows == 1;
}

bool IsServerOS() {
  int r2 = os::GetServerR2Metric();
  if (r2 != 0) return true;
  os::VersionInfo v;
  bool read = ReadVersion(v);
  return IsServerFrom(0, read && v.extended, v.productType);
}

OSInfo GetOSInfo() {
  os::VersionInfo v;
  if (!ReadVersion(v)) {
    // Nothing known: no platform matches, so no name and code 0.
    OSVersionData unknown;
    unknown.platformId = 0xFFFFFFFFu;
    return ClassifyOS(unknown);
  }
  OSVersionData d;
  d.platformId = v.platformId;
  d.major = v.major;
  d.minor = v.minor;
  d.build = v.build;
  d.servicePack = v.servicePack;
  if (v.platformId == kPlatformNT) {
    d.is64 = Is64BitWindows();
    d.isServer = IsServerOS();
  }
  return ClassifyOS(d);
}

std::int32_t GetOSCode() { return GetOSInfo().code; }

std::string GetExeVersion(const std::string& path, int minDigits, int parts) {
  std::string file = path.empty() ? GetExePath() : path;
  os::FileVersion fv;
  if (!os::GetFileVersion(file, fv)) {
    LogException("No version information in \"" + file + "\"", "Utils.GetExeVersion()", "");
    return "";
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", unsigned(fv.ms >> 16), unsigned(fv.ms & 0xFFFF),
                unsigned(fv.ls >> 16), unsigned(fv.ls & 0xFFFF));
  std::string result = buf;
  if (minDigits > 1 || parts < 4) result = FormatVersion(result, minDigits, parts);
  return result;
}

}  // namespace kv
