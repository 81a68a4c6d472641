// The readable language file and the LanguageBlocks header string.
//
//   ; comment
//   [English]
//   s0=Hello Setup
//   BtnText=|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|
//
// In the package each section becomes a block separated by code 1 (name
// first, then the items), and the blocks are joined by code 2. Values are
// taken byte for byte after the "=": the stub shows them in the code page of
// the block's Charset and never converts them.
#include <cctype>

#include "kvpack.h"
#include "package/ksub.h"
#include "package/langblocks.h"

namespace kv::pack {

namespace {

constexpr char kBlockSep = '\x02';
constexpr char kItemSep = '\x01';

std::string TrimBlanks(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool IsKnownKey(const std::string& key) {
  static const char* const kKeys[] = {"s0", "s1", "s2", "s3", "s4", "s5", "s6", "s7", "s8",
                                      "s10", "s11", "s12", "BtnText", "Attention", "Confirm",
                                      "Error", "Charset", "FontSize", "FontName"};
  for (const char* k : kKeys)
    if (SameNoCase(key, k)) return true;
  return false;
}

// Separators and NUL would cut the block apart in the stub's lookup.
void CheckText(const std::string& text, const std::string& what, const std::string& where) {
  for (char c : text) {
    if (c == kBlockSep || c == kItemSep)
      throw Error(where + ": " + what + " contains the character of code " +
                  std::to_string(static_cast<int>(c)) + ", which separates the language blocks");
    if (c == '\0') throw Error(where + ": " + what + " contains a NUL character");
  }
}

}  // namespace

std::vector<LanguageSection> ParseLanguageText(const std::string& text, const std::string& source,
                                               const std::function<void(const std::string&)>& warn) {
  std::vector<LanguageSection> sections;
  std::size_t pos = 0;
  int lineNo = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) pos = 3;  // an editor's UTF-8 mark
  while (pos < text.size()) {
    std::size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    std::string line = text.substr(pos, eol - pos);
    pos = eol + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string where = source + ":" + std::to_string(lineNo);
    std::string trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') continue;

    if (trimmed[0] == '[') {
      if (trimmed.back() != ']') throw Error(where + ": a section line must end with \"]\"");
      std::string name = TrimBlanks(trimmed.substr(1, trimmed.size() - 2));
      if (name.empty()) throw Error(where + ": the language name is empty");
      CheckText(name, "the language name", where);
      for (const auto& s : sections)
        if (SameNoCase(s.name, name)) throw Error(where + ": language " + name + " appears twice");
      sections.push_back({name, {}});
      continue;
    }

    std::size_t eq = line.find('=');
    if (eq == std::string::npos)
      throw Error(where + ": expected \"[Language]\" or \"key=value\"");
    if (sections.empty()) throw Error(where + ": a key=value line before the first [Language]");
    std::string key = TrimBlanks(line.substr(0, eq));
    std::string value = line.substr(eq + 1);
    if (key.empty()) throw Error(where + ": the key is empty");
    CheckText(key, "the key", where);
    CheckText(value, "the value of " + key, where);
    auto& items = sections.back().items;
    for (const auto& kv : items)
      if (SameNoCase(kv.first, key))
        throw Error(where + ": key " + key + " appears twice in [" + sections.back().name + "]");
    if (!IsKnownKey(key) && warn)
      warn(where + ": key " + key + " is not one the stub looks up");
    items.emplace_back(key, value);
  }
  return sections;
}

std::string JoinLanguageBlocks(const std::vector<LanguageSection>& sections) {
  std::vector<std::string> blocks;
  for (const auto& s : sections) {
    std::string block;
    if (!kv::BuildLanguageBlock(s.name, s.items, block))
      throw Error("language " + s.name + ": a text holds a separator or NUL");
    blocks.push_back(std::move(block));
  }
  std::string out;
  if (!kv::BuildLanguageBlocks(blocks, out)) throw Error("the language blocks cannot be joined");
  return out;
}

std::vector<LanguageSection> SplitLanguageBlocks(const std::string& blocks) {
  std::vector<LanguageSection> out;
  for (const std::string& block : kv::SUB::Fields(blocks)) {
    std::vector<std::string> fields = kv::SUB::Fields(block);
    LanguageSection s;
    if (!fields.empty()) s.name = fields[0];
    for (std::size_t i = 1; i < fields.size(); ++i) {
      std::size_t eq = fields[i].find('=');
      if (eq == std::string::npos)
        s.items.emplace_back(fields[i], "");
      else
        s.items.emplace_back(fields[i].substr(0, eq), fields[i].substr(eq + 1));
    }
    out.push_back(std::move(s));
  }
  return out;
}

}  // namespace kv::pack
