// The update descriptors: where they are, how each kind of key reads, the
// transient settings and their list, the written times and their readable
// copies.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "autoupdate/descriptors.h"
#include "os/host/host_control.h"

namespace {

class Descriptors : public ::testing::Test {
 protected:
  void SetUp() override {
    os::host::ResetAll();
    kv::ResetDescriptorState();
    char tmpl[] = "/tmp/kvdescXXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    std::filesystem::create_directories(root_ + "/Agent");
    os::host::SetDriveRoot('C', root_);
    os::host::SetModulePath("C:\\Agent\\X_Agent.exe");
    kv::SetInfoFileName("MyApp.info");
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
    os::host::ResetAll();
    kv::ResetDescriptorState();
  }
  void WriteAgentFile(const std::string& name, const std::string& content) {
    std::ofstream(root_ + "/Agent/" + name, std::ios::binary) << content;
  }
  std::string ReadAgentFile(const std::string& name) {
    std::ifstream in(root_ + "/Agent/" + name, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  std::string root_;
};

TEST_F(Descriptors, LocationsUseTheFileNameOnly) {
  struct Case {
    const char* infoFileName;
    const char* original;
    const char* info;
  };
  const Case cases[] = {
      {"MyApp.info", "C:\\Agent\\MyApp.original", "C:\\Agent\\MyApp.info"},
      {"Tool.Update.info", "C:\\Agent\\Tool.original", "C:\\Agent\\Tool.Update.info"},
      {"http://host/dir/Tool.info", "C:\\Agent\\Tool.original", "C:\\Agent\\Tool.info"},
      {"D:\\Publish\\Tool.info", "C:\\Agent\\Tool.original", "C:\\Agent\\Tool.info"},
      // A folder part can never lead the files out of the agent's folder.
      {"..\\..\\Evil.info", "C:\\Agent\\Evil.original", "C:\\Agent\\Evil.info"},
      {"NoDot", "C:\\Agent\\NoDot.original", "C:\\Agent\\NoDot"},
  };
  for (const Case& c : cases) {
    kv::SetInfoFileName(c.infoFileName);
    EXPECT_EQ(kv::GetOriginalPath(), c.original) << c.infoFileName;
    EXPECT_EQ(kv::GetInfoPath(), c.info) << c.infoFileName;
  }
}

TEST_F(Descriptors, MissingFilesGiveTheDefaults) {
  EXPECT_EQ(kv::ReadVersionOriginal(), 0);
  EXPECT_EQ(kv::ReadProbeSecondsInterval(), 0);
  EXPECT_EQ(kv::ReadOriginalProgramName(), "");
  EXPECT_EQ(kv::ReadMsgBoxBtnText(), "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
  EXPECT_EQ(kv::ReadMsgBoxError(), "Error");
  EXPECT_EQ(kv::ReadMsgBoxConfirm(), "Confirm");
  EXPECT_EQ(kv::ReadMsgBoxAttention(), "Attention");
  EXPECT_EQ(kv::ReadMsgBoxCharSet(), 0);
  EXPECT_EQ(kv::ReadMsgBoxFontName(), "Tahoma");
  EXPECT_EQ(kv::ReadMsgBoxFontSize(), 8);
  EXPECT_EQ(kv::ReadAgentText("s3", kv::DefaultAgentText("s3")), "File Download Aborted!");
  EXPECT_EQ(kv::DefaultAgentText("s35"), "Download");
  EXPECT_EQ(kv::DefaultAgentText("s11"), "");
  EXPECT_FALSE(kv::ReadRequestConfirmationBeforeDownload());
  EXPECT_FALSE(kv::ReadRemoveStartUpShortcut());
  EXPECT_FALSE(kv::ReadAutoInform());
  EXPECT_EQ(kv::ReadAutoInformW(), 360);
  EXPECT_EQ(kv::ReadAutoInformH(), 360);
  EXPECT_EQ(kv::ReadShutDownMethod(), "");
}

TEST_F(Descriptors, ReadsTheirSectionsAndTypes) {
  WriteAgentFile("MyApp.original",
                 "[OriginalSetup]\r\nProbeSecondsInterval=-1\r\nVersionOriginal=7\r\n"
                 "Stamp=4294967295\r\nProgramName=My App\r\n"
                 "[Directories]\r\nTargetDir=C:\\Program Files\\My App\r\n"
                 "[UnInstall]\r\nCheckforNewUpdateLink=C:\\Links\\Check.lnk\r\n"
                 "[MsgBox]\r\nCharSet=177\r\nFontSize=abc\r\nError=\r\n"
                 "[AutoUpdate]\r\ns16=PROG_NAME updated\r\n");
  WriteAgentFile("MyApp.info",
                 "[NewSetup]\r\nVersionNew=4294967297\r\nSizeOfUpdateFile=-2\r\n"
                 "ShutDownMethod=Using WM_CLOSE\r\nProgramName=My App 2\r\nStamp=9\r\n"
                 "RemoveCheckForNewUpdateShortcut=1\r\n"
                 "[AutoInform]\r\nAutoInformW=500\r\nNameOfInformFile=news.txt\r\n");
  EXPECT_EQ(kv::ReadProbeSecondsInterval(), -1);
  EXPECT_EQ(kv::ReadVersionOriginal(), 7);
  EXPECT_EQ(kv::ReadOriginalStamp(), -1);          // low 32 bits, signed
  EXPECT_EQ(kv::ReadOriginalProgramName(), "My App");
  EXPECT_EQ(kv::ReadTargetDir(), "C:\\Program Files\\My App");
  EXPECT_EQ(kv::ReadCheckforNewUpdateLink(), "C:\\Links\\Check.lnk");
  EXPECT_EQ(kv::ReadMsgBoxCharSet(), 177);
  EXPECT_EQ(kv::ReadMsgBoxFontSize(), 8);          // not a number: the default
  EXPECT_EQ(kv::ReadMsgBoxError(), "Error");       // empty value: the default
  EXPECT_EQ(kv::ReadAgentText("s16", ""), "PROG_NAME updated");
  EXPECT_EQ(kv::ReadVersionNew(), 1);              // 4294967297 keeps its low 32 bits
  EXPECT_EQ(kv::ReadSizeOfUpdateFile(), -2);
  EXPECT_EQ(kv::ReadShutDownMethod(), "Using WM_CLOSE");
  EXPECT_EQ(kv::ReadInfoProgramName(), "My App 2");
  EXPECT_EQ(kv::ReadInfoStamp(), 9);
  EXPECT_TRUE(kv::ReadRemoveCheckForNewUpdateShortcut());
  EXPECT_FALSE(kv::ReadRemoveStartUpShortcut());
  EXPECT_EQ(kv::ReadAutoInformW(), 500);
  EXPECT_EQ(kv::ReadAutoInformH(), 360);
  EXPECT_EQ(kv::ReadNameOfInformFile(), "news.txt");
}

TEST_F(Descriptors, SwitchesAreOnOnlyForOne) {
  struct Case {
    const char* value;
    bool want;
  };
  const Case cases[] = {{"1", true}, {" 1 ", true}, {"yes", false}, {"true", false},
                        {"01", false}, {"2", false}, {"", false},    {"0", false}};
  for (const Case& c : cases) {
    WriteAgentFile("MyApp.info", std::string("[NewSetup]\r\nRequestConfirmationBeforeInstall=") +
                                     c.value + "\r\nRemoveStartUpShortcut=" + c.value + "\r\n");
    EXPECT_EQ(kv::ReadRequestConfirmationBeforeInstall(), c.want) << "'" << c.value << "'";
    EXPECT_EQ(kv::ReadRemoveStartUpShortcut(), c.want) << "'" << c.value << "'";
  }
}

TEST_F(Descriptors, AutoInformIsTheNumberOne) {
  struct Case {
    const char* value;
    bool want;
  };
  const Case cases[] = {{"1", true}, {"01", true}, {"2", false}, {"x", false}, {"4294967297", false}};
  for (const Case& c : cases) {
    WriteAgentFile("MyApp.info", std::string("[General]\r\nAutoInform=") + c.value + "\r\n");
    EXPECT_EQ(kv::ReadAutoInform(), c.want) << c.value;
  }
}

TEST_F(Descriptors, TransientSettingsOverrideTheInfoFile) {
  WriteAgentFile("MyApp.info",
                 "[NewSetup]\r\nRequestConfirmationBeforeDownload=1\r\nBackgroundUpdate=0\r\n"
                 "RequestConfirmationBeforeInstallForce=1\r\n");
  EXPECT_TRUE(kv::ReadRequestConfirmationBeforeDownload());  // 255: the file decides
  kv::SetTransientSetting(kv::kTransientConfirmDownload, 0);
  EXPECT_FALSE(kv::ReadRequestConfirmationBeforeDownload());
  kv::SetTransientSetting(kv::kTransientConfirmDownload, 7);  // anything but 1 is off
  EXPECT_FALSE(kv::ReadRequestConfirmationBeforeDownload());
  kv::SetTransientSetting(kv::kTransientBackgroundUpdate, 1);
  EXPECT_TRUE(kv::ReadBackgroundUpdate());
  kv::SetTransientSetting(kv::kTransientConfirmDownload, 255);
  EXPECT_TRUE(kv::ReadRequestConfirmationBeforeDownload());

  // The two force switches have no command: only the list sets them.
  kv::SetTransientSetting(kv::kTransientConfirmInstallForce, 0);
  EXPECT_TRUE(kv::ReadRequestConfirmationBeforeInstallForce());
  kv::ParseTransientList("|255|255|255|255|255|255|255|0|");
  EXPECT_FALSE(kv::ReadRequestConfirmationBeforeInstallForce());

  // Each switch follows its own position.
  kv::ResetDescriptorState();
  kv::SetInfoFileName("MyApp.info");
  WriteAgentFile("MyApp.info", "[NewSetup]\r\n");
  kv::ParseTransientList("|1|1|1|1|1|1|1|1|");
  EXPECT_TRUE(kv::AskBeforeEveryCheck());
  EXPECT_TRUE(kv::ReadRequestConfirmationBeforeDownload());
  EXPECT_TRUE(kv::ReadRequestConfirmationBeforeInstall());
  EXPECT_TRUE(kv::ReadBackgroundUpdate());
  EXPECT_TRUE(kv::ReadInformFinish());
  EXPECT_TRUE(kv::ReadRestartProcess());
  EXPECT_TRUE(kv::ReadRequestConfirmationBeforeDownloadForce());
  EXPECT_TRUE(kv::ReadRequestConfirmationBeforeInstallForce());
}

TEST_F(Descriptors, TransientList) {
  EXPECT_EQ(kv::BuildTransientList(), "|255|255|255|255|255|255|255|255|");
  struct Case {
    const char* list;
    const char* want;
  };
  const Case cases[] = {
      {"|1|0|", "|1|0|255|255|255|255|255|255|"},          // only positions 0 and 1
      {"|300|", "|44|255|255|255|255|255|255|255|"},        // the low byte
      {"|x||-1| 7 |", "|255|255|255|7|255|255|255|255|"},   // -1 stores 255
      {"|1|2|3|4|5|6|7|8|9|10|", "|1|2|3|4|5|6|7|8|"},      // fields beyond 7 ignored
      {"", "|255|255|255|255|255|255|255|255|"},
      {"garbage", "|255|255|255|255|255|255|255|255|"},
      {"|99999999999999999999999|", "|255|255|255|255|255|255|255|255|"},
  };
  for (const Case& c : cases) {
    kv::ResetDescriptorState();
    kv::ParseTransientList(c.list);
    EXPECT_EQ(kv::BuildTransientList(), c.want) << c.list;
  }
  // A list keeps what it does not name.
  kv::ResetDescriptorState();
  kv::SetTransientSetting(kv::kTransientRestartProcess, 0);
  kv::ParseTransientList("|1|");
  EXPECT_EQ(kv::BuildTransientList(), "|1|255|255|255|255|0|255|255|");
  EXPECT_EQ(kv::GetTransientSetting(8), 255);
}

TEST_F(Descriptors, SecondsAndTheirReadableCopy) {
  const std::int64_t midnight = kv::SecondsFromDateTime(2025, 12, 9, 0, 0, 0);
  EXPECT_EQ(midnight, 46000LL * 86400);  // 9 Dec 2025 is day 46000
  kv::WriteProbeSecondsLast(midnight);
  EXPECT_EQ(kv::ReadProbeSecondsLast(), midnight);
  std::string file = ReadAgentFile("MyApp.original");
  EXPECT_NE(file.find("ProbeSecondsLast=3974400000"), std::string::npos) << file;
  EXPECT_NE(file.find("__ProbeSecondsLast=09-DEC-2025 00:00:00"), std::string::npos) << file;

  os::host::SetSeparators('/', '.');
  kv::WriteReAskSecondsLast(kv::SecondsFromDateTime(2025, 12, 9, 14, 41, 5));
  file = ReadAgentFile("MyApp.original");
  EXPECT_NE(file.find("__ReAskSecondsLast=09-DEC-2025 14.41.05"), std::string::npos) << file;

  EXPECT_EQ(kv::SecondsText(0), "30-DEC-1899 00.00.00");
  EXPECT_EQ(kv::SecondsText(kv::SecondsFromDateTime(2024, 2, 29, 23, 59, 59)),
            "29-FEB-2024 23.59.59");
  EXPECT_EQ(kv::SecondsText(-108000), "29-DEC-1899 06.00.00");  // day -1.25
  EXPECT_FALSE(kv::SecondsText(LLONG_MAX).empty());
  EXPECT_FALSE(kv::SecondsText(LLONG_MIN).empty());
}

TEST_F(Descriptors, WritersStoreWhatTheReadersSee) {
  kv::WriteProbeSecondsInterval(86400);
  kv::WriteReAskSecondsInterval(-1);
  kv::WriteVersionOriginal(-5);
  kv::WriteOriginalStamp(2147483647);
  EXPECT_EQ(kv::ReadProbeSecondsInterval(), 86400);
  EXPECT_EQ(kv::ReadReAskSecondsInterval(), -1);
  EXPECT_EQ(kv::ReadVersionOriginal(), -5);
  EXPECT_EQ(kv::ReadOriginalStamp(), 2147483647);
  EXPECT_NE(ReadAgentFile("MyApp.original").find("VersionOriginal=-5"), std::string::npos);

  // A folder that does not exist: the write is dropped without a sound.
  os::host::SetModulePath("C:\\Missing\\X_Agent.exe");
  kv::WriteVersionOriginal(3);
  EXPECT_EQ(kv::ReadVersionOriginal(), 0);
}

TEST_F(Descriptors, NowSecondsRoundsHalfToEven) {
  const std::int64_t base = kv::SecondsFromDateTime(2025, 12, 9, 14, 41, 4);  // even
  struct Case {
    int second, ms;
    std::int64_t want;
  };
  const Case cases[] = {
      {4, 0, base},     {4, 499, base},   {4, 500, base},  // tie to even: stays
      {4, 501, base + 1}, {5, 500, base + 2},              // 5 is odd: up to 6
      {5, 499, base + 1},
  };
  for (const Case& c : cases) {
    os::LocalTime t;
    t.year = 2025;
    t.month = 12;
    t.day = 9;
    t.hour = 14;
    t.minute = 41;
    t.second = c.second;
    t.millisecond = c.ms;
    os::host::SetLocalTime(t);
    EXPECT_EQ(kv::NowSeconds(), c.want) << c.second << "." << c.ms;
  }
}

}  // namespace
