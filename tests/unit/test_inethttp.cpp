// HTTP transfer over the scripted stand-in of the Internet library: the
// request forms, sizes and chunks, part files, error texts, progress events,
// the abort flag and the HTML error-page rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host_fixture.h"
#include "net/inethttp.h"
#include "os/env.h"
#include "os/file.h"
#include "os/host/host_control.h"
#include "os/host/host_inet.h"
#include "os/host/host_ui.h"
#include "os/window.h"
#include "stub/mainwin.h"
#include "sys/files.h"
#include "sys/kdebug.h"
#include "sys/utils.h"
#include "ui/kprogbar.h"

namespace {

using os::host::FakeHttpAnswer;

const char* const kUrl = "http://files.example/setup/pkg.exe";
const char* const kTarget = "C:\\Dl\\pkg.exe";

std::vector<std::string>* g_progress = nullptr;
void RecordProgress(int action, int maximum, int position, int step) {
  if (g_progress)
    g_progress->push_back(std::to_string(action) + ":" + std::to_string(maximum) + ":" +
                          std::to_string(position) + ":" + std::to_string(step));
}

class CountingWindow : public kv::MainWindow {
 public:
  void Show() override { ++shown; }
  int shown = 0;
};

std::string Body(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

class InetHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os::host::ResetAll();
    kv::ResetDebugState();
    kv::SetDownloadAbort(false);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = std::string(::testing::TempDir()) + "kvinet_" + info->name();
    std::system(("rm -rf '" + root_ + "'").c_str());
    std::system(("mkdir -p '" + root_ + "/C/Dl'").c_str());
    os::host::SetDriveRoot('C', root_ + "/C");
    kvtest::CollectDebugOutput(debug_);
    g_progress = &progress_;
  }
  void TearDown() override {
    g_progress = nullptr;
    kv::SetDownloadAbort(false);
    kv::ResetDebugState();
    os::host::ResetAll();
  }

  void Put(const std::string& winPath, const std::string& bytes) {
    std::ofstream(os::host::MapPath(winPath), std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::string Read(const std::string& winPath) {
    std::ifstream in(os::host::MapPath(winPath), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  std::vector<std::string> FilesIn(const std::string& pattern) {
    std::vector<std::string> names;
    for (const os::DirEntry& e : os::ListDir(pattern))
      if (!e.isDir) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }

  bool Download(const std::string& url, const std::string& target, std::string& error,
                kv::MainWindow* window = nullptr) {
    kv::TProgBar bar(&RecordProgress);
    return kv::HTTP_DownloadFile(window, url, target, content_, &bar, error);
  }

  std::string root_, debug_, content_ = "stale";
  std::vector<std::string> progress_;
};

// ---------------------------------------------------------------- pieces

TEST(InetHttpPieces, ChunkSizeAndProgressRange) {
  struct Case {
    std::uint32_t size, chunk;
    int maximum;
  };
  const Case cases[] = {
      {5, 1, 6},          {1, 1, 2},         {19, 1, 20},        {20, 2, 11},
      {101, 10, 12},      {10485760, 1048576, 11},                {10485759, 1048575, 12},
      {20000000, 1048576, 21},              {0xFFFFFFFFu, 1048576, 4097},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(kv::DownloadChunkSize(c.size), c.chunk) << c.size;
    EXPECT_EQ(kv::DownloadProgressMaximum(c.size, c.chunk), c.maximum) << c.size;
  }
}

TEST(InetHttpPieces, DosDateTimeAndPartFileName) {
  os::InetSystemTime t;
  t.year = 2024, t.month = 3, t.day = 7, t.hour = 13, t.minute = 45, t.second = 59;
  const std::uint32_t packed = ((2024u - 1980u) << 25) | (3u << 21) | (7u << 16) | (13u << 11) |
                               (45u << 5) | (59u / 2);
  EXPECT_EQ(kv::InetTimeToDosDateTime(t), packed);
  // Dates the DOS form cannot hold, and nonsense, give 0.
  const int bad[][6] = {{1979, 12, 31, 0, 0, 0}, {2108, 1, 1, 0, 0, 0}, {2024, 2, 30, 0, 0, 0},
                        {2023, 2, 29, 0, 0, 0},  {2024, 13, 1, 0, 0, 0}, {2024, 1, 1, 24, 0, 0},
                        {0, 0, 0, 0, 0, 0}};
  for (const auto& b : bad) {
    os::InetSystemTime x;
    x.year = b[0], x.month = b[1], x.day = b[2], x.hour = b[3];
    EXPECT_EQ(kv::InetTimeToDosDateTime(x), 0u) << b[0] << "-" << b[1] << "-" << b[2];
  }
  os::InetSystemTime leap;
  leap.year = 2024, leap.month = 2, leap.day = 29;
  EXPECT_NE(kv::InetTimeToDosDateTime(leap), 0u);

  EXPECT_EQ(kv::DownloadPartFileName("C:\\T\\a.exe", 5, 0), "C:\\T\\a.exe.5");
  EXPECT_EQ(kv::DownloadPartFileName("C:\\T\\a.exe", 5, packed),
            "C:\\T\\a.exe." + std::to_string(5 + packed));
  // The sum is an unsigned 32-bit number: a missing length (-1) plus a date wraps.
  EXPECT_EQ(kv::DownloadPartFileName("a", 0xFFFFFFFFu, 3), "a.2");
}

TEST(InetHttpPieces, RequestForms) {
  struct Case {
    const char* url;
    const char* anonymous;
  };
  const Case cases[] = {
      {"files.example/a.exe", "http://files.example/a.exe"},
      {"http://files.example/a.exe", "http://files.example/a.exe"},
      {"HTTP://files.example/a.exe", "HTTP://files.example/a.exe"},
      // Anywhere in the text counts.
      {"proxy.example/get?u=http://x/a.exe", "proxy.example/get?u=http://x/a.exe"},
      // Secure addresses keep their scheme (no "http://https://...").
      {"https://files.example/a.exe", "https://files.example/a.exe"},
      {"HTTPS://files.example/a.exe", "HTTPS://files.example/a.exe"},
      {"ftp://files.example/a.exe", "http://ftp://files.example/a.exe"},
      {"files.example/https://a.exe", "http://files.example/https://a.exe"},
  };
  for (const Case& c : cases) EXPECT_EQ(kv::AnonymousRequestUrl(c.url), c.anonymous) << c.url;

  struct Split {
    const char* url;
    const char* host;
    const char* path;
  };
  const Split splits[] = {
      {"http://files.example/setup/v2/pkg.exe", "files.example", "setup/v2/pkg.exe"},
      {"HTTP://files.example:8080/pkg.exe", "files.example:8080", "pkg.exe"},
      {"files.example/pkg.exe", "files.example", "pkg.exe"},
      {"http://files.example", "", ""},
      {"http://files.example/", "files.example", ""},
  };
  for (const Split& s : splits) {
    std::string host = "x", path = "y";
    kv::SplitAuthenticatedUrl(s.url, host, path);
    EXPECT_EQ(host, s.host) << s.url;
    EXPECT_EQ(path, s.path) << s.url;
  }
  EXPECT_EQ(kv::DownloadDisplayName("http://files.example/setup/pkg.exe"), "pkg.exe");
  EXPECT_EQ(kv::DownloadDisplayName("files.example"), "files.example");
}

TEST(InetHttpPieces, HtmlErrorPageRules) {
  struct Case {
    const char* text;
    bool page;
  };
  const Case cases[] = {
      // Any page with a head and a title, whatever the title says.
      {"<HTML><HEAD><TITLE>Moved</TITLE></HEAD>", true},
      {"<html>\n<head><title>Welcome</title>", true},
      // A 404 inside the title counts without the other tags.
      {"<title>404 Not Found</title>", true},
      {"<TITLE lang=en>Error 404</TITLE>", true},
      {"<title>Not Found</title> 404", false},
      {"404 <title>Not Found</title>", false},
      {"<html><title>x</title><head>", false},
      {"<head><html><title>x</title>", false},
      {"MZ\x90\0 plain package bytes", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(kv::IsHtmlErrorPage("", c.text), c.page) << c.text;
  // Only the first 1000 characters count.
  EXPECT_TRUE(kv::IsHtmlErrorPage("", std::string(970, ' ') + "<title>404</title>"));
  EXPECT_FALSE(kv::IsHtmlErrorPage("", std::string(990, ' ') + "<title>404</title>"));

  EXPECT_EQ(kv::GetErrorPageMessage("", "<title>404</title>", "http://h/p.exe", "Bad Secret Token!"),
            "<B>404 File Not Found...</B><P><P>URL:  http://h/p.exe.<P><P>Please make sure the "
            "file is available and access is allowed to this file.");
  EXPECT_EQ(kv::GetErrorPageMessage("", "MZ", "http://h/p.exe", "Bad Secret Token!"),
            "Bad Secret Token!");
}

TEST_F(InetHttpTest, AnExistingFileIsExaminedInsteadOfTheContent) {
  Put("C:\\Dl\\page.htm", "<html><head><title>Gone</title></head></html>");
  Put("C:\\Dl\\pkg.bin", "MZ package");
  EXPECT_TRUE(kv::IsHtmlErrorPage("C:\\Dl\\page.htm", "MZ"));
  EXPECT_FALSE(kv::IsHtmlErrorPage("C:\\Dl\\pkg.bin", "<title>404</title>"));
  // A missing file leaves the content to decide.
  EXPECT_TRUE(kv::IsHtmlErrorPage("C:\\Dl\\missing.htm", "<title>404</title>"));
}

// ---------------------------------------------------------------- downloads

TEST_F(InetHttpTest, FiveBytesArriveInFiveChunksWithTheirProgress) {
  FakeHttpAnswer a;
  a.body = "HELLO";
  os::host::SetHttpAnswer(kUrl, a);
  CountingWindow window;
  std::string error = "old";
  EXPECT_TRUE(Download(kUrl, kTarget, error, &window));
  EXPECT_EQ(error, "");
  EXPECT_EQ(content_, "HELLO");
  EXPECT_EQ(Read(kTarget), "HELLO");
  EXPECT_EQ(FilesIn("C:\\Dl\\*"), std::vector<std::string>{"pkg.exe"});
  EXPECT_EQ(window.shown, 1);
  EXPECT_EQ(progress_, (std::vector<std::string>{"0:100:1:1", "0:6:1:1", "1:0:0:0", "1:0:0:0",
                                                 "1:0:0:0", "1:0:0:0", "1:0:0:0"}));

  // The preliminary request, then the download session with its time-outs
  // and the cache-bypassing request; every handle closed.
  const auto opens = os::host::InetCallsOf("InternetOpenA");
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_EQ(opens[0].agent, "HTTP_Connect_2");
  EXPECT_EQ(opens[1].agent, "HTTP_Connect_3");
  for (const auto& o : opens) {
    EXPECT_EQ(o.accessType, os::kInetOpenTypePreconfig);
    EXPECT_EQ(o.proxy, "");
    EXPECT_EQ(o.flags, 0u);
  }
  const auto urls = os::host::InetCallsOf("InternetOpenUrlA");
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_EQ(urls[0].flags, 0u);
  EXPECT_EQ(urls[0].handle, opens[0].result);
  EXPECT_EQ(urls[1].flags, os::kInetFlagReload);
  EXPECT_EQ(urls[1].handle, opens[1].result);
  std::vector<std::uint32_t> options;
  for (const auto& c : os::host::InetCallsOf("InternetSetOptionA")) {
    EXPECT_EQ(c.handle, opens[1].result);
    EXPECT_EQ(c.value, 180000u);
    options.push_back(c.option);
  }
  EXPECT_EQ(options, (std::vector<std::uint32_t>{2, 6, 5, 6, 5, 8, 7}));
  const auto reads = os::host::InetCallsOf("InternetReadFile");
  ASSERT_EQ(reads.size(), 6u);  // five bytes, then the empty read that ends it
  for (const auto& r : reads) EXPECT_EQ(r.size, 1u);
  EXPECT_EQ(os::host::OpenInetHandles(), 0);

  // The stopwatch line, and no error line.
  EXPECT_NE(debug_.find("MS="), std::string::npos) << debug_;
  EXPECT_EQ(debug_.find("HTTP_DownloadFile_Incremental"), std::string::npos) << debug_;
}

TEST_F(InetHttpTest, AnAddressWithoutSchemeIsOpenedWithHttpAndAsGivenForThePreliminaryRequest) {
  FakeHttpAnswer a;
  a.body = "abc";
  os::host::SetHttpAnswer("files.example/pkg.exe", a);
  os::host::SetHttpAnswer("http://files.example/pkg.exe", a);
  std::string error;
  EXPECT_TRUE(Download("files.example/pkg.exe", "", error));
  const auto urls = os::host::InetCallsOf("InternetOpenUrlA");
  ASSERT_EQ(urls.size(), 2u);
  EXPECT_EQ(urls[0].url, "files.example/pkg.exe");
  EXPECT_EQ(urls[1].url, "http://files.example/pkg.exe");

  os::host::ClearInetCalls();
  os::host::SetHttpAnswer("https://files.example/pkg.exe", a);
  EXPECT_TRUE(Download("https://files.example/pkg.exe", "", error));
  EXPECT_EQ(os::host::InetCallsOf("InternetOpenUrlA").back().url, "https://files.example/pkg.exe");
}

TEST_F(InetHttpTest, WithoutContentLengthTheDownloadEndsInASizeMismatch) {
  FakeHttpAnswer a;
  a.contentLength = FakeHttpAnswer::kNoLength;
  a.body = Body(1536 * 1024);
  os::host::SetHttpAnswer(kUrl, a);
  Put(kTarget, "old package");
  std::string error;
  EXPECT_FALSE(Download(kUrl, kTarget, error));
  EXPECT_EQ(error, "pkg.exe --- Error downloading file (size mismatch)");
  // 1 MiB chunks; the progress range of the largest size.
  for (const auto& r : os::host::InetCallsOf("InternetReadFile")) EXPECT_EQ(r.size, 1048576u);
  EXPECT_EQ(progress_[1], "0:4097:1:1");
  // The part file keeps its name (size -1 as unsigned, no date); the old
  // target stays.
  EXPECT_EQ(Read("C:\\Dl\\pkg.exe.4294967295"), a.body);
  EXPECT_EQ(Read(kTarget), "old package");
  // With a target only the head of the body is kept in memory.
  EXPECT_EQ(content_, a.body.substr(0, kv::kContentHeadBytes));
  EXPECT_NE(debug_.find(std::to_string(os::CurrentProcessId()) +
                        " HTTP_DownloadFile_Incremental: pkg.exe --- Error downloading file "
                        "(size mismatch)\n"),
            std::string::npos)
      << debug_;
}

TEST_F(InetHttpTest, WithoutATargetTheWholeBodyStaysInMemory) {
  FakeHttpAnswer a;
  a.body = Body(200 * 1024);
  os::host::SetHttpAnswer(kUrl, a);
  std::string error;
  EXPECT_TRUE(Download(kUrl, "", error));
  EXPECT_EQ(content_, a.body);
  EXPECT_TRUE(FilesIn("C:\\Dl\\*").empty());
}

TEST_F(InetHttpTest, ZeroLengthIsFileNotFoundAndNothingIsRead) {
  FakeHttpAnswer a;
  a.contentLength = 0;
  a.body = "ignored";
  os::host::SetHttpAnswer(kUrl, a);
  CountingWindow window;
  std::string error;
  EXPECT_FALSE(Download(kUrl, kTarget, error, &window));
  EXPECT_EQ(error, std::string(kUrl) + " --- File Not Found !");
  EXPECT_TRUE(os::host::InetCallsOf("InternetReadFile").empty());
  EXPECT_EQ(window.shown, 0);
  EXPECT_TRUE(FilesIn("C:\\Dl\\*").empty());
  EXPECT_EQ(content_, "");
  EXPECT_EQ(os::host::OpenInetHandles(), 0);
}

TEST_F(InetHttpTest, AFailingReadNamesItsReasonAndLeavesThePartFile) {
  FakeHttpAnswer a;
  a.body = Body(100);
  a.failReadAt = 35;  // chunks of 10: the fourth read fails
  a.failError = 12002;
  os::InetSystemTime t;
  t.year = 2023, t.month = 11, t.day = 5, t.hour = 8, t.minute = 30, t.second = 0;
  a.lastModified = t;
  os::host::SetHttpAnswer(kUrl, a);
  Put(kTarget, "old package");
  std::string error;
  EXPECT_FALSE(Download(kUrl, kTarget, error));
  EXPECT_EQ(error, "pkg.exe --- Error downloading file (" + kv::SystemErrorText(12002) + ")");
  EXPECT_EQ(os::host::InetCallsOf("InternetReadFile").size(), 4u);
  // Three chunks, three steps.
  EXPECT_EQ(progress_.size(), 2u + 3u);
  const std::string part =
      kv::DownloadPartFileName(kTarget, 100, kv::InetTimeToDosDateTime(t));
  EXPECT_EQ(Read(part), a.body.substr(0, 30));
  EXPECT_EQ(Read(kTarget), "old package");

  // The next download of the same target removes the stale part file (the
  // target itself stays until its successor is complete).
  a.failReadAt = -1;
  a.lastModified.reset();
  os::host::SetHttpAnswer(kUrl, a);
  Put("C:\\Dl\\pkg.exe.other", "x");
  Put("C:\\Dl\\pkg.exe2", "not a part file");
  EXPECT_TRUE(Download(kUrl, kTarget, error)) << error;
  EXPECT_EQ(Read(kTarget), a.body);
  EXPECT_EQ(FilesIn("C:\\Dl\\*"), (std::vector<std::string>{"pkg.exe", "pkg.exe2"}));
}

TEST_F(InetHttpTest, AByteCountOtherThanAnnouncedIsASizeMismatch) {
  FakeHttpAnswer a;
  a.contentLength = 10;
  a.body = "123456";
  os::host::SetHttpAnswer(kUrl, a);
  std::string error;
  EXPECT_FALSE(Download(kUrl, kTarget, error));
  EXPECT_EQ(error, "pkg.exe --- Error downloading file (size mismatch)");
  EXPECT_FALSE(os::FileExists(kTarget));
  EXPECT_EQ(Read("C:\\Dl\\pkg.exe.10"), "123456");

  // More than announced: reading stops at the first byte too many.
  a.contentLength = 4;
  a.body = std::string(1000, 'x');
  os::host::SetHttpAnswer(kUrl, a);
  os::host::ClearInetCalls();
  EXPECT_FALSE(Download(kUrl, kTarget, error));
  EXPECT_EQ(error, "pkg.exe --- Error downloading file (size mismatch)");
  EXPECT_EQ(os::host::InetCallsOf("InternetReadFile").size(), 5u);
  EXPECT_FALSE(os::FileExists(kTarget));
}

TEST_F(InetHttpTest, AbortEndsTheDownloadAfterTheCurrentChunk) {
  FakeHttpAnswer a;
  a.body = "0123456789";
  a.beforeRead = [](std::int64_t delivered) {
    if (delivered == 3) kv::SetDownloadAbort(true);
  };
  os::host::SetHttpAnswer(kUrl, a);
  std::string error;
  EXPECT_FALSE(Download(kUrl, kTarget, error));
  EXPECT_EQ(error, "Download Aborted!");
  EXPECT_EQ(os::host::InetCallsOf("InternetReadFile").size(), 4u);
  EXPECT_EQ(Read("C:\\Dl\\pkg.exe.10"), "0123");
  EXPECT_FALSE(os::FileExists(kTarget));
  EXPECT_EQ(os::host::OpenInetHandles(), 0);
}

TEST_F(InetHttpTest, AbortReplacesAReadErrorAndAFinishedPartStillBecomesTheTarget) {
  FakeHttpAnswer a;
  a.body = "0123456789";
  a.failReadAt = 5;
  a.beforeRead = [](std::int64_t delivered) {
    if (delivered == 5) kv::SetDownloadAbort(true);
  };
  os::host::SetHttpAnswer(kUrl, a);
  std::string error;
  EXPECT_FALSE(Download(kUrl, kTarget, error));
  EXPECT_EQ(error, "Download Aborted!");

  // Aborted during the last chunk: the file is complete and takes its name.
  kv::SetDownloadAbort(false);
  a.failReadAt = -1;
  a.beforeRead = [](std::int64_t delivered) {
    if (delivered == 9) kv::SetDownloadAbort(true);
  };
  os::host::SetHttpAnswer(kUrl, a);
  EXPECT_FALSE(Download(kUrl, kTarget, error));
  EXPECT_EQ(error, "Download Aborted!");
  EXPECT_EQ(Read(kTarget), "0123456789");
}

TEST_F(InetHttpTest, APartFileThatCannotBeWrittenFailsTheDownload) {
  FakeHttpAnswer a;
  a.body = "0123456789";
  os::host::SetHttpAnswer(kUrl, a);
  // A folder where the part file should go: every append fails.
  std::system(("mkdir -p '" + os::host::MapPath("C:\\Dl\\pkg.exe.10") + "'").c_str());
  std::string error;
  EXPECT_FALSE(Download(kUrl, kTarget, error));
  EXPECT_EQ(error.rfind("pkg.exe --- Error downloading file (", 0), 0u) << error;
  EXPECT_EQ(os::host::InetCallsOf("InternetReadFile").size(), 1u);
  EXPECT_FALSE(os::FileExists(kTarget));
}

TEST_F(InetHttpTest, TheAuthenticatedFormConnectsToTheHostOnPort80) {
  FakeHttpAnswer a;
  a.body = "secret";
  os::host::SetHttpAnswer("http://files.example/setup/v2/pkg.exe", a);
  kv::TProgBar bar(&RecordProgress);
  std::string error;
  EXPECT_TRUE(kv::HTTP_DownloadFile_Incremental(nullptr, "HTTP://files.example/setup/v2/pkg.exe",
                                                kTarget, "anna", "pw", content_, &bar, error))
      << error;
  EXPECT_EQ(content_, "secret");
  const auto connects = os::host::InetCallsOf("InternetConnectA");
  ASSERT_EQ(connects.size(), 1u);
  EXPECT_EQ(connects[0].host, "files.example");
  EXPECT_EQ(connects[0].port, 80);
  EXPECT_EQ(connects[0].service, os::kInetServiceHttp);
  EXPECT_EQ(connects[0].user, "anna");
  EXPECT_EQ(connects[0].password, "pw");
  const auto requests = os::host::InetCallsOf("HttpOpenRequestA");
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].verb, "GET");
  EXPECT_EQ(requests[0].object, "/setup/v2/pkg.exe");
  EXPECT_EQ(requests[0].flags, os::kInetFlagReload);
  EXPECT_EQ(os::host::InetCallsOf("HttpSendRequestA").size(), 1u);
  EXPECT_EQ(os::host::OpenInetHandles(), 0);

  // No "/" after the scheme: no host, and the connection error.
  EXPECT_FALSE(kv::HTTP_DownloadFile_Incremental(nullptr, "http://files.example", kTarget, "anna",
                                                 "pw", content_, &bar, error));
  EXPECT_EQ(error, "Unable to open Internet Connection: http://files.example");
  EXPECT_EQ(os::host::OpenInetHandles(), 0);
}

TEST_F(InetHttpTest, SessionAndRequestFailuresHaveTheirTexts) {
  std::string error;
  // Nobody answers at this address.
  EXPECT_FALSE(Download("http://nowhere.example/pkg.exe", kTarget, error));
  EXPECT_EQ(error, "Unable to open Internet Connection: http://nowhere.example/pkg.exe");

  FakeHttpAnswer a;
  a.body = "abc";
  os::host::SetHttpAnswer(kUrl, a);
  os::host::SetInetOpenFails(true);
  EXPECT_FALSE(Download(kUrl, kTarget, error));
  EXPECT_EQ(error, "Unable to initialize \"WinINet.dll\"");
  os::host::SetInetOpenFails(false);

  // Without the library every bound function fails, and nothing else happens.
  os::host::SetInetLibraryMissing(true);
  EXPECT_FALSE(Download(kUrl, kTarget, error));
  EXPECT_EQ(error, "Unable to initialize \"WinINet.dll\"");
  std::string why;
  EXPECT_FALSE(kv::HTTP_CheckConnection(why));
  EXPECT_FALSE(kv::HTTP_IsConnected());
  EXPECT_EQ(kv::HTTP_GetFileSize(kUrl), -1);
  EXPECT_FALSE(os::FileExists(kTarget));
  EXPECT_EQ(os::host::OpenInetHandles(), 0);
}

TEST_F(InetHttpTest, ConnectionTestAndSizeQuery) {
  std::string error = "old";
  EXPECT_TRUE(kv::HTTP_CheckConnection(error));
  EXPECT_EQ(error, "");
  os::host::SetInetConnected(false, 1232);
  EXPECT_FALSE(kv::HTTP_CheckConnection(error));
  EXPECT_EQ(error, kv::SystemErrorText(1232));
  EXPECT_FALSE(kv::HTTP_IsConnected());

  FakeHttpAnswer a;
  a.body = "12345";
  os::host::SetHttpAnswer(kUrl, a);
  a.contentLength = FakeHttpAnswer::kNoLength;
  os::host::SetHttpAnswer("http://files.example/nolength", a);
  EXPECT_EQ(kv::HTTP_GetFileSize(kUrl), 5);
  EXPECT_EQ(kv::HTTP_GetFileSize("http://files.example/nolength"), -1);
  EXPECT_EQ(kv::HTTP_GetFileSize("http://unreachable.example/x"), -1);
  EXPECT_NE(debug_.find("HTTP_GetFileSize=5  " + std::string(kUrl) + "\n"), std::string::npos);
  EXPECT_NE(debug_.find("HTTP_GetFileSize=-1  http://files.example/nolength\n"), std::string::npos);
  // Each size query is preceded by the preliminary request; the URL is used as given.
  const auto opens = os::host::InetCallsOf("InternetOpenA");
  ASSERT_GE(opens.size(), 2u);
  for (const auto& o : opens) EXPECT_EQ(o.agent, "HTTP_Connect_2");
  for (const auto& u : os::host::InetCallsOf("InternetOpenUrlA")) EXPECT_EQ(u.flags, 0u);
  EXPECT_EQ(os::host::OpenInetHandles(), 0);
}

}  // namespace
