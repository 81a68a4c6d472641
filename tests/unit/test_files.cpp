// File and folder operations, the self-delete batch, and the process and
// system services they rest on.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "os/file.h"
#include "os/host/host_control.h"
#include "os/process.h"
#include "os/system.h"
#include "sys/files.h"
#include "sys/kdebug.h"

namespace {

// Drive T: mapped to a fresh folder of its own for every test.
class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os::host::ResetAll();
    kv::filesState() = kv::FilesState();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = std::string(::testing::TempDir()) + "kvfiles_" + info->test_suite_name() + "_" +
            info->name();
    std::system(("rm -rf '" + root_ + "' && mkdir -p '" + root_ + "'").c_str());
    os::host::SetDriveRoot('T', root_);
  }
  void TearDown() override { os::host::ResetAll(); }

  // Writes a file by its Windows path, making its folders.
  void Put(const std::string& winPath, const std::string& content) {
    std::string host = os::host::MapPath(winPath);
    std::system(("mkdir -p '" + host.substr(0, host.find_last_of('/')) + "'").c_str());
    std::ofstream(host, std::ios::binary) << content;
  }
  std::string Get(const std::string& winPath) {
    std::ifstream in(os::host::MapPath(winPath), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  std::string root_;
};

TEST_F(FilesTest, ReadFilePartCoversOffsetsAndLimits) {
  Put("T:\\four.bin", "abcd");
  Put("T:\\empty.bin", "");
  struct Case { const char* path; std::int64_t max; std::int64_t offset; const char* want; };
  const Case cases[] = {
      {"T:\\four.bin", 0, 0, "abcd"},   // whole file
      {"T:\\four.bin", 10, 0, "abcd"},  // a maximum beyond the end reads what is there
      {"T:\\four.bin", 2, 1, "bc"},
      {"T:\\four.bin", 0, 3, "d"},
      {"T:\\four.bin", 0, 4, ""},       // offset at the end
      {"T:\\four.bin", 0, 9, ""},       // offset beyond the end
      {"T:\\four.bin", 0, -1, ""},      // negative offset
      {"T:\\empty.bin", 0, 0, ""},
      {"T:\\missing.bin", 0, 0, ""},
      {"T:\\", 0, 0, ""},               // a folder is not a file
  };
  for (const Case& c : cases)
    EXPECT_EQ(kv::ReadFilePart(c.path, c.max, c.offset), c.want)
        << c.path << " max " << c.max << " offset " << c.offset;
}

TEST_F(FilesTest, WriteTextToFileCreatesTruncatesAndAppends) {
  ASSERT_TRUE(kv::WriteTextToFile("T:\\w.txt", "hello world"));
  EXPECT_EQ(Get("T:\\w.txt"), "hello world");
  ASSERT_TRUE(kv::WriteTextToFile("T:\\w.txt", "bye"));  // truncates
  EXPECT_EQ(Get("T:\\w.txt"), "bye");
  ASSERT_TRUE(kv::WriteTextToFile("T:\\w.txt", "!", 0, true));
  EXPECT_EQ(Get("T:\\w.txt"), "bye!");
  ASSERT_TRUE(kv::WriteTextToFile("T:\\w.txt", "", 0, true));  // empty append keeps the file
  EXPECT_EQ(Get("T:\\w.txt"), "bye!");
  ASSERT_TRUE(kv::WriteTextToFile("T:\\new-empty.txt", ""));   // empty content creates it
  EXPECT_TRUE(os::FileExists("T:\\new-empty.txt"));
  ASSERT_TRUE(kv::WriteTextToFile("T:\\w.txt", ""));
  EXPECT_EQ(Get("T:\\w.txt"), "");
  // A file that cannot be made is a failure, even for an empty content.
  EXPECT_FALSE(kv::WriteTextToFile("T:\\no\\such\\dir\\x.txt", "data"));
  EXPECT_FALSE(kv::WriteTextToFile("T:\\no\\such\\dir\\x.txt", ""));
  EXPECT_FALSE(kv::AppendToFile("T:\\no\\such\\dir\\x.txt", ""));
}

TEST_F(FilesTest, WritesSetThePackedFileDate) {
  // 2021-06-15 13:45:30 (DOS time keeps two-second steps).
  const std::uint32_t date = ((2021 - 1980) << 9) | (6 << 5) | 15;
  const std::uint32_t time = (13 << 11) | (45 << 5) | (30 / 2);
  const std::uint32_t packed = (date << 16) | time;
  ASSERT_TRUE(kv::WriteTextToFile("T:\\d1.txt", "x", packed));
  ASSERT_TRUE(kv::AppendToFile("T:\\d2.txt", "y", packed));
  for (const char* f : {"T:\\d1.txt", "T:\\d2.txt"}) {
    std::uint32_t got = 0;
    ASSERT_TRUE(os::GetFileDosDateTime(f, got)) << f;
    EXPECT_EQ(got, packed) << f;
  }
  std::uint32_t got = 0;
  EXPECT_FALSE(os::GetFileDosDateTime("T:\\missing", got));
}

TEST_F(FilesTest, ChunkSizeRule) {
  const std::int64_t MiB = 1048576;
  struct Case { std::int64_t length, chunk; };
  const Case cases[] = {
      {0, 0},          {100, 100},       {5000, 1024},  // tenth <= 1 KiB: 1 KiB at most
      {10240, 1024},   {10250, 1025},    {5 * MiB, MiB / 2},
      {10 * MiB, MiB}, {20 * MiB, MiB},  // capped at 1 MiB
  };
  for (const Case& c : cases) EXPECT_EQ(kv::WriteChunkSize(c.length), c.chunk) << c.length;
}

TEST_F(FilesTest, LargeWriteWithCallbackGoesInTenChunks) {
  const std::int64_t total = 5 * 1048576;
  std::string content(static_cast<std::size_t>(total), '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 + (i >> 12));
  std::vector<std::int64_t> positions;
  ASSERT_TRUE(kv::WriteTextToFile("T:\\big.bin", content, 0, false,
                                  [&](std::int64_t t, std::int64_t pos, bool&) {
                                    EXPECT_EQ(t, total);
                                    positions.push_back(pos);
                                  }));
  std::vector<std::int64_t> want;
  for (int i = 0; i <= 10; ++i) want.push_back(i * total / 10);
  EXPECT_EQ(positions, want);
  EXPECT_EQ(kv::ReadFilePart("T:\\big.bin"), content);

  // A small content with a callback: 1 KiB chunks, the last one shorter.
  positions.clear();
  ASSERT_TRUE(kv::WriteTextToFile("T:\\small.bin", std::string(3000, 'z'), 0, false,
                                  [&](std::int64_t, std::int64_t pos, bool&) {
                                    positions.push_back(pos);
                                  }));
  EXPECT_EQ(positions, (std::vector<std::int64_t>{0, 1024, 2048, 3000}));
  EXPECT_EQ(Get("T:\\small.bin"), std::string(3000, 'z'));

  // An empty content still reports position 0 once.
  positions.clear();
  ASSERT_TRUE(kv::WriteTextToFile("T:\\e.bin", "", 0, false,
                                  [&](std::int64_t, std::int64_t pos, bool&) {
                                    positions.push_back(pos);
                                  }));
  EXPECT_EQ(positions, (std::vector<std::int64_t>{0}));
}

TEST_F(FilesTest, CancelledWriteReportsFailure) {
  std::string content(20000, 'q');
  int calls = 0;
  EXPECT_FALSE(kv::WriteTextToFile("T:\\c.bin", content, 0, false,
                                   [&](std::int64_t, std::int64_t pos, bool& cancel) {
                                     ++calls;
                                     if (pos > 0) cancel = true;
                                   }));
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(Get("T:\\c.bin").size(), 2000u);  // one chunk of a tenth
}

TEST_F(FilesTest, AppendToFileCreatesThenExtends) {
  ASSERT_TRUE(kv::AppendToFile("T:\\log.txt", "one\r\n"));
  ASSERT_TRUE(kv::AppendToFile("T:\\log.txt", "two\r\n"));
  EXPECT_EQ(Get("T:\\log.txt"), "one\r\ntwo\r\n");
}

TEST_F(FilesTest, GetFileSizeByNameTakesFirstMatch) {
  Put("T:\\s\\data.bin", std::string(1234, 'a'));
  EXPECT_EQ(kv::GetFileSizeByName("T:\\s\\data.bin"), 1234);
  EXPECT_EQ(kv::GetFileSizeByName("T:\\s\\*.bin"), 1234);
  EXPECT_EQ(kv::GetFileSizeByName("T:\\s\\*.none"), 0);
  EXPECT_EQ(kv::GetFileSizeByName("T:\\nowhere\\x"), 0);
  EXPECT_EQ(kv::GetFileSizeByName(""), 0);
}

TEST_F(FilesTest, VolumeRootPath) {
  struct Case { const char* path; bool driveOnly; const char* want; };
  const Case cases[] = {
      {"C:\\Temp\\Setup", false, "C:\\Temp"},
      {"C:\\Temp", false, "C:\\Temp"},
      {"C:\\", false, "C:\\"},
      {"c:/temp/x/y", false, "c:\\temp"},
      {"c:\\temp\\x", true, "C:\\"},
      {"d:", false, "D:\\"},  // shorter than 3 characters: the drive
      {"", false, ""},
      {"", true, ""},
      {"\\\\server\\share\\dir", false, "\\\\server"},  // no usable root
  };
  for (const Case& c : cases)
    EXPECT_EQ(kv::GetVolumeRootPath(c.path, c.driveOnly), c.want) << c.path;
}

TEST_F(FilesTest, DiskFreeBytes) {
  EXPECT_EQ(kv::GetDiskFreeBytes("Q:\\x"), -1);  // no such drive
  EXPECT_EQ(kv::filesState().hasFreeSpaceEx, 1);  // the query's presence is cached
  EXPECT_EQ(kv::GetDiskFreeBytes(""), -1);
  os::host::SetFreeBytes('T', 123456789012LL);
  os::host::SetDriveType('T', 3);
  EXPECT_EQ(kv::GetDiskFreeBytes("T:\\some\\folder"), 123456789012.0);
  EXPECT_EQ(kv::GetDiskFreeBytes("t:"), 123456789012.0);
}

TEST_F(FilesTest, TreeSearchesFindFilesAndFolders) {
  Put("T:\\a\\readme.txt", "r");
  Put("T:\\a\\b\\c\\target.dat", "t");
  Put("T:\\z\\Setup\\x.txt", "x");
  EXPECT_EQ(kv::FindFileInTree("T:\\", "target.dat"), "T:\\a\\b\\c\\target.dat");
  EXPECT_EQ(kv::FindFileInTree("T:\\a", "readme.txt"), "T:\\a\\readme.txt");
  EXPECT_EQ(kv::FindFileInTree("T:\\", "absent.dat"), "");
  EXPECT_EQ(kv::FindFileInTree("T:\\nowhere", "target.dat"), "");
  EXPECT_EQ(kv::FindFolderInTree("T:\\", "C"), "T:\\a\\b\\c");  // name case ignored
  EXPECT_EQ(kv::FindFolderInTree("T:\\z\\Setup", "setup"), "T:\\z\\Setup");
  EXPECT_EQ(kv::FindFolderInTree("T:\\", "nothere"), "");

  // Only drives of the asked type are searched.
  os::host::SetDriveType('T', 2);
  EXPECT_EQ(kv::FindFileOnDrives("target.dat", 2), "T:\\a\\b\\c\\target.dat");
  EXPECT_EQ(kv::FindFileOnDrives("target.dat", 5), "");
  EXPECT_EQ(kv::FindFolderOnDrives("Setup", 2), "T:\\z\\Setup");
  // A full path is only checked, never searched for.
  EXPECT_EQ(kv::FindFolderOnDrives("T:\\a\\b", 2), "T:\\a\\b");
  EXPECT_EQ(kv::FindFolderOnDrives("T:\\a\\b", 3), "");
  EXPECT_EQ(kv::FindFolderOnDrives("T:\\a\\missing", 2), "");
}

TEST_F(FilesTest, DeleteFilesMatchesFilesOnly) {
  Put("T:\\d\\one.tmp", "1");
  Put("T:\\d\\two.tmp", "2");
  Put("T:\\d\\keep.txt", "k");
  Put("T:\\d\\sub.tmp\\inner.txt", "i");  // a folder matching the pattern stays
  EXPECT_TRUE(kv::DeleteFiles("T:\\d\\*.tmp", true));
  EXPECT_FALSE(os::FileExists("T:\\d\\one.tmp"));
  EXPECT_FALSE(os::FileExists("T:\\d\\two.tmp"));
  EXPECT_TRUE(os::FileExists("T:\\d\\keep.txt"));
  EXPECT_TRUE(os::FileExists("T:\\d\\sub.tmp\\inner.txt"));
  EXPECT_FALSE(kv::DeleteFiles("T:\\d\\*.tmp", false));  // nothing left to match
  EXPECT_FALSE(kv::DeleteFiles("T:\\missing\\*.*", false));
}

TEST_F(FilesTest, DeleteTreeRemovesEverything) {
  Put("T:\\tree\\f.txt", "f");
  Put("T:\\tree\\a\\b\\c\\deep.txt", "d");
  Put("T:\\tree\\e\\g.txt", "g");
  ASSERT_EQ(::chmod(os::host::MapPath("T:\\tree\\f.txt").c_str(), 0444), 0);
  EXPECT_TRUE(kv::DeleteTree("T:\\tree", true));
  EXPECT_FALSE(os::DirExists("T:\\tree"));
  EXPECT_FALSE(kv::DeleteTree("T:\\tree", true));  // already gone
  EXPECT_FALSE(kv::DeleteTree("", true));
}

TEST_F(FilesTest, DeleteTreeRemovesFolderLinksWithoutFollowingThem) {
  // An engine may leave a link in the setup folder; cleaning up must not
  // delete what the link points at.
  Put("T:\\outside\\keep.txt", "k");
  Put("T:\\tree\\f.txt", "f");
  ASSERT_EQ(::symlink(os::host::MapPath("T:\\outside").c_str(),
                      os::host::MapPath("T:\\tree\\link").c_str()), 0);
  EXPECT_TRUE(kv::DeleteTree("T:\\tree", false));
  EXPECT_EQ(Get("T:\\outside\\keep.txt"), "k");
  EXPECT_EQ(kv::FindFileInTree("T:\\", "keep.txt"), "T:\\outside\\keep.txt");
}

TEST_F(FilesTest, DeleteTreeStopsWhenTheCallbackCancels) {
  Put("T:\\tree\\s1\\x.txt", "1");
  Put("T:\\tree\\s2\\x.txt", "2");
  Put("T:\\tree\\s3\\x.txt", "3");
  std::vector<std::string> seen;
  EXPECT_FALSE(kv::DeleteTree("T:\\tree", false, [&](const std::string& sub, bool& cancel) {
    seen.push_back(sub);
    cancel = true;
  }));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_FALSE(os::DirExists(seen[0]));  // the one reported is still removed
  EXPECT_TRUE(os::DirExists("T:\\tree"));  // the others keep the folder alive
  int left = 0;
  for (const char* s : {"T:\\tree\\s1", "T:\\tree\\s2", "T:\\tree\\s3"}) left += os::DirExists(s);
  EXPECT_EQ(left, 2);
}

TEST_F(FilesTest, ForceDirectoriesMakesMissingParents) {
  EXPECT_TRUE(kv::ForceDirectories("T:\\p\\q\\r"));
  EXPECT_TRUE(os::DirExists("T:\\p\\q\\r"));
  EXPECT_TRUE(kv::ForceDirectories("T:\\p\\q\\r\\"));  // already there, trailing backslash
  EXPECT_TRUE(kv::ForceDirectories("T:\\"));
  EXPECT_FALSE(kv::ForceDirectories(""));
  Put("T:\\file", "x");
  EXPECT_FALSE(kv::ForceDirectories("T:\\file\\below"));  // a file in the way
}

TEST_F(FilesTest, DeleteMeBatchText) {
  const std::string exe = "C:\\Temp\\SETUP_1\\Y_setup.exe";
  const std::string dir = "C:\\Temp\\SETUP_1";
  const std::string bat = "C:\\Temp\\_DEL_ME_.BAT";
  EXPECT_EQ(kv::BuildDeleteMeBatch(exe, dir, bat, true, true),
            ":START\r\n"
            "DEL \"C:\\Temp\\SETUP_1\\Y_setup.exe\"\r\n"
            "IF exist \"C:\\Temp\\SETUP_1\\Y_setup.exe\" GOTO START\r\n"
            "RD \"C:\\Temp\\SETUP_1\"\r\n"
            "DEL \"C:\\Temp\\_DEL_ME_.BAT\"\r\n");
  EXPECT_EQ(kv::BuildDeleteMeBatch(exe, dir, bat, false, true),
            ":START\r\n"
            "DEL \"C:\\Temp\\SETUP_1\\Y_setup.exe\"\r\n"
            "IF exist \"C:\\Temp\\SETUP_1\\Y_setup.exe\" GOTO START\r\n"
            "DEL \"C:\\Temp\\_DEL_ME_.BAT\"\r\n");
  EXPECT_EQ(kv::BuildDeleteMeBatch("C:\\TEMP\\X_APP~1.EXE", "C:\\TEMP", "C:\\TEMP\\_DEL_ME_.BAT",
                                   false, false),
            ":START\r\nDEL C:\\TEMP\\X_APP~1.EXE\r\nIF exist C:\\TEMP\\X_APP~1.EXE GOTO START\r\n"
            "DEL C:\\TEMP\\_DEL_ME_.BAT\r\n");
}

TEST_F(FilesTest, DeleteMySelfWritesTheBatchIntoTheTempFolder) {
  Put("T:\\tmp\\placeholder", "");
  Put("T:\\app\\stub.exe", "MZ");
  os::host::SetFolders("T:\\tmp\\", "T:\\win", "T:\\win\\system32");
  os::host::SetModulePath("T:\\app\\stub.exe");
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  kv::DeleteMySelf(true, false);
  std::string now = os::GetCurrentDir();
  ASSERT_EQ(::chdir(cwd), 0);
  EXPECT_EQ(now, os::host::MapPath("T:\\tmp"));  // the batch runs from the temp folder
  EXPECT_EQ(Get("T:\\tmp\\_DEL_ME_.BAT"),
            kv::BuildDeleteMeBatch("T:\\app\\stub.exe", "T:\\app", "T:\\tmp\\_DEL_ME_.BAT", true,
                                   true));
}

TEST_F(FilesTest, EjectCDOnlyForCdDrives) {
  // Debug output to its file, on a C: of this test's own.
  os::host::SetDriveRoot('C', root_ + "/C");
  std::system(("mkdir -p '" + root_ + "/C'").c_str());
  ASSERT_TRUE(kv::ForceDirectories("C:\\ProgramData"));
  kv::ResetDebugState();
  kv::BindDebugOutput(1);
  os::host::SetDriveType('E', 5);
  EXPECT_FALSE(kv::EjectCD("C:\\Temp\\x"));  // a hard disk
  EXPECT_FALSE(kv::EjectCD("1:\\"));
  EXPECT_FALSE(kv::EjectCD(""));
  EXPECT_EQ(os::host::EjectedDrives(), "");
  EXPECT_EQ(kv::ReadFilePart(kv::kDebugFilePath), "");  // no line for a refused drive
  EXPECT_TRUE(kv::EjectCD("e:\\setup.002"));
  EXPECT_EQ(os::host::EjectedDrives(), "E");
  kv::CloseDebugOutput();
  kv::ResetDebugState();
  const std::string handle = std::to_string(0x7000 + 'E');  // the host's device handle
  EXPECT_EQ(kv::ReadFilePart(kv::kDebugFilePath),
            "EjectCD-2: \\\\.\\E: " + handle + "\r\nEjectCD-3: \\\\.\\E: " + handle + "\r\n");
}

TEST(HostProcess, ExitCodeAndStillActive) {
  os::Process p;
  ASSERT_TRUE(p.start("sleep 0.3; exit 3", false));
  EXPECT_NE(p.id(), 0u);
  std::uint32_t code = 0;
  ASSERT_TRUE(p.exitCode(code));
  EXPECT_EQ(code, os::kStillActive);
  EXPECT_TRUE(p.isRunning());
  EXPECT_FALSE(p.wait(0));
  ASSERT_TRUE(p.wait(10000));
  EXPECT_FALSE(p.isRunning());
  ASSERT_TRUE(p.exitCode(code));
  EXPECT_EQ(code, 3u);

  os::Process none;
  EXPECT_FALSE(none.exitCode(code));
  EXPECT_FALSE(none.isRunning());
}

TEST(HostProcess, DetachedStartRunsTheCommand) {
  std::string marker = std::string(::testing::TempDir()) + "kv_detached_marker";
  std::remove(marker.c_str());
  ASSERT_TRUE(os::StartDetached("echo ran > '" + marker + "'", false));
  bool seen = false;
  for (int i = 0; i < 500 && !seen; ++i) {
    std::ifstream in(marker);
    std::string line;
    seen = static_cast<bool>(std::getline(in, line)) && line == "ran";
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(seen);
}

}  // namespace
