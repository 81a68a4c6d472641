// Damaged and hand-crafted packages: verify names the fault, extract writes
// nothing, and nothing crashes.
#include <zlib.h>

#include <functional>

#include "package/checksum.h"
#include "package/gfileinfo.h"
#include "package/ksub.h"
#include "test_kvpack_fixture.h"

using namespace kvtest;

namespace {

std::string LE32(std::uint32_t v) {
  std::string s(4, '\0');
  kv::StoreLE32(&s[0], v);
  return s;
}

struct CraftRecord {
  std::string header;
  std::string content;
  bool stored = true;
};

// A volume without a stub (its trailer is found at the end), with totals,
// FileCount and checksum consistent with its records unless told otherwise.
std::string CraftVolume(const std::vector<std::string>& headerStrings,
                        const std::vector<CraftRecord>& records, std::uint8_t flags,
                        std::uint32_t fileCount) {
  std::string v;
  for (const auto& h : headerStrings) v += LE32(static_cast<std::uint32_t>(h.size())) + h;
  std::uint32_t total = 0;
  for (const auto& r : records) {
    std::string data = r.header + '\0' + r.content;
    if (!r.stored) {
      uLongf n = compressBound(static_cast<uLong>(data.size()));
      std::string z(n, '\0');
      compress2(reinterpret_cast<Bytef*>(&z[0]), &n, reinterpret_cast<const Bytef*>(data.data()),
                static_cast<uLong>(data.size()), 9);
      z.resize(n);
      data = z;
    }
    std::int32_t len = static_cast<std::int32_t>(data.size());
    v += LE32(static_cast<std::uint32_t>(r.stored ? -len : len)) + data;
    total += static_cast<std::uint32_t>(r.content.size());
  }
  kv::PackageTrailer t;
  t.Clear();
  t.SetHeaderStringCount(static_cast<std::uint8_t>(headerStrings.empty() ? 0 : headerStrings.size()));
  t.SetFileCount(fileCount);
  t.SetPackageMagic();
  t.SetTotalSize(total);
  for (int k = 0; k < 8; ++k) {
    std::uint32_t cs = 512u << k;
    std::uint32_t sum = 0;
    for (const auto& r : records) sum += (static_cast<std::uint32_t>(r.content.size()) + cs - 1) / cs * cs;
    t.SetSpaceByClusterSize(k, sum);
  }
  t.SetPackageFlags(flags);
  t.SetTrailerLength(74);
  v += t.ToBytes();
  kv::MemorySource src(v);
  kv::StoreLE32(&v[v.size() - 74 + 16], kv::ComputePackageChecksum(src, 74));
  return v;
}

bool HasError(const kv::pack::PackageReport& rep, const std::string& text) {
  for (const auto& e : rep.errors)
    if (e.find(text) != std::string::npos) return true;
  return false;
}

class KvpackDamage : public ::testing::Test {
 public:
  // Builds d/name from the sample files plus extra options.
  void Build(const std::string& name, std::vector<std::string> extra, bool large = false) {
    WriteFile(d / "stub.exe", FakeStub());
    WriteFile(d / "readme.txt", TextBytes(3000));
    WriteFile(d / "Engine.exe", RandomBytes(2000, 3));
    WriteFile(d / "big.bin", RandomBytes(large ? 60000 : 6000, 4));
    std::vector<std::string> a{"build", "--stub", d.Path("stub.exe"), "--out", d.Path(name),
                               "--main", "Engine.exe"};
    a.insert(a.end(), extra.begin(), extra.end());
    for (const char* f : {"readme.txt", "Engine.exe", "big.bin"}) a.push_back(d.Path(f));
    CliResult r = RunKvpack(a);
    ASSERT_EQ(r.code, 0) << r.err;
  }

  void Patch(const std::string& name, std::int64_t pos, const std::string& bytes) {
    std::string s = ReadFile(d / name);
    if (pos < 0) pos += static_cast<std::int64_t>(s.size());
    s.replace(static_cast<std::size_t>(pos), bytes.size(), bytes);
    WriteFile(d / name, s);
  }

  // verify fails naming the fault; extract refuses and writes nothing.
  void ExpectRejected(const std::string& name, const std::string& fault) {
    auto rep = kv::pack::InspectPackage(d.Path(name));
    EXPECT_TRUE(HasError(rep, fault)) << fault << " not among: "
                                      << (rep.errors.empty() ? "(no errors)" : rep.errors.front());
    CliResult v = RunKvpack({"verify", d.Path(name)});
    EXPECT_EQ(v.code, 1);
    EXPECT_NE(v.err.find(fault), std::string::npos) << v.err;
    CliResult x = RunKvpack({"extract", d.Path(name), d.Path("x")});
    EXPECT_EQ(x.code, 1);
    EXPECT_FALSE(fs::exists(d / "x") && !fs::is_empty(d / "x"));
  }

  ScratchDir d;
};

struct DamageCase {
  const char* label;
  bool large;  // above 51200 bytes: no checksum, so the record itself must show the damage
  std::function<void(KvpackDamage&, const kv::pack::PackageReport&)> damage;
  const char* fault;
};

TEST_F(KvpackDamage, EachDamageIsNamed) {
  auto recordAt = [](const kv::pack::PackageReport& rep, std::size_t i) { return rep.records.at(i); };
  const DamageCase cases[] = {
      {"flipped byte in a record, small volume", false,
       [&](KvpackDamage& t, const kv::pack::PackageReport& rep) {
         auto r = recordAt(rep, 1);
         t.Patch("s.exe", r.position + 4 + r.length / 2, "\x5A");
       },
       "checksum mismatch"},
      {"flipped byte in a record, large volume", true,
       [&](KvpackDamage& t, const kv::pack::PackageReport& rep) {
         auto r = recordAt(rep, 2);
         std::string s = ReadFile(t.d / "s.exe");
         s[static_cast<std::size_t>(r.position + 4 + r.length / 2)] ^= 0x10;
         WriteFile(t.d / "s.exe", s);
       },
       "record at"},
      {"wrong stored checksum", false,
       [&](KvpackDamage& t, const kv::pack::PackageReport& rep) {
         t.Patch("s.exe", -74 + 16, LE32(rep.volumes[0].trailer.StoredChecksum() + 1));
       },
       "checksum mismatch"},
      {"truncated volume", false,
       [&](KvpackDamage& t, const kv::pack::PackageReport&) {
         std::string s = ReadFile(t.d / "s.exe");
         WriteFile(t.d / "s.exe", s.substr(0, s.size() - 100));
       },
       "beyond the end of the file"},
      {"trailer claims more than the file holds", true,
       [&](KvpackDamage& t, const kv::pack::PackageReport&) { t.Patch("s.exe", -4, LE32(10000000)); },
       "more than the file holds"},
      {"record claims more than is left", true,
       [&](KvpackDamage& t, const kv::pack::PackageReport& rep) {
         t.Patch("s.exe", recordAt(rep, 2).position, LE32(0x7FFFFFF0));
       },
       "left before the trailer"},
      {"record of length 0", true,
       [&](KvpackDamage& t, const kv::pack::PackageReport& rep) {
         t.Patch("s.exe", recordAt(rep, 0).position, LE32(0));
       },
       "invalid length 0"},
      {"wrong magic", false,
       [&](KvpackDamage& t, const kv::pack::PackageReport&) { t.Patch("s.exe", -74 + 12, LE32(0x4A3B2C1E)); },
       "no package"},
      {"FileCount off by one", true,
       [&](KvpackDamage& t, const kv::pack::PackageReport&) { t.Patch("s.exe", -74 + 8, LE32(4)); },
       "FileCount is 4"},
      {"TotalSize wrong", true,
       [&](KvpackDamage& t, const kv::pack::PackageReport&) { t.Patch("s.exe", -74 + 28, LE32(1)); },
       "TotalSize is 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(d / "x");
    Build("s.exe", {}, c.large);
    auto before = kv::pack::InspectPackage(d.Path("s.exe"));
    ASSERT_TRUE(before.ok());
    c.damage(*this, before);
    ExpectRejected("s.exe", c.fault);
  }
}

TEST_F(KvpackDamage, MissingOrTruncatedLaterVolume) {
  Build("m.exe", {"--volume-size", "4000"});
  ASSERT_TRUE(fs::exists(d / "m.exe.003"));
  std::string v2 = ReadFile(d / "m.exe.002");
  WriteFile(d / "m.exe.002", v2.substr(0, v2.size() - 30));
  ExpectRejected("m.exe", "volume 2");
  fs::remove(d / "m.exe.002");
  ExpectRejected("m.exe", "missing");
}

TEST_F(KvpackDamage, UnsafeRecordNamesAreRefused) {
  const char* names[] = {"..\\evil.txt", "sub/evil.txt", "C:evil.txt", "..", "CON", "../evil.txt* /x"};
  for (const char* n : names) {
    SCOPED_TRACE(n);
    fs::remove_all(d / "x");
    std::string header = kv::SUB::BuildList({n, "0"});
    WriteFile(d / "evil.pkg", CraftVolume({"", "|||||0|"},
                                          {{"|ok.txt|0|", "fine"}, {header, "payload"}}, 0, 2));
    ExpectRejected("evil.pkg", "unsafe name");
    EXPECT_FALSE(fs::exists(d / "evil.txt"));
    EXPECT_FALSE(fs::exists(d.dir().parent_path() / "evil.txt"));
  }
}

TEST_F(KvpackDamage, HandMadePackagesOfTheFormatAreRead) {
  // Sanity of the crafting helper, and a later volume that holds no record.
  WriteFile(d / "p.pkg", CraftVolume({"", "|||||0|"}, {{"|a.txt|0|", "abc", false}}, 0, 1));
  EXPECT_TRUE(kv::pack::InspectPackage(d.Path("p.pkg")).ok());

  WriteFile(d / "e.pkg", CraftVolume({"", "|||||0|"}, {{"|a.txt|0|", "abc"}}, kv::kFlagMoreVolumes, 1));
  WriteFile(d / "e.pkg.002", CraftVolume({}, {}, 0, 1));
  ExpectRejected("e.pkg", "holds no file record");
}

TEST_F(KvpackDamage, NoByteFlipCrashesAndCoveredBytesAreCaught) {
  Build("s.exe", {});
  const std::string good = ReadFile(d / "s.exe");
  ASSERT_LT(good.size(), 51200u);
  const std::size_t trailer = good.size() - 74;
  std::vector<std::size_t> positions{0, 1, 60, 144, 256, 257};
  for (std::size_t p = 248; p < 256; ++p) positions.push_back(p);
  for (std::size_t p = 512; p < trailer - 16; p += 29) positions.push_back(p);
  for (std::size_t p = trailer - 16; p < good.size(); ++p) positions.push_back(p);
  for (std::size_t pos : positions) {
    std::string bad = good;
    bad[pos] = static_cast<char>(bad[pos] ^ 0x41);
    WriteFile(d / "f.exe", bad);
    auto rep = kv::pack::InspectPackage(d.Path("f.exe"));
    // The stub's own bytes are not the package's; everything after them is
    // covered by the checksum or, near the trailer, by the records' Adler-32.
    if (pos >= 512 && pos < trailer) {
      EXPECT_FALSE(rep.ok()) << "flip at " << pos;
    }
  }
}

}  // namespace
