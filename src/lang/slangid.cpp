#include "lang/slangid.h"

#include "os/system.h"
#include "sys/utils.h"

namespace kv {

namespace {

// Rows 1 to 43 carry primary language numbers, the rest full locale numbers.
// CROATIAN and SERBIAN share 26; the earlier row wins.
const LanguageRow kTable[] = {
    {"AFRIKAANS", "54"},   {"ALBANIAN", "28"},   {"ARABIC", "01"},     {"BASQUE", "45"},
    {"BELARUSIAN", "35"},  {"BULGARIAN", "02"},  {"CATALAN", "03"},    {"CHINESE", "04"},
    {"CROATIAN", "26"},    {"CZECH", "05"},      {"DANISH", "06"},     {"DUTCH", "19"},
    {"ENGLISH", "09"},     {"ESTONIAN", "37"},   {"FAEROESE", "56"},   {"FARSI", "41"},
    {"FINNISH", "11"},     {"FRENCH", "12"},     {"GERMAN", "07"},     {"GREEK", "08"},
    {"HEBREW", "13"},      {"HUNGARIAN", "14"},  {"ICELANDIC", "15"},  {"INDONESIAN", "33"},
    {"ITALIAN", "16"},     {"JAPANESE", "17"},   {"KOREAN", "18"},     {"LATVIAN", "38"},
    {"LITHUANIAN", "39"},  {"NORWEGIAN", "20"},  {"POLISH", "21"},     {"PORTUGUESE", "22"},
    {"ROMANIAN", "24"},    {"RUSSIAN", "25"},    {"SERBIAN", "26"},    {"SLOVAK", "27"},
    {"SLOVENIAN", "36"},   {"SPANISH", "10"},    {"SWEDISH", "29"},    {"THAI", "30"},
    {"TURKISH", "31"},     {"UKRAINIAN", "34"},  {"VIETNAMESE", "42"},
    {"CHINESE(SIMPLIFIED)", "2052"},   {"CHINESE(TRADITIONAL)", "1028"},
    {"DUTCH(FLEMISH)", "2067"},        {"DUTCH(STANDARD)", "1043"},
    {"PORTUGUESE(PORTUGAL)", "2070"},  {"PORTUGUESE(BRAZIL)", "1046"},
    {"SERBIAN(LATIN)", "2074"},        {"SERBIAN(CYRILIC)", "3098"},
};

}  // namespace

const LanguageRow* LanguageTable(std::size_t& count) {
  count = sizeof kTable / sizeof kTable[0];
  return kTable;
}

std::string LanguageNameFromId(std::int64_t number) {
  const std::string text = ZeroPad(std::to_string(number), 2);
  for (const LanguageRow& row : kTable) {
    if (std::string(row.number).find(text) != std::string::npos) return row.name;
  }
  return std::string();
}

LangIdState& langIdState() {
  static LangIdState s;
  return s;
}

int GetSystemPrimaryLanguage() {
  LangIdState& st = langIdState();
  if (st.primaryLanguage < 0) {
    std::uint32_t lcid = os::GetThreadLocale();
    st.primaryLanguage = (lcid == 0 || (lcid & 0xFFFF) == 0) ? 9 : static_cast<int>(lcid & 0x3FF);
  }
  return st.primaryLanguage;
}

std::string GetSystemLanguageName() { return LanguageNameFromId(GetSystemPrimaryLanguage()); }

}  // namespace kv
