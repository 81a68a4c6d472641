// The builder's refusals: one clear line, a non-zero exit, and nothing left
// under the output name (an earlier file of that name stays as it was).
#include "test_kvpack_fixture.h"

using namespace kvtest;

namespace {

struct Refusal {
  const char* label;
  std::vector<std::string> args;  // after "build --stub STUB --out OUT"; "%" marks a scratch path
  const char* message;
  int code;
};

TEST(KvpackCli, BuildRefusesBadInput) {
  const Refusal cases[] = {
      {"missing input", {"%a.txt", "%nothere.txt"}, "input", 1},
      {"no inputs", {}, "no input files", 1},
      {"duplicate names ignoring case", {"%a.txt", "%sub/A.TXT"}, "two inputs are named", 1},
      {"name with a path separator", {"sub/x.txt=%a.txt"}, "path separator", 1},
      {"name with a backslash", {"..\\x.txt=%a.txt"}, "path separator", 1},
      {"device name", {"CON=%a.txt"}, "device name", 1},
      {"name with a star", {"x*=%a.txt"}, "\"*\"", 1},
      {"output is an input", {"%a.txt", "%sub/../out.exe"}, "is also an input", 1},
      {"main names no input", {"--main", "Engine.exe", "%a.txt"}, "names no input", 1},
      {"field using every separator",
       {"--info-location", std::string("|*~^!@#$&\xFF", 10), "%a.txt"}, "every list separator", 1},
      {"language value with code 1", {"--lang", "%bad.lang", "%a.txt"}, "code 1", 1},
      {"language line without =", {"--lang", "%noeq.lang", "%a.txt"}, "noeq.lang:2", 1},
      {"header count 1", {"--header-count", "1", "%a.txt"}, "--header-count", 1},
      {"web settings with header count 2",
       {"--header-count", "2", "--package-url", "x", "%a.txt"}, "header-count 3", 1},
      {"volume too small for the stub", {"--volume-size", "1000", "%a.txt"}, "cannot hold", 1},
      {"level out of range", {"--level", "10", "%a.txt"}, "--level", 1},
      {"package size not a number", {"--web", "--package-size", "5MB"}, "--package-size", 1},
      {"unknown option", {"--frobnicate", "%a.txt"}, "frobnicate", 2},
      {"bad size unit", {"--volume-size", "3X", "%a.txt"}, "unit", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ScratchDir d;
    WriteFile(d / "stub.exe", FakeStub());
    WriteFile(d / "a.txt", "alpha");
    fs::create_directories(d / "sub");
    WriteFile(d / "sub" / "A.TXT", "ALPHA");
    WriteFile(d / "out.exe", "OLD");
    WriteFile(d / "bad.lang", "[English]\ns0=a\x01" "b\n");
    WriteFile(d / "noeq.lang", "[English]\njust text\n");
    std::vector<std::string> args{"build", "--stub", d.Path("stub.exe"), "--out", d.Path("out.exe")};
    for (const auto& a : c.args) {
      std::size_t at = a.find('%');
      args.push_back(at == std::string::npos ? a : a.substr(0, at) + d.Path(a.substr(at + 1)));
    }
    CliResult r = RunKvpack(args);
    EXPECT_EQ(r.code, c.code);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(ReadFile(d / "out.exe"), "OLD");
    for (const auto& n : d.Names()) EXPECT_EQ(n.find(".tmp-"), std::string::npos) << n;
  }
}

TEST(KvpackCli, OtherCommandsRefuseBadInput) {
  ScratchDir d;
  WriteFile(d / "a.txt", "alpha");
  struct Case {
    std::vector<std::string> args;
    const char* message;
    int code;
  } cases[] = {
      {{}, "usage", 2},
      {{"frob"}, "unknown command", 2},
      {{"verify", d.Path("none.exe")}, "cannot open", 1},
      {{"verify", d.Path("a.txt")}, "trailer", 1},
      {{"info", d.Path("a.txt")}, "trailer", 1},
      {{"extract", d.Path("a.txt")}, "extract takes", 2},
      {{"token", ""}, "empty", 1},
      {{"token-record", "t", d.Path("none"), "--out", d.Path("r")}, "not found", 1},
      {{"token-record", "t", d.Path("a.txt"), "--out", d.Path("a.txt")}, "also the input", 1},
  };
  for (const auto& c : cases) {
    CliResult r = RunKvpack(c.args);
    EXPECT_EQ(r.code, c.code) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadFile(d / "a.txt"), "alpha");
}

TEST(KvpackCli, ExtractRefusesToAppendToExistingFiles) {
  ScratchDir d;
  WriteFile(d / "stub.exe", FakeStub());
  WriteFile(d / "a.txt", "alpha");
  ASSERT_EQ(RunKvpack({"build", "--stub", d.Path("stub.exe"), "--out", d.Path("s.exe"), d.Path("a.txt")}).code, 0);
  fs::create_directories(d / "x");
  WriteFile(d / "x" / "a.txt", "stale");
  CliResult r = RunKvpack({"extract", d.Path("s.exe"), d.Path("x")});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile(d / "x" / "a.txt"), "stale");
}

}  // namespace
