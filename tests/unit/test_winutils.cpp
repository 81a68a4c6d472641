// Window and shell helpers over the host's fake windows.
#include <gtest/gtest.h>

#include <string>

#include "os/host/host_control.h"
#include "sys/winutils.h"

namespace {

TEST(WinUtils, RootOwnerFollowsTheOwnerChain) {
  os::host::ResetAll();
  auto top = os::host::AddWindow("Top", nullptr);
  auto mid = os::host::AddWindow("Mid", nullptr);
  auto leaf = os::host::AddWindow("Leaf", nullptr);
  os::host::SetWindowTitleAndOwner(mid, "mid", top);
  os::host::SetWindowTitleAndOwner(leaf, std::string(200000, 't'), mid);
  EXPECT_EQ(kv::GetRootOwner(leaf), top);
  EXPECT_EQ(kv::GetRootOwner(top), top);  // no owner: the window itself
  EXPECT_EQ(kv::GetRootOwner(0), 0u);
  EXPECT_EQ(kv::GetWindowTitle(leaf).size(), 102400u);
  EXPECT_EQ(kv::GetWindowClassName(mid), "Mid");
  EXPECT_EQ(kv::GetWindowClassName(0), "");
  os::host::ResetAll();
}

TEST(WinUtils, ShellOpenAndFunctionLookup) {
  os::host::ResetAll();
  EXPECT_TRUE(kv::ShellOpen("http://example.invalid/page", "", 1));
  ASSERT_EQ(os::host::ShellOpened().size(), 1u);
  EXPECT_EQ(os::host::ShellOpened()[0], "http://example.invalid/page");
  EXPECT_NE(kv::GetProcAddressOf("libz.so.1", "inflate"), nullptr);
  EXPECT_EQ(kv::GetProcAddressOf("libz.so.1", "NoSuchFunction"), nullptr);
  EXPECT_EQ(kv::GetProcAddressOf("no-such-library.so", "inflate"), nullptr);
  os::host::ResetAll();
}

}  // namespace
