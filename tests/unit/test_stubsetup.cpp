// The setup run and the engine hand-off, with a real engine process: a small
// shell script packed as Engine.exe that records the command line it was
// given, whether the shortcuts existed while it ran, and exits with a chosen
// code. The host atom table lives in this process, so the engine's deletion
// of the completion atom is played by the message pump once the script ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host_fixture.h"
#include "autoupdate/descriptors.h"
#include "lang/langres.h"
#include "os/env.h"
#include "os/file.h"
#include "os/host/host_control.h"
#include "os/host/host_ui.h"
#include "os/window.h"
#include "package/checksum.h"
#include "package/gfileinfo.h"
#include "package_images.h"
#include "setup/stubsetup.h"
#include "setup/tempfolder.h"
#include "setup/unpack.h"
#include "stub/mainwin.h"
#include "stub/stubstate.h"
#include "sys/files.h"
#include "sys/kdebug.h"
#include "sys/utils.h"
#include "ui/kmsgbox.h"

namespace {

using kvtest::StoredRecord;

std::string Header(const std::string& name) { return "|" + name + "|0|"; }

std::string Package(const std::string& records, std::uint8_t flags = 0,
                    const std::string& settings = "|loc|App.info|AGENT|tok|0|",
                    bool web = false, std::uint32_t checksumDelta = 0) {
  kv::PackageTrailer t = kvtest::BasicTrailer();
  t.SetPackageFlags(flags);
  t.SetIsWebInstaller(web);
  const std::vector<std::string> headers{"", settings};
  std::string image = kvtest::BuildImage(kvtest::FakeStub(), headers, records, t, true).bytes;
  kv::MemorySource src(image);
  t.SetStoredChecksum(kv::ComputePackageChecksum(src, kv::kTrailerSize) + checksumDelta);
  return kvtest::BuildImage(kvtest::FakeStub(), headers, records, t, true).bytes;
}

// Records what the setup run asks of the main window.
class RecordingWindow : public kv::MainWindow {
 public:
  void Show() override { calls.push_back("Show"); }
  void Hide() override { calls.push_back("Hide"); }
  void SetStatusText(const std::string& text, const std::string& face, int charset,
                     int points) override {
    calls.push_back("Status:" + text + "|" + face + "|" + std::to_string(charset) + "|" +
                    std::to_string(points));
  }
  void ShowActivityBar() override { calls.push_back("ActivityBar"); }
  void StopTimer() override { calls.push_back("StopTimer"); }
  void PostQuit() override { calls.push_back("PostQuit"); }
  std::vector<std::string> calls;
};

class StubSetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os::host::ResetAll();
    os::host::ResetUi();
    kv::ResetUnpackState();
    kv::ResetMsgBoxState();
    kv::ResetLangState();
    kv::ResetTempFolderState();
    kv::ResetDescriptorState();
    kv::ResetSetupRunState();
    kv::ResetStubState();
    kv::filesState() = kv::FilesState();
    kv::ResetDebugState();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = std::string(::testing::TempDir()) + "kvsetup_" + info->name();
    std::system(("rm -rf '" + root_ + "'").c_str());
    std::system(("mkdir -p '" + root_ + "/C'").c_str());
    os::host::SetDriveRoot('C', root_ + "/C");
    os::host::SetFolders("C:\\Tmp\\", "C:\\Windows", "C:\\Windows\\system32");
    os::host::SetFreeBytes('C', std::int64_t{1} << 40);
    kv::ForceDirectories("C:\\Tmp");
    os::host::SetModulePath("C:\\Apps\\Setup.exe");
    os::host::SetCommandLine("C:\\Apps\\Setup.exe");
    kv::SetInfoFileName("App.info");
    kv::SetMainWindow(&window_);

    tag_ = "_" + std::to_string(os::CurrentThreadId());
    atomName_ = "AutoUpdateAtomTokenByKavrex" + tag_;
    report_ = root_ + "/report.txt";
    kv::unpackState().pause = [](std::int64_t) {
      kv::PumpMessages(0);
      os::SleepMs(2);
    };
    // Once the engine has written its report, it has done its work: it
    // deletes the atom when told to, and its dialog closes a little later.
    os::host::SetPumpHook([this] {
      if (!ReportWritten()) return;
      if (pumpsAfterEngine_++ == 0) {
        atomSeenByEngine_ = os::FindGlobalAtom(atomName_) != 0;
        if (engineDeletesAtom_) os::DeleteGlobalAtom(os::FindGlobalAtom(atomName_));
      }
      if (dialog_ && pumpsAfterEngine_ == 10) {
        os::host::RemoveWindow(dialog_);
        dialog_ = 0;
      }
    });
    kvtest::CollectDebugOutput(debug_);
  }
  void TearDown() override {
    kv::SetMainWindow(nullptr);
    kv::ResetDebugState();
    kv::ResetUnpackState();
    kv::ResetStubState();
    kv::ResetSetupRunState();
    kv::ResetDescriptorState();
    os::host::ResetAll();
    os::host::ResetUi();
    kv::ResetMsgBoxState();
    kv::ResetTempFolderState();
  }

  void Put(const std::string& winPath, const std::string& bytes) {
    const std::string p = os::host::MapPath(winPath);
    std::system(("mkdir -p '" + p.substr(0, p.rfind('/')) + "'").c_str());
    std::ofstream(p, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static std::string Slurp(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  bool ReportWritten() const { return std::ifstream(report_).good(); }

  // The engine: records its command line and whether the start-up shortcut
  // existed while it ran, then exits with the code.
  std::string EngineScript(int exitCode) const {
    return "link=no; [ -f '" + os::host::MapPath("C:\\Links\\start.lnk") + "' ] && link=yes\n" +
           "printf '%s' \"$link\" > '" + report_ + ".link'\n" + "printf '%s' \"$1\" > '" +
           report_ + ".tmp'\n" + "mv '" + report_ + ".tmp' '" + report_ + "'\n" + "exit " +
           std::to_string(exitCode) + "\n";
  }

  void Shortcuts(bool removeWanted) {
    Put("C:\\Links\\start.lnk", "link");
    Put("C:\\Links\\check.lnk", "link");
    kv::WriteIniString("C:\\Apps\\App.original", "UnInstall", "StartUpLink", "C:\\Links\\start.lnk");
    kv::WriteIniString("C:\\Apps\\App.original", "UnInstall", "CheckforNewUpdateLink",
                       "C:\\Links\\check.lnk");
    kv::WriteIniString("C:\\Apps\\App.info", "NewSetup", "RemoveStartUpShortcut",
                       removeWanted ? "1" : "0");
    kv::WriteIniString("C:\\Apps\\App.info", "NewSetup", "RemoveCheckForNewUpdateShortcut",
                       removeWanted ? "1" : "0");
  }

  RecordingWindow window_;
  std::string root_, tag_, atomName_, report_, debug_;
  bool engineDeletesAtom_ = true;
  bool atomSeenByEngine_ = false;
  int pumpsAfterEngine_ = 0;
  os::WindowHandle dialog_ = 0;
};

TEST(EngineCommandLine, Table) {
  struct Case {
    const char* entry;
    const char* extra;
    bool agent;
    const char* want;  // after the engine path
  };
  const char* stub = "C:\\Apps\\Setup.exe";
  const Case cases[] = {
      {"Engine.exe*", "", false, " /TH_ID=_1234 /OriginExe=\"C:\\Apps\\Setup.exe\""},
      {"Engine.exe*", "/x /y", false, " /x /y /TH_ID=_1234 /OriginExe=\"C:\\Apps\\Setup.exe\""},
      {"Engine.exe* /silent", "/x", false,
       " /x /silent /TH_ID=_1234 /OriginExe=\"C:\\Apps\\Setup.exe\""},
      {" Engine.exe *  /silent ", "  ", false,
       " /silent /TH_ID=_1234 /OriginExe=\"C:\\Apps\\Setup.exe\""},
      // A span-CD copy carries the first run's /OriginExe=.
      {"Engine.exe*", "/OriginExe=\"D:\\Setup.exe\"", false,
       " /OriginExe=\"D:\\Setup.exe\" /TH_ID=_1234"},
      {"Engine.exe*", "/SpanCdLvl=2 /SpanDiskFName1=\"C:\\Temp\\Y_Setup.exe\" /OriginExe=\"D:\\Setup.exe\"",
       false, " /OriginExe=\"D:\\Setup.exe\" /TH_ID=_1234"},
      // The switch runs to the next "/" (its blank goes too) or to the end;
      // the blank before it stays.
      {"Engine.exe*", "/a /SpanCdLvl=2", false,
       " /a /TH_ID=_1234 /OriginExe=\"C:\\Apps\\Setup.exe\""},
      {"Engine.exe*", "/OriginExe=x /SpanDiskFName1=D:\\a b", false, " /OriginExe=x /TH_ID=_1234"},
      {"Engine.exe*", "/OriginExe=x /SpanCdLvl=1", true, " /OriginExe=x /TH_ID=_1234 /AutoUpdateProg"},
      // Case matters for the removal.
      {"Engine.exe*", "/spancdlvl=2", false,
       " /spancdlvl=2 /TH_ID=_1234 /OriginExe=\"C:\\Apps\\Setup.exe\""},
      {"Engine.exe*", "", true,
       " /TH_ID=_1234 /OriginExe=\"C:\\Apps\\Setup.exe\" /AutoUpdateProg"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kv::BuildEngineCommandLine("C:\\Tmp\\SETUP_7", c.entry, c.extra, "_1234", stub, c.agent),
              std::string("C:\\Tmp\\SETUP_7\\Engine.exe") + c.want)
        << c.entry << " / " << c.extra;
  }
  EXPECT_EQ(kv::MainProgramName("Engine.exe* /silent"), "Engine.exe");
  EXPECT_EQ(kv::MainProgramName("|Engine.exe|12*|"), "|Engine.exe|12");
}

TEST_F(StubSetupTest, TheEngineRunsAndCompletionDecidesTheShortcuts) {
  struct Case {
    const char* what;
    bool deletesAtom;
    int exitCode;
    bool dialog;
  };
  const Case cases[] = {
      {"completed, dialog left open for a while", true, 3, true},
      {"not completed", false, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(report_.c_str());
    debug_.clear();
    window_.calls.clear();
    pumpsAfterEngine_ = 0;
    engineDeletesAtom_ = c.deletesAtom;
    dialog_ = c.dialog ? os::host::AddWindow(".SDialog_Class_Name." + tag_, nullptr) : 0;
    Put("C:\\Apps\\Setup.exe", Package(StoredRecord(Header("Setup.txt"), "script") +
                                       StoredRecord(Header("Engine.exe* /silent"),
                                                    EngineScript(c.exitCode))));
    Shortcuts(true);

    const std::string folder = c.deletesAtom ? "C:\\Tmp\\SETUP_1" : "C:\\Tmp\\SETUP_2";
    const bool completed = kv::RunSetup(folder, "C:\\Apps\\Setup.exe", "", "/x /y", true);
    EXPECT_EQ(completed, c.deletesAtom);
    EXPECT_EQ(kv::stubState().exitCode, static_cast<std::uint32_t>(c.exitCode));
    const std::string cmd = folder + "\\Engine.exe /x /y /silent /TH_ID=" + tag_ +
                            " /OriginExe=\"C:\\Apps\\Setup.exe\"";
    EXPECT_EQ(Slurp(report_), cmd);
    EXPECT_TRUE(atomSeenByEngine_);
    EXPECT_EQ(os::FindGlobalAtom(atomName_), 0);  // never left behind
    EXPECT_EQ(os::FindTopWindow(".SDialog_Class_Name." + tag_), 0u);
    if (c.dialog) {
      EXPECT_GE(pumpsAfterEngine_, 10);
    }
    // The shortcuts were there while the engine ran; they go only after a
    // completed installation.
    EXPECT_EQ(Slurp(report_ + ".link"), "yes");
    EXPECT_EQ(os::FileExists("C:\\Links\\start.lnk"), !c.deletesAtom);
    EXPECT_EQ(os::FileExists("C:\\Links\\check.lnk"), !c.deletesAtom);

    EXPECT_EQ(window_.calls,
              (std::vector<std::string>{"Status:Extracting Files...|Tahoma|0|8", "Show", "Hide"}));
    EXPECT_TRUE(os::host::ShownBoxes().empty());
    EXPECT_NE(debug_.find("========= ForegroundOp=TRUE ==========\n"), std::string::npos);
    EXPECT_NE(debug_.find(std::to_string(os::CurrentProcessId()) + " ==== WinExec(Engine.exe) >>" +
                          cmd + "<<\n"),
              std::string::npos)
        << debug_;
  }
}

TEST_F(StubSetupTest, ShortcutsStayWhenTheDescriptorDoesNotAskForRemoval) {
  Put("C:\\Apps\\Setup.exe", Package(StoredRecord(Header("Engine.exe*"), EngineScript(0))));
  Shortcuts(false);
  EXPECT_TRUE(kv::RunSetup("C:\\Tmp\\SETUP_1", "C:\\Apps\\Setup.exe", "", "", true));
  EXPECT_TRUE(os::FileExists("C:\\Links\\start.lnk"));
  EXPECT_TRUE(os::FileExists("C:\\Links\\check.lnk"));
}

TEST_F(StubSetupTest, HiddenRunShowsNothingAndAsksNothing) {
  // The notice would ask in a foreground run.
  Put("C:\\Apps\\Setup.exe", Package(StoredRecord(Header("Engine.exe*"), EngineScript(0)),
                                     kv::kFlagTempNotice | kv::kFlagShowActivityBar));
  kv::RunSetup("C:\\Tmp\\SETUP_1", "C:\\Apps\\Setup.exe", "", "", false);
  EXPECT_TRUE(ReportWritten());
  EXPECT_TRUE(os::host::ShownBoxes().empty());
  EXPECT_EQ(window_.calls, (std::vector<std::string>{
                               "ActivityBar", "Status:Extracting Files...|Tahoma|0|8", "Hide"}));
  EXPECT_NE(debug_.find("========= ForegroundOp=FALSE ==========\n"), std::string::npos);
}

TEST_F(StubSetupTest, NoToTheSpaceQuestionEndsTheRunQuietly) {
  Put("C:\\Apps\\Setup.exe",
      Package(StoredRecord(Header("Engine.exe*"), EngineScript(0)), kv::kFlagTempNotice));
  os::host::QueueBoxAnswer(kv::kMbResultNo);
  EXPECT_FALSE(kv::RunSetup("C:\\Tmp\\SETUP_1", "C:\\Apps\\Setup.exe", "", "", true));
  ASSERT_EQ(os::host::ShownBoxes().size(), 1u);  // the question, no error
  EXPECT_EQ(os::host::ShownBoxes()[0].caption, "Confirm");
  EXPECT_FALSE(os::FileExists("C:\\Tmp\\SETUP_1\\Engine.exe"));
  EXPECT_FALSE(ReportWritten());
}

TEST_F(StubSetupTest, BadPackagesShowTheCrcErrorAndStartNothing) {
  std::string zlibDamaged = kvtest::CompressedRecord(Header("data.bin"), std::string(4000, 'z'));
  zlibDamaged[4 + 12] ^= 0x5A;
  struct Case {
    const char* what;
    std::string package;
  };
  const std::string engine = StoredRecord(Header("Engine.exe*"), EngineScript(0));
  const Case cases[] = {
      {"checksum mismatch", Package(engine, 0, "|loc|App.info|AGENT|tok|0|", false, 1)},
      {"damaged record", Package(engine + zlibDamaged)},
      {"unsafe record name", Package(engine + StoredRecord(Header("..\\..\\evil.txt"), "x"))},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    os::host::ResetUi();
    kv::stubState().exitCode = 9;
    const std::string folder = "C:\\Tmp\\SETUP_" + std::to_string(++n);
    Put("C:\\Apps\\Setup.exe", c.package);
    EXPECT_FALSE(kv::RunSetup(folder, "C:\\Apps\\Setup.exe", "", "", true));
    EXPECT_FALSE(ReportWritten());
    EXPECT_EQ(kv::stubState().exitCode, 9u);  // no engine ran
    ASSERT_EQ(os::host::ShownBoxes().size(), 1u);
    EXPECT_EQ(os::host::ShownBoxes()[0].caption, "Error");
    EXPECT_NE(os::host::ShownBoxes()[0].markup.find(
                  "Bad CRC!<P>This indicates that your setup file might be corrupted..."),
              std::string::npos);
  }
  EXPECT_FALSE(os::FileExists("C:\\evil.txt"));
  EXPECT_FALSE(os::FileExists("C:\\Tmp\\evil.txt"));
}

TEST_F(StubSetupTest, AnEngineThatCannotStartGivesExitCodeZero) {
  kv::stubState().exitCode = 7;
  // The "*" in the stamp field makes the whole header the entry: its program
  // part names no extracted file.
  Put("C:\\Apps\\Setup.exe", Package(StoredRecord("|Engine.exe|1*|", EngineScript(5))));
  EXPECT_FALSE(kv::RunSetup("C:\\Tmp\\SETUP_1", "C:\\Apps\\Setup.exe", "", "", true));
  EXPECT_EQ(kv::stubState().exitCode, 0u);
  EXPECT_EQ(os::FindGlobalAtom(atomName_), 0);
  EXPECT_TRUE(os::host::ShownBoxes().empty());
}

TEST_F(StubSetupTest, TimerTickRunsTheSetupFromTheCommandLine) {
  struct Case {
    const char* what;
    const char* commandLine;
    const char* package;  // the file the engine comes from
    bool shown;
    const char* args;     // on the engine's command line after its path
  };
  const Case cases[] = {
      {"hidden, own arguments", "C:\\Apps\\Setup.exe /hide /a", "C:\\Apps\\Setup.exe", false,
       " /hide /a /TH_ID=%T /OriginExe=\"C:\\Apps\\Setup.exe\""},
      {"span-CD copy", "\"C:\\Apps\\Setup.exe\" /SpanCdLvl=2 /SpanDiskFName1=C:\\Span\\Setup.exe "
                       "/OriginExe=\"D:\\Setup.exe\"",
       "C:\\Span\\Setup.exe", true, " /OriginExe=\"D:\\Setup.exe\" /TH_ID=%T"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(report_.c_str());
    window_.calls.clear();
    kv::ResetTempFolderState();
    os::host::SetCommandLine(c.commandLine);
    // The running file carries no engine unless it is the package.
    Put("C:\\Apps\\Setup.exe", Package(""));
    Put(c.package, Package(StoredRecord(Header("Engine.exe*"), EngineScript(4))));

    kv::SetupTimerHandler(window_);
    const std::string folder = kv::tempFolderState().setupTempFolder;
    ASSERT_NE(folder.find("C:\\Tmp\\SETUP_"), std::string::npos);
    std::string want = folder + "\\Engine.exe" + c.args;
    want.replace(want.find("%T"), 2, tag_);
    EXPECT_EQ(Slurp(report_), want);
    EXPECT_EQ(kv::stubState().exitCode, 4u);
    EXPECT_FALSE(os::DirExists(folder));  // removed after the run
    ASSERT_FALSE(window_.calls.empty());
    EXPECT_EQ(window_.calls.front(), "StopTimer");
    EXPECT_EQ(window_.calls.back(), "PostQuit");
    EXPECT_EQ(std::count(window_.calls.begin(), window_.calls.end(), "Show"), c.shown ? 1 : 0);
  }
}

TEST_F(StubSetupTest, AWebInstallerTakesTheWebBranch) {
  Put("C:\\Apps\\Setup.exe",
      Package(StoredRecord(Header("Engine.exe*"), EngineScript(0)), 0, "|loc|App.info|AGENT|tok|0|",
              true));
  kv::SetupTimerHandler(window_);
  EXPECT_FALSE(ReportWritten());
  EXPECT_EQ(window_.calls, (std::vector<std::string>{"StopTimer", "PostQuit"}));
  EXPECT_NE(debug_.find("SetupTimerHandler: web installer package"), std::string::npos);

  int called = 0;
  kv::setupRunState().RunWebBranch = [&](kv::MainWindow& w) {
    ++called;
    EXPECT_EQ(&w, &window_);
  };
  kv::SetupTimerHandler(window_);
  EXPECT_EQ(called, 1);
}

}  // namespace
