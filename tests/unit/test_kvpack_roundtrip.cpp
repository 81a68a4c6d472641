// kvpack build, then read back with the stub's own code (descriptor, record
// reader, checksum) and with verify/extract: every byte and field returns.
#include <algorithm>
#include <ctime>

#include <nlohmann/json.hpp>

#include "os/file.h"
#include "package/checksum.h"
#include "package/gfileinfo.h"
#include "package/ksub.h"
#include "package/langblocks.h"
#include "package/records.h"
#include "test_kvpack_fixture.h"

using namespace kvtest;

namespace {

struct Packed {
  std::string name;
  std::string content;
};

std::vector<Packed> SampleFiles() {
  return {{"Engine.exe", RandomBytes(3000, 1)},
          {"readme.txt", TextBytes(9000)},
          {"empty.dat", ""},
          {"data.bin", RandomBytes(20000, 2)},
          {"00003#logo.jpg", TextBytes(41000)}};
}

struct RoundTripCase {
  const char* label;
  std::vector<std::string> options;
  bool multiVolume;
};

class KvpackRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(KvpackRoundTrip, GivesBackEveryByteAndField) {
  const RoundTripCase& c = GetParam();
  ScratchDir d;
  WriteFile(d / "stub.exe", FakeStub());
  fs::create_directories(d / "in");
  std::vector<std::string> args{"build", "--stub", d.Path("stub.exe"), "--out", d.Path("setup.exe"),
                                "--main", "Engine.exe* /silent", "--stamp", "1482250000"};
  args.insert(args.end(), c.options.begin(), c.options.end());
  std::uint64_t total = 0;
  for (const auto& f : SampleFiles()) {
    WriteFile(d / "in" / f.name, f.content);
    args.push_back((d / "in" / f.name).string());
    total += f.content.size();
  }
  CliResult r = RunKvpack(args);
  ASSERT_EQ(r.code, 0) << r.err;

  // What the stub's descriptor sees.
  kv::TGFileInfo info(d.Path("setup.exe"));
  EXPECT_TRUE(info.Trailer().MagicOk());
  EXPECT_EQ(info.HeaderStringCount(), 2);
  EXPECT_EQ(info.TotalSize(), total);
  std::uint64_t space4k = 0;
  for (const auto& f : SampleFiles()) space4k += (f.content.size() + 4095) / 4096 * 4096;
  EXPECT_EQ(info.SpaceByClusterSize(3), space4k);
  EXPECT_EQ(info.MoreVolumes(), c.multiVolume);
  EXPECT_EQ(info.SettingsList(), "|||||0|");

  // Every volume: SelfLength on the first only, checksum as the stub computes it.
  kv::pack::PackageReport rep = kv::pack::InspectPackage(d.Path("setup.exe"));
  ASSERT_TRUE(rep.ok()) << rep.errors.front();
  EXPECT_EQ(rep.volumes.size() > 1, c.multiVolume);
  EXPECT_EQ(info.FileCount(), rep.records.size());
  for (std::size_t v = 0; v < rep.volumes.size(); ++v) {
    const auto& vol = rep.volumes[v];
    std::string bytes = ReadFile(vol.path);
    EXPECT_EQ(vol.selfLength, v == 0 ? bytes.size() : 0u) << vol.path;
    EXPECT_EQ(vol.trailer.FileCount(), info.FileCount());
    EXPECT_EQ((vol.trailer.PackageFlags() & kv::kFlagMoreVolumes) != 0, v + 1 < rep.volumes.size());
    std::uint32_t expect = bytes.size() > 51200 ? kv::kNoChecksum
                                                : kv::ComputePackageChecksum(vol.path, 74);
    EXPECT_EQ(vol.trailer.StoredChecksum(), expect) << vol.path;
    if (v > 0) {
      EXPECT_EQ(vol.trailer.DataOffset(), 0u);
      EXPECT_GT(vol.records, 0);
    }
    if (c.multiVolume) {
      EXPECT_LE(bytes.size(), 9000u);
    }
  }
  std::string first = ReadFile(d.Path("setup.exe"));
  EXPECT_EQ(first.substr(144, 64),
            "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKL");
  EXPECT_EQ(first.substr(256, 2), "PE");

  // Records: main marked with its arguments, stamps as given.
  for (const auto& rec : rep.records) {
    EXPECT_EQ(rec.stamp, 1482250000u);
    EXPECT_EQ(rec.main, rec.name == "Engine.exe");
    if (rec.main) {
      EXPECT_EQ(rec.nameField, "Engine.exe* /silent");
    }
  }

  // Extraction with the stub's reader gives back every byte and the stamps.
  auto names = kv::pack::ExtractPackageTo(d.Path("setup.exe"), d.Path("out"));
  EXPECT_EQ(names.size(), SampleFiles().size());
  for (const auto& f : SampleFiles()) {
    EXPECT_EQ(ReadFile(d / "out" / f.name), f.content) << f.name;
  }
  EXPECT_EQ(kv::pack::UnixToDosStamp(os::GetModTime(d.Path("out/readme.txt"))), 1482250000u);

  EXPECT_EQ(RunKvpack({"verify", d.Path("setup.exe")}).code, 0);
}

// 9000-byte volumes hold a 1024-byte stub and several records each; a
// record limit of 1000 bytes splits every file of the sample.
INSTANTIATE_TEST_SUITE_P(
    Layouts, KvpackRoundTrip,
    ::testing::Values(RoundTripCase{"compressed", {}, false},
                      RoundTripCase{"stored", {"--store"}, false},
                      RoundTripCase{"split_compressed", {"--record-limit", "1000"}, false},
                      RoundTripCase{"split_stored", {"--store", "--record-limit", "700"}, false},
                      RoundTripCase{"volumes_compressed", {"--volume-size", "9000"}, true},
                      RoundTripCase{"volumes_stored", {"--store", "--volume-size", "9000"}, true},
                      RoundTripCase{"volumes_one_thread", {"--volume-size", "9000", "--threads", "1",
                                                           "--level", "1"}, true}),
    [](const ::testing::TestParamInfo<RoundTripCase>& i) { return std::string(i.param.label); });

TEST(KvpackBuild, SplitRecordsShareTheNameAndAppendInOrder) {
  ScratchDir d;
  WriteFile(d / "stub.exe", FakeStub());
  std::string content = RandomBytes(2500, 9);
  WriteFile(d / "a.bin", content);
  ASSERT_EQ(RunKvpack({"build", "--stub", d.Path("stub.exe"), "--out", d.Path("s.exe"),
                       "--record-limit", "1000", "--store", d.Path("a.bin")})
                .code,
            0);
  auto rep = kv::pack::InspectPackage(d.Path("s.exe"));
  ASSERT_EQ(rep.records.size(), 3u);
  std::vector<std::uint64_t> sizes;
  for (const auto& r : rep.records) {
    EXPECT_EQ(r.name, "a.bin");
    sizes.push_back(r.size);
  }
  EXPECT_EQ(sizes, (std::vector<std::uint64_t>{1000, 1000, 500}));
  EXPECT_EQ(rep.volumes[0].trailer.FileCount(), 3u);
}

TEST(KvpackBuild, VolumesAreFilledAndNeverEmpty) {
  ScratchDir d;
  WriteFile(d / "stub.exe", FakeStub());
  WriteFile(d / "big.bin", RandomBytes(30000, 3));
  ASSERT_EQ(RunKvpack({"build", "--stub", d.Path("stub.exe"), "--out", d.Path("s.exe"),
                       "--volume-size", "8000", d.Path("big.bin")})
                .code,
            0);
  auto rep = kv::pack::InspectPackage(d.Path("s.exe"));
  ASSERT_TRUE(rep.ok()) << rep.errors.front();
  ASSERT_GE(rep.volumes.size(), 4u);
  EXPECT_EQ(rep.volumes[1].path, d.Path("s.exe.002"));
  // A file that does not fit is cut at the volume's end, not moved whole to the next.
  for (std::size_t v = 0; v + 1 < rep.volumes.size(); ++v)
    EXPECT_GT(rep.volumes[v].fileSize, 8000 * 95 / 100) << v;
  // The stub's loop: one cursor over all volumes, its counter running on.
  kv::RecordCursor cur;
  struct Count : kv::RecordSink {
    std::uint64_t bytes = 0;
    bool OnHeader(const kv::RecordHeader&) override { return true; }
    bool OnContent(const char*, std::size_t n) override {
      bytes += n;
      return true;
    }
  } sink;
  for (const auto& v : rep.volumes) {
    os::File f;
    ASSERT_TRUE(f.open(v.path, os::OpenMode::Read));
    kv::FileSource src(f);
    kv::PackageTrailer t = kv::LocateTrailer(src);
    cur.position = t.DataOffset();
    cur.end = kv::PackageDataEnd(src);
    cur.headerStringCount = t.HeaderStringCount();
    ASSERT_TRUE(kv::ReadVolumeRecords(src, cur, sink).ok());
  }
  EXPECT_EQ(sink.bytes, 30000u);
}

TEST(KvpackBuild, SettingsWebSettingsLanguagesAndFlags) {
  ScratchDir d;
  WriteFile(d / "stub.exe", FakeStub());
  WriteFile(d / "Engine.exe", "engine");
  WriteFile(d / "lang.txt",
            "\xEF\xBB\xBF; texts of the setup\r\n[Turkish]\r\nCharset=162\r\ns0=Kurulum\r\n\r\n"
            "[English]\nBtnText=|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|\ns6=\n");
  CliResult r = RunKvpack(
      {"build", "--stub", d.Path("stub.exe"), "--out", d.Path("s.exe"), "--lang", d.Path("lang.txt"),
       "--main", "Engine.exe", "--temp-notice", "--activity-bar", "--agent-log", "--spanned-cd",
       "--ask-before-download", "--drop-agent-copy", "--auto-update-prog", "--web",
       "--info-location", "http://", "--info-file", "app.info", "--agent-file", "agent.exe",
       "--update-token", "abcdefghijklmnopqrstuvwxyz", "--hide", "--package-url",
       "http://127.0.0.1:8080/dl", "--package-file", "setup.exe", "--no-local-package",
       "--package-token", "secret token", "--package-size", "5242880", d.Path("Engine.exe")});
  ASSERT_EQ(r.code, 0) << r.err;

  kv::TGFileInfo info(d.Path("s.exe"));
  EXPECT_EQ(info.HeaderStringCount(), 3);
  EXPECT_TRUE(info.TempNotice());
  EXPECT_TRUE(info.ShowActivityBar());
  EXPECT_TRUE(info.AgentLogFlag());
  EXPECT_TRUE(info.SpannedCd());
  EXPECT_FALSE(info.MoreVolumes());
  EXPECT_TRUE(info.IsWebInstaller());
  EXPECT_TRUE(info.AskBeforeDownload());
  EXPECT_TRUE(info.DropAgentCopy());
  EXPECT_TRUE(info.AutoUpdateProg());
  EXPECT_EQ(info.InfoLocation(), "http://");
  EXPECT_EQ(info.InfoFileName(), "app.info");
  EXPECT_EQ(info.AgentFileName(), "agent.exe");
  EXPECT_NE(info.UpdateToken(false), "abcdefghijklmnopqrstuvwxyz");  // stored scrambled
  EXPECT_EQ(info.UpdateToken(true), "abcdefghijklmnopqrstuvwxyz");
  EXPECT_TRUE(info.HideFlag());
  EXPECT_EQ(info.PackageUrl(), "http://127.0.0.1:8080/dl");
  EXPECT_EQ(info.PackageFileName(), "setup.exe");
  EXPECT_TRUE(info.NoLocalPackage());
  EXPECT_EQ(info.PackageToken(true), "secret token");
  EXPECT_EQ(info.PackageSize(), "5242880");

  const std::string& lb = info.LanguageBlocks();
  ASSERT_EQ(kv::LanguageBlockCount(lb), 2);
  std::string tr = kv::LanguageBlockAt(lb, 0), en = kv::LanguageBlockAt(lb, 1);
  EXPECT_EQ(tr, "\x01Turkish\x01" "Charset=162\x01s0=Kurulum\x01");
  EXPECT_EQ(kv::SUB::GetValue(en, "btntext"), "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
  EXPECT_EQ(kv::SUB::GetValue(en, "s6", "missing", "empty"), "empty");

  // The JSON view names the same fields.
  CliResult j = RunKvpack({"info", "--json", d.Path("s.exe")});
  ASSERT_EQ(j.code, 0) << j.err;
  auto js = nlohmann::json::parse(j.out);
  EXPECT_EQ(js["HeaderStringCount"], 3);
  EXPECT_EQ(js["PackageMagic"], kv::kPackageMagic);
  EXPECT_EQ(js["PackageFlags"], kv::kFlagTempNotice | kv::kFlagSpannedCd |
                                    kv::kFlagShowActivityBar | kv::kFlagAgentLog);
  EXPECT_EQ(js["TrailerLength"], 74);
  EXPECT_EQ(js["SelfLength"], fs::file_size(d / "s.exe"));
  EXPECT_EQ(js["PackageTokenPlain"], "secret token");
  EXPECT_EQ(js["AgentFileName"], "agent.exe");
  EXPECT_EQ(js["languages"][0]["name"], "Turkish");
  ASSERT_EQ(js["records"].size(), 1u);
  EXPECT_EQ(js["records"][0]["name"], "Engine.exe");
  EXPECT_EQ(js["records"][0]["stored"], false);
  EXPECT_EQ(js["records"][0]["size"], 6);
  EXPECT_EQ(js["volumes"].size(), 1u);
  EXPECT_EQ(js["ok"], true);
}

TEST(KvpackBuild, WebInstallerWithoutFilesAndHeaderCountZero) {
  ScratchDir d;
  WriteFile(d / "stub.exe", FakeStub());
  ASSERT_EQ(RunKvpack({"build", "--stub", d.Path("stub.exe"), "--out", d.Path("w.exe"), "--web",
                       "--package-url", "http://x", "--package-file", "p.exe"})
                .code,
            0);
  kv::TGFileInfo web(d.Path("w.exe"));
  EXPECT_TRUE(web.IsWebInstaller());
  EXPECT_EQ(web.FileCount(), 0u);
  EXPECT_EQ(web.PackageFileName(), "p.exe");
  EXPECT_EQ(RunKvpack({"verify", d.Path("w.exe")}).code, 0);

  WriteFile(d / "a.txt", "a");
  ASSERT_EQ(RunKvpack({"build", "--stub", d.Path("stub.exe"), "--out", d.Path("z.exe"),
                       "--header-count", "0", d.Path("a.txt")})
                .code,
            0);
  std::string bytes = ReadFile(d / "z.exe");
  EXPECT_EQ(bytes[bytes.size() - 74 + 1], '\0');  // stored as 0, read as 2
  auto rep = kv::pack::InspectPackage(d.Path("z.exe"));
  EXPECT_TRUE(rep.ok());
  EXPECT_EQ(rep.records.size(), 1u);
}

TEST(KvpackBuild, StubWithPEHeaderElsewhereGetsNoSelfLength) {
  ScratchDir d;
  std::string stub = FakeStub(1024, 128);
  WriteFile(d / "stub.exe", stub);
  WriteFile(d / "a.txt", "a");
  CliResult r = RunKvpack({"build", "--stub", d.Path("stub.exe"), "--out", d.Path("s.exe"), d.Path("a.txt")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("PE header at offset 128"), std::string::npos) << r.err;
  std::string bytes = ReadFile(d / "s.exe");
  EXPECT_EQ(bytes.substr(0, 1024), stub);  // the stub is copied untouched
  EXPECT_TRUE(kv::pack::InspectPackage(d.Path("s.exe")).ok());
}

TEST(KvpackBuild, SameBytesWhateverTheThreadCount) {
  ScratchDir d;
  WriteFile(d / "stub.exe", FakeStub());
  std::vector<std::string> inputs;
  for (int i = 0; i < 6; ++i) {
    std::string n = "f" + std::to_string(i) + ".txt";
    WriteFile(d / n, TextBytes(3000 + 997 * i) + RandomBytes(500, i));
    inputs.push_back(d.Path(n));
  }
  auto build = [&](const std::string& out, const std::string& threads) {
    std::vector<std::string> a{"build", "--stub", d.Path("stub.exe"), "--out", d.Path(out), "--seed", "5",
                               "--update-token", "tok", "--stamp", "0", "--record-limit", "1500",
                               "--threads", threads};
    a.insert(a.end(), inputs.begin(), inputs.end());
    ASSERT_EQ(RunKvpack(a).code, 0);
  };
  build("one.exe", "1");
  build("four.exe", "4");
  EXPECT_EQ(ReadFile(d / "one.exe"), ReadFile(d / "four.exe"));
}

TEST(KvpackToken, TokenAndTokenRecordDescrambleBack) {
  ScratchDir d;
  CliResult t = RunKvpack({"token", "my-secret"});
  ASSERT_EQ(t.code, 0);
  std::string scrambled = t.out.substr(0, t.out.find('\n'));
  std::string plain;
  ASSERT_TRUE(kv::TryDescrambleText(scrambled, plain));
  EXPECT_EQ(plain, "my-secret");
  EXPECT_EQ(scrambled.find_first_not_of("bcdefghijkstuvwx"), std::string::npos);

  std::string payload = "[AutoUpdate]\r\nVersion=2|3\r\n" + RandomBytes(100, 4);
  WriteFile(d / "payload.ini", payload);
  for (bool whole : {false, true}) {
    std::vector<std::string> a{"token-record", "my-secret", d.Path("payload.ini"), "--out", d.Path("rec")};
    if (whole) a.push_back("--scrambled");
    ASSERT_EQ(RunKvpack(a).code, 0);
    std::string rec = ReadFile(d / "rec");
    EXPECT_EQ(rec.rfind("Scrambled=01", 0) == 0, whole);
    std::string token, got;
    kv::SplitTokenRecord(rec, token, got);
    EXPECT_EQ(token, "my-secret");
    EXPECT_EQ(got, payload);
  }
}

TEST(KvpackNames, PlainNamesAndStamps) {
  struct Case {
    const char* name;
    bool plain;
  } cases[] = {{"Engine.exe", true},  {"00003#logo.jpg", true}, {"a b.txt", true},
               {"", false},           {".", false},             {"..", false},
               {"a/b", false},        {"a\\b", false},          {"C:x", false},
               {"x*", false},         {"a|b", false},           {"trail.", false},
               {"trail ", false},     {"CON", false},           {"nul.txt", false},
               {"com1.log", false},   {"LPT9", false},          {"COM10", true},
               {"tab\there", false}};
  for (const auto& c : cases)
    EXPECT_EQ(kv::pack::WhyNotPlainName(c.name).empty(), c.plain) << c.name;

  std::tm tm{};
  tm.tm_year = 2016 - 1900;
  tm.tm_mon = 11;
  tm.tm_mday = 20;
  tm.tm_hour = 16;
  tm.tm_min = 30;
  tm.tm_sec = 33;
  tm.tm_isdst = -1;
  std::uint32_t s = kv::pack::UnixToDosStamp(static_cast<std::int64_t>(std::mktime(&tm)));
  EXPECT_EQ(s >> 16, (36u << 9) | (12u << 5) | 20u);
  EXPECT_EQ(s & 0xFFFF, (16u << 11) | (30u << 5) | 16u);
  EXPECT_TRUE(kv::pack::IsValidDosStamp(s));
  tm.tm_year = 1979 - 1900;
  EXPECT_EQ(kv::pack::UnixToDosStamp(static_cast<std::int64_t>(std::mktime(&tm))), 0u);
}

}  // namespace
