// Private-profile (INI) files with the Win32 semantics: every call opens the
// file anew; sections and keys match without regard to ASCII case; a value is
// returned without surrounding blanks; an empty value yields the default.
#pragma once
#include <cstddef>
#include <string>

namespace os {

// Reads at most bufferSize - 1 characters. Returns the number of characters
// copied (0 when nothing, including when the default is empty).
std::size_t GetProfileString(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& def,
                             std::size_t bufferSize, std::string& out);
// Creates the file and section as needed.
bool WriteProfileString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value);

}  // namespace os
