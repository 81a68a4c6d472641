// The debug output's chunking and sinks, the stopwatches and the agent log.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "os/clock.h"
#include "os/env.h"
#include "os/host/host_control.h"
#include "os/window.h"
#include "sys/kdebug.h"

namespace kv {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0;
}

class KDebugTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os::host::ResetAll();
    ResetDebugState();
    char tmpl[] = "/tmp/kvkdebugXXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    ::mkdir((root_ + "/ProgramData").c_str(), 0755);
    os::host::SetDriveRoot('C', root_);
    debugFile_ = root_ + "/ProgramData/_kdebug.txt";
  }
  void TearDown() override {
    ResetDebugState();
    os::host::ResetAll();
    std::system(("rm -rf '" + root_ + "'").c_str());
  }

  // A viewer window of the documented class that keeps every chunk it is sent.
  void AddViewer() {
    const std::uint32_t msg = os::RegisterMessage(".K_DebugMsg.");
    os::host::AddWindow(".KDebug.", [this, msg](std::uint32_t m, std::uintptr_t w, std::intptr_t l) {
      if (m == msg && w == 1) chunks_.push_back(os::GlobalAtomName(static_cast<os::Atom>(l)));
      return std::intptr_t{0};
    });
  }

  std::string Joined() const {
    std::string all;
    for (const std::string& c : chunks_) all += c;
    return all;
  }

  std::string root_, debugFile_;
  std::vector<std::string> chunks_;
};

TEST_F(KDebugTest, ViewerReceivesChunksOfAtMost128BytesEndingAtLineEnds) {
  struct Case {
    const char* what;
    std::string written;  // through WriteDebugRaw
    bool close;           // CloseDebugOutput afterwards
    std::vector<std::size_t> sizes;
  };
  const Case cases[] = {
      {"300-byte line", std::string(300, 'x') + "\n", false, {128, 128, 45}},
      {"line of exactly 128 with its LF", std::string(127, 'y') + "\n", false, {128}},
      {"two lines in one write", "ab\ncd\n", false, {3, 3}},
      {"unfinished text waits for close", "partial", false, {}},
      {"close delivers the rest", "partial", true, {7}},
      {"full buffer without line end", std::string(130, 'z'), true, {128, 2}},
  };
  for (const Case& c : cases) {
    ResetDebugState();
    chunks_.clear();
    os::host::ClearWindows();
    AddViewer();
    BindDebugOutput(0);
    WriteDebugRaw(c.written);
    if (c.close) CloseDebugOutput();
    std::vector<std::size_t> sizes;
    for (const std::string& ch : chunks_) sizes.push_back(ch.size());
    EXPECT_EQ(sizes, c.sizes) << c.what;
    if (!c.sizes.empty()) {
      EXPECT_EQ(Joined(), c.written) << c.what;
    }
    EXPECT_EQ(os::host::AtomCount(), 0u) << c.what << ": atoms are deleted after each send";
  }
}

TEST_F(KDebugTest, WriteDebugOutputEndsLinesWithLineFeedAndPidPrefix) {
  AddViewer();
  BindDebugOutput(0);
  WriteDebugOutput("plain");
  WriteDebugOutputPid(" ==== STUB START ====> x<");
  WriteDebugOutput("");
  ASSERT_EQ(chunks_.size(), 3u);
  EXPECT_EQ(chunks_[0], "plain\n");
  EXPECT_EQ(chunks_[1], std::to_string(os::CurrentProcessId()) + " ==== STUB START ====> x<\n");
  EXPECT_EQ(chunks_[2], "\n");
}

TEST_F(KDebugTest, ZeroByteEndsTheChunkText) {
  AddViewer();
  BindDebugOutput(0);
  WriteDebugRaw(std::string("ab\0cd\n", 6));
  ASSERT_EQ(chunks_.size(), 1u);
  EXPECT_EQ(chunks_[0], "ab");
}

TEST_F(KDebugTest, TextWrittenWhileAChunkIsDeliveredStartsANewChunk) {
  // While the stub waits for the viewer, its own window procedure may run and
  // write; that text must neither repeat the chunk under way nor get lost.
  const std::uint32_t msg = os::RegisterMessage(".K_DebugMsg.");
  os::host::AddWindow(".KDebug.", [this, msg](std::uint32_t m, std::uintptr_t, std::intptr_t l) {
    if (m != msg) return std::intptr_t{0};
    chunks_.push_back(os::GlobalAtomName(static_cast<os::Atom>(l)));
    if (chunks_.back() == "outer\n") WriteDebugOutput("inner");
    return std::intptr_t{0};
  });
  BindDebugOutput(0);
  WriteDebugOutput("outer");
  EXPECT_EQ(chunks_, (std::vector<std::string>{"outer\n", "inner\n"}));
}

TEST_F(KDebugTest, WritersOnTwoThreadsKeepTheirLinesWhole) {
  AddViewer();
  BindDebugOutput(0);
  auto writer = [](char id) {
    for (int i = 0; i < 500; ++i) WriteDebugOutput(std::string(1, id) + std::to_string(i));
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  a.join();
  b.join();
  std::multiset<std::string> got(chunks_.begin(), chunks_.end()), want;
  for (int i = 0; i < 500; ++i) {
    want.insert("a" + std::to_string(i) + "\n");
    want.insert("b" + std::to_string(i) + "\n");
  }
  EXPECT_EQ(got, want);
}

TEST_F(KDebugTest, NothingIsDeliveredBeforeBindingOrWithUnknownMode) {
  AddViewer();
  WriteDebugOutput("too early");
  BindDebugOutput(7);
  WriteDebugOutput("unknown mode");
  CloseDebugOutput();
  EXPECT_TRUE(chunks_.empty());
  EXPECT_FALSE(Exists(debugFile_));
}

TEST_F(KDebugTest, ViewerModeWithoutViewerHasNoVisibleEffect) {
  BindDebugOutput(0);
  WriteDebugOutput("nobody listens");
  CloseDebugOutput();
  EXPECT_FALSE(Exists(debugFile_));
  EXPECT_EQ(os::host::AtomCount(), 0u);
}

TEST_F(KDebugTest, FileSinkNormalisesLineBreaksAndAppends) {
  std::ofstream(debugFile_, std::ios::binary) << "old\r\n";
  AddViewer();
  BindDebugOutput(1);
  WriteDebugOutput("one\rtwo\nthree\r\nfour");
  // A CR LF pair cut by the 128-byte boundary reaches the file as two breaks.
  WriteDebugRaw(std::string(127, 'a') + "\r\nb\n");
  EXPECT_EQ(ReadAll(debugFile_), "old\r\n" "one\r\ntwo\r\nthree\r\nfour\r\n" + std::string(127, 'a') +
                                     "\r\n\r\nb\r\n");
  EXPECT_TRUE(chunks_.empty()) << "mode 1 writes the file only";
}

TEST_F(KDebugTest, BothSinksInMode2ViewerGetsTextUnchanged) {
  AddViewer();
  BindDebugOutput(2);
  WriteDebugOutput("a\rb");
  EXPECT_EQ(Joined(), "a\rb\n");
  EXPECT_EQ(ReadAll(debugFile_), "a\r\nb\r\n");
}

TEST_F(KDebugTest, FileSinkFailureIsSilent) {
  std::system(("rm -rf '" + root_ + "/ProgramData'").c_str());  // the folder is gone
  BindDebugOutput(1);
  WriteDebugOutput("lost");
  CloseDebugOutput();
  EXPECT_FALSE(Exists(debugFile_));
}

TEST(KDebugText, NormalizeLineBreaks) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},           {"a\r\nb", "a\r\nb"},   {"\r", "\r\n"},
      {"\n\r", "\r\n\r\n"}, {"\r\r\n", "\r\n\r\n"}, {"x\n\ny", "x\r\n\r\ny"},
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(NormalizeLineBreaks(in), want) << in;
}

TEST_F(KDebugTest, LogExceptionLine) {
  AddViewer();
  BindDebugOutput(0);
  LogException("boom", "YieldX", "");
  LogException("Access violation", "Utils.GetExeVersion()", "C:\\a.exe");
  ASSERT_EQ(chunks_.size(), 2u);
  EXPECT_EQ(chunks_[0], " --- YieldX() --- boom\n");
  EXPECT_EQ(chunks_[1], " --- Utils.GetExeVersion()() --- C:\\a.exe --- Access violation\n");
}

TEST_F(KDebugTest, StopwatchesClampSlotsAndReportNames) {
  AddViewer();
  BindDebugOutput(0);
  StopwatchStart(25, "Load");  // slot 20
  StopwatchStart(-3, "Zero");  // slot 0
  StopwatchStart(5, "");       // no START line for an unnamed start
  os::SleepMs(15);
  EXPECT_GE(StopwatchReport(99, ""), 15);  // slot 20, still named Load
  StopwatchReport(0, "");
  StopwatchReport(5, "");
  StopwatchReport(20, "Given");
  StopwatchElapsed(20, true);  // restarts without a name
  StopwatchReport(20, "");
  ASSERT_EQ(chunks_.size(), 7u);
  EXPECT_EQ(chunks_[0], "Load START\n");
  EXPECT_EQ(chunks_[1], "Zero START\n");
  const std::pair<std::size_t, const char*> reports[] = {
      {2, "Load MS=\\d+\n"}, {3, "Zero MS=\\d+\n"}, {4, "MS=\\d+\n"},
      {5, "Given MS=\\d+\n"}, {6, "MS=\\d+\n"}};
  for (const auto& [i, pattern] : reports)
    EXPECT_TRUE(std::regex_match(chunks_[i], std::regex(pattern))) << chunks_[i];
  // The millisecond clock moves forward with the performance counter.
  std::int64_t a = GetMilliseconds();
  os::SleepMs(5);
  EXPECT_GE(GetMilliseconds() - a, 5);
}

TEST(KDebugAgentLog, LineLayout) {
  EXPECT_EQ(FormatAgentLogLine("07/03/24 10:11:12", 42, "   ", "text"),
            "07/03/24 10:11:12    42   text\r\n");
  EXPECT_EQ(FormatAgentLogLine("07/03/24 10:11:12", 1234567, " X ", ""),
            "07/03/24 10:11:12 1234567 X \r\n");  // longer ids are not cut
}

TEST_F(KDebugTest, AgentLogFileNameRule) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\App\\Setup.exe", "C:\\App\\X_Setup.log"},
      {"C:\\App\\X_Setup.exe", "C:\\App\\X_Setup.log"},
      {"C:\\App\\x_setup.exe", "C:\\App\\X_x_setup.log"},  // the prefix test is case-sensitive
      {"C:\\App\\Editor", "C:\\App\\X_Editor.log"},
      {"C:\\My.App\\Tool.v2.exe", "C:\\My.App\\X_Tool.v2.log"},
  };
  for (const auto& [exe, log] : cases) {
    ResetDebugState();
    os::host::SetModulePath(exe);
    EXPECT_EQ(GetDebugLogFileName(), log) << exe;
  }
  os::host::SetModulePath("C:\\Other\\Other.exe");
  EXPECT_EQ(GetDebugLogFileName(), "C:\\My.App\\X_Tool.v2.log") << "computed once per process";
}

TEST_F(KDebugTest, AgentLogAppendsStampedLinesOnlyWhenEnabled) {
  ::mkdir((root_ + "/App").c_str(), 0755);
  os::host::SetModulePath("C:\\App\\X_Editor.exe");
  os::LocalTime t;
  t.year = 2024, t.month = 3, t.day = 7, t.hour = 9, t.minute = 5, t.second = 4;
  os::host::SetLocalTime(t);
  os::host::SetSeparators('.', ':');

  WriteDebugLog("disabled");
  EXPECT_FALSE(Exists(root_ + "/App/X_Editor.log"));

  SetAgentLogEnabled(true);
  WriteDebugLog("");
  SetDebugLogMarker(" X ");
  WriteDebugLog("DoRunStubWin() --- Start");
  const std::string tid = std::to_string(os::CurrentThreadId());
  const std::string pad = tid.size() < 5 ? std::string(5 - tid.size(), ' ') : "";
  EXPECT_EQ(ReadAll(root_ + "/App/X_Editor.log"),
            "07.03.24 09:05:04 " + pad + tid + "   \r\n" +
            "07.03.24 09:05:04 " + pad + tid + " X DoRunStubWin() --- Start\r\n");
}

}  // namespace
}  // namespace kv
