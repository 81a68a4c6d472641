// Reading a text that a Win32 function writes into a caller's buffer, without
// guessing a maximum length (paths may be longer than MAX_PATH).
#pragma once
#include "os/win32/win.h"

#include <string>

namespace os::win32 {

// For functions of the GetTempPathA kind: fn(buffer, size) returns the length
// copied (without the zero) when the text fits, the size needed (with the
// zero) when it does not, and 0 on failure.
template <typename Fn>
std::string ReadSystemString(Fn fn) {
  std::string buf(MAX_PATH + 1, '\0');
  for (int attempt = 0; attempt < 8; ++attempt) {  // the text may change between calls
    DWORD n = fn(&buf[0], static_cast<DWORD>(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.assign(static_cast<std::size_t>(n) + 1, '\0');
  }
  return std::string();
}

}  // namespace os::win32
