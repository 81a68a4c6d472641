// Shared text, number, date, path, command-line, INI and registry helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "os/host/host_control.h"
#include "sys/utils.h"

namespace {

using namespace kv;

class Utils : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }
  static void Reset() {
    os::host::ResetAll();
    utilsState() = UtilsState();
  }
};

// ---------------------------------------------------------------- texts

TEST(UtilsText, ReplaceNeverRescansInsertedText) {
  struct Case { const char* text; const char* oldText; const char* newText; const char* want; };
  const Case cases[] = {
      {"Software\\Microsoft\\Windows\\CurrentVersion", "Windows", "Windows NT",
       "Software\\Microsoft\\Windows NT\\CurrentVersion"},
      {"aaa", "a", "aa", "aaaaaa"},
      {"aabb", "ab", "", ""},          // closed-up sides form a new occurrence, which goes too
      {"xaabby", "ab", "", "xy"},
      {"abab", "ab", "ba", "baba"},
      {"abc", "", "x", "abc"},         // an empty old text never occurs
      {"abc", "d", "x", "abc"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReplaceText(c.text, c.oldText, c.newText), c.want) << c.text;

  EXPECT_EQ(ReplaceTextNoCase("Win WIN win", "win", "Dos"), "Dos Dos Dos");
  EXPECT_EQ(ReplaceTextNoCase("aXbxc", "x", "-"), "a-b-c");
  EXPECT_EQ(ReplaceTextNoCase("Keep CASE here", "case", "case"), "Keep case here");
  EXPECT_EQ(ReplaceText(std::string("a\0b\0", 4), std::string(1, '\0'), "<0>"), "a<0>b<0>");
}

TEST(UtilsText, ReplaceRepeatedCollapsesRuns) {
  EXPECT_EQ(ReplaceRepeated("a     b  c", "  ", " ", false), "a b c");
  EXPECT_EQ(ReplaceRepeated("  a  ", "  ", " ", true), "a");
  EXPECT_EQ(ReplaceRepeated("a b", "b", "bb", false), "a b");  // new holds old: unchanged
  EXPECT_EQ(ReplaceRepeated("aaab", "ab", "b", false), "b");
  EXPECT_EQ(ReplaceRepeated(" x ", "q", "", true), "x");
}

TEST(UtilsText, StripPadAndWrap) {
  struct Strip { const char* text; bool anyEnd, once; const char* want; };
  const Strip strips[] = {
      {"\"", false, false, ""},
      {"\"a\"", false, false, "a"},
      {"\"\"a\"\"", false, true, "\"a\""},
      {"\"a", false, false, "\"a"},   // quote at one end only: kept without any end
      {"\"a", true, false, "a"},
      {"a\"\"", true, false, "a"},
      {"a", true, false, "a"},
  };
  for (const Strip& s : strips)
    EXPECT_EQ(StripChar(s.text, '"', s.anyEnd, s.once), s.want) << s.text;

  EXPECT_EQ(StripQuotes("  \"x y\"  ", false), "x y");
  EXPECT_EQ(StripQuotes("\"x", false), "\"x");
  EXPECT_EQ(StripQuotes("\"x", true), "x");
  EXPECT_EQ(QuoteText("\"C:\\a b"), "\"C:\\a b\"");
  EXPECT_EQ(WrapInDelimiter("|a|b", '|', true), "|a|b|");
  EXPECT_EQ(WrapInDelimiter("|a", '|', false), "||a|");

  struct Pad { const char* text; int width; const char* want; };
  const Pad pads[] = {
      {"ab", 5, "...ab"}, {"abcdef", 5, "abcdef"}, {"abcdef", -5, "abcd."},
      {"ab", -5, "...ab"}, {"abcdef", -3, "ab."}, {"abcdef", -2, "abcdef"},
      {"ab", -1, "ab"},   {"ab", 0, "ab"},
  };
  for (const Pad& p : pads) EXPECT_EQ(PadLeft(p.text, p.width, '.'), p.want) << p.width;
  EXPECT_EQ(ZeroPad("7", 3), "007");
  EXPECT_EQ(ZeroPad("1234", 3), "1234");

  EXPECT_EQ(FilterChars("a1-b2", "", "-"), "a1b2");
  EXPECT_EQ(FilterChars("a1-b2", "0123456789-", "-"), "12");
}

TEST(UtilsText, SearchPositions) {
  EXPECT_EQ(PosNoCase("WIN", "Hello windows"), 7);
  EXPECT_EQ(PosNoCase("", "abc"), 0);
  EXPECT_EQ(PosFrom("a", "abca", 2, false), 4);
  EXPECT_EQ(PosFrom("A", "abca", 0, true), 1);
  EXPECT_EQ(PosFrom("a", "abca", 5, false), 0);                       // past the end
  EXPECT_EQ(PosFrom("c", std::string("ab\0c", 4), 1, false), 0);       // stops at a zero byte
  EXPECT_EQ(LastPos("ab", "abxab"), 4);
  EXPECT_EQ(LastPos("AB", "abxab"), 0);
  EXPECT_EQ(LastPosFromEnd("AB", "abxabyz"), 3);
  EXPECT_EQ(LastPosFromEnd("q", "abc"), 0);
  EXPECT_FALSE(StartsWith("", "abc", false));
  EXPECT_TRUE(StartsWith("AB", "abc", true));
  EXPECT_FALSE(StartsWith("AB", "abc", false));
  EXPECT_TRUE(EndsWith(".EXE", "setup.exe", true));
  EXPECT_FALSE(EndsWith("setup.exe", "exe", true));
  EXPECT_TRUE(SameTextTrim(" Abc\t", "aBC"));
  EXPECT_EQ(TextBefore("key = v", "=", "d", true), "key");
  EXPECT_EQ(TextAfter("key = v", "=", "d", false), " v");
  EXPECT_EQ(TextAfter("key", "=", "d", true), "d");
  EXPECT_EQ(Trim("\x01 a b\x1f "), "a b");
}

// ---------------------------------------------------------------- numbers

TEST(UtilsNumber, ReadersAndFormatters) {
  struct Flt { const char* text; double want; };
  const Flt floats[] = {
      {"1,5", 1.5}, {"9,876.5", 9876.5}, {"1.234,5", 1.2345}, {" 2.5 ", 2.5}, {"-3", -3},
      {"abc", 99},  {"", 99},            {"inf", 99},       {"1e3", 1000}, {"+-1", 99},
      {"1,2,3", 99},                      // "1.2.3"
  };
  for (const Flt& f : floats) EXPECT_DOUBLE_EQ(StrToFloatAny(f.text, 99), f.want) << f.text;

  struct Fix { double v; int decimals; bool strip; const char* want; };
  const Fix fixes[] = {
      {12.5, 2, true, "12.5"}, {10, 2, true, "10"},  {0.5, 2, true, ".5"},
      {0, 2, true, "0"},       {12.5, 2, false, "12.50"}, {100, 0, true, "100"},
      {-0.5, 1, true, "-0.5"},
  };
  for (const Fix& f : fixes) EXPECT_EQ(FormatFloatFixed(f.v, f.decimals, f.strip), f.want) << f.v;

  struct Hex { const char* text; std::int64_t want; };
  const Hex hexes[] = {
      {"0x1F", 31}, {"0Xff", 255}, {" 1f ", 31}, {"", 0}, {"0x", 0}, {"1G", -1},
      {"7FFFFFFFFFFFFFFF", INT64_MAX}, {"FFFFFFFFFFFFFFFF", -1}, {" 0x1", -1},
  };
  for (const Hex& h : hexes) EXPECT_EQ(HexToInt64(h.text), h.want) << h.text;

  EXPECT_EQ(HexToBytes("41420"), "AB");                 // a final single digit is ignored
  EXPECT_EQ(HexToBytes("zz41"), std::string("\xFF" "A"));
  EXPECT_EQ(HexToBytes(""), std::string(1, '\0'));
  EXPECT_EQ(BytesToHex(std::string("\x00\xAB\x10", 3), false, true), "0x00AB10");
  EXPECT_EQ(BytesToHex("ABCDEFGHI", true, false), "41 42 43 44 45 46 47 48  49 ");

  std::int64_t v = 0;
  EXPECT_TRUE(TryStrToInt64(" -42 ", v));
  EXPECT_EQ(v, -42);
  EXPECT_FALSE(TryStrToInt64("9223372036854775808", v));
  EXPECT_FALSE(TryStrToInt64("12x", v));
  EXPECT_EQ(Clamp64(5, 1, 3), 3);
  EXPECT_EQ(Clamp64(-5, 1, 3), 1);

  for (int i = 0; i < 20; ++i) {
    std::int64_t r = RandomRange(33, 35);
    EXPECT_TRUE(r >= 33 && r <= 35) << r;
  }
  EXPECT_EQ(RandomRange(7, 7), 7);
}

// ---------------------------------------------------------------- dates

TEST_F(Utils, DatesUseDayCountsAndLocaleSeparators) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30, 0, 0, 0), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1900, 1, 1, 12, 0, 0), 2.5);
  const double dt = EncodeDateTime(2024, 3, 7, 9, 5, 59);
  EXPECT_DOUBLE_EQ(std::floor(dt), 45358.0);
  int y, m, d, h, n, s;
  DecodeDateTime(dt, y, m, d, h, n, s);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20240307);
  EXPECT_EQ(h * 10000 + n * 100 + s, 90559);
  DecodeDateTime(EncodeDateTime(2023, 12, 31, 23, 59, 59, 999), y, m, d, h, n, s);
  EXPECT_EQ(y * 10000 + m * 100 + d, 20231231);  // the last millisecond stays in its day
  EXPECT_EQ(h * 10000 + n * 100 + s, 235959);

  EXPECT_EQ(FormatDateTimeStamp(dt), "07/03/24 09:05:59");
  EXPECT_EQ(DateText(dt), "07-MAR-2024");
  EXPECT_EQ(DateText(EncodeDateTime(2001, 12, 25, 0, 0, 0)), "25-DEC-2001");
  EXPECT_EQ(DateTimeText(" ", dt), "07-MAR-2024 09:05:59");

  os::host::SetSeparators('.', '-');
  EXPECT_EQ(FormatDateTimeStamp(dt), "07.03.24 09-05-59");
  EXPECT_EQ(DateTimeText("_", dt), "07-MAR-2024_09-05-59");  // the date part ignores the locale

  os::LocalTime now;
  now.year = 2030; now.month = 1; now.day = 2; now.hour = 3; now.minute = 4; now.second = 5;
  os::host::SetLocalTime(now);
  EXPECT_EQ(DateText(-1), "02-JAN-2030");
  EXPECT_EQ(FormatDateTimeStamp(-1), "02.01.30 03-04-05");
}

// ---------------------------------------------------------------- paths

TEST_F(Utils, PathCleanUp) {
  struct Trail { const char* path; bool add; const char* want; };
  const Trail trails[] = {
      {"C:\\a\\", false, "C:\\a"}, {"C:\\a", true, "C:\\a\\"}, {"C:\\a\\", true, "C:\\a\\"},
      {"C:\\", false, "C:"},       {"a\\", false, "a\\"},      {"", true, "\\"},
  };
  for (const Trail& t : trails) EXPECT_EQ(SetTrailingBackslash(t.path, t.add), t.want) << t.path;
  EXPECT_EQ(RemoveTrailingBackslash("\\"), "");
  EXPECT_EQ(RemoveTrailingBackslash("a\\"), "a");
  EXPECT_EQ(RemoveTrailingBackslash("C:\\a"), "C:\\a");

  struct Collapse { const char* path; bool removeTrailing; const char* want; };
  const Collapse collapses[] = {
      {"C:\\\\a\\\\b", false, "C:\\a\\b"},
      {"\\\\server\\\\share", false, "\\\\server\\share"},  // the UNC prefix survives
      {"\\\\\\server", false, "\\\\server"},
      {"C:\\a\\\\\\\\b", false, "C:\\a\\b"},
      {"C:\\a\\\\", false, "C:\\a\\\\"},                     // a doubled end is not examined
      {"C:\\a\\b\\", true, "C:\\a\\b"},
      {"\\\\", false, "\\\\"},                              // too short to touch
      {"a\\\\", false, "a\\"},                            // a leading pair folds
  };
  for (const Collapse& c : collapses)
    EXPECT_EQ(CollapseBackslashes(c.path, c.removeTrailing), c.want) << c.path;

  EXPECT_EQ(ExtractBaseName("C:\\dir.x\\Setup.tar.gz", false), "Setup.tar");
  EXPECT_EQ(ExtractBaseName("C:\\dir.x\\Setup.tar.gz", true), "Setup");
  EXPECT_EQ(ExtractBaseName("C:\\dir.x\\Setup", true), "Setup");
  EXPECT_EQ(ExtractFileDir("C:\\a\\b.exe"), "C:\\a");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\x.exe", ".log"), "C:\\a.b\\x.log");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\x", ".log"), "C:\\a.b\\x.log");

  os::host::SetModulePath("C:\\Apps\\Setup.exe");
  os::host::SetFolders("C:\\TEMP\\", "C:\\WINNT", "C:\\WINNT\\system32");
  EXPECT_EQ(GetExeDir(true), "C:\\Apps\\");
  EXPECT_EQ(GetExeDir(false), "C:\\Apps");
  EXPECT_EQ(GetTempDir(false), "C:\\TEMP");
  EXPECT_EQ(GetWindowsDir(true), "C:\\WINNT\\");
}

// ---------------------------------------------------------------- command line

TEST_F(Utils, CommandLineArgumentsDropTheProgramPart) {
  os::host::SetModulePath("C:\\Apps\\Setup.exe");
  struct Case { const char* line; const char* want; };
  const Case cases[] = {
      {"\"C:\\Apps\\Setup.exe\" /wait=5 /x", "/wait=5 /x"},
      {"C:\\APPS\\SETUP.EXE /a", "/a"},
      {"Setup.exe", ""},
      {"\"C:\\Apps\\Setup.exe\"  ", ""},
      {"C:\\Apps\\Setup.exe x", ""},           // a lone character after the program goes
      {"other.exe /a", "other.exe /a"},
  };
  for (const Case& c : cases) {
    os::host::SetCommandLine(c.line);
    EXPECT_EQ(GetCommandLineArgs(), c.want) << c.line;
  }
}

TEST_F(Utils, SwitchLookup) {
  os::host::SetModulePath("C:\\Apps\\Setup.exe");
  struct Case { const char* line; const char* sw; const char* want; };
  const Case cases[] = {
      {"Setup.exe /wait=5 /x", "/WAIT=", "5"},
      {"Setup.exe /wait=5 /x", "WAIT", "5"},
      {"Setup.exe /wait=5 /x", "/STOP=", "DEF"},
      {"Setup.exe /wait=5 /STOP=", "/STOP=", ""},
      {"Setup.exe /A= 7 /B=2", "/A=", "7"},
      {"\"C:\\Apps\\Setup.exe\" /OriginExe=\"D:\\My Files\\s.exe\" /hide", "/OriginExe=",
       "D:\\My Files\\s.exe"},
      {"Setup.exe -d=3 -e=4", "-d=", "3"},
      {"Setup.exe -d=3 /e=4", "-d=", "3 /e=4"},  // only "-" starts a "-" switch
      {"Setup.exe /x/y=1", "/y=", "DEF"},       // a switch starts after a blank only
      {"Setup.exe /wait=5", "  ", "DEF"},
  };
  for (const Case& c : cases) {
    os::host::SetCommandLine(c.line);
    EXPECT_EQ(GetSwitchValue(c.sw, "DEF"), c.want) << c.line << " " << c.sw;
  }

  struct Int { const char* line; std::int64_t want; };
  const Int ints[] = {
      {"Setup.exe /x", 1}, {"Setup.exe /SpanCdLvl=abc", 1}, {"Setup.exe /SpanCdLvl=", 1},
      {"Setup.exe /spancdlvl=3", 3},
  };
  for (const Int& i : ints) {
    os::host::SetCommandLine(i.line);
    EXPECT_EQ(GetSwitchInt("/SpanCdLvl=", 1), i.want) << i.line;
  }

  struct Has { const char* line; bool want; };
  const Has hases[] = {
      {"Setup.exe /hide", true}, {"Setup.exe /x /HIDE /y", true}, {"Setup.exe /hidden", false},
      {"Setup.exe /x", false},
  };
  for (const Has& h : hases) {
    os::host::SetCommandLine(h.line);
    EXPECT_EQ(HasSwitch(" /hide "), h.want) << h.line;
  }
  EXPECT_FALSE(HasSwitch(""));
}

TEST_F(Utils, DeveloperModeIsReadOnce) {
  os::host::SetEnv("DVX", "058");
  EXPECT_TRUE(IsDeveloperMode());
  os::host::SetEnv("DVX", "0");
  EXPECT_TRUE(IsDeveloperMode());  // cached
  utilsState() = UtilsState();
  EXPECT_FALSE(IsDeveloperMode());
  utilsState() = UtilsState();
  os::host::SetEnv("DVX", "058 ");
  EXPECT_FALSE(IsDeveloperMode());
}

// ---------------------------------------------------------------- INI

TEST_F(Utils, IniReadersKeepDefaults) {
  const std::string f = std::string(::testing::TempDir()) + "utils-ini.ini";
  std::ofstream(f, std::ios::binary) << "[S]\r\nEmpty=\r\nName=Value\r\nNum=42\r\nBad=4x\r\n"
                                     << "Long=" << std::string(12000, 'L') << "\r\n";
  EXPECT_EQ(ReadIniString(f, "S", "Empty", "dflt"), "dflt");
  EXPECT_EQ(ReadIniString(f, "s", "name", "dflt"), "Value");
  EXPECT_EQ(ReadIniString(f, "S", "Missing", "dflt"), "dflt");
  EXPECT_EQ(ReadIniString(f, "", "Name", "dflt"), "dflt");
  EXPECT_EQ(ReadIniString(f, "S", "", "dflt"), "dflt");
  EXPECT_EQ(ReadIniString(f + ".none", "S", "Name", "dflt"), "dflt");
  EXPECT_EQ(ReadIniString(f, "S", "Long", "").size(), 10240u);
  EXPECT_EQ(ReadIniInt64(f, "S", "Num", 7), 42);
  EXPECT_EQ(ReadIniInt64(f, "S", "Bad", 7), 7);
  EXPECT_EQ(ReadIniInt64(f, "S", "Missing", -9), -9);

  const std::string w = std::string(::testing::TempDir()) + "utils-ini-w.ini";
  std::remove(w.c_str());
  EXPECT_FALSE(WriteIniString("", "S", "K", "v"));
  EXPECT_FALSE(WriteIniString(w, "", "K", "v"));
  EXPECT_FALSE(WriteIniString(w, "S", "", "v"));
  EXPECT_TRUE(WriteIniString(w, "S", "K", "v"));
  EXPECT_TRUE(WriteIniInt64(w, "S", "N", -9000000000LL));
  EXPECT_EQ(ReadIniString(w, "S", "K", ""), "v");
  EXPECT_EQ(ReadIniInt64(w, "S", "N", 0), -9000000000LL);
}

// ---------------------------------------------------------------- registry

TEST(UtilsRegistry, RootKeysAndPaths) {
  struct Root { const char* name; os::RootKey want; };
  const Root roots[] = {
      {"hklm", os::RootKey::LocalMachine}, {"HKEY_CLASSES_ROOT", os::RootKey::ClassesRoot},
      {"Hku", os::RootKey::Users},         {"HKCC", os::RootKey::CurrentConfig},
      {"hkey_dyn_data", os::RootKey::DynData}, {"HKLMX", os::RootKey::CurrentUser},
      {"", os::RootKey::CurrentUser},
  };
  for (const Root& r : roots) EXPECT_EQ(RootKeyFromName(r.name), r.want) << r.name;

  struct Split { const char* path; os::RootKey root; const char* sub; };
  const Split splits[] = {
      {" HKLM\\Software\\X ", os::RootKey::LocalMachine, "Software\\X"},
      {"Software\\X", os::RootKey::CurrentUser, "Software\\X"},
      {"HKEY_USERS", os::RootKey::Users, ""},
      {"hkcr\\", os::RootKey::ClassesRoot, ""},
  };
  for (const Split& s : splits) {
    os::RootKey root;
    std::string sub;
    SplitRegistryPath(s.path, root, sub);
    EXPECT_EQ(root, s.root) << s.path;
    EXPECT_EQ(sub, s.sub) << s.path;
  }
}

TEST_F(Utils, ReadRegStringByType) {
  using os::host::SetRegValue;
  const std::string key = "Software\\Dornvale\\Kavrex\\Test";
  SetRegValue(os::RootKey::CurrentUser, key, "Dword", os::kRegDword, std::string("\xFF\xFF\xFF\xFF", 4));
  SetRegValue(os::RootKey::CurrentUser, key, "Small", os::kRegDword, std::string("\x05\x01\x00\x00", 4));
  SetRegValue(os::RootKey::CurrentUser, key, "Short", os::kRegDword, std::string("\x07", 1));
  SetRegValue(os::RootKey::CurrentUser, key, "Multi", os::kRegMultiSz, std::string("a\0b\0\0", 5));
  SetRegValue(os::RootKey::CurrentUser, key, "MultiEmpty", os::kRegMultiSz, std::string("\0\0", 2));
  SetRegValue(os::RootKey::CurrentUser, key, "Sz", os::kRegSz, std::string("text\0junk", 9));
  SetRegValue(os::RootKey::CurrentUser, key, "Expand", os::kRegExpandSz, std::string("%TEMP%\\x\0", 9));
  SetRegValue(os::RootKey::CurrentUser, key, "Huge", os::kRegSz, std::string(10242, 'h'));
  SetRegValue(os::RootKey::CurrentUser, key, "Fits", os::kRegSz, std::string(10241, 'f'));
  SetRegValue(os::RootKey::LocalMachine, key, "Dword", os::kRegDword, std::string("\x01\0\0\0", 4), true);

  struct Case { const char* name; std::string want; };
  const Case cases[] = {
      {"Dword", "4294967295"}, {"Small", "261"}, {"Short", "7"},
      {"Multi", "a<0>b"},      {"MultiEmpty", ""},
      {"Sz", "text"},          {"expand", "%TEMP%\\x"},
      {"Huge", "DEF"},         {"Fits", std::string(10241, 'f')},
      {"Missing", "DEF"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReadRegString("HKEY_CURRENT_USER\\" + key, c.name, "DEF", false), c.want) << c.name;
  EXPECT_EQ(ReadRegString(key, "Sz", "DEF", false), "text");  // no root: the current user
  EXPECT_EQ(ReadRegString("HKCU\\Software\\Nope", "Sz", "DEF", false), "DEF");
  EXPECT_EQ(ReadRegString("HKLM\\" + key, "Dword", "DEF", true), "1");
  EXPECT_EQ(ReadRegString("HKLM\\" + key, "Dword", "DEF", false), "DEF");  // other view

  const std::string nt = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  SetRegValue(os::RootKey::LocalMachine, nt, "RegisteredOwner", os::kRegSz, std::string(" Owner \0", 8));
  SetRegValue(os::RootKey::LocalMachine, nt, "RegisteredOrganization", os::kRegSz, "Org");
  EXPECT_EQ(GetRegisteredOwner(true, false), "Owner");
  EXPECT_EQ(GetRegisteredOrganization(true, false), "Org");
  EXPECT_EQ(GetRegisteredOrganization(false, false), "");
  EXPECT_EQ(GetRegisteredOwner(false, false), GetLoggedOnUserName());
}

// ---------------------------------------------------------------- scrambler

TEST(UtilsScramble, KnownFormAndRoundTrip) {
  // Key 'A' (65): byte 1 XOR 66, key turns to -65, byte 2 XOR (2 - 65) & 255 = 193.
  const std::string stored = std::string("Scrambled=01A") + '\x03' + '\x83';
  EXPECT_EQ(ScrambleText(stored, false, false), "AB");
  EXPECT_EQ(ScrambleText(BytesToHex(stored, false, false), false, true), "AB");

  const std::string texts[] = {"AB", "http://example.com/setup.exe", std::string("\0\xFF\x80 z", 5),
                               std::string(300, 'q')};
  for (const std::string& t : texts) {
    std::string s = ScrambleText(t, true, false);
    ASSERT_EQ(s.size(), t.size() + 13);
    EXPECT_EQ(s.substr(0, 12), "Scrambled=01");
    EXPECT_GE(static_cast<unsigned char>(s[12]), 33);
    EXPECT_LE(static_cast<unsigned char>(s[12]), 122);
    EXPECT_EQ(ScrambleText(s, false, false), t);
    EXPECT_EQ(ScrambleText(s, true, false), s);  // already scrambled: unchanged

    std::string hex = ScrambleText(t, true, true);
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(ScrambleText(hex, false, true), t);
  }
  EXPECT_EQ(ScrambleText("plain", false, false), "plain");  // not scrambled: unchanged
  EXPECT_EQ(ScrambleText("", true, true), "");
  EXPECT_EQ(ScrambleText("Scrambled=01", false, false), "");  // marker without key or bytes
}

}  // namespace
