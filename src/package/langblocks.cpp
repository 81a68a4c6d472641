#include "package/langblocks.h"

#include "package/ksub.h"
#include "sys/utils.h"

namespace kv {

bool IsStorableLangText(const std::string& text) {
  return text.find_first_of(std::string("\0\x01\x02", 3)) == std::string::npos;
}

bool IsStorableLangKey(const std::string& key) {
  return !Trim(key).empty() && IsStorableLangText(key) && key.find('=') == std::string::npos;
}

bool BuildLanguageBlock(const std::string& name, const LangItems& items, std::string& block) {
  block.clear();
  if (Trim(name).empty() || !IsStorableLangText(name)) return false;
  std::string b(1, kLangBlockSeparator);
  b += name;
  b += kLangBlockSeparator;
  for (const auto& kv : items) {
    if (!IsStorableLangKey(kv.first) || !IsStorableLangText(kv.second)) return false;
    b += kv.first;
    b += '=';
    b += kv.second;
    b += kLangBlockSeparator;
  }
  block = std::move(b);
  return true;
}

bool BuildLanguageBlocks(const std::vector<std::string>& blocks, std::string& out) {
  out.clear();
  if (blocks.empty()) return true;
  std::string s(1, kLangBlocksSeparator);
  for (const std::string& b : blocks) {
    if (b.empty() || b.find(kLangBlocksSeparator) != std::string::npos ||
        b.find('\0') != std::string::npos)
      return false;
    s += b;
    s += kLangBlocksSeparator;
  }
  out = std::move(s);
  return true;
}

int LanguageBlockCount(const std::string& blocks) { return SUB::CountFields(blocks); }

std::string LanguageBlockAt(const std::string& blocks, int index) {
  return SUB::GetField(blocks, index, "");
}

std::string LanguageBlockName(const std::string& block) {
  return Trim(SUB::GetField(block, 0, ""));
}

}  // namespace kv
