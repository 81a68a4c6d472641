// The running process and its surroundings, through the A-functions.
#include "os/env.h"

#include <vector>

#include "os/win32/sysstring.h"
#include "os/win32/unique_handle.h"
#include "os/win32/win.h"

namespace os {

std::string GetCommandLine() {
  const char* line = ::GetCommandLineA();
  return line ? line : "";
}

std::string GetModulePath() {
  // GetModuleFileNameA cuts the path to the buffer without saying how long it
  // is; grow until the result fits with room to spare.
  std::string buf(MAX_PATH + 1, '\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD n = ::GetModuleFileNameA(nullptr, &buf[0], static_cast<DWORD>(buf.size()));
    if (n == 0) return std::string();
    if (n < buf.size() - 1) {
      buf.resize(n);
      return buf;
    }
    buf.assign(buf.size() * 2, '\0');
  }
  return std::string();
}

bool GetEnv(const std::string& name, std::string& value) {
  if (name.empty()) return false;
  ::SetLastError(NO_ERROR);
  DWORD need = ::GetEnvironmentVariableA(name.c_str(), nullptr, 0);
  if (need == 0) {
    // 0 with no error is a variable set to the empty text on some versions.
    if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    value.clear();
    return true;
  }
  std::string out = win32::ReadSystemString([&](char* buf, DWORD size) {
    return ::GetEnvironmentVariableA(name.c_str(), buf, size);
  });
  value = out;
  return true;
}

std::string GetTempPath() {
  return win32::ReadSystemString([](char* buf, DWORD size) { return ::GetTempPathA(size, buf); });
}

std::string GetWindowsDir() {
  return win32::ReadSystemString(
      [](char* buf, DWORD size) { return ::GetWindowsDirectoryA(buf, size); });
}

std::string GetSystemDir() {
  return win32::ReadSystemString(
      [](char* buf, DWORD size) { return ::GetSystemDirectoryA(buf, size); });
}

std::string GetUserName() {
  DWORD size = 0;
  ::GetUserNameA(nullptr, &size);  // learns the size, zero included
  if (size == 0) size = 257;
  std::string buf(size, '\0');
  if (!::GetUserNameA(&buf[0], &size)) return std::string();
  buf.resize(size > 0 ? size - 1 : 0);
  return buf.c_str();  // stops at the zero
}

std::string GetComputerName() {
  char buf[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof buf;
  if (!::GetComputerNameA(buf, &size)) return std::string();
  return std::string(buf, size);
}

std::string GetUserDomain(const std::string& user) {
  if (user.empty()) return std::string();
  DWORD sidSize = 0, domainSize = 0;
  SID_NAME_USE use{};
  // The first call only reports the sizes the second one needs.
  ::LookupAccountNameA(nullptr, user.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
  if (sidSize == 0 || domainSize == 0) return std::string();
  std::vector<char> sid(sidSize);
  std::string domain(domainSize, '\0');
  if (!::LookupAccountNameA(nullptr, user.c_str(), sid.data(), &sidSize, &domain[0], &domainSize,
                            &use))
    return std::string();
  return domain.c_str();
}

std::uint32_t CurrentProcessId() { return ::GetCurrentProcessId(); }
std::uint32_t CurrentThreadId() { return ::GetCurrentThreadId(); }
std::uint32_t LastError() { return ::GetLastError(); }
void SetLastError(std::uint32_t code) { ::SetLastError(code); }

bool SystemErrorText(std::uint32_t code, std::string& text) {
  win32::UniqueLocal mem;
  char* msg = nullptr;
  DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&msg), 0, nullptr);
  mem.reset(msg);
  if (n == 0 || !msg) return false;
  std::string s(msg, n);
  // The system ends its messages with a line break, which would split a log line.
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.pop_back();
  text = s;
  return true;
}

bool IsDBCSLeadByte(unsigned char c) { return ::IsDBCSLeadByte(c) != FALSE; }

}  // namespace os
