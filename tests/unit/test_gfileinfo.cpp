// The package descriptor: locating the trailer, reading the header strings,
// the settings getters and the space computation.
#include <gtest/gtest.h>

#include "os/file.h"
#include "os/host/host_control.h"
#include "package/checksum.h"
#include "package/gfileinfo.h"
#include "package/ksub.h"
#include "package/langblocks.h"
#include "package_images.h"

using namespace kvtest;
using kv::PackageTrailer;
using kv::TGFileInfo;

namespace {

const char kLang[] = "\x02\x01Turkish\x01s0=Kur\x01\x02";
const char kSettings[] = "|http://|.info|.exe|tok|0|";
const char kWeb[] = "|http://h/dl/|Pkg.exe|1|wtok|12345|";

std::string Records() { return StoredRecord("|a.txt|0|", "hello"); }

// A trailer with every flag byte set, so a foreign trailer would show.
PackageTrailer FlaggedTrailer(std::uint8_t headerStrings) {
  PackageTrailer t = BasicTrailer(headerStrings);
  t.SetFileCount(27);
  t.SetPackageFlags(0x1F);
  t.SetIsWebInstaller(true);
  t.SetAutoUpdateProg(true);
  return t;
}

TEST(TGFileInfoLocate, FindsTheTrailerByTheLocatingRules) {
  const std::string sig(300, 'S');  // a signature appended after the build
  struct Case {
    const char* what;
    std::string bytes;
    bool found;
  };
  // A trailer whose length field claims 100 bytes: 70 bytes of trailer,
  // 26 bytes of something else, then the length.
  std::string longTrailer;
  {
    Image img = BuildImage("", {kLang, kSettings}, Records(), FlaggedTrailer(2), false);
    longTrailer = img.bytes.substr(0, img.bytes.size() - 4) + std::string(26, 'x') + LE32(100);
  }
  PackageTrailer wrongMagic = FlaggedTrailer(2);
  wrongMagic.SetPackageMagic(0x4A3B2C1E);

  const Case cases[] = {
      {"stub, SelfLength, signature appended",
       BuildImage(FakeStub(), {kLang, kSettings}, Records(), FlaggedTrailer(2), true, sig).bytes,
       true},
      {"stub, SelfLength, nothing appended",
       BuildImage(FakeStub(), {kLang, kSettings}, Records(), FlaggedTrailer(2), true).bytes, true},
      {"stub without SelfLength, nothing appended",
       BuildImage(FakeStub(), {kLang, kSettings}, Records(), FlaggedTrailer(2), false).bytes, true},
      {"stub without SelfLength, signature appended",
       BuildImage(FakeStub(), {kLang, kSettings}, Records(), FlaggedTrailer(2), false, sig).bytes,
       false},
      {"volume without MZ: trailer at the end",
       BuildImage(std::string(40, 'v'), {kLang, kSettings}, Records(), FlaggedTrailer(2), false)
           .bytes,
       true},
      {"MZ but no PE: SelfLength is not looked at",
       [&] {
         Image img = BuildImage(FakeStub(), {kLang, kSettings}, Records(), FlaggedTrailer(2), true,
                                sig);
         img.bytes[256] = 'X';
         return img.bytes;
       }(),
       false},
      {"trailer length field above 74", longTrailer, true},
      {"executable without a package (last four bytes zero)", FakeStub(), false},
      {"trailer length field 3", FakeStub() + LE32(3), false},
      {"negative trailer length field", FakeStub() + LE32(0xFFFFFFF0u), false},
      {"trailer length larger than the file", std::string(20, 'q') + LE32(70000), false},
      {"SelfLength beyond the end of the file",
       [&] {
         Image img = BuildImage(FakeStub(), {kLang, kSettings}, Records(), FlaggedTrailer(2), true);
         kv::StoreLE32(&img.bytes[kv::kSelfLengthLowOffset], 0x7FFFFFF0u);
         return img.bytes;
       }(),
       false},
      {"wrong magic",
       BuildImage(FakeStub(), {kLang, kSettings}, Records(), wrongMagic, true).bytes, false},
      {"empty file", "", false},
      {"file shorter than a length field", "ab", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = WriteTemp("gfi_locate.bin", c.bytes);
    TGFileInfo info(path);
    if (c.found) {
      EXPECT_EQ(info.PackageMagic(), kv::kPackageMagic);
      EXPECT_EQ(info.TrailerLength(), 74);
      EXPECT_EQ(info.FileCount(), 27u);
      EXPECT_TRUE(info.AutoUpdateProg());
      EXPECT_EQ(info.LanguageBlocks(), kLang);
      EXPECT_EQ(info.SettingsList(), kSettings);
    } else {
      // Nothing of a foreign or damaged file may leak into the descriptor.
      EXPECT_EQ(info.Trailer().ToBytes(), std::string(74, '\0'));
      EXPECT_EQ(info.HeaderStringCount(), 0);
      EXPECT_FALSE(info.AutoUpdateProg());
      EXPECT_FALSE(info.IsWebInstaller());
      EXPECT_FALSE(info.SpannedCd());
      EXPECT_TRUE(info.LanguageBlocks().empty());
      EXPECT_TRUE(info.SettingsList().empty());
    }
    // The in-memory parse agrees with the file parse.
    EXPECT_EQ(TGFileInfo::FromImage(c.bytes).Trailer().ToBytes(), info.Trailer().ToBytes());
  }
}

TEST(TGFileInfoLocate, MissingFileGivesAnEmptyDescriptor) {
  TGFileInfo info(std::string(::testing::TempDir()) + "no_such_package.exe");
  EXPECT_EQ(info.Trailer().ToBytes(), std::string(74, '\0'));
  EXPECT_EQ(info.HeaderStringCount(), 0);
  EXPECT_EQ(info.InfoLocation(), "");
  EXPECT_FALSE(info.HideFlag());
}

TEST(TGFileInfoLocate, RawLocatingKeepsForeignBytesAndCountsTwoHeaderStrings) {
  // The locating rules themselves do not judge the magic; only the
  // descriptor refuses a foreign trailer.
  PackageTrailer t = FlaggedTrailer(0);
  t.SetPackageMagic(1);
  Image img = BuildImage("", {}, "", t, false);
  kv::MemorySource src(img.bytes);
  PackageTrailer raw = kv::LocateTrailer(src);
  EXPECT_EQ(raw.PackageMagic(), 1u);
  EXPECT_EQ(raw.HeaderStringCount(), 2);
  EXPECT_EQ(raw.PackageFlags(), 0x1F);

  const std::string tiny = std::string("xyz") + LE32(2);
  kv::MemorySource none(tiny);
  PackageTrailer zero = kv::LocateTrailer(none);
  EXPECT_EQ(zero.TrailerLength(), 2);
  EXPECT_EQ(zero.HeaderStringCount(), 2);
  EXPECT_EQ(zero.PackageMagic(), 0u);
}

TEST(TGFileInfoHeaderStrings, CountDecidesTheWebSettingsAndDataOffsetEndsAfterThem) {
  struct Case {
    std::uint8_t count;
    std::vector<std::string> strings;
    bool webRead;
  };
  const Case cases[] = {
      {0, {kLang, kSettings}, false},   // 0 is taken as 2
      {2, {kLang, kSettings}, false},
      {3, {kLang, kSettings, kWeb}, true},
      {4, {kLang, kSettings, kWeb, "|fourth|"}, true},  // the fourth is never read
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.count));
    Image img = BuildImage(FakeStub(), c.strings, Records(), FlaggedTrailer(c.count), true);
    TGFileInfo info = TGFileInfo::FromImage(img.bytes);
    EXPECT_EQ(info.HeaderStringCount(), c.count == 0 ? 2 : c.count);
    EXPECT_EQ(info.LanguageBlocks(), kLang);
    EXPECT_EQ(info.SettingsList(), kSettings);
    std::uint32_t after = img.dataOffset + 8 + sizeof(kLang) - 1 + sizeof(kSettings) - 1;
    if (c.webRead) {
      EXPECT_EQ(info.WebSettingsList(), kWeb);
      EXPECT_EQ(info.PackageFileName(), "Pkg.exe");
      after += 4 + sizeof(kWeb) - 1;
    } else {
      EXPECT_EQ(info.WebSettingsList(), "");
      EXPECT_EQ(info.PackageUrl(), "");
      EXPECT_FALSE(info.NoLocalPackage());
    }
    EXPECT_EQ(info.DataOffset(), after);
  }
}

TEST(TGFileInfoHeaderStrings, DamagedLengthLeavesTheStringUnread) {
  struct Case {
    const char* what;
    std::uint32_t settingsLength;
  };
  const Case cases[] = {
      {"beyond the end of the file", 0x00100000},
      {"negative", 0xFFFFFFFF},
      {"most negative", 0x80000000},
      {"largest positive", 0x7FFFFFFF},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Image img = BuildImage(FakeStub(), {kLang, kSettings, kWeb}, Records(), FlaggedTrailer(3), true);
    std::uint32_t at = img.dataOffset + 4 + sizeof(kLang) - 1;
    kv::StoreLE32(&img.bytes[at], c.settingsLength);
    TGFileInfo info = TGFileInfo::FromImage(img.bytes);
    EXPECT_EQ(info.LanguageBlocks(), kLang);
    EXPECT_EQ(info.SettingsList(), "");
    EXPECT_EQ(info.WebSettingsList(), "");  // its position depended on the damaged one
    EXPECT_EQ(info.DataOffset(), at);
    EXPECT_EQ(info.PackageMagic(), kv::kPackageMagic);  // the trailer itself is fine
  }
}

TEST(TGFileInfoTrailer, FlagBitsAndBytes) {
  struct Case {
    std::uint8_t flags;
    bool temp, more, cd, bar, log;
  };
  const Case cases[] = {
      {0x01, true, false, false, false, false}, {0x02, false, true, false, false, false},
      {0x04, false, false, true, false, false}, {0x08, false, false, false, true, false},
      {0x10, false, false, false, false, true}, {0xE0, false, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.flags));
    PackageTrailer t = BasicTrailer();
    t.SetPackageFlags(c.flags);
    TGFileInfo info = TGFileInfo::FromImage(BuildImage("", {kLang, kSettings}, "", t, false).bytes);
    EXPECT_EQ(info.TempNotice(), c.temp);
    EXPECT_EQ(info.MoreVolumes(), c.more);
    EXPECT_EQ(info.SpannedCd(), c.cd);
    EXPECT_EQ(info.ShowActivityBar(), c.bar);
    EXPECT_EQ(info.AgentLogFlag(), c.log);
  }

  PackageTrailer t = BasicTrailer();
  t.SetFileCount(0x01020304);
  t.SetStoredChecksum(0xA1B2C3D4);
  t.SetTotalSize(1000);
  for (int k = 0; k < 8; ++k) t.SetSpaceByClusterSize(k, 2000 + k);
  t.SetU8(66, 1);
  t.SetU8(67, 2);
  t.SetU8(68, 3);
  t.SetU8(69, 0);
  TGFileInfo info = TGFileInfo::FromImage(BuildImage("", {kLang, kSettings}, "", t, false).bytes);
  // The fields sit at their documented offsets, little-endian.
  const std::string raw = info.Trailer().ToBytes();
  EXPECT_EQ(raw.substr(8, 4), std::string("\x04\x03\x02\x01"));
  EXPECT_EQ(raw.substr(12, 4), std::string("\x1D\x2C\x3B\x4A"));
  EXPECT_EQ(info.FileCount(), 0x01020304u);
  EXPECT_EQ(info.StoredChecksum(), 0xA1B2C3D4u);
  EXPECT_EQ(info.TotalSize(), 1000u);
  EXPECT_EQ(info.SpaceByClusterSize(7), 2007u);
  EXPECT_TRUE(info.IsWebInstaller());
  EXPECT_TRUE(info.AskBeforeDownload());
  EXPECT_TRUE(info.DropAgentCopy());
  EXPECT_FALSE(info.AutoUpdateProg());
}

TEST(TGFileInfoSettings, FieldsAndTokens) {
  const std::string updateTok = kv::ScrambleToken("update-token", 11);
  const std::string pkgTok = kv::ScrambleToken("package-token", 12);
  const std::string settings = "|C:\\info\\|app.info|Agent.exe|" + updateTok + "|1|";
  const std::string web = "|http://h/dl/||1|" + pkgTok + "|52428800|";
  TGFileInfo info = TGFileInfo::FromImage(
      BuildImage(FakeStub(), {kLang, settings, web}, Records(), BasicTrailer(3), true).bytes);
  EXPECT_EQ(info.InfoLocation(), "C:\\info\\");
  EXPECT_EQ(info.InfoFileName(), "app.info");
  EXPECT_EQ(info.AgentFileName(), "Agent.exe");
  EXPECT_EQ(info.UpdateToken(false), updateTok);
  EXPECT_EQ(info.UpdateToken(true), "update-token");
  EXPECT_TRUE(info.HideFlag());
  EXPECT_EQ(info.PackageUrl(), "http://h/dl/");
  EXPECT_EQ(info.PackageFileName(), "");
  EXPECT_TRUE(info.NoLocalPackage());
  EXPECT_EQ(info.PackageToken(true), "package-token");
  EXPECT_EQ(info.PackageSize(), "52428800");

  // The two flags are exactly "1".
  for (const char* v : {"0", " 1", "1 ", "01", "true", ""}) {
    std::string s = std::string("|a|b|c|d|") + v + "|";
    std::string w = std::string("|a|b|") + v + "|d|e|";
    TGFileInfo i = TGFileInfo::FromImage(BuildImage("", {"", s, w}, "", BasicTrailer(3), false).bytes);
    EXPECT_FALSE(i.HideFlag()) << v;
    EXPECT_FALSE(i.NoLocalPackage()) << v;
  }
}

class TGFileInfoSpace : public ::testing::Test {
 protected:
  void TearDown() override { os::host::ResetAll(); }
};

TEST_F(TGFileInfoSpace, ClusterSizePicksTheLastEntryNotAboveIt) {
  PackageTrailer t = BasicTrailer();
  t.SetTotalSize(1000);
  for (int k = 0; k < 8; ++k) t.SetSpaceByClusterSize(k, 10000 * (k + 1));
  TGFileInfo info = TGFileInfo::FromImage(BuildImage("", {kLang, kSettings}, "", t, false).bytes);
  struct Case {
    std::uint32_t cluster;
    double want;
  };
  const Case cases[] = {
      {4096, 40000}, {3000, 30000}, {512, 10000},   {511, 1000},
      {0, 1000},     {65536, 80000}, {1u << 20, 80000},
  };
  for (const Case& c : cases) {
    os::host::SetClusterSize('Q', c.cluster);
    EXPECT_EQ(info.GetSpaceRequired("Q:\\Temp\\SETUP_1"), c.want) << c.cluster;
  }
  // A network folder cannot be queried: the plain total.
  EXPECT_EQ(info.GetSpaceRequired("\\\\server\\share\\x"), 1000);
  EXPECT_EQ(info.GetSpaceRequired(""), 1000);
}

TEST(TGFileInfoStatics, PETestAndSelfLength) {
  std::string stub = FakeStub();
  kv::StoreLE32(&stub[248], 1);
  kv::StoreLE32(&stub[252], 2);
  std::string path = WriteTemp("gfi_pe.bin", stub);
  EXPECT_TRUE(TGFileInfo::IsPEFile(path));
  os::File f;
  ASSERT_TRUE(f.open(path, os::OpenMode::Read));
  EXPECT_TRUE(TGFileInfo::IsPEFile(f));
  EXPECT_EQ(TGFileInfo::ReadSelfLength(f), 0x100000002ull);
  EXPECT_EQ(TGFileInfo::ReadSelfLengthImage(stub), 0x100000002ull);
  EXPECT_EQ(TGFileInfo::ReadSelfLengthImage(stub.substr(0, 255)), 0u);

  const std::string notPE[] = {"", "MZ", stub.substr(0, 257), "ZM" + stub.substr(2),
                               std::string("MZ") + std::string(300, 'P')};
  for (const std::string& bytes : notPE) {
    EXPECT_FALSE(TGFileInfo::IsPEFile(WriteTemp("gfi_notpe.bin", bytes))) << bytes.size();
  }
  EXPECT_FALSE(TGFileInfo::IsPEFile(std::string(::testing::TempDir()) + "gfi_absent.bin"));
}

TEST(LanguageBlocks, BuildAndTakeApart) {
  std::string tr, en, blocks;
  ASSERT_TRUE(kv::BuildLanguageBlock("Turkish", {{"Charset", "162"}, {"s0", "a=b <B>x</B>"}}, tr));
  ASSERT_TRUE(kv::BuildLanguageBlock("English", {}, en));
  EXPECT_EQ(tr, "\x01Turkish\x01""Charset=162\x01s0=a=b <B>x</B>\x01");
  ASSERT_TRUE(kv::BuildLanguageBlocks({tr, en}, blocks));
  EXPECT_EQ(blocks, "\x02" + tr + "\x02" + en + "\x02");
  EXPECT_EQ(kv::LanguageBlockCount(blocks), 2);
  EXPECT_EQ(kv::LanguageBlockAt(blocks, 0), tr);
  EXPECT_EQ(kv::LanguageBlockName(kv::LanguageBlockAt(blocks, 1)), "English");
  EXPECT_EQ(kv::SUB::GetValue(tr, "S0"), "a=b <B>x</B>");

  // Texts that would break the two lists are refused.
  std::string out;
  EXPECT_FALSE(kv::BuildLanguageBlock("Tur\x01kish", {}, out));
  EXPECT_FALSE(kv::BuildLanguageBlock("Turkish", {{"s0", "a\x02" "b"}}, out));
  EXPECT_FALSE(kv::BuildLanguageBlock("Turkish", {{"s=0", "x"}}, out));
  EXPECT_FALSE(kv::BuildLanguageBlock("", {}, out));
  EXPECT_FALSE(kv::BuildLanguageBlocks({tr, ""}, out));
  EXPECT_TRUE(kv::BuildLanguageBlocks({}, out));
  EXPECT_EQ(out, "");
  EXPECT_EQ(kv::LanguageBlockCount(out), 0);
}

}  // namespace
