// The web installer's branch over the scripted Internet stand-in: where the
// package comes from, the question, the token check, the error boxes, the
// clean-up of a download, and the agent copy.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "lang/langres.h"
#include "net/inethttp.h"
#include "os/env.h"
#include "os/file.h"
#include "os/host/host_control.h"
#include "os/host/host_inet.h"
#include "os/host/host_ui.h"
#include "os/system.h"
#include "package/checksum.h"
#include "package/gfileinfo.h"
#include "package_images.h"
#include "setup/stubsetup.h"
#include "setup/tempfolder.h"
#include "setup/websetup.h"
#include "stub/mainwin.h"
#include "stub/stubstate.h"
#include "sys/files.h"
#include "sys/kdebug.h"
#include "sys/utils.h"
#include "ui/kmsgbox.h"

namespace {

using os::host::FakeHttpAnswer;

const char* const kExe = "C:\\Apps\\WebSetup.exe";
const char* const kUrlFolder = "http://files.example/setup";
const char* const kPackageUrl = "http://files.example/setup/Real.exe";
const char* const kDownloaded = "C:\\Tmp\\Real.exe";

struct WebOptions {
  std::string token = "T0k3n";
  std::string size = "5242880";
  bool ask = false;
  bool noLocal = false;
  bool hide = false;
  bool dropAgent = false;
  std::string agent = "Agent.exe";
  std::string fileName = "Real.exe";
};

// The web installer: no records, the web settings list.
std::string WebInstaller(const WebOptions& o, const std::string& appended = "") {
  kv::PackageTrailer t = kvtest::BasicTrailer(3);
  t.SetIsWebInstaller(true);
  t.SetAskBeforeDownload(o.ask);
  t.SetDropAgentCopy(o.dropAgent);
  const std::vector<std::string> headers{
      "", "|loc|App.info|" + o.agent + "||" + (o.hide ? "1" : "0") + "|",
      std::string("|") + kUrlFolder + "|" + o.fileName + "|" + (o.noLocal ? "1" : "0") + "|" +
          kv::ScrambleToken(o.token, 7) + "|" + o.size + "|"};
  return kvtest::BuildImage(kvtest::FakeStub(), headers, "", t, true, appended).bytes;
}

// The real package; without a token it has no web settings list at all.
std::string RealPackage(const std::string& token) {
  std::vector<std::string> headers{"", "|||||0|"};
  if (!token.empty()) headers.push_back("||||" + kv::ScrambleToken(token, 11) + "||");
  kv::PackageTrailer t = kvtest::BasicTrailer(static_cast<std::uint8_t>(headers.size()));
  return kvtest::BuildImage(kvtest::FakeStub(), headers, "", t, true).bytes;
}

class RecordingWindow : public kv::MainWindow {
 public:
  void Show() override { calls.push_back("Show"); }
  void Hide() override { calls.push_back("Hide"); }
  void SetStatusText(const std::string& text, const std::string&, int, int) override {
    calls.push_back("Status:" + text);
  }
  std::vector<std::string> calls;
};

struct SetupCall {
  std::string destination, package, agent, args;
  bool foreground = false;
  std::string packageBytes;  // the package as RunSetup found it
};

class WebSetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os::host::ResetAll();
    kv::ResetMsgBoxState();
    kv::ResetLangState();
    kv::ResetTempFolderState();
    kv::ResetSetupRunState();
    kv::ResetStubState();
    kv::ResetWebSetupState();
    kv::ResetDebugState();
    kv::SetDownloadAbort(false);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = std::string(::testing::TempDir()) + "kvweb_" + info->name();
    std::system(("rm -rf '" + root_ + "'").c_str());
    std::system(("mkdir -p '" + root_ + "/C/Tmp' '" + root_ + "/C/Apps'").c_str());
    os::host::SetDriveRoot('C', root_ + "/C");
    os::host::SetFolders("C:\\Tmp\\", "C:\\Windows", "C:\\Windows\\system32");
    os::host::SetModulePath(kExe);
    os::host::SetCommandLine(std::string(kExe) + " /x /y");
    kv::SetMainWindow(&window_);
    kv::webSetupState().pause = [](std::int64_t) {};
    kv::webSetupState().runSetup = [this](const std::string& destination,
                                          const std::string& package, const std::string& agent,
                                          const std::string& args, bool foreground) {
      setups_.push_back({destination, package, agent, args, foreground, Read(package)});
      return true;
    };
  }
  void TearDown() override {
    kv::SetMainWindow(nullptr);
    kv::ResetWebSetupState();
    kv::ResetStubState();
    kv::ResetTempFolderState();
    kv::ResetLangState();
    kv::SetDownloadAbort(false);
    os::host::ResetAll();
  }

  void Put(const std::string& winPath, const std::string& bytes) {
    std::ofstream(os::host::MapPath(winPath), std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static std::string Read(const std::string& winPath) {
    std::ifstream in(os::host::MapPath(winPath), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::vector<std::string> TempFiles() {
    std::vector<std::string> names;
    for (const os::DirEntry& e : os::ListDir("C:\\Tmp\\*"))
      if (!e.isDir) names.push_back(e.name);
    return names;
  }
  void Serve(const std::string& body) {
    FakeHttpAnswer a;
    a.body = body;
    os::host::SetHttpAnswer(kPackageUrl, a);
  }
  bool Downloaded() {
    for (const auto& o : os::host::InetCallsOf("InternetOpenA"))
      if (o.agent == kv::kAgentDownload) return true;
    return false;
  }
  const std::vector<os::BoxRequest>& Boxes() { return os::host::ShownBoxes(); }

  RecordingWindow window_;
  std::vector<SetupCall> setups_;
  std::string root_;
};

TEST_F(WebSetupTest, DownloadsChecksTheTokenRunsAndDeletesThePackage) {
  Put(kExe, WebInstaller(WebOptions()));
  const std::string real = RealPackage("T0k3n");
  Serve(real);
  kv::WebSetupBranch(window_);

  ASSERT_EQ(setups_.size(), 1u);
  EXPECT_EQ(setups_[0].destination, kv::GetSetupTempFolder());
  EXPECT_EQ(setups_[0].package, kDownloaded);
  EXPECT_EQ(setups_[0].agent, "");
  EXPECT_EQ(setups_[0].args, "/x /y");
  EXPECT_TRUE(setups_[0].foreground);
  EXPECT_EQ(setups_[0].packageBytes, real);
  EXPECT_EQ(os::host::InetCallsOf("InternetOpenUrlA").back().url, kPackageUrl);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(window_.calls, (std::vector<std::string>{"Status:Downloading File...", "Show"}));
  EXPECT_TRUE(TempFiles().empty());  // the download is gone, no part file left
}

TEST_F(WebSetupTest, APackageBesideTheInstallerIsTakenWithoutQuestionUnlessNoLocalPackage) {
  const std::string real = RealPackage("T0k3n");
  Put("C:\\Apps\\Real.exe", real);
  Serve(real);
  for (bool noLocal : {false, true}) {
    SCOPED_TRACE(noLocal ? "NoLocalPackage" : "local package");
    setups_.clear();
    os::host::ResetUi();
    os::host::ClearInetCalls();
    window_.calls.clear();
    WebOptions o;
    o.ask = true;
    o.noLocal = noLocal;
    Put(kExe, WebInstaller(o));
    os::host::QueueBoxAnswer(kv::kMbResultYes);
    kv::WebSetupBranch(window_);

    ASSERT_EQ(setups_.size(), 1u);
    EXPECT_EQ(setups_[0].package, noLocal ? kDownloaded : "C:\\Apps\\Real.exe");
    EXPECT_EQ(Downloaded(), noLocal);
    EXPECT_EQ(Boxes().size(), noLocal ? 1u : 0u);  // the question only before a download
    EXPECT_EQ(window_.calls.empty(), !noLocal);
    EXPECT_EQ(Read("C:\\Apps\\Real.exe"), real);  // a local package is never deleted
    EXPECT_FALSE(os::FileExists(kDownloaded));
  }
}

TEST_F(WebSetupTest, TheQuestionShowsTheSizeAndNoEndsQuietly) {
  WebOptions o;
  o.ask = true;
  Put(kExe, WebInstaller(o));
  Serve(RealPackage("T0k3n"));
  os::host::QueueBoxAnswer(kv::kMbResultNo);
  kv::WebSetupBranch(window_);

  ASSERT_EQ(Boxes().size(), 1u);  // the question, no error box after it
  EXPECT_EQ(Boxes()[0].caption, "Confirm");
  EXPECT_NE(Boxes()[0].markup.find("Continue with Setup?<p><P>Size: 5.00 MB<P>"),
            std::string::npos)
      << Boxes()[0].markup;
  EXPECT_FALSE(Downloaded());
  EXPECT_TRUE(setups_.empty());
  // The connection test runs even after a No.
  EXPECT_EQ(os::host::InetCallsOf("InternetGetConnectedState").size(), 1u);
  EXPECT_TRUE(TempFiles().empty());

  // A size that is no number shows as 0.
  o.size = "big";
  Put(kExe, WebInstaller(o));
  EXPECT_NE(kv::DownloadQuestionText(kv::TGFileInfo(kExe)).find("Size: 0.000 MB"),
            std::string::npos);
}

TEST_F(WebSetupTest, NoConnectionIsShownEvenAfterANo) {
  WebOptions o;
  o.ask = true;
  Put(kExe, WebInstaller(o));
  os::host::SetInetConnected(false, 1232);
  os::host::QueueBoxAnswer(kv::kMbResultNo);
  kv::WebSetupBranch(window_);
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[1].caption, "Error");
  EXPECT_NE(Boxes()[1].markup.find("No valid Internet Connection.<p>Can not Download File!<P><P>" +
                                   kv::SystemErrorText(1232)),
            std::string::npos)
      << Boxes()[1].markup;
  EXPECT_FALSE(Downloaded());
  EXPECT_TRUE(setups_.empty());
}

TEST_F(WebSetupTest, AHiddenRunAsksNothingAndShowsNoWindow) {
  WebOptions o;
  o.ask = true;
  o.hide = true;
  Put(kExe, WebInstaller(o));
  Serve(RealPackage("T0k3n"));
  kv::WebSetupBranch(window_);
  EXPECT_TRUE(Boxes().empty());
  ASSERT_EQ(setups_.size(), 1u);
  EXPECT_FALSE(setups_[0].foreground);
  EXPECT_EQ(window_.calls, std::vector<std::string>{"Status:Downloading File..."});

  // "/hide" does the same for a package without HideFlag.
  setups_.clear();
  window_.calls.clear();
  kv::ResetStubState();
  os::host::SetCommandLine(std::string(kExe) + " /hide");
  o.hide = false;
  Put(kExe, WebInstaller(o));
  kv::WebSetupBranch(window_);
  EXPECT_TRUE(Boxes().empty());
  ASSERT_EQ(setups_.size(), 1u);
  EXPECT_FALSE(setups_[0].foreground);
  EXPECT_EQ(setups_[0].args, "/hide");
}

TEST_F(WebSetupTest, AFailedTokenCheckShowsItsTextAndDeletesTheDownload) {
  struct Case {
    const char* what;
    std::string body;
    std::string text;
  };
  const std::string notFound = std::string("<B>404 File Not Found...</B><P><P>URL:  ") +
                               kPackageUrl +
                               ".<P><P>Please make sure the file is available and access is "
                               "allowed to this file.";
  const Case cases[] = {
      {"another token", RealPackage("other"), "Bad Secret Token!"},
      {"no web settings list", RealPackage(""), "Bad Secret Token!"},
      {"an HTML page", "<html><head><title>404 Not Found</title></head><body></body></html>",
       notFound},
  };
  Put(kExe, WebInstaller(WebOptions()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    os::host::ResetUi();
    Serve(c.body);
    kv::WebSetupBranch(window_);
    EXPECT_TRUE(setups_.empty());
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].caption, "Error");
    EXPECT_NE(Boxes()[0].markup.find(c.text), std::string::npos) << Boxes()[0].markup;
    EXPECT_TRUE(TempFiles().empty());
  }
}

TEST_F(WebSetupTest, ADownloadErrorIsShownAndLeavesNothingBehind) {
  Put(kExe, WebInstaller(WebOptions()));
  FakeHttpAnswer a;
  a.contentLength = 100000;
  a.body = RealPackage("T0k3n");
  os::host::SetHttpAnswer(kPackageUrl, a);
  kv::WebSetupBranch(window_);
  EXPECT_TRUE(setups_.empty());
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].markup.find("Real.exe --- Error downloading file (size mismatch)"),
            std::string::npos);
  EXPECT_TRUE(TempFiles().empty());

  // Aborted during the last chunk: complete, but the user wanted out.
  os::host::ResetUi();
  a.contentLength.reset();
  const std::int64_t size = static_cast<std::int64_t>(a.body.size());
  a.maxBytesPerRead = 256;
  a.beforeRead = [size](std::int64_t delivered) {
    if (delivered + 256 >= size) kv::SetDownloadAbort(true);
  };
  os::host::SetHttpAnswer(kPackageUrl, a);
  kv::WebSetupBranch(window_);
  EXPECT_TRUE(setups_.empty());
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].markup.find("Download Aborted!"), std::string::npos);
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(WebSetupTest, AnUnsafePackageNameIsRefusedBeforeDownloading) {
  WebOptions o;
  o.fileName = "..\\Evil.exe";
  Put(kExe, WebInstaller(o));
  kv::WebSetupBranch(window_);
  EXPECT_FALSE(Downloaded());
  EXPECT_TRUE(setups_.empty());
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_FALSE(os::FileExists("C:\\Evil.exe"));
}

TEST(WebSetupTokens, SamePackageToken) {
  const kv::TGFileInfo a = kv::TGFileInfo::FromImage(RealPackage("abc"));
  const kv::TGFileInfo same = kv::TGFileInfo::FromImage(RealPackage("abc"));
  const kv::TGFileInfo other = kv::TGFileInfo::FromImage(RealPackage("abd"));
  const kv::TGFileInfo none = kv::TGFileInfo::FromImage(RealPackage(""));
  EXPECT_TRUE(kv::SamePackageToken(a, same));
  EXPECT_FALSE(kv::SamePackageToken(a, other));
  EXPECT_FALSE(kv::SamePackageToken(a, none));
  EXPECT_FALSE(kv::SamePackageToken(none, none));  // two invalid tokens never match
}

TEST(WebSetupAgentCopy, ASignatureShorterThan10000BytesIsCut) {
  const std::string base = WebInstaller(WebOptions());
  const std::size_t self = base.size();
  struct Case {
    std::size_t appended;
    std::size_t length;
  };
  const Case cases[] = {{0, self}, {1, self}, {9999, self}, {10000, self + 10000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.appended);
    const std::string copy = kv::AgentCopyImage(base + std::string(c.appended, 'S'));
    ASSERT_EQ(copy.size(), c.length);
    EXPECT_EQ(copy[copy.size() - 5], 1);
    if (c.length == self) {
      // The trailer's AutoUpdateProg byte, all else unchanged.
      EXPECT_TRUE(kv::TGFileInfo::FromImage(copy).AutoUpdateProg());
      EXPECT_EQ(copy.substr(0, self - 5), base.substr(0, self - 5));
      EXPECT_EQ(copy.substr(self - 4), base.substr(self - 4));
    }
  }
  // Without SelfLength nothing says where the build ended.
  std::string plain(600, 'x');
  EXPECT_EQ(kv::AgentCopyImage(plain).size(), 600u);
  EXPECT_EQ(kv::AgentCopyImage("abcde"), "abcde");
}

TEST_F(WebSetupTest, TheAgentCopyIsDroppedIntoTheSetupFolder) {
  WebOptions o;
  o.dropAgent = true;
  o.agent = "Agent.exe";
  const std::string image = WebInstaller(o, std::string(9999, 'S'));
  Put(kExe, image);
  const std::uint32_t oldStamp = (30u << 25) | (6u << 21) | (15u << 16) | (10u << 11);  // 2010
  ASSERT_TRUE(os::SetDosDateTime(kExe, oldStamp));
  Serve(RealPackage("T0k3n"));
  kv::WebSetupBranch(window_);
  const std::string agentPath = kv::GetSetupTempFolder() + "\\Agent.exe";
  const std::string copy = Read(agentPath);
  ASSERT_EQ(copy.size(), image.size() - 9999);
  EXPECT_TRUE(kv::TGFileInfo::FromImage(copy).AutoUpdateProg());
  std::uint32_t exeStamp = 0, copyStamp = 0;
  ASSERT_TRUE(os::GetFileDosDateTime(kExe, exeStamp));
  ASSERT_TRUE(os::GetFileDosDateTime(agentPath, copyStamp));
  EXPECT_EQ(exeStamp, oldStamp);
  EXPECT_EQ(copyStamp, exeStamp);
  ASSERT_EQ(setups_.size(), 1u);
  EXPECT_EQ(setups_[0].agent, "");  // the downloaded package writes no agent of its own

  // A name that leaves the folder is refused.
  EXPECT_FALSE(kv::DropAgentCopyFile(kv::GetSetupTempFolder(), "..\\Agent.exe"));
  EXPECT_FALSE(os::FileExists("C:\\Tmp\\Agent.exe"));
}

}  // namespace
