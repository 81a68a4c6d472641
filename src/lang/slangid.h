// Language names from Windows language numbers, for choosing the language
// block of a package.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kv {

struct LanguageRow {
  const char* name;
  const char* number;  // primary language number (two digits at least) or full locale number
};
// The 51 rows, in lookup order.
const LanguageRow* LanguageTable(std::size_t& count);

// The name of the first row whose number text contains the number written
// with at least two digits; empty when none does. A partial hit counts, so
// 43 finds DUTCH(STANDARD) through 1043.
std::string LanguageNameFromId(std::int64_t number);

// The primary language number of the starting thread's locale (its low 10
// bits; 9 when the locale cannot be read). Read once.
int GetSystemPrimaryLanguage();
std::string GetSystemLanguageName();

struct LangIdState {
  int primaryLanguage = -1;  // -1 = not yet read
};
LangIdState& langIdState();

}  // namespace kv
