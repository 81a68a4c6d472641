// The start-up state derived from the running file's package.
#include <gtest/gtest.h>

#include "package_images.h"
#include "stub/stubstate.h"
#include "sys/kdebug.h"

namespace kv {
namespace {

TEST(StubState, FlagsComeFromTheRunningFilesTrailer) {
  struct Case {
    const char* what;
    bool autoUpdateProg;
    std::uint8_t flags;
    bool wantAgent, wantLog;
  };
  const Case cases[] = {
      {"plain setup", false, 0, false, false},
      {"plain setup with the log flag", false, kFlagAgentLog, false, false},
      {"agent without log", true, kFlagTempNotice, true, false},
      {"agent with log", true, kFlagAgentLog | kFlagSpannedCd, true, true},
  };
  for (const Case& c : cases) {
    ResetStubState();
    ResetDebugState();
    PackageTrailer t = kvtest::BasicTrailer();
    t.SetAutoUpdateProg(c.autoUpdateProg);
    t.SetPackageFlags(c.flags);
    kvtest::Image img = kvtest::BuildImage(kvtest::FakeStub(), {"", "||||||"}, "", t, true);
    LoadStartupState(kvtest::WriteTemp("stubstate.exe", img.bytes));
    const StubState& s = stubState();
    ASSERT_TRUE(s.fileInfo) << c.what;
    EXPECT_EQ(s.ThisIs_AutoUpdateProg, c.wantAgent) << c.what;
    EXPECT_EQ(s.agentLogEnabled, c.wantLog) << c.what;
    EXPECT_EQ(AgentLogEnabled(), c.wantLog) << c.what << ": handed to the agent log";
    ReleaseStartupState();
    EXPECT_FALSE(stubState().fileInfo) << c.what;
  }
}

TEST(StubState, FileWithoutPackageGivesAPlainRun) {
  ResetStubState();
  LoadStartupState(std::string(::testing::TempDir()) + "no_such_stub.exe");
  EXPECT_FALSE(stubState().ThisIs_AutoUpdateProg);
  EXPECT_FALSE(stubState().agentLogEnabled);
  EXPECT_EQ(stubState().mainWindowClassName, "KavrexStub");
  EXPECT_EQ(stubState().exitCode, 0u);
  ResetStubState();
}

}  // namespace
}  // namespace kv
