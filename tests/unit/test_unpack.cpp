// Extraction of packages: records, volumes, the disk question, checksum,
// damage, write failures, file dates and the agent copy.
#include <gtest/gtest.h>

#include <ctime>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "host_fixture.h"
#include "lang/langres.h"
#include "os/file.h"
#include "os/host/host_control.h"
#include "os/host/host_ui.h"
#include "os/system.h"
#include "os/window.h"
#include "package/checksum.h"
#include "package/gfileinfo.h"
#include "package_images.h"
#include "setup/tempfolder.h"
#include "setup/unpack.h"
#include "sys/files.h"
#include "sys/kdebug.h"
#include "ui/kmsgbox.h"

namespace {

using kv::ExtractResult;
using kvtest::CompressedRecord;
using kvtest::StoredRecord;

std::uint32_t Dos(int y, int mo, int d, int h, int mi, int s) {
  return (static_cast<std::uint32_t>((y - 1980) << 9 | mo << 5 | d) << 16) |
         static_cast<std::uint32_t>(h << 11 | mi << 5 | s / 2);
}

std::string Header(const std::string& name, const std::string& stamp = "0") {
  return "|" + name + "|" + stamp + "|";
}

// A volume: with the stub (first volume) the header strings and SelfLength
// are there, later volumes hold records only. The stored checksum is the
// real one unless `checksumDelta` spoils it.
std::string Volume(const std::string& records, bool first, std::uint8_t flags = 0,
                   std::uint32_t fileCount = 0, std::uint32_t checksumDelta = 0,
                   const std::string& appended = "") {
  kv::PackageTrailer t = kvtest::BasicTrailer();
  t.SetPackageFlags(flags);
  t.SetFileCount(fileCount);
  const std::string stub = first ? kvtest::FakeStub() : "";
  const std::vector<std::string> headers =
      first ? std::vector<std::string>{"", "|loc|app.info|AGENT|tok|0|"} : std::vector<std::string>{};
  std::string image = kvtest::BuildImage(stub, headers, records, t, first).bytes;
  kv::MemorySource src(image);
  t.SetStoredChecksum(kv::ComputePackageChecksum(src, kv::kTrailerSize) + checksumDelta);
  return kvtest::BuildImage(stub, headers, records, t, first, appended).bytes;
}

class UnpackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os::host::ResetAll();
    os::host::ResetUi();
    kv::ResetUnpackState();
    kv::ResetMsgBoxState();
    kv::ResetLangState();
    kv::ResetTempFolderState();
    kv::filesState() = kv::FilesState();
    kv::ResetDebugState();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = std::string(::testing::TempDir()) + "kvunpack_" + info->name();
    std::system(("rm -rf '" + root_ + "'").c_str());
    for (char d : {'C', 'F'}) {
      std::system(("mkdir -p '" + root_ + "/" + d + "'").c_str());
      os::host::SetDriveRoot(d, root_ + "/" + d);
    }
    kv::unpackState().pause = [this](std::int64_t ms) {
      pauses_.push_back(ms);
      kv::PumpMessages(0);
    };
    kvtest::CollectDebugOutput(debug_);
  }
  void TearDown() override {
    kv::ResetDebugState();
    kv::ResetUnpackState();
    os::host::ResetAll();
    os::host::ResetUi();
    kv::ResetMsgBoxState();
  }

  void Put(const std::string& winPath, const std::string& bytes) {
    const std::string p = os::host::MapPath(winPath);
    std::system(("mkdir -p '" + p.substr(0, p.rfind('/')) + "'").c_str());
    std::ofstream(p, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  std::string Get(const std::string& winPath) {
    std::ifstream in(os::host::MapPath(winPath), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  bool Exists(const std::string& winPath) { return os::FileExists(winPath); }

  struct Run {
    ExtractResult result;
    std::string entry;
    bool checksumOk;
  };
  Run Extract(const std::string& package, bool forcePrompt = false, const std::string& agent = "",
              const std::string& dest = "C:\\Out") {
    Run r{ExtractResult::Completed, "?", false};
    r.result = kv::ExtractPackage(
        package, dest, agent, r.entry, forcePrompt, 0, "", "Attention",
        "Insert disk <disk_num> (<DISK_NUM>)",
        [this](int a, int m, int p, int s) { progress_.emplace_back(a, m, p, s); }, r.checksumOk);
    return r;
  }
  int Steps() const {
    int n = 0;
    for (const auto& p : progress_) n += std::get<0>(p) == 1;
    return n;
  }

  std::string root_;
  std::string debug_;
  std::vector<std::int64_t> pauses_;
  std::vector<std::tuple<int, int, int, int>> progress_;
};

TEST_F(UnpackTest, StoredAndCompressedRecordsAreWrittenByteForByte) {
  std::string allBytes;
  for (int i = 0; i < 256; ++i) allBytes += static_cast<char>(i);
  std::string big;  // several inflate output pieces
  for (int i = 0; big.size() < 3u * 1024 * 1024; ++i) big += std::to_string(i * 7919) + ",";
  const std::string records = StoredRecord(Header("all.bin"), allBytes) +
                              CompressedRecord(Header("big.txt"), big) +
                              StoredRecord("", "skipped: a record without a header") +
                              StoredRecord(Header("empty.txt"), "") +
                              CompressedRecord(Header("small.txt"), allBytes + allBytes);
  // Bytes after SelfLength (a signature) are not part of the package.
  const std::string vol = Volume(records, true, 0, 4, 0, "SIGNATURE-BYTES-AFTER-THE-PACKAGE");
  Put("C:\\Pkg\\setup.exe", vol);

  Run r = Extract("C:\\Pkg\\setup.exe");
  EXPECT_EQ(r.result, ExtractResult::Completed);
  EXPECT_TRUE(r.checksumOk);
  EXPECT_EQ(r.entry, "");  // no record is marked with "*"
  EXPECT_EQ(Get("C:\\Out\\all.bin"), allBytes);
  EXPECT_EQ(Get("C:\\Out\\big.txt"), big);
  EXPECT_TRUE(Exists("C:\\Out\\empty.txt"));
  EXPECT_EQ(Get("C:\\Out\\empty.txt"), "");
  EXPECT_EQ(Get("C:\\Out\\small.txt"), allBytes + allBytes);

  using P = std::tuple<int, int, int, int>;
  const std::vector<P> want = {P{0, 0, 0, 1}, P{0, 4, 0, 1}, P{1, 0, 0, 0},
                               P{1, 0, 0, 0}, P{1, 0, 0, 0}, P{1, 0, 0, 0}};
  EXPECT_EQ(progress_, want);
  const std::size_t selfLength = vol.size() - std::string("SIGNATURE-BYTES-AFTER-THE-PACKAGE").size();
  EXPECT_NE(debug_.find("FileInfo.FilesCount=4\n"), std::string::npos) << debug_;
  EXPECT_NE(debug_.find("FileLen=" + std::to_string(selfLength) + "\n"), std::string::npos);
  EXPECT_NE(debug_.find("UnCompressTime: "), std::string::npos);
  EXPECT_NE(debug_.find(" MS\n\n"), std::string::npos);
  EXPECT_EQ(pauses_, std::vector<std::int64_t>{500});
}

TEST_F(UnpackTest, SameNameRecordsAndStaleFilesAreAppendedTo) {
  Put("C:\\Out\\old.txt", "stale-");
  const std::string records = StoredRecord(Header("part.bin"), "first-") +
                              CompressedRecord(Header("part.bin"), "second-") +
                              StoredRecord(Header("part.bin"), "third") +
                              StoredRecord(Header("old.txt"), "fresh");
  Put("C:\\Pkg\\setup.exe", Volume(records, true, 0, 4));
  Run r = Extract("C:\\Pkg\\setup.exe");
  EXPECT_EQ(r.result, ExtractResult::Completed);
  EXPECT_EQ(Get("C:\\Out\\part.bin"), "first-second-third");
  EXPECT_EQ(Get("C:\\Out\\old.txt"), "stale-fresh");
  EXPECT_EQ(Steps(), 1);  // only part.bin was new
}

TEST_F(UnpackTest, MainProgramEntry) {
  struct Case {
    std::vector<std::string> headers;
    const char* entry;
    const char* file;  // written under this name
  };
  const Case cases[] = {
      {{Header("Setup.txt"), Header("Engine.exe* /silent")}, "Engine.exe* /silent", "Engine.exe"},
      {{Header("Engine.exe*")}, "Engine.exe*", "Engine.exe"},
      {{Header("Setup.txt"), Header("Engine.exe")}, "", "Engine.exe"},
      // A "*" elsewhere in the header makes the whole header the entry.
      {{Header("Engine.exe", "12*")}, "|Engine.exe|12*|", "Engine.exe"},
      // The last marked record wins.
      {{Header("a.exe*"), Header("b.exe* /q")}, "b.exe* /q", "b.exe"},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string records;
    for (const auto& h : c.headers) records += StoredRecord(h, "x");
    const std::string pkg = "C:\\Pkg" + std::to_string(++n) + "\\setup.exe";
    const std::string out = "C:\\Out" + std::to_string(n);
    Put(pkg, Volume(records, true));
    Run r = Extract(pkg, false, "", out);
    EXPECT_EQ(r.result, ExtractResult::Completed) << c.entry;
    EXPECT_EQ(r.entry, c.entry);
    EXPECT_TRUE(Exists(out + "\\" + c.file)) << c.entry;
  }
}

TEST_F(UnpackTest, DosStampsAreAppliedOnlyWhenValid) {
  const std::uint32_t valid = Dos(2021, 6, 15, 10, 20, 30);
  const std::uint32_t leap = Dos(2020, 2, 29, 23, 59, 58);
  const std::string records =
      StoredRecord(Header("valid.txt", std::to_string(valid)), "v") +
      StoredRecord(Header("leap.txt", std::to_string(leap)), "l") +
      StoredRecord(Header("zero.txt", "0"), "z") + StoredRecord(Header("word.txt", "abc"), "w") +
      StoredRecord(Header("unix.txt", "1700000000"), "u") +
      StoredRecord(Header("feb30.txt", std::to_string(Dos(2021, 2, 30, 1, 0, 0))), "f") +
      StoredRecord(Header("hour24.txt", std::to_string(Dos(2021, 1, 1, 24, 0, 0))), "h") +
      StoredRecord(Header("negative.txt", "-5"), "n");
  Put("C:\\Pkg\\setup.exe", Volume(records, true));
  const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr));
  ASSERT_EQ(Extract("C:\\Pkg\\setup.exe").result, ExtractResult::Completed);

  std::uint32_t packed = 0;
  ASSERT_TRUE(os::GetFileDosDateTime("C:\\Out\\valid.txt", packed));
  EXPECT_EQ(packed, valid);
  ASSERT_TRUE(os::GetFileDosDateTime("C:\\Out\\leap.txt", packed));
  EXPECT_EQ(packed, leap);
  for (const char* name :
       {"zero.txt", "word.txt", "unix.txt", "feb30.txt", "hour24.txt", "negative.txt"}) {
    const std::int64_t t = os::GetModTime(std::string("C:\\Out\\") + name);
    EXPECT_GE(t, before - 5) << name;  // the time of writing
    EXPECT_LE(t, before + 120) << name;
  }

  EXPECT_FALSE(kv::IsValidDosDateTime(0x1'0000'0000LL));
  EXPECT_FALSE(kv::IsValidDosDateTime(Dos(2021, 4, 31, 0, 0, 0)));
  EXPECT_FALSE(kv::IsValidDosDateTime(Dos(1900 + 200, 2, 29, 0, 0, 0)));  // 2100: no leap day
  EXPECT_TRUE(kv::IsValidDosDateTime(Dos(1980, 1, 1, 0, 0, 0)));
}

TEST_F(UnpackTest, VolumesFollowTheBaseNameOfA001File) {
  EXPECT_EQ(kv::VolumeFile("C:\\P\\setup.exe.001", 2), "C:\\P\\setup.exe.002");
  EXPECT_EQ(kv::VolumeFile("C:\\P\\setup.exe", 3), "C:\\P\\setup.exe.003");
  EXPECT_EQ(kv::VolumeFile("C:\\P\\setup.exe", 12), "C:\\P\\setup.exe.012");

  Put("C:\\Pkg\\setup.exe.001",
      Volume(StoredRecord(Header("Engine.exe*"), "E") + StoredRecord(Header("big.dat"), "1-"),
             true, kv::kFlagMoreVolumes, 3));
  Put("C:\\Pkg\\setup.exe.002",
      Volume(StoredRecord(Header("big.dat"), "2-"), false, kv::kFlagMoreVolumes));
  Put("C:\\Pkg\\setup.exe.003", Volume(CompressedRecord(Header("big.dat"), "3"), false));
  Run r = Extract("C:\\Pkg\\setup.exe.001");
  EXPECT_EQ(r.result, ExtractResult::Completed);
  EXPECT_TRUE(r.checksumOk);
  EXPECT_EQ(r.entry, "Engine.exe*");
  EXPECT_EQ(Get("C:\\Out\\big.dat"), "1-2-3");
  EXPECT_TRUE(os::host::ShownBoxes().empty());  // every volume present: no question
  EXPECT_EQ(Steps(), 2 + 2);                   // two new files, two volume changes
  EXPECT_NE(kv::AutoPlayMessage(), 0u);
}

TEST_F(UnpackTest, DiskQuestion) {
  struct Case {
    const char* what;
    bool force;
    bool secondPresent;
    std::vector<int> answers;
    ExtractResult result;
    std::size_t boxes;
    const char* entry;
  };
  const Case cases[] = {
      {"present, no force", false, true, {}, ExtractResult::Completed, 0, "Engine.exe*"},
      {"present, forced", true, true, {kv::kMbResultOk}, ExtractResult::Completed, 1, "Engine.exe*"},
      {"missing, cancel", false, false, {kv::kMbResultCancel}, ExtractResult::Cancelled, 1, ""},
      {"missing, closed", false, false, {}, ExtractResult::Cancelled, 1, ""},
      {"forced, cancel", true, true, {kv::kMbResultCancel}, ExtractResult::Cancelled, 1, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    os::host::ResetUi();
    const std::string pkg = "C:\\P" + std::to_string(++n) + "\\setup.exe";
    Put(pkg, Volume(StoredRecord(Header("Engine.exe*"), "E"), true, kv::kFlagMoreVolumes));
    if (c.secondPresent) Put(pkg + ".002", Volume(StoredRecord(Header("two.txt"), "2"), false));
    for (int a : c.answers) os::host::QueueBoxAnswer(a);
    Run r = Extract(pkg, c.force, "", "C:\\Out" + std::to_string(n));
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(r.entry, c.entry);
    ASSERT_EQ(os::host::ShownBoxes().size(), c.boxes);
    if (c.boxes) {
      const os::BoxRequest& box = os::host::ShownBoxes()[0];
      EXPECT_EQ(box.caption, "Attention");
      EXPECT_NE(box.markup.find("Insert disk 2 (2)"), std::string::npos) << box.markup;
    }
    EXPECT_EQ(Exists("C:\\Out" + std::to_string(n) + "\\two.txt"),
              c.result == ExtractResult::Completed);
  }
}

TEST_F(UnpackTest, MissingVolumesAreAskedForUntilPresentAndTheCdIsEjectedOnce) {
  os::host::SetDriveType('F', 5);
  Put("F:\\setup.exe", Volume(StoredRecord(Header("Engine.exe*"), "E"), true, kv::kFlagMoreVolumes));
  // The user inserts the disk only after the second question for it.
  int asked = 0;
  os::host::SetBoxHook([&](const os::BoxRequest& box) {
    ++asked;
    if (asked == 2)
      Put("F:\\setup.exe.002", Volume(StoredRecord(Header("two.txt"), "2"), false,
                                      kv::kFlagMoreVolumes));
    if (asked == 3) Put("F:\\setup.exe.003", Volume(StoredRecord(Header("three.txt"), "3"), false));
    os::host::QueueBoxAnswer(kv::kMbResultOk);
  });
  Run r = Extract("F:\\setup.exe");
  EXPECT_EQ(r.result, ExtractResult::Completed);
  EXPECT_EQ(r.entry, "Engine.exe*");
  ASSERT_EQ(os::host::ShownBoxes().size(), 3u);
  EXPECT_NE(os::host::ShownBoxes()[1].markup.find("disk 2"), std::string::npos);
  EXPECT_NE(os::host::ShownBoxes()[2].markup.find("disk 3"), std::string::npos);
  EXPECT_EQ(Get("C:\\Out\\three.txt"), "3");
  EXPECT_EQ(os::host::EjectedDrives(), "F");
  EXPECT_EQ(pauses_, (std::vector<std::int64_t>{500, 500, 500, 500}));
}

TEST_F(UnpackTest, ChecksumMismatchStopsAtOnce) {
  Put("C:\\Pkg\\setup.exe",
      Volume(StoredRecord(Header("Engine.exe*"), "E"), true, kv::kFlagMoreVolumes, 1, 1));
  Put("C:\\Pkg\\setup.exe.002", Volume(StoredRecord(Header("two.txt"), "2"), false));
  Run r = Extract("C:\\Pkg\\setup.exe");
  EXPECT_EQ(r.result, ExtractResult::ChecksumFailed);
  EXPECT_FALSE(r.checksumOk);
  EXPECT_FALSE(Exists("C:\\Out\\Engine.exe"));

  // On a later volume: what came before stays, the result is still bad.
  Put("C:\\Pkg2\\setup.exe",
      Volume(StoredRecord(Header("Engine.exe*"), "E"), true, kv::kFlagMoreVolumes));
  Put("C:\\Pkg2\\setup.exe.002", Volume(StoredRecord(Header("two.txt"), "2"), false, 0, 0, 7));
  r = Extract("C:\\Pkg2\\setup.exe", false, "", "C:\\Out2");
  EXPECT_EQ(r.result, ExtractResult::ChecksumFailed);
  EXPECT_FALSE(r.checksumOk);
  EXPECT_FALSE(Exists("C:\\Out2\\two.txt"));
}

TEST_F(UnpackTest, DamagedPackagesStopWithNothingWrittenOutsideTheFolder) {
  std::string zlibDamaged = CompressedRecord(Header("bad.txt"), std::string(5000, 'q'));
  zlibDamaged[4 + 10] ^= 0x55;
  zlibDamaged[4 + 11] ^= 0x55;
  struct Case {
    const char* what;
    std::string record;
  };
  const Case cases[] = {
      {"damaged zlib stream", zlibDamaged},
      {"record cut short by the end of the volume",
       kvtest::LE32(static_cast<std::uint32_t>(-1000)) + Header("cut.txt") + std::string(1, '\0') + "abc"},
      {"parent folder", StoredRecord(Header("..\\evil.txt"), "evil")},
      {"sub folder", StoredRecord(Header("sub\\evil.txt"), "evil")},
      {"slash", StoredRecord(Header("../evil.txt"), "evil")},
      {"drive", StoredRecord(Header("C:evil.txt"), "evil")},
      {"absolute", StoredRecord(Header("C:\\evil.txt"), "evil")},
      {"dot dot", StoredRecord(Header(".."), "evil")},
      {"device", StoredRecord(Header("CON"), "evil")},
      {"marked main program", StoredRecord(Header("..\\evil.exe* /x"), "evil")},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string pkg = "C:\\P" + std::to_string(++n) + "\\setup.exe";
    const std::string out = "C:\\Stage\\Out" + std::to_string(n);
    Put(pkg, Volume(StoredRecord(Header("Engine.exe*"), "E") + c.record +
                        StoredRecord(Header("after.txt"), "A"),
                    true));
    Run r = Extract(pkg, false, "", out);
    EXPECT_EQ(r.result, ExtractResult::Damaged);
    EXPECT_EQ(r.entry, "");  // nothing of it may run
    EXPECT_TRUE(r.checksumOk);
    EXPECT_TRUE(Exists(out + "\\Engine.exe"));
    EXPECT_FALSE(Exists(out + "\\after.txt"));  // extraction stopped
  }
  // Only the Out folders were written to below the staging folder, and
  // nothing at the drive's root.
  const std::string listing = root_ + "/list.txt";
  std::system(("cd '" + root_ + "/C' && find . -type f | grep -v '^./P[0-9]*/' | grep -v "
               "'^./Stage/Out[0-9]*/[A-Za-z]*\\.[a-z]*$' > '" + listing + "'").c_str());
  std::ifstream in(listing);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ(ss.str(), "");
  EXPECT_NE(debug_.find("ExtractPackage: record name refused >..\\evil.txt<"), std::string::npos);
  EXPECT_NE(debug_.find(" --- ExtractPackage() --- "), std::string::npos);
}

TEST_F(UnpackTest, OnlyTheFirstWriteFailureIsShown) {
  EXPECT_EQ(kv::SaveErrorDetails("Disk full", 10, 4, 123456789.0),
            "Disk full<P>  Data Size: <T>10 Bytes<P>  File Size:  <T>4 Bytes<P>  Bytes Free: "
            "<T>123456789 Bytes");

  // Folders in the way of three files.
  for (const char* d : {"C:\\Out\\d1", "C:\\Out\\d2", "C:\\Out\\d3"}) kv::ForceDirectories(d);
  Put("C:\\Pkg\\setup.exe", Volume(StoredRecord(Header("d1"), "12345") +
                                       CompressedRecord(Header("d2"), "x") +
                                       StoredRecord(Header("ok.txt"), "fine") +
                                       StoredRecord(Header("d3"), "y"),
                                   true));
  Run r = Extract("C:\\Pkg\\setup.exe");
  EXPECT_EQ(r.result, ExtractResult::Completed);  // extraction goes on
  EXPECT_EQ(Get("C:\\Out\\ok.txt"), "fine");
  EXPECT_EQ(kv::unpackState().writeFailures, 3);
  ASSERT_EQ(os::host::ShownBoxes().size(), 1u);
  const std::string& text = os::host::ShownBoxes()[0].markup;
  EXPECT_NE(text.find("C:\\Out\\d1<P><P>Unable to save Extracted File!<P><P>"), std::string::npos)
      << text;
  EXPECT_NE(text.find("<P>  Data Size: <T>5 Bytes<P>  File Size:  <T>"), std::string::npos);
  EXPECT_NE(text.find(" Bytes<P>  Bytes Free: <T>"), std::string::npos);

  // The count is never reset: a second extraction in the process shows none.
  Extract("C:\\Pkg\\setup.exe");
  EXPECT_EQ(os::host::ShownBoxes().size(), 1u);
  EXPECT_EQ(kv::unpackState().writeFailures, 6);
}

TEST_F(UnpackTest, AFolderThatCannotBeMadeIsReportedAndExtractionGoesOn) {
  Put("C:\\Blocker", "a file where the folder should be");
  Put("C:\\Pkg\\setup.exe", Volume(StoredRecord(Header("a.txt"), "a"), true));
  Run r = Extract("C:\\Pkg\\setup.exe", false, "", "C:\\Blocker\\Out");
  EXPECT_EQ(r.result, ExtractResult::Completed);
  ASSERT_EQ(os::host::ShownBoxes().size(), 2u);
  EXPECT_NE(os::host::ShownBoxes()[0].markup.find(
                "C:\\Blocker\\Out<P><P>Unable to create Directory!<P><P>"),
            std::string::npos);
  EXPECT_NE(os::host::ShownBoxes()[1].markup.find("Unable to save Extracted File!"), std::string::npos);
}

TEST_F(UnpackTest, AgentCopyIsWrittenFromTheFirstVolume) {
  const std::string vol =
      Volume(StoredRecord(Header("Engine.exe*"), "E"), true, kv::kFlagMoreVolumes, 1, 0, "SIG");
  Put("C:\\Pkg\\Setup.EXE.001", vol);
  Put("C:\\Pkg\\Setup.EXE.002", Volume(StoredRecord(Header("two.txt"), "2"), false));
  os::File touch;
  ASSERT_TRUE(touch.open("C:\\Pkg\\Setup.EXE.001", os::OpenMode::ReadWrite));
  ASSERT_TRUE(touch.setModTime(1600000000));
  touch.close();

  Run r = Extract("C:\\Pkg\\Setup.EXE.001", false, "Apps\\Tool\\Agent.exe");
  ASSERT_EQ(r.result, ExtractResult::Completed);
  const std::string agent = Get("C:\\Out\\Agent.exe");

  // The stub and the header strings, the SelfLength low word cleared, then
  // the trailer marked as an agent package.
  kv::MemorySource src(vol);
  const kv::PackageTrailer t = kv::LocateTrailer(src);
  const kv::TGFileInfo parsed = kv::TGFileInfo::FromImage(vol);
  const std::size_t headerEnd = parsed.DataOffset();
  ASSERT_EQ(agent.size(), headerEnd + kv::kTrailerSize);
  std::string want = vol.substr(0, headerEnd);
  want.replace(252, 4, std::string(4, '\0'));
  kv::PackageTrailer at = t;
  at.SetAutoUpdateProg(true);
  EXPECT_EQ(agent, want + at.ToBytes());

  const kv::TGFileInfo info("C:\\Out\\Agent.exe");
  EXPECT_TRUE(info.AutoUpdateProg());
  EXPECT_EQ(info.SettingsList(), parsed.SettingsList());
  EXPECT_EQ(info.TrailerLength(), kv::kTrailerSize);
  EXPECT_EQ(os::GetModTime("C:\\Out\\Agent.exe"), 1600000000);
  EXPECT_NE(debug_.find(" New AU-Agent: C:\\Out\\Agent.exe\n"), std::string::npos);

  // Only from an executable, and only under a plain name.
  Put("C:\\Pkg\\setup.bin", vol);
  Extract("C:\\Pkg\\setup.bin", false, "Agent2.exe");
  EXPECT_FALSE(Exists("C:\\Out\\Agent2.exe"));
  Put("C:\\Pkg\\setup.exe", vol);
  Extract("C:\\Pkg\\setup.exe", false, "..");
  EXPECT_FALSE(Exists("C:\\Agent.exe"));
}

}  // namespace
