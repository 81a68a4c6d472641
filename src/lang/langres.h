// The texts the setup shows, looked up by key in the package's language
// blocks. One block is chosen per process, on the first lookup: the block
// named after the system's language, else the only block, else "English",
// else none (every lookup then gives the caller's built-in text).
#pragma once
#include <string>

namespace kv {

class TGFileInfo;

// The block the rules choose from a block list for a language name; empty
// when none applies.
std::string ChooseLanguageBlock(const std::string& blocks, const std::string& languageName);

// The key's text in the selected block; def when there is no block or the
// key is missing. A key present with an empty value gives an empty text.
std::string GetLangString(const TGFileInfo& info, const std::string& key, const std::string& def);

// Font settings of the selected block.
int GetCharset(const TGFileInfo& info);       // "Charset", 0 when not a number
int GetFontSize(const TGFileInfo& info);      // "FontSize", 8 when not a number
std::string GetFontName(const TGFileInfo& info);  // "FontName", "Tahoma"

// The selected block: empty until the first lookup, then the block or "*"
// for none. Resettable by tests.
struct LangState {
  std::string selectedBlock;
};
LangState& langState();
void ResetLangState();

}  // namespace kv
