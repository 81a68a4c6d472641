// Language names from locale numbers, the once-per-process block choice and
// the text lookup in the chosen block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lang/langres.h"
#include "lang/slangid.h"
#include "os/host/host_control.h"
#include "package/gfileinfo.h"
#include "package/langblocks.h"
#include "package_images.h"

namespace {

std::string Block(const std::string& name, const kv::LangItems& items) {
  std::string b;
  EXPECT_TRUE(kv::BuildLanguageBlock(name, items, b));
  return b;
}

std::string Blocks(const std::vector<std::string>& blocks) {
  std::string out;
  EXPECT_TRUE(kv::BuildLanguageBlocks(blocks, out));
  return out;
}

kv::TGFileInfo Package(const std::string& languageBlocks) {
  return kv::TGFileInfo::FromImage(
      kvtest::BuildImage("", {languageBlocks, ""}, "", kvtest::BasicTrailer(), false).bytes);
}

// Primary language numbers of some locales.
constexpr std::uint32_t kEnglishUS = 0x0409, kTurkish = 0x041F, kJapanese = 0x0411;

class LangTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os::host::ResetAll();
    kv::ResetLangState();
    kv::langIdState() = kv::LangIdState();
  }
  void TearDown() override { SetUp(); }
};

TEST(LanguageTable, HasTheFixedRowsInOrder) {
  std::size_t n = 0;
  const kv::LanguageRow* rows = kv::LanguageTable(n);
  ASSERT_EQ(n, 51u);
  EXPECT_STREQ(rows[0].name, "AFRIKAANS");
  EXPECT_STREQ(rows[0].number, "54");
  EXPECT_STREQ(rows[42].name, "VIETNAMESE");
  EXPECT_STREQ(rows[43].name, "CHINESE(SIMPLIFIED)");
  EXPECT_STREQ(rows[50].name, "SERBIAN(CYRILIC)");
  EXPECT_STREQ(rows[50].number, "3098");
}

TEST(LanguageTable, NameFromIdMatchesAnyPartOfANumber) {
  struct Case { std::int64_t id; const char* name; };
  const Case cases[] = {
      {31, "TURKISH"},   {9, "ENGLISH"},      {4, "CHINESE"},
      {26, "CROATIAN"},  // SERBIAN carries 26 too, further down
      {1, "ARABIC"},     {42, "VIETNAMESE"},
      {43, "DUTCH(STANDARD)"},    {46, "PORTUGUESE(BRAZIL)"},   {52, "CHINESE(SIMPLIFIED)"},
      {67, "DUTCH(FLEMISH)"},     {70, "PORTUGUESE(PORTUGAL)"}, {74, "SERBIAN(LATIN)"},
      {98, "SERBIAN(CYRILIC)"},   {102, "CHINESE(TRADITIONAL)"},
      {2052, "CHINESE(SIMPLIFIED)"},
      {0, ""}, {40, ""}, {1033, ""}, {-1, ""}, {99999, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(kv::LanguageNameFromId(c.id), c.name) << c.id;
}

TEST_F(LangTest, SystemLanguageComesFromTheThreadLocaleOnce) {
  struct Case { std::uint32_t lcid; int primary; const char* name; };
  const Case cases[] = {
      {kTurkish, 31, "TURKISH"},
      {kEnglishUS, 9, "ENGLISH"},
      {0x0804, 4, "CHINESE"},
      {0, 9, "ENGLISH"},        // the query failed
      {0x30000, 9, "ENGLISH"},  // no language in the low word
  };
  for (const Case& c : cases) {
    kv::langIdState() = kv::LangIdState();
    os::host::SetThreadLocale(c.lcid);
    EXPECT_EQ(kv::GetSystemPrimaryLanguage(), c.primary) << c.lcid;
    EXPECT_EQ(kv::GetSystemLanguageName(), c.name) << c.lcid;
  }
  os::host::SetThreadLocale(kTurkish);
  EXPECT_EQ(kv::GetSystemLanguageName(), "ENGLISH");  // the first reading stays
}

TEST_F(LangTest, BlockChoice) {
  const std::string tr = Block(" Turkish ", {{"s0", "Kurulum"}});
  const std::string en = Block("English", {{"s0", "Setup"}});
  const std::string de = Block("German", {{"s0", "Installation"}});
  const std::string fr = Block("French", {{"s0", "Installation FR"}});
  struct Case { const char* what; std::vector<std::string> blocks; const char* system; std::string want; };
  const std::vector<Case> cases = {
      {"own language, blanks and case ignored", {en, tr}, "TURKISH", tr},
      {"single block whatever its name", {tr}, "ENGLISH", tr},
      {"English fallback", {tr, en}, "JAPANESE", en},
      {"neither matches, no English", {de, fr}, "TURKISH", ""},
      {"no blocks", {}, "TURKISH", ""},
      {"first of equal names", {de, Block("german", {{"s0", "2"}})}, "GERMAN", de},
  };
  for (const Case& c : cases)
    EXPECT_EQ(kv::ChooseLanguageBlock(Blocks(c.blocks), c.system), c.want) << c.what;
}

TEST_F(LangTest, LookupInTheChosenBlock) {
  os::host::SetThreadLocale(kTurkish);
  kv::TGFileInfo info = Package(Blocks({Block("English", {{"s0", "Setup"}}),
                                        Block("Turkish", {{"s10", "Indiriliyor"},
                                                          {"s6", ""},
                                                          {"charset", "162"},
                                                          {"FontSize", "x9"},
                                                          {"s11", "a=b <SIZE>"}})}));
  EXPECT_EQ(kv::GetLangString(info, "s10", "Downloading File..."), "Indiriliyor");
  EXPECT_EQ(kv::GetLangString(info, "S10", "d"), "Indiriliyor");  // key case ignored
  EXPECT_EQ(kv::GetLangString(info, "s1", "Extracting Files..."), "Extracting Files...");  // not s10
  EXPECT_EQ(kv::GetLangString(info, "s6", "<P>Continue with Setup?<P>"), "");  // present, empty
  EXPECT_EQ(kv::GetLangString(info, "s0", "Kavrex Installation Suite"), "Kavrex Installation Suite");
  EXPECT_EQ(kv::GetLangString(info, "s11", ""), "a=b <SIZE>");
  EXPECT_EQ(kv::GetCharset(info), 162);   // written in lower case in the block
  EXPECT_EQ(kv::GetFontSize(info), 8);    // not a number
  EXPECT_EQ(kv::GetFontName(info), "Tahoma");
}

TEST_F(LangTest, WithoutASuitableBlockEveryTextIsBuiltIn) {
  os::host::SetThreadLocale(kTurkish);
  kv::TGFileInfo info = Package(Blocks({Block("German", {{"s0", "Installation"}, {"Charset", "1"}}),
                                        Block("French", {{"s0", "Installation"}})}));
  EXPECT_EQ(kv::GetLangString(info, "s0", "Kavrex Installation Suite"), "Kavrex Installation Suite");
  EXPECT_EQ(kv::GetCharset(info), 0);
  EXPECT_EQ(kv::GetFontSize(info), 8);
  EXPECT_EQ(kv::langState().selectedBlock, "*");
}

TEST_F(LangTest, TheChoiceIsMadeOnceForTheProcess) {
  os::host::SetThreadLocale(kJapanese);
  kv::TGFileInfo first = Package(Blocks({Block("Japanese", {{"Error", "Eraa"}, {"FontSize", "9"}})}));
  kv::TGFileInfo second = Package(Blocks({Block("English", {{"Error", "Failure"}})}));
  kv::TGFileInfo empty = Package("");
  EXPECT_EQ(kv::GetLangString(first, "Error", "Error"), "Eraa");
  // Later descriptors share the block chosen by the first lookup.
  EXPECT_EQ(kv::GetLangString(second, "Error", "Error"), "Eraa");
  EXPECT_EQ(kv::GetFontSize(empty), 9);

  kv::ResetLangState();
  EXPECT_EQ(kv::GetLangString(empty, "Error", "Error"), "Error");
  EXPECT_EQ(kv::langState().selectedBlock, "*");
  EXPECT_EQ(kv::GetLangString(first, "Error", "Error"), "Error");  // "no block" sticks too
}

}  // namespace
