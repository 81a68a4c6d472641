// The host platform layer must behave like Win32 where the logic relies on it.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "os/file.h"
#include "os/host/host_control.h"
#include "os/ini.h"
#include "os/window.h"

namespace {

std::string TempFile(const std::string& name, const std::string& content) {
  std::string path = std::string(::testing::TempDir()) + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

TEST(HostIni, FollowsWin32ReadingRules) {
  std::string f = TempFile("hostini.ini",
                           "[Sec]\r\nKey = value with blanks  \r\nEmpty=\r\nQuoted=\"q v\"\r\n"
                           "; comment=x\r\n[Other]\r\nKey=other\r\n");
  struct Case { const char* section; const char* key; const char* def; const char* want; };
  const Case cases[] = {
      {"Sec", "Key", "d", "value with blanks"},
      {"sEC", "kEY", "d", "value with blanks"},  // case-insensitive names
      {"Sec", "Empty", "d", ""},                 // empty value: empty, not the default
      {"Sec", "Missing", "dflt  ", "dflt"},      // missing: default without trailing blanks
      {"Sec", "Quoted", "", "q v"},
      {"Other", "Key", "", "other"},
      {"Nope", "Key", "z", "z"},
  };
  for (const Case& c : cases) {
    std::string out;
    os::GetProfileString(f, c.section, c.key, c.def, 10241, out);
    EXPECT_EQ(out, c.want) << c.section << "/" << c.key;
  }
  std::string out;
  EXPECT_EQ(os::GetProfileString(f, "Sec", "Key", "", 6, out), 5u);  // cut to the buffer
  EXPECT_EQ(out, "value");
}

TEST(HostIni, WritesCreateAndReplace) {
  std::string f = std::string(::testing::TempDir()) + "hostini-w.ini";
  std::remove(f.c_str());
  ASSERT_TRUE(os::WriteProfileString(f, "A", "k1", "v1"));
  ASSERT_TRUE(os::WriteProfileString(f, "B", "k2", "v2"));
  ASSERT_TRUE(os::WriteProfileString(f, "a", "K1", "v1b"));
  ASSERT_TRUE(os::WriteProfileString(f, "A", "k3", "v3"));
  std::string out;
  os::GetProfileString(f, "A", "k1", "", 100, out);
  EXPECT_EQ(out, "v1b");
  os::GetProfileString(f, "A", "k3", "", 100, out);
  EXPECT_EQ(out, "v3");
  os::GetProfileString(f, "B", "k2", "", 100, out);
  EXPECT_EQ(out, "v2");
}

TEST(HostPaths, DriveLettersMapToFolders) {
  os::host::SetDriveRoot('C', "/tmp/croot");
  EXPECT_EQ(os::host::MapPath("C:\\a\\b.txt"), "/tmp/croot/a/b.txt");
  EXPECT_EQ(os::host::MapPath("c:\\"), "/tmp/croot/");
  EXPECT_EQ(os::host::MapPath("rel\\x"), "rel/x");
  os::host::ResetAll();
}

TEST(HostAtoms, CountReferencesLikeWin32) {
  os::host::ResetAll();
  os::Atom a = os::AddGlobalAtom("Thread 5");
  ASSERT_NE(a, 0);
  EXPECT_EQ(os::AddGlobalAtom("thread 5"), a);
  EXPECT_EQ(os::FindGlobalAtom("THREAD 5"), a);
  EXPECT_TRUE(os::DeleteGlobalAtom(a));
  EXPECT_EQ(os::FindGlobalAtom("Thread 5"), a);
  EXPECT_TRUE(os::DeleteGlobalAtom(a));
  EXPECT_EQ(os::FindGlobalAtom("Thread 5"), 0);
}

}  // namespace
