// Run-mode dispatch and the portable side of the main window: the class-name
// rule, the role predicates and the row each kind of start takes, the span-CD
// relaunch (with a real copy started), the child layout for mirrored
// character sets, the private messages and the two-step close.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "autoupdate/descriptors.h"
#include "os/window.h"
#include "net/inethttp.h"
#include "os/file.h"
#include "os/host/host_control.h"
#include "package/gfileinfo.h"
#include "package_images.h"
#include "setup/tempfolder.h"
#include "stub/dispatch.h"
#include "stub/mainwin.h"
#include "stub/stubstate.h"
#include "stub/stubwin.h"
#include "sys/files.h"
#include "sys/kdebug.h"
#include "sys/utils.h"

namespace {

std::string Settings(const std::string& agent) { return "|loc|App.info|" + agent + "|tok|0|"; }

// A package file: a fake stub, the header strings, no records, the trailer.
std::string Package(std::uint8_t flags, bool agentPackage, const std::string& agentName) {
  kv::PackageTrailer t = kvtest::BasicTrailer();
  t.SetPackageFlags(flags);
  t.SetAutoUpdateProg(agentPackage);
  return kvtest::BuildImage(kvtest::FakeStub(), {"", Settings(agentName)}, "", t, false).bytes;
}

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os::host::ResetAll();
    kv::ResetStubState();
    kv::ResetDispatchState();
    kv::ResetTempFolderState();
    kv::ResetAgentVars();
    kv::ResetMainLoopState();
    kv::ResetDescriptorState();
    kv::ResetDebugState();
    kv::SetDownloadAbort(false);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = std::string(::testing::TempDir()) + "kvdispatch_" + info->name();
    std::system(("rm -rf '" + root_ + "' && mkdir -p '" + root_ + "/C/Apps' '" + root_ +
                 "/C/Tmp'").c_str());
    os::host::SetDriveRoot('C', root_ + "/C");
    os::host::SetFolders("C:\\Tmp\\", "C:\\Windows", "C:\\Windows\\system32");
    kv::dispatchState().WinMain = [this] { calls_.push_back("WinMain"); };
    kv::dispatchState().DeleteMySelf = [this](bool removeFolder, bool shortNames) {
      calls_.push_back(std::string("DeleteMySelf(") + kv::BoolToText(removeFolder) + "," +
                       kv::BoolToText(shortNames) + ")");
    };
  }
  void TearDown() override {
    kv::SetMainWindow(nullptr);
    kv::ReleaseStartupState();
    kv::ResetStubState();
    kv::ResetDispatchState();
    kv::ResetTempFolderState();
    kv::ResetDescriptorState();
    kv::ResetDebugState();
    kv::SetDownloadAbort(false);
    os::host::ResetAll();
  }

  void Put(const std::string& winPath, const std::string& bytes) {
    std::ofstream(os::host::MapPath(winPath), std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static std::string Slurp(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  // Starts the file as the running program with the arguments.
  void Start(const std::string& exePath, const std::string& args) {
    os::host::SetModulePath(exePath);
    os::host::SetCommandLine("\"" + exePath + "\"" + (args.empty() ? "" : " " + args));
    kv::LoadStartupState(exePath);
  }

  std::string root_;
  std::vector<std::string> calls_;
};

TEST(MainWindowClassName, PathForSetupsAgentNameForAgents) {
  EXPECT_EQ(kv::MainWindowClassFor(false, "C:\\Downloads\\Setup.exe"), "C:\\Downloads\\Setup.exe");
  EXPECT_EQ(kv::MainWindowClassFor(true, "C:\\App\\X_Editor.exe"), ".AutoUpdate.X_Editor");
  EXPECT_EQ(kv::MainWindowClassFor(true, "C:\\App\\Editor.tar.exe"), ".AutoUpdate.Editor.tar");
  // Two copies of one setup under different paths get different classes.
  EXPECT_NE(kv::MainWindowClassFor(false, "C:\\A\\Setup.exe"),
            kv::MainWindowClassFor(false, "C:\\B\\Setup.exe"));
  // A class name longer than the system takes keeps the path's tail.
  const std::string deep = "C:\\" + std::string(300, 'd') + "\\Setup.exe";
  const std::string cls = kv::MainWindowClassFor(false, deep);
  EXPECT_EQ(cls.size(), kv::kMaxClassNameLength);
  EXPECT_EQ(cls, deep.substr(deep.size() - kv::kMaxClassNameLength));
}

TEST_F(DispatchTest, EachKindOfStartTakesItsRow) {
  struct Case {
    const char* name;      // the running file's name
    std::uint8_t flags;
    bool agentPackage;
    const char* args;
    kv::DispatchRow row;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"Setup.exe", 0, false, "", kv::DispatchRow::Setup, {"WinMain"}},
      {"Setup.exe", 0, false, "/x /y", kv::DispatchRow::Setup, {"WinMain"}},
      // The span copy: level 2 is read whatever the package says.
      {"Setup.exe", 0, false, "/SpanCdLvl=2", kv::DispatchRow::Setup,
       {"WinMain", "DeleteMySelf(TRUE,FALSE)"}},
      {"Y_Setup.exe", kv::kFlagSpannedCd, false, "/SpanCdLvl=2", kv::DispatchRow::Setup,
       {"WinMain", "DeleteMySelf(TRUE,FALSE)"}},
      {"Setup.exe", kv::kFlagSpannedCd, false, "/SpanCdLvl=3", kv::DispatchRow::Setup,
       {"WinMain"}},
      // An agent package under the agent's name, any letter case.
      {"Editor.exe", 0, true, "", kv::DispatchRow::CreateAgentCopy, {}},
      {"editor.EXE", 0, true, "", kv::DispatchRow::CreateAgentCopy, {}},
      {"X_Editor.exe", 0, true, "", kv::DispatchRow::AgentCopy,
       {"WinMain", "DeleteMySelf(FALSE,FALSE)"}},
      // An agent package under another name runs the window like a setup.
      {"Other.exe", 0, true, "", kv::DispatchRow::Setup, {"WinMain"}},
      // The agent rows come first, also for a spanned package.
      {"Editor.exe", kv::kFlagSpannedCd, true, "", kv::DispatchRow::CreateAgentCopy, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.args);
    calls_.clear();
    kv::ResetStubState();
    const std::string exe = std::string("C:\\Apps\\") + c.name;
    Put(exe, Package(c.flags, c.agentPackage, "Editor.exe"));
    Start(exe, c.args);
    EXPECT_EQ(kv::DoRunStubWin(), c.row);
    EXPECT_EQ(calls_, c.calls);
    EXPECT_EQ(kv::stubState().mainWindowClassName,
              c.agentPackage ? ".AutoUpdate." + kv::ExtractBaseName(exe, false) : exe);
    kv::ReleaseStartupState();
  }
}

TEST_F(DispatchTest, PredicatesOfTheAgentRoles) {
  Put("C:\\Apps\\X_Editor.exe", Package(0, true, " Editor.exe "));
  Start("C:\\Apps\\X_Editor.exe", "");
  EXPECT_TRUE(kv::ThisIs_X_AutoUpdate_Exe());
  EXPECT_FALSE(kv::ThisIs_Plain_AutoUpdate_Exe());
  EXPECT_FALSE(kv::X_ExeIsRunning());
  const os::WindowHandle copy = os::host::AddWindow(".AutoUpdate.X_Editor", nullptr);
  EXPECT_TRUE(kv::X_ExeIsRunning());
  os::host::RemoveWindow(copy);

  // The same names in a setup package mean nothing.
  kv::ReleaseStartupState();
  Put("C:\\Apps\\Editor.exe", Package(0, false, "Editor.exe"));
  Start("C:\\Apps\\Editor.exe", "");
  EXPECT_FALSE(kv::ThisIs_Plain_AutoUpdate_Exe());
  EXPECT_FALSE(kv::ThisIs_X_AutoUpdate_Exe());
}

TEST_F(DispatchTest, SecondStartOfTheSameFileDoesNothing) {
  Put("C:\\Apps\\Setup.exe", Package(0, false, ""));
  Start("C:\\Apps\\Setup.exe", "");
  os::host::AddWindow("C:\\Apps\\Setup.exe", nullptr);
  EXPECT_EQ(kv::DoRunStubWin(), kv::DispatchRow::SecondStart);
  EXPECT_TRUE(calls_.empty());

  // The same file under another path is another setup.
  kv::ReleaseStartupState();
  Put("C:\\Tmp\\Setup.exe", Package(0, false, ""));
  Start("C:\\Tmp\\Setup.exe", "");
  EXPECT_EQ(kv::DoRunStubWin(), kv::DispatchRow::Setup);
  EXPECT_EQ(calls_, std::vector<std::string>{"WinMain"});
}

TEST_F(DispatchTest, FileWithoutPackageRunsThePlainSetupRow) {
  Put("C:\\Apps\\Setup.exe", kvtest::FakeStub());
  Start("C:\\Apps\\Setup.exe", "/SpanCdLvl=1");
  EXPECT_FALSE(kv::IsSpanCdFirstRun());
  EXPECT_EQ(kv::DoRunStubWin(), kv::DispatchRow::Setup);
}

TEST(SpanSwitches, RemovedWithTheirValues) {
  struct Case {
    const char* in;
    const char* want;
  };
  const Case cases[] = {
      {"", ""},
      {"/SpanCdLvl=1", ""},
      {"/x /SpanCdLvl=1 /y", "/x /y"},
      {"/spancdlvl=1 /SPANDISKFNAME1=\"C:\\My Files\\s.exe.001\" /OriginExe=\"C:\\a b\\s.exe\"",
       "/OriginExe=\"C:\\a b\\s.exe\""},
      // An unquoted value runs to the next switch, as the lookup reads it.
      {"/SpanDiskFName1=C:\\My Files\\s.exe.001 /x", "/x"},
      // A quoted value may hold " /".
      {"/SpanDiskFName1=\"C:\\a /b\\s.exe.001\" /y", "/y"},
      {"/a /SpanCdLvl=1 /SpanCdLvl=2 /b", "/a /b"},
      // Not these switches: a switch starts after a blank, and the name ends with "=".
      {"/x/SpanCdLvl=1", "/x/SpanCdLvl=1"},
      {"/SpanCdLvlX=1 /SpanDiskFName12=a", "/SpanCdLvlX=1 /SpanDiskFName12=a"},
  };
  for (const Case& c : cases) EXPECT_EQ(kv::RemoveSpanSwitches(c.in), c.want) << c.in;

  EXPECT_EQ(kv::SpanCopyArguments("/a /SpanCdLvl=1", "D:\\setup.exe"),
            "/a /SpanCdLvl=2 /SpanDiskFName1=\"D:\\setup.exe.001\" /OriginExe=\"D:\\setup.exe\"");
  EXPECT_EQ(kv::SpanCopyArguments("", "D:\\setup.exe"),
            "/SpanCdLvl=2 /SpanDiskFName1=\"D:\\setup.exe.001\" /OriginExe=\"D:\\setup.exe\"");
  EXPECT_EQ(kv::SpanCopyPath("C:\\Tmp\\SETUP_1", "D:\\setup.exe"), "C:\\Tmp\\SETUP_1\\Y_setup.exe");
}

// The first run from the CD copies itself and starts the copy; the copy must
// read level 2, or it would relaunch itself again and again.
TEST_F(DispatchTest, SpanFirstRunStartsItsCopyAtLevelTwo) {
  // The started command line is read back from the debug output.
  std::string debug;
  const std::uint32_t viewerMsg = os::RegisterMessage(kv::kDebugViewerMessage);
  os::host::AddWindow(kv::kDebugViewerClass,
                      [&debug, viewerMsg](std::uint32_t m, std::uintptr_t, std::intptr_t l) {
                        if (m == viewerMsg) debug += os::GlobalAtomName(static_cast<os::Atom>(l));
                        return std::intptr_t{0};
                      });

  const char* const argLists[] = {"", "/SpanCdLvl=1 /q",
                                  "/spancdlvl=1 /SpanDiskFName1=\"D:\\x y\\old.001\""};
  for (const char* args : argLists) {
    SCOPED_TRACE(args);
    calls_.clear();
    debug.clear();
    kv::ResetDebugState();
    kv::BindDebugOutput(0);
    kv::ResetStubState();
    kv::ResetTempFolderState();
    Put("C:\\Apps\\setup.exe", Package(kv::kFlagSpannedCd, false, ""));
    Start("C:\\Apps\\setup.exe", args);
    ASSERT_TRUE(kv::IsSpanCdFirstRun());
    EXPECT_EQ(kv::DoRunStubWin(), kv::DispatchRow::SpanRelaunch);
    EXPECT_TRUE(calls_.empty()) << "no window, no self-deletion";
    kv::CloseDebugOutput();

    const std::string copy = kv::GetSetupTempFolder() + "\\Y_setup.exe";
    EXPECT_EQ(Slurp(os::host::MapPath(copy)), Slurp(os::host::MapPath("C:\\Apps\\setup.exe")));
    const std::string::size_type from = debug.find(">>"), to = debug.find("<<");
    ASSERT_TRUE(from != std::string::npos && to != std::string::npos) << debug;
    EXPECT_NE(debug.find("started=TRUE"), std::string::npos) << debug;
    const std::string line = debug.substr(from + 2, to - from - 2);
    EXPECT_EQ(line.find("\"" + copy + "\" "), 0u) << line;

    // The copy, started with that line, takes the plain setup row at level 2.
    os::host::SetModulePath(copy);
    os::host::SetCommandLine(line);
    EXPECT_EQ(kv::GetSwitchInt("/SpanCdLvl=", 1), 2) << line;
    EXPECT_EQ(kv::GetSwitchValue("/SpanDiskFName1=", ""), "C:\\Apps\\setup.exe.001");
    EXPECT_EQ(kv::GetSwitchValue("/OriginExe=", ""), "C:\\Apps\\setup.exe");
    EXPECT_FALSE(kv::IsSpanCdFirstRun());
    EXPECT_TRUE(kv::IsSpanCdSecondRun());
    std::size_t levels = 0;
    const std::string upper = kv::UpperAscii(line);
    for (std::size_t at = 0; (at = upper.find("/SPANCDLVL=", at)) != std::string::npos; ++at)
      ++levels;
    EXPECT_EQ(levels, 1u) << line;
    kv::ReleaseStartupState();
  }
}

TEST(MainWindowLayout, MirroredForHebrewAndArabic) {
  using R = kv::PixelRect;
  for (int charset : {0, 1, 161, 176, 179, 204}) {
    const kv::MainWindowLayout l = kv::MainWindowChildLayout(charset);
    EXPECT_EQ(l.status, (R{70, 20, 340, 18})) << charset;
    EXPECT_EQ(l.mainBar, (R{70, 38, 392, 13})) << charset;
    EXPECT_EQ(l.activityBar, (R{416, 20, 46, 13})) << charset;
    EXPECT_EQ(kv::StatusLineStyleFor(charset).exStyle, 0u);
    EXPECT_EQ(kv::StatusLineStyleFor(charset).style, 0x50000000u);
  }
  for (int charset : {177, 178}) {
    const kv::MainWindowLayout l = kv::MainWindowChildLayout(charset);
    EXPECT_EQ(l.status, (R{122, 20, 340, 18})) << charset;
    EXPECT_EQ(l.mainBar, (R{70, 38, 392, 13})) << charset;
    EXPECT_EQ(l.activityBar, (R{70, 20, 46, 13})) << charset;
    // Right-aligned (SS_RIGHT), read right to left (WS_EX_RTLREADING).
    EXPECT_EQ(kv::StatusLineStyleFor(charset).exStyle, 0x2000u);
    EXPECT_EQ(kv::StatusLineStyleFor(charset).style, 0x50000002u);
  }
}

TEST_F(DispatchTest, AgentMessagesToAPlainSetup) {
  os::host::SetModulePath("C:\\Apps\\Setup.exe");
  kv::SetInfoFileName("Tool.Update.info");
  EXPECT_EQ(kv::RunAgentCommand(kv::kCmdVersionOriginal, 0), 0) << "no descriptor: 0";
  kv::WriteIniString("C:\\Apps\\Tool.original", "OriginalSetup", "VersionOriginal", "20731");
  EXPECT_EQ(kv::RunAgentCommand(kv::kCmdVersionOriginal, 0), 20731);
  // What only the agent knows is not answered by a setup.
  kv::WriteIniString("C:\\Apps\\Tool.original", "OriginalSetup", "ProbeSecondsInterval", "77");
  for (std::uint32_t cmd : {0u, 5u, 7u, 8u, 12u, 30u, 31u, 999u})
    EXPECT_EQ(kv::RunAgentCommand(cmd, 5), 0) << cmd;
  EXPECT_EQ(kv::ReadProbeSecondsInterval(), 77) << "command 12 wrote nothing";
}

TEST_F(DispatchTest, LocalMessageRegistersTheClientAndShutDownKeepsTheCountdown) {
  std::vector<std::string> got;
  const os::WindowHandle client = os::host::AddWindow(
      "Client", [&got](std::uint32_t m, std::uintptr_t w, std::intptr_t l) {
        got.push_back(std::to_string(m) + ":" + std::to_string(w) + ":" + std::to_string(l));
        return std::intptr_t{0};
      });
  // Nothing is posted before a client is known.
  kv::NotifyClient(43, 0);
  EXPECT_TRUE(got.empty());

  kv::OnLocalMessage(4242, client, 2001);
  EXPECT_EQ(kv::agentVars().ClientWindow, client);
  EXPECT_EQ(kv::agentVars().ClientMessage, 2001u);
  EXPECT_EQ(got, (std::vector<std::string>{"2001:50:4242", "2001:51:1125"}));

  kv::NotifyClient(kv::kNotifyLoopEnded, 0);
  EXPECT_EQ(got.back(), "2001:43:0");

  EXPECT_EQ(kv::agentVars().ShutDownCountdown, -1);
  kv::OnShutDownMessage(2);
  EXPECT_EQ(kv::agentVars().ShutDownCountdown, 2);
}

TEST_F(DispatchTest, SleepSwitchDelaysTheFirstTick) {
  struct Case {
    const char* args;
    std::int64_t want;
  };
  const Case cases[] = {{"", -3}, {"/SleepX=0", 0}, {"/SleepX=5", -5}, {"/SleepX=-2", -3},
                        {"/SleepX=abc", -3}};
  for (const Case& c : cases) {
    kv::ResetAgentVars();
    os::host::SetModulePath("C:\\Apps\\X_Editor.exe");
    os::host::SetCommandLine(std::string("C:\\Apps\\X_Editor.exe ") + c.args);
    kv::ApplySleepSwitch();
    EXPECT_EQ(kv::agentVars().AutoUpdateTimerCount, c.want) << c.args;
  }
}

class QuitRecorder : public kv::MainWindow {
 public:
  void PostQuit() override { ++quits; }
  int quits = 0;
};

TEST_F(DispatchTest, CloseTwiceToCloseAndDestroyEndsTheLoop) {
  // The first request only stops a running download.
  EXPECT_FALSE(kv::CloseMainWindow());
  EXPECT_TRUE(kv::IsDownloadAborted());
  EXPECT_TRUE(kv::CloseMainWindow());

  QuitRecorder window;
  kv::SetMainWindow(&window);
  os::host::SetModulePath("C:\\Apps\\Setup.exe");
  const std::string folder = kv::GetSetupTempFolder();
  Put(folder + "\\left.txt", "x");
  kv::SetDownloadAbort(false);
  kv::DestroyMainWindow();
  EXPECT_TRUE(kv::IsDownloadAborted());
  EXPECT_FALSE(os::DirExists(folder));
  EXPECT_EQ(window.quits, 1);
  EXPECT_TRUE(kv::mainLoopState().quit);
}

}  // namespace
