// Windows identification: the classification tables on given version data,
// the family tests and their caches through the host stand-in, and the file
// version formatting.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "os/host/host_control.h"
#include "os/host/version_control.h"
#include "sys/kdebug.h"
#include "sys/win64.h"

namespace {

using kv::OSVersionData;

OSVersionData Data(std::uint32_t platform, std::uint32_t major, std::uint32_t minor,
                   std::uint32_t build = 0, bool is64 = false, bool server = false) {
  OSVersionData d;
  d.platformId = platform;
  d.major = major;
  d.minor = minor;
  d.build = build;
  d.is64 = is64;
  d.isServer = server;
  return d;
}

TEST(ClassifyOS, EveryRowOfTheTables) {
  struct Case {
    OSVersionData data;
    const char* version;
    const char* name;
    std::int32_t code;
  };
  const Case cases[] = {
      {Data(0, 3, 11), "3.11", "32S", 0},
      // Windows 95/98/ME; the build keeps only its low 16 bits.
      {Data(1, 4, 0, 950), "4.0", "95", 1},
      {Data(1, 4, 10, 2222), "4.10", "98", 2},
      {Data(1, 4, 10, 3000), "4.90", "ME", 4},                      // 4.10 build 3000 is ME
      {Data(1, 4, 10, (4u << 24) | (10u << 16) | 3000), "4.90", "ME", 4},
      {Data(1, 4, 90, 3000), "4.90", "ME", 4},
      {Data(1, 4, 5, 1), "4.5", "9x", 1},
      // NT family, 32-bit workstation.
      {Data(2, 4, 0), "4.0", "NT", 8},
      {Data(2, 5, 0), "5.0", "2000", 16},
      {Data(2, 5, 1), "5.1", "XP", 32},
      {Data(2, 5, 2), "5.2", "2003", 64},
      {Data(2, 6, 0), "6.0", "Vista", 128},
      {Data(2, 6, 1), "6.1", "7", 1024},
      {Data(2, 6, 2), "6.2", "8", 32768},
      {Data(2, 6, 3), "6.3", "8.1", 262144},  // also Windows 10 and 11
      {Data(2, 10, 0), "10.0", "NTx", 8},
      {Data(2, 6, 4), "6.4", "NTx", 8},
      // 64-bit workstation.
      {Data(2, 5, 1, 0, true), "5.1", "XP", 32},  // no 64-bit row: stays
      {Data(2, 5, 2, 0, true), "5.2", "XP.64", 256},
      {Data(2, 6, 0, 0, true), "6.0", "Vista.64", 512},
      {Data(2, 6, 1, 0, true), "6.1", "7.64", 2048},
      {Data(2, 6, 2, 0, true), "6.2", "8.64", 65536},
      {Data(2, 6, 3, 0, true), "6.3", "8.1.64", 524288},
      // 64-bit server.
      {Data(2, 5, 2, 0, true, true), "5.2", "XP.64", 256},  // keeps XP.64
      {Data(2, 6, 0, 0, true, true), "6.0", "2008.64", 8192},
      {Data(2, 6, 1, 0, true, true), "6.1", "2008R2.64", 16384},
      {Data(2, 6, 2, 0, true, true), "6.2", "2012.64", 131072},
      {Data(2, 6, 3, 0, true, true), "6.3", "2012R2.64", 1048576},
      {Data(2, 10, 0, 0, true, true), "10.0", "NTx", 8},
      // 32-bit server: only 6.0 changes.
      {Data(2, 6, 0, 0, false, true), "6.0", "2008", 4096},
      {Data(2, 5, 2, 0, false, true), "5.2", "2003", 64},
      {Data(2, 6, 1, 0, false, true), "6.1", "7", 1024},
      // An unknown platform has no name.
      {Data(3, 6, 1), "6.1", "", 0},
  };
  for (const Case& c : cases) {
    kv::OSInfo info = kv::ClassifyOS(c.data);
    SCOPED_TRACE(std::string("platform ") + std::to_string(c.data.platformId) + " " +
                 std::to_string(c.data.major) + "." + std::to_string(c.data.minor) +
                 (c.data.is64 ? " 64" : "") + (c.data.isServer ? " server" : ""));
    EXPECT_EQ(info.version, c.version);
    EXPECT_EQ(info.name, c.name);
    EXPECT_EQ(info.code, c.code);
  }
}

TEST(ClassifyOS, BuildAndServicePack) {
  OSVersionData d = Data(2, 5, 1, 0x0A280A28);
  d.servicePack = "  Service Pack 3\t";
  kv::OSInfo info = kv::ClassifyOS(d);
  EXPECT_EQ(info.build, 0x0A28);
  EXPECT_EQ(info.servicePack, "Service Pack 3");
}

TEST(OSRules, Win8OrLaterAndServer) {
  EXPECT_FALSE(kv::IsWin8OrLaterVersion(2, 6, 1));
  EXPECT_TRUE(kv::IsWin8OrLaterVersion(2, 6, 2));
  EXPECT_TRUE(kv::IsWin8OrLaterVersion(2, 6, 3));
  EXPECT_TRUE(kv::IsWin8OrLaterVersion(2, 10, 0));
  EXPECT_FALSE(kv::IsWin8OrLaterVersion(1, 6, 2));  // not NT

  EXPECT_TRUE(kv::IsServerFrom(1, false, 0));   // Server 2003 R2 metric
  EXPECT_TRUE(kv::IsServerFrom(0, true, 2));    // domain controller
  EXPECT_TRUE(kv::IsServerFrom(0, true, 3));    // server
  EXPECT_FALSE(kv::IsServerFrom(0, true, 1));   // workstation
  EXPECT_FALSE(kv::IsServerFrom(0, false, 3));  // extended data not read
}

TEST(FormatVersion, PaddingPartsAndClutter) {
  struct Case {
    const char* in;
    int digits, parts;
    const char* want;
  };
  const Case cases[] = {
      {"1.2.3.4", 3, 2, "001.002"},
      {"1.2.3.4", 1, 4, "1.2.3.4"},
      {"1,2,3,4", 2, 3, "01.02.03"},   // commas count as dots
      {"1.2", 2, 4, "01.02.00.00"},    // missing parts read 0
      {"v1.x2.3 beta", 1, 3, "1.2.3"}, // everything but digits and dots goes
      {"12345.6", 3, 2, "12345.006"},  // padding never cuts
      {"1..3", 1, 3, "1.0.3"},
      {"", 2, 2, "00.00"},
      {"1.2.3.4", 1, 0, ""},
      {"99999999999999999999.1", 1, 2, "0.1"},  // not a number: 0
  };
  for (const Case& c : cases)
    EXPECT_EQ(kv::FormatVersion(c.in, c.digits, c.parts), c.want) << c.in;
}

class Win64Host : public ::testing::Test {
 protected:
  void SetUp() override {
    os::host::ResetAll();
    os::host::ResetVersionFakes();
    kv::ResetWin64State();
  }
  void TearDown() override {
    os::host::ResetVersionFakes();
    kv::ResetWin64State();
  }
  static void SetVersion(std::uint32_t platform, std::uint32_t major, std::uint32_t minor,
                         std::uint8_t productType = 1) {
    os::VersionInfo v;
    v.platformId = platform;
    v.major = major;
    v.minor = minor;
    v.build = 1234;
    v.extended = true;
    v.productType = productType;
    os::host::SetVersionInfo(v);
  }
};

TEST_F(Win64Host, FamilyTestsAndXPCache) {
  SetVersion(2, 5, 1);
  EXPECT_TRUE(kv::IsWinNT());
  EXPECT_TRUE(kv::IsWinXP());
  EXPECT_FALSE(kv::IsWin8OrLater());
  SetVersion(2, 6, 2);
  EXPECT_TRUE(kv::IsWin8OrLater());  // not cached
  EXPECT_TRUE(kv::IsWinXP());        // cached for the life of the process
  kv::ResetWin64State();
  EXPECT_FALSE(kv::IsWinXP());

  SetVersion(1, 5, 1);  // 5.1 outside the NT family is no XP
  kv::ResetWin64State();
  EXPECT_FALSE(kv::IsWinNT());
  EXPECT_FALSE(kv::IsWinXP());

  os::host::SetVersionInfo(os::VersionInfo(), false);  // the system refuses
  kv::ResetWin64State();
  EXPECT_FALSE(kv::IsWinNT());
  EXPECT_FALSE(kv::IsWinXP());
  EXPECT_EQ(kv::GetOSInfo().code, 0);
  EXPECT_EQ(kv::GetOSInfo().name, "");
}

TEST_F(Win64Host, Is64BitNeedsAllFourSteps) {
  struct Case {
    const char* library;
    const char* function;  // made missing; nullptr = all present
    bool wow64;
    bool wow64Succeeds;
    bool nativeCallable;
    bool want;
  };
  const Case cases[] = {
      {nullptr, nullptr, true, true, true, true},
      {nullptr, nullptr, false, true, true, false},  // a 32-bit Windows
      {nullptr, nullptr, true, false, true, false},  // IsWow64Process fails
      {nullptr, nullptr, true, true, false, false},  // GetNativeSystemInfo fails
      {"kernel32.dll", "GetNativeSystemInfo", true, true, true, false},
      {"kernel32.dll", "IsWow64Process", true, true, true, false},
      {"kernel32.dll", "Wow64DisableWow64FsRedirection", true, true, true, false},
      {"kernel32.dll", "Wow64RevertWow64FsRedirection", true, true, true, false},
      {"kernel32.dll", "GetSystemWow64DirectoryA", true, true, true, false},
      {"advapi32.dll", "RegDeleteKeyExA", true, true, true, false},
  };
  for (const Case& c : cases) {
    os::host::ResetVersionFakes();
    kv::ResetWin64State();
    if (c.function) os::host::SetProcedureExists(c.library, c.function, false);
    os::host::SetWow64Process(c.wow64Succeeds, c.wow64);
    os::host::SetNativeSystemInfoCallable(c.nativeCallable);
    EXPECT_EQ(kv::Is64BitWindows(), c.want)
        << (c.function ? c.function : "") << " wow64=" << c.wow64;
  }
}

TEST_F(Win64Host, Is64BitIsComputedOnce) {
  os::host::SetWow64Process(true, true);
  EXPECT_TRUE(kv::Is64BitWindows());
  const int lookups = os::host::VersionCounts().procedureLookups;
  const int calls = os::host::VersionCounts().wow64Calls;
  os::host::SetWow64Process(true, false);
  EXPECT_TRUE(kv::Is64BitWindows());
  EXPECT_EQ(os::host::VersionCounts().procedureLookups, lookups);
  EXPECT_EQ(os::host::VersionCounts().wow64Calls, calls);
}

TEST_F(Win64Host, ServerTest) {
  SetVersion(2, 6, 1, 1);
  EXPECT_FALSE(kv::IsServerOS());
  os::host::SetServerR2Metric(1);
  EXPECT_TRUE(kv::IsServerOS());
  os::host::SetServerR2Metric(0);
  SetVersion(2, 6, 1, 3);
  EXPECT_TRUE(kv::IsServerOS());
  os::VersionInfo plain;  // only the plain form: no product type
  plain.platformId = 2;
  plain.major = 4;
  os::host::SetVersionInfo(plain);
  EXPECT_FALSE(kv::IsServerOS());
}

TEST_F(Win64Host, GetOSInfoCombinesTheFacts) {
  // Windows 11 x64 server as this program sees it.
  SetVersion(2, 6, 3, 3);
  os::host::SetWow64Process(true, true);
  EXPECT_EQ(kv::GetOSInfo().name, "2012R2.64");
  EXPECT_EQ(kv::GetOSCode(), 1048576);

  kv::ResetWin64State();
  SetVersion(2, 6, 3, 1);
  EXPECT_EQ(kv::GetOSInfo().name, "8.1.64");

  kv::ResetWin64State();
  os::host::SetWow64Process(true, false);
  EXPECT_EQ(kv::GetOSInfo().name, "8.1");
  EXPECT_EQ(kv::GetOSCode(), 262144);

  // The default stand-in is what Wine reports: 32-bit Windows 7 SP1.
  os::host::ResetVersionFakes();
  kv::ResetWin64State();
  kv::OSInfo info = kv::GetOSInfo();
  EXPECT_EQ(info.version, "6.1");
  EXPECT_EQ(info.name, "7");
  EXPECT_EQ(info.servicePack, "Service Pack 1");
  EXPECT_EQ(info.build, 7601);
}

TEST_F(Win64Host, Win9xNeedsNoWow64Probe) {
  os::VersionInfo v;
  v.platformId = 1;
  v.major = 4;
  v.minor = 10;
  v.build = 3000;
  os::host::SetVersionInfo(v);
  EXPECT_EQ(kv::GetOSInfo().name, "ME");
  EXPECT_EQ(os::host::VersionCounts().procedureLookups, 0);
}

TEST_F(Win64Host, ExeVersion) {
  os::host::SetFileVersion("C:\\App\\Tool.exe", (1u << 16) | 2, (3u << 16) | 4);
  EXPECT_EQ(kv::GetExeVersion("C:\\App\\Tool.exe"), "1.2.3.4");
  EXPECT_EQ(kv::GetExeVersion("c:\\app\\TOOL.exe", 3, 2), "001.002");
  EXPECT_EQ(kv::GetExeVersion("C:\\App\\Tool.exe", 2, 4), "01.02.03.04");

  os::host::SetFileVersion("C:\\App\\Big.exe", 0xFFFFFFFFu, 0);
  EXPECT_EQ(kv::GetExeVersion("C:\\App\\Big.exe"), "65535.65535.0.0");

  // An empty path names the running executable.
  os::host::SetModulePath("C:\\Setup\\stub.exe");
  os::host::SetFileVersion("C:\\Setup\\stub.exe", (5u << 16) | 0, (7u << 16) | 11);
  EXPECT_EQ(kv::GetExeVersion(), "5.0.7.11");

  EXPECT_EQ(kv::GetExeVersion("C:\\App\\NoVersion.dll", 3, 2), "");
}

TEST_F(Win64Host, ExeVersionFailureWritesOneExceptionLine) {
  // Debug output to its file, on a C: of this test's own.
  char tmpl[] = "/tmp/kvwin64XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string root = tmpl;
  std::filesystem::create_directories(root + "/ProgramData");
  os::host::SetDriveRoot('C', root);
  kv::ResetDebugState();
  kv::BindDebugOutput(1);
  EXPECT_EQ(kv::GetExeVersion("C:\\App\\NoVersion.dll"), "");
  kv::CloseDebugOutput();
  kv::ResetDebugState();
  std::ifstream in(root + "/ProgramData/_kdebug.txt", std::ios::binary);
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(log, " --- Utils.GetExeVersion()() --- No version information in "
                 "\"C:\\App\\NoVersion.dll\"\r\n");
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
}

}  // namespace
