// Delimited field lists: reading, dictionary lookup and the builders'
// separator choice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/ksub.h"

using kv::SUB;

namespace {

// Writes control characters readably: '%' stands for NUL and '`' for code 1.
std::string C(std::string t) {
  for (char& c : t) {
    if (c == '%') c = '\0';
    else if (c == '`') c = '\x01';
  }
  return t;
}

// A text holding all ten candidate separators.
const std::string kAllCandidates = SUB::Candidates();

TEST(SubRead, CountFieldsAndGetField) {
  struct Case { std::string list; int count; };
  const Case counts[] = {
      {"|a|b|", 2}, {"|", 0}, {"||", 1}, {"|a|b", 0}, {"", 0},
      {C("%"), 0},                // the one-character NUL text
      {C("|a|%b|"), 1},           // scanning ends at NUL
      {C("`Turkish`Charset=162`"), 2},
      {C("%a%"), 0},             // a NUL-separated list is not a list
  };
  for (const Case& c : counts) EXPECT_EQ(SUB::CountFields(c.list), c.count) << c.list;

  struct Get { std::string list; int index; std::string want; };
  const Get gets[] = {
      {"|a||c|", 0, "a"},  {"|a||c|", 1, "dflt"},  // empty field reads as the default
      {"|a||c|", -1, "c"}, {"|a||c|", 3, "dflt"},  {"|a||c|", -2, "dflt"},
      {"|a|b", 0, "dflt"},                          // malformed: every field is the default
      {C("|a|%b|"), 1, "dflt"},
      {"|", -1, "dflt"},
  };
  for (const Get& g : gets) EXPECT_EQ(SUB::GetField(g.list, g.index, "dflt"), g.want)
      << g.list << " @" << g.index;

  EXPECT_EQ(SUB::GetFieldInt("|12| x |-7|", 0, 5), 12);
  EXPECT_EQ(SUB::GetFieldInt("|12| x |-7|", 1, 5), 5);
  EXPECT_EQ(SUB::GetFieldInt("|12| x |-7|", -1, 5), -7);
  EXPECT_EQ(SUB::GetFieldInt("|9223372036854775808|", 0, 5), 5);  // overflow is not a number
}

TEST(SubRead, GetValue) {
  struct Case { std::string list, key, want; };
  const Case cases[] = {
      {"|Charset=162|FontSize=8|", "fontsize", "8"},
      {"|Charset=162|FontSize=8|", "FontSize=", "8"},
      {"|Charset=162|FontSize=8|", "Size", "MISSING"},   // only whole keys after a separator
      {"|Name = x|", "Name", " x"},                      // blank before "=" goes, after stays
      {"| Name=x|", "Name", "x"},                        // one blank after the separator goes
      {"|  Name=x|", "Name", "MISSING"},                 // ...but only one
      {"|Key=|", "Key", "EMPTY"},
      {"|A=1|A=2|", "a", "1"},                           // the first one counts
      {"|A=x=y|", "A", "x=y"},
      {"|A=1", "A", "MISSING"},                          // malformed
      {"||", "", "MISSING"},
      {C("``WAIT=5`X`"), "WAIT=", "5"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SUB::GetValue(c.list, c.key, "MISSING", "EMPTY"), c.want) << c.list << " " << c.key;
}

TEST(SubBuild, NormalizeSeparatorPicksFirstFreeCandidate) {
  EXPECT_EQ(SUB::NormalizeSeparator(""), "");
  EXPECT_EQ(SUB::NormalizeSeparator(C("%")), "");
  EXPECT_EQ(SUB::NormalizeSeparator(C("%a|b%c%")), "*a|b*c*");
  EXPECT_EQ(SUB::NormalizeSeparator(C("`a`b`")), "|a|b|");
  EXPECT_EQ(SUB::NormalizeSeparator("*a*b*"), "|a|b|");
  EXPECT_EQ(SUB::NormalizeSeparator("!a|*!~b!"), "^a|*^~b^");
  // No candidate left: the fields could not be separated, so no list comes out.
  EXPECT_EQ(SUB::NormalizeSeparator(C("%") + kAllCandidates + C("%")), "");
}

TEST(SubBuild, BuildersChooseSeparatorAndRefuseWhatCannotBeWritten) {
  EXPECT_EQ(SUB::BuildList({"a|b", "c"}), "*a|b*c*");
  EXPECT_EQ(SUB::BuildList({"a", "", "c"}), "|a||c|");
  EXPECT_EQ(SUB::BuildList({}), "");
  EXPECT_EQ(SUB::BuildList({""}), "||");
  EXPECT_EQ(SUB::BuildList({"a", " A ", "", "b", "a"}, true), "|a|b|");
  EXPECT_EQ(SUB::BuildList({kAllCandidates.substr(0, 5), kAllCandidates.substr(5)}), "");
  EXPECT_EQ(SUB::BuildList({C("a%b")}), "");  // NUL would split the field

  EXPECT_EQ(SUB::AddFields("|a|", {"b", "c"}), "|a|b|c|");
  EXPECT_EQ(SUB::AddFields("*a*", {"b"}), "*a*b*");            // separator kept
  EXPECT_EQ(SUB::AddFields("*a|x*", {"b*c"}), "~a|x~b*c~");    // re-picked for the whole list
  EXPECT_EQ(SUB::AddFields("", {"b|c"}), "*b|c*");
  EXPECT_EQ(SUB::AddFields("|a|", {"A", "b"}, true), "|a|b|");
  // A refused addition leaves the list as it was.
  EXPECT_EQ(SUB::AddFields("|a|", {kAllCandidates}), "|a|");
  EXPECT_EQ(SUB::AddFields("|a|", {C("x%")}), "|a|");
}

TEST(SubBuild, SetField) {
  struct Case { std::string list; int index; std::string value, want; };
  const Case cases[] = {
      {"", 2, "x", "|||x|"},
      {"|a|b|", 0, "z", "|z|b|"},
      {"|a|b|", 3, "d", "|a|b||d|"},
      {"*a*b*", 1, "q", "*a*q*"},               // the list keeps its separator
      {"|a|b|", 1, "p|q", "*a*p|q*"},           // the value forces a new one
      {"|a*|b|", 1, "p|q", "~a*~p|q~"},
      {C("%"), 0, "x", "|x|"},
      {"|a|b|", -1, "x", "|a|b|"},              // refused
      {"|a|b|", 0, kAllCandidates, "|a|b|"},    // refused: no separator possible
  };
  for (const Case& c : cases)
    EXPECT_EQ(SUB::SetField(c.list, c.index, c.value), c.want) << c.list << " @" << c.index;
}

TEST(SubBuild, ReshapingKeepsSeparator) {
  EXPECT_EQ(SUB::DeleteField("*a*b*c*", 1), "*a*c*");
  EXPECT_EQ(SUB::DeleteField("*a*b*c*", 3), "*a*b*c*");
  EXPECT_EQ(SUB::DeleteField("|a|", 0), "");
  EXPECT_EQ(SUB::ReverseList("*a*b*c*"), "*c*b*a*");
  EXPECT_EQ(SUB::ReverseList("|a|b"), "");
  EXPECT_EQ(SUB::UniqueFields("*a** A *b*a*B*"), "*a*b*");
  EXPECT_EQ(SUB::UniqueFields("***"), "");

  struct Trim { std::string list; bool atEnd, atStart; std::string want; };
  const Trim trims[] = {
      {"||a||b|||", true, false, "||a||b|"},
      {"||a||b|||", false, true, "|a||b|||"},
      {"||a||b|||", true, true, "|a||b|"},
      {"||||", true, false, ""},            // only the separator left: empty
  };
  for (const Trim& t : trims)
    EXPECT_EQ(SUB::TrimEmptyFields(t.list, t.atEnd, t.atStart), t.want) << t.list;
}

TEST(SubDictionary, KeysValuesAndZip) {
  std::string keys, values;
  SUB::SplitKeysValues("*a=1*b*c=x|y=z*", keys, values);
  EXPECT_EQ(keys, "|a||c|");
  EXPECT_EQ(values, "*1**x|y=z*");
  EXPECT_EQ(SUB::ListKeys(""), "");

  EXPECT_EQ(SUB::ZipLists("|a|b|c|", "|1|2|", false), "|a=1|b=2|c=|");
  EXPECT_EQ(SUB::ZipLists("|a|", "*1*2|3*", false), "*a=1*=2|3*");
  EXPECT_EQ(SUB::ZipLists("|a|b|||", "|1||", true), "|a=1|b=|");
  EXPECT_EQ(SUB::ZipLists("|a|b|||", "|1||", false), "|a=1|b=|=|=|");
  EXPECT_EQ(SUB::ZipLists("", "", false), "");
}

TEST(SubDictionary, IndexOfAndContains) {
  const std::string list = "  |Alpha|beta | Gamma|  ";
  struct Case { std::string item; bool prefix; int want; };
  const Case cases[] = {
      {"alpha", false, 0},
      {"BETA ", false, 1},   // the item as given matches first
      {" gamma", false, 2},  // the field as stored
      {"gamma", false, -1},
      {"  beta", false, -1}, // trimmed "beta" is not "beta "
      {"be", true, 1},
      {"  al", true, 0},     // tried again trimmed
      {"delta", false, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SUB::IndexOfField(list, c.item, c.prefix, -1), c.want) << "'" << c.item << "'";
  // Control-character separators survive the list's trimming.
  EXPECT_EQ(SUB::IndexOfField(C("`a`b`"), "B", false, -1), 1);

  EXPECT_TRUE(SUB::ContainsField("|a|B|", "B", false, false));
  EXPECT_FALSE(SUB::ContainsField("|a|B|", "b", false, false));
  EXPECT_TRUE(SUB::ContainsField("|a|B|", "b", false, true));
  EXPECT_FALSE(SUB::ContainsField(" |a|B| ", " a ", false, false));
  EXPECT_TRUE(SUB::ContainsField(" |a|B| ", " a ", true, false));
  EXPECT_FALSE(SUB::ContainsField("|a|B", "a", false, false));
}

TEST(SubRead, FieldsMatchesGetField) {
  const std::string list = "|x||y|";
  std::vector<std::string> want = {"x", "", "y"};
  EXPECT_EQ(SUB::Fields(list), want);
  EXPECT_TRUE(SUB::Fields("x|y").empty());
}

}  // namespace
