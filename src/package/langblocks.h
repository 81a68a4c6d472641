// The language blocks of a package: a list separated by code 2 whose fields
// are blocks, each a list separated by code 1 holding the language name and
// then key=value items. The lookup of texts in them lives with the language
// resources; these helpers build and take apart the container.
#pragma once
#include <string>
#include <utility>
#include <vector>

namespace kv {

constexpr char kLangBlocksSeparator = '\x02';
constexpr char kLangBlockSeparator = '\x01';

using LangItems = std::vector<std::pair<std::string, std::string>>;

// Whether a name, key or value can be stored: neither separator nor NUL
// (which ends every list scan) may occur in it, and a key holds no "=".
bool IsStorableLangText(const std::string& text);
bool IsStorableLangKey(const std::string& key);

// "\1name\1key=value\1...\1". Returns false (and leaves block empty) when a
// text cannot be stored.
bool BuildLanguageBlock(const std::string& name, const LangItems& items, std::string& block);
// "\2block\2block\2"; no blocks give the empty text. false when a block is
// empty or holds a code 2.
bool BuildLanguageBlocks(const std::vector<std::string>& blocks, std::string& blocks_out);

int LanguageBlockCount(const std::string& blocks);
std::string LanguageBlockAt(const std::string& blocks, int index);  // empty when missing
std::string LanguageBlockName(const std::string& block);            // trimmed field 0

}  // namespace kv
