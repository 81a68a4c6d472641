// Which Windows is running: the family tests the process strategies and the
// registry view depend on, a classification into a name and a numeric code,
// and the file version of an executable.
//
// Every answer is derived from the version data the system reports to this
// 32-bit process (later Windows versions report themselves as 8.1, 6.3). The
// classification itself is a pure function of that data, so it can be
// checked for every Windows version on any machine.
#pragma once
#include <cstdint>
#include <string>

namespace kv {

// The facts the classification needs.
struct OSVersionData {
  std::uint32_t platformId = 0;  // 0 Win32s, 1 Windows 95/98/ME, 2 NT family
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;       // as reported; only the low 16 bits count
  std::string servicePack;       // as reported
  bool is64 = false;             // 64-bit Windows (Is64BitWindows)
  bool isServer = false;         // server edition (IsServerOS)
};

struct OSInfo {
  std::string version;      // "major.minor", e.g. "5.1"
  std::string name;         // "XP", "7.64", "2012R2.64", ...; empty when unknown
  std::string servicePack;  // trimmed
  std::int32_t build = 0;   // low 16 bits of the build number
  std::int32_t code = 0;    // one bit per version; 0 for Win32s
};

// Codes of the classification (one bit per Windows version).
enum OSCode : std::int32_t {
  kOS95 = 1, kOS98 = 2, kOSME = 4, kOSNT = 8, kOS2000 = 16, kOSXP = 32, kOS2003 = 64,
  kOSVista = 128, kOSXP64 = 256, kOSVista64 = 512, kOS7 = 1024, kOS7_64 = 2048,
  kOS2008 = 4096, kOS2008_64 = 8192, kOS2008R2_64 = 16384, kOS8 = 32768, kOS8_64 = 65536,
  kOS2012_64 = 131072, kOS8_1 = 262144, kOS8_1_64 = 524288, kOS2012R2_64 = 1048576,
};

// ---- pure rules
std::string VersionText(std::uint32_t major, std::uint32_t minor);
OSInfo ClassifyOS(const OSVersionData& v);
bool IsWin8OrLaterVersion(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor);
// SM_SERVERR2 metric, whether the extended version data was read, its product type.
bool IsServerFrom(int serverR2Metric, bool extendedRead, std::uint8_t productType);
// Reformats a version text: minDigits per part (zero-padded), the first
// `parts` parts; "1.2.3.4" with 3 and 2 gives "001.002".
std::string FormatVersion(const std::string& version, int minDigits, int parts);

// ---- the running Windows
bool IsWinNT();
bool IsWinXP();           // cached
bool IsWin8OrLater();
bool Is64BitWindows();    // cached
bool IsServerOS();
OSInfo GetOSInfo();
std::int32_t GetOSCode();
// Whether Wow64DisableWow64FsRedirection and Wow64RevertWow64FsRedirection
// both exist (cached).
bool HasWow64FsRedirection();

// The four-part file version of an executable (empty path = the running
// one), reformatted when minDigits > 1 or parts < 4. Empty, with one
// exception line in the debug output, when the file has no version data.
std::string GetExeVersion(const std::string& path = "", int minDigits = 1, int parts = 4);

// Process-wide cached facts, tri-state bytes (255 = not yet known).
struct Win64State {
  std::uint8_t isWinXP = 255;
  std::uint8_t is64BitWindows = 255;
  std::uint8_t hasNativeSystemInfo = 255;  // GetNativeSystemInfo entry point
  std::uint8_t hasIsWow64Process = 255;    // IsWow64Process entry point
  std::uint8_t hasFsRedirection = 255;     // both WOW64 redirection functions
};
Win64State& win64State();
void ResetWin64State();

}  // namespace kv
