#include "lang/langres.h"

#include <cstdint>

#include "lang/slangid.h"
#include "package/gfileinfo.h"
#include "package/ksub.h"
#include "sys/utils.h"

namespace kv {

LangState& langState() {
  static LangState s;
  return s;
}

void ResetLangState() { langState() = LangState(); }

namespace {

std::string FindBlock(const std::string& blocks, const std::string& name) {
  const int count = SUB::CountFields(blocks);
  for (int i = 0; i < count; ++i) {
    std::string block = SUB::GetField(blocks, i);
    if (SameTextTrim(SUB::GetField(block, 0), name)) return block;
  }
  // A single block serves whatever its name.
  if (count == 1) return SUB::GetField(blocks, 0);
  return std::string();
}

int ToIntDef(const std::string& text, int def) {
  std::int64_t v = 0;
  if (!TryStrToInt64(text, v) || v < INT32_MIN || v > INT32_MAX) return def;
  return static_cast<int>(v);
}

}  // namespace

std::string ChooseLanguageBlock(const std::string& blocks, const std::string& languageName) {
  std::string block = FindBlock(blocks, languageName);
  if (block.empty()) block = FindBlock(blocks, "English");
  return block;
}

std::string GetLangString(const TGFileInfo& info, const std::string& key, const std::string& def) {
  std::string& selected = langState().selectedBlock;
  if (selected.empty()) {
    selected = ChooseLanguageBlock(info.LanguageBlocks(), GetSystemLanguageName());
    if (selected.empty()) selected = "*";
  }
  if (selected.size() <= 1) return def;
  return SUB::GetValue(selected, key, def, "");
}

int GetCharset(const TGFileInfo& info) { return ToIntDef(GetLangString(info, "Charset", "0"), 0); }
int GetFontSize(const TGFileInfo& info) { return ToIntDef(GetLangString(info, "FontSize", "8"), 8); }
std::string GetFontName(const TGFileInfo& info) { return GetLangString(info, "FontName", "Tahoma"); }

}  // namespace kv
