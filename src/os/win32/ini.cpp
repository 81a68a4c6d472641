// Private-profile (INI) files through the system's own functions, so that
// the stub and the installation engine read and write them alike.
#include "os/ini.h"

#include <vector>

#include "os/win32/win.h"

namespace os {

std::size_t GetProfileString(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& def,
                             std::size_t bufferSize, std::string& out) {
  out.clear();
  if (bufferSize == 0) return 0;
  if (bufferSize > 0x7FFFFFFF) bufferSize = 0x7FFFFFFF;
  std::vector<char> buf(bufferSize, '\0');
  DWORD n = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buf.data(),
                                       static_cast<DWORD>(bufferSize), file.c_str());
  if (n >= bufferSize) n = static_cast<DWORD>(bufferSize - 1);
  out.assign(buf.data(), n);
  return n;
}

bool WriteProfileString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value) {
  return ::WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                      file.c_str()) != FALSE;
}

}  // namespace os
