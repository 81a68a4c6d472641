// The extraction folder, the choice of another drive, the space question and
// the forced disk prompt setting.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "lang/langres.h"
#include "os/file.h"
#include "os/host/host_control.h"
#include "os/host/host_ui.h"
#include "os/system.h"
#include "package/gfileinfo.h"
#include "package/langblocks.h"
#include "package_images.h"
#include "setup/tempfolder.h"
#include "sys/files.h"

namespace {

constexpr double MiB = 1048576.0;

kv::TGFileInfo Package(std::uint8_t flags, const std::string& languageBlocks = "",
                       std::uint32_t totalSize = 0) {
  kv::PackageTrailer t = kvtest::BasicTrailer();
  t.SetPackageFlags(flags);
  t.SetTotalSize(totalSize);
  for (int k = 0; k < 8; ++k) t.SetSpaceByClusterSize(k, totalSize);
  return kv::TGFileInfo::FromImage(kvtest::BuildImage("", {languageBlocks, ""}, "", t, false).bytes);
}

// Drives C, D and E (and T for odd cases) each mapped to a folder of their own.
class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os::host::ResetAll();
    os::host::ResetUi();
    kv::ResetTempFolderState();
    kv::ResetLangState();
    kv::filesState() = kv::FilesState();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = std::string(::testing::TempDir()) + "kvtemp_" + info->name();
    std::system(("rm -rf '" + root_ + "'").c_str());
    for (char d : {'C', 'D', 'E', 'T'}) {
      std::string folder = root_ + "/" + d;
      std::system(("mkdir -p '" + folder + "'").c_str());
      os::host::SetDriveRoot(d, folder);
    }
    os::host::SetFolders("C:\\Tmp\\", "C:\\Windows", "C:\\Windows\\system32");
    kv::ForceDirectories("C:\\Tmp");
  }
  void TearDown() override {
    os::host::ResetAll();
    os::host::ResetUi();
    kv::ResetTempFolderState();
    kv::ResetLangState();
  }

  void Drives(std::int64_t c, std::int64_t d, std::int64_t e) {
    os::host::SetDriveType('C', 3);
    os::host::SetDriveType('D', 3);
    os::host::SetDriveType('E', 3);
    os::host::SetFreeBytes('C', c);
    os::host::SetFreeBytes('D', d);
    os::host::SetFreeBytes('E', e);
  }

  std::string root_;
};

TEST(FormatMB, Table) {
  struct Case { double bytes; const char* want; };
  const Case cases[] = {
      {0, "0.000"},          {524288, "0.500"},       {3 * MiB + 524288, "3.50"},
      {15 * MiB, "15.0"},    {-1, "0.000"},           {1 * MiB, "1.00"},
      {10 * MiB, "10.00"},   {10.5 * MiB, "10.5"},    {1048, "0.001"},
  };
  for (const Case& c : cases) EXPECT_EQ(kv::FormatMB(c.bytes), c.want) << c.bytes;
}

TEST(ForcePrompt, OnlyTheExactTextOne) {
  const std::string key = "Software\\Dornvale\\Kavrex\\SpanDisk";
  struct Case { const char* what; std::uint32_t type; std::string data; bool want; };
  const Case cases[] = {
      {"text 1", os::kRegSz, std::string("1\0", 2), true},
      {"text 1 with a blank", os::kRegSz, std::string("1 \0", 3), false},
      {"text 0", os::kRegSz, std::string("0\0", 2), false},
      {"number 1", os::kRegDword, std::string("\1\0\0\0", 4), true},
      {"number 257", os::kRegDword, std::string("\1\1\0\0", 4), false},
  };
  for (const Case& c : cases) {
    os::host::ClearRegistry();
    os::host::SetRegValue(os::RootKey::CurrentUser, key, "ForcePrompt", c.type, c.data);
    EXPECT_EQ(kv::ReadForcePrompt(), c.want) << c.what;
  }
  os::host::ClearRegistry();
  EXPECT_FALSE(kv::ReadForcePrompt());  // missing
}

TEST_F(TempFolderTest, SetupFolderIsNamedAfterTheFileTimeAndClearedOnce) {
  // 2020-02-03 17:29:58 -> 17 * 2048 + 29 * 32 + 29 = 35773.
  const std::uint32_t date = ((2020 - 1980) << 9) | (2 << 5) | 3;
  const std::uint32_t packed = (date << 16) | (17 << 11) | (29 << 5) | 29;
  EXPECT_EQ(kv::SetupTempFolderName("C:\\Temp\\", packed), "C:\\Temp\\SETUP_35773");
  EXPECT_EQ(kv::SetupTempFolderName("C:\\Temp", packed), "C:\\Temp\\SETUP_35773");

  ASSERT_TRUE(kv::ForceDirectories("C:\\app"));
  ASSERT_TRUE(kv::WriteTextToFile("C:\\app\\setup.exe", "MZ", packed));
  os::host::SetModulePath("C:\\app\\setup.exe");
  ASSERT_TRUE(kv::ForceDirectories("C:\\Tmp\\SETUP_35773\\old"));
  ASSERT_TRUE(kv::WriteTextToFile("C:\\Tmp\\SETUP_35773\\old\\stale.txt", "stale"));

  EXPECT_EQ(kv::GetSetupTempFolder(), "C:\\Tmp\\SETUP_35773");
  EXPECT_TRUE(os::DirExists("C:\\Tmp\\SETUP_35773"));
  EXPECT_FALSE(os::DirExists("C:\\Tmp\\SETUP_35773\\old"));  // a stale run's files are gone

  ASSERT_TRUE(kv::WriteTextToFile("C:\\Tmp\\SETUP_35773\\new.txt", "new"));
  EXPECT_EQ(kv::GetSetupTempFolder(), "C:\\Tmp\\SETUP_35773");
  EXPECT_TRUE(os::FileExists("C:\\Tmp\\SETUP_35773\\new.txt"));  // later calls keep it
}

TEST_F(TempFolderTest, SetupFolderIsMadeWithMissingParents) {
  os::host::SetFolders("C:\\Users\\me\\AppData\\Local\\Temp\\", "C:\\Windows", "C:\\Windows\\system32");
  os::host::SetModulePath("C:\\missing.exe");  // no time stamp: the time part reads 0
  EXPECT_EQ(kv::GetSetupTempFolder(), "C:\\Users\\me\\AppData\\Local\\Temp\\SETUP_0");
  EXPECT_TRUE(os::DirExists("C:\\Users\\me\\AppData\\Local\\Temp\\SETUP_0"));
}

TEST_F(TempFolderTest, AlternativeDriveWithMoreRoom) {
  Drives(100, 500, 300);
  ASSERT_TRUE(kv::FindAlternativeTempBase());
  EXPECT_EQ(kv::tempFolderState().alternativeBase, "D:\\TEMP");
  for (char d : {'C', 'D', 'E'})  // the probes left nothing behind
    EXPECT_FALSE(os::DirExists(std::string(1, d) + ":\\TEMP")) << d;

  std::string folder = kv::GetAlternativeTempFolder();
  ASSERT_EQ(folder.substr(0, 8), "D:\\TEMP_");
  std::int64_t n = std::atoll(folder.substr(8).c_str());
  EXPECT_GE(n, 10000);
  EXPECT_LE(n, 100000);
  EXPECT_TRUE(os::DirExists(folder));
  EXPECT_EQ(kv::GetAlternativeTempFolder(), folder);  // made once
  EXPECT_TRUE(kv::FindAlternativeTempBase());        // chosen once

  ASSERT_TRUE(kv::WriteTextToFile(folder + "\\Engine.exe", "x"));
  kv::RemoveAlternativeTempFolder();
  EXPECT_FALSE(os::DirExists(folder));
}

TEST_F(TempFolderTest, ExistingTempFolderOnTheOtherDriveIsLeftAlone) {
  Drives(100, 500, 300);
  ASSERT_TRUE(kv::ForceDirectories("D:\\TEMP"));
  ASSERT_TRUE(kv::WriteTextToFile("D:\\TEMP\\theirs.txt", "keep"));
  ASSERT_TRUE(kv::FindAlternativeTempBase());
  EXPECT_EQ(kv::tempFolderState().alternativeBase, "D:\\TEMP\\TEMP");
  std::string folder = kv::GetAlternativeTempFolder();
  EXPECT_EQ(folder.substr(0, 13), "D:\\TEMP\\TEMP_");
  EXPECT_TRUE(os::DirExists(folder));
  kv::RemoveAlternativeTempFolder();
  EXPECT_EQ(kv::ReadFilePart("D:\\TEMP\\theirs.txt"), "keep");
  for (const os::DirEntry& e : os::ListDir("D:\\TEMP\\*.*"))  // no probe or folder left
    EXPECT_TRUE(!e.isDir || e.name == "." || e.name == "..") << e.name;
}

TEST_F(TempFolderTest, AlternativeBaseChoiceRules) {
  struct Case {
    const char* what;
    std::int64_t c, d, e;
    int dType;
    const char* temp;
    const char* want;  // base, empty for none
  };
  const Case cases[] = {
      {"temp drive has most room", 900, 500, 300, 3, "C:\\Temp\\", ""},
      {"tie keeps the earlier letter", 500, 500, 100, 3, "E:\\Temp\\", "C:\\TEMP"},
      {"removable drives do not count", 100, 900000, 300, 2, "C:\\Temp\\", "E:\\TEMP"},
      {"no room anywhere", 0, 0, 0, 3, "F:\\Temp\\", ""},
      {"temp drive beyond E", 0, 0, 10, 3, "F:\\Temp\\", "E:\\TEMP"},
  };
  for (const Case& c : cases) {
    kv::ResetTempFolderState();
    Drives(c.c, c.d, c.e);
    os::host::SetDriveType('D', c.dType);
    os::host::SetFolders(c.temp, "C:\\Windows", "C:\\Windows\\system32");
    EXPECT_EQ(kv::FindAlternativeTempBase(), *c.want != '\0') << c.what;
    EXPECT_EQ(kv::tempFolderState().alternativeBase, c.want) << c.what;
    EXPECT_EQ(kv::GetAlternativeTempFolder().empty(), *c.want == '\0') << c.what;
  }
}

TEST_F(TempFolderTest, DriveThatTakesNoFileHasNoRoom) {
  Drives(100, 5000, 300);
  os::host::SetDriveRoot('D', "/dev/null/not-a-folder");
  ASSERT_TRUE(kv::FindAlternativeTempBase());
  EXPECT_EQ(kv::tempFolderState().alternativeBase, "E:\\TEMP");
}

TEST_F(TempFolderTest, HasRoomForPackage) {
  kv::PackageTrailer t = kvtest::BasicTrailer();
  t.SetTotalSize(1000);
  for (int k = 0; k < 8; ++k) t.SetSpaceByClusterSize(k, 1000);
  const std::string pkg = "C:\\pkg\\setup.exe";
  kv::ForceDirectories("C:\\pkg");
  ASSERT_TRUE(kv::WriteTextToFile(pkg, kvtest::BuildImage("", {"", ""}, "", t, false).bytes));
  kv::ForceDirectories("D:\\dest");
  os::host::SetDriveType('D', 3);
  struct Case { std::int64_t free; const char* folder; bool want; };
  const Case cases[] = {
      {1001, "D:\\dest", true},
      {1000, "D:\\dest", false},     // the need must be strictly below the free space
      {999, "D:\\dest", false},
      {5000, "D:\\missing", false},  // the folder must exist
  };
  for (const Case& c : cases) {
    os::host::SetFreeBytes('D', c.free);
    EXPECT_EQ(kv::HasRoomForPackage(c.folder, pkg), c.want) << c.free << " " << c.folder;
  }
  os::host::SetFreeBytes('D', 5000);
  EXPECT_TRUE(kv::HasRoomForPackage("D:\\dest", pkg));
  EXPECT_FALSE(kv::HasRoomForPackage("Q:\\dest", pkg));  // a drive that cannot be queried
}

TEST_F(TempFolderTest, SpaceQuestionText) {
  const std::string tail =
      "<P>Estimated space required on your Temp drive is: <T>  1.00 MB<P>"
      "Free space available on your Temp drive is: <T>  2.00 MB<P>"
      "<P>Continue with Setup?<P>";
  struct Case { const char* what; std::uint8_t flags; double req, avail; std::string want; };
  const Case cases[] = {
      {"enough room, no notice", 0, MiB, 2 * MiB, ""},
      {"notice wanted", kv::kFlagTempNotice, MiB, 2 * MiB,
       "Kavrex will extract files to your Temp Drive (D:)<P>" + tail},
      {"equal counts as short", kv::kFlagTempNotice, MiB, MiB,
       "Limited Free Space on your Temp Drive! (D:)<P>"
       "<P>Estimated space required on your Temp drive is: <T>  1.00 MB<P>"
       "Free space available on your Temp drive is: <T>  1.00 MB<P>"
       "<P>Continue with Setup?<P>"},
      {"unknown free space", 0, 524288, -1,
       "Limited Free Space on your Temp Drive! (D:)<P>"
       "<P>Estimated space required on your Temp drive is: <T>  0.500 MB<P>"
       "Free space available on your Temp drive is: <T>  0.000 MB<P>"
       "<P>Continue with Setup?<P>"},
  };
  for (const Case& c : cases) {
    kv::TGFileInfo info = Package(c.flags);
    EXPECT_EQ(kv::BuildTempSpaceMessage(info, "d:\\Temp\\SETUP_1", c.req, c.avail), c.want)
        << c.what;
  }
}

TEST_F(TempFolderTest, SpaceQuestionUsesTheLanguageBlock) {
  std::string block, blocks;
  ASSERT_TRUE(kv::BuildLanguageBlock("Turkish",
                                     {{"s3", "Yer az <DRIVE> <DRIVE>|"},
                                      {"s4", "Gerekli <SPACE_REQ>|"},
                                      {"s5", "Bos <SPACE_AVAIL>|"},
                                      {"s6", ""}},
                                     block));
  ASSERT_TRUE(kv::BuildLanguageBlocks({block}, blocks));
  kv::TGFileInfo info = Package(0, blocks);
  EXPECT_EQ(kv::BuildTempSpaceMessage(info, "C:\\x", 15 * MiB, 0),
            "Yer az C: C:|Gerekli 15.0|Bos 0.000|");
}

TEST_F(TempFolderTest, ConfirmAsksOnlyWhenNeeded) {
  os::host::SetDriveType('D', 3);
  kv::ForceDirectories("D:\\dest");
  kv::TGFileInfo small = Package(0, "", 1000);

  os::host::SetFreeBytes('D', 1 << 30);
  EXPECT_TRUE(kv::ConfirmTempSpace("D:\\dest", small));
  EXPECT_TRUE(os::host::ShownBoxes().empty());

  os::host::SetFreeBytes('D', 1000);  // need == free: ask
  os::host::QueueBoxAnswer(7);        // No
  EXPECT_FALSE(kv::ConfirmTempSpace("D:\\dest", small));
  os::host::QueueBoxAnswer(6);        // Yes
  EXPECT_TRUE(kv::ConfirmTempSpace("D:\\dest", small));
  ASSERT_EQ(os::host::ShownBoxes().size(), 2u);
  const os::BoxRequest& box = os::host::ShownBoxes().back();
  EXPECT_EQ(box.caption, "Confirm");
  EXPECT_EQ(os::host::BoxCaptions(box), (std::vector<std::string>{"&Yes", "&No"}));
  EXPECT_NE(box.markup.find("Limited Free Space on your Temp Drive! (D:)"), std::string::npos);
}

}  // namespace
