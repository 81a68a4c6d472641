// Host process surroundings: real where Linux has it, settable otherwise.
#include "os/env.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "os/host/host_state.h"

namespace os {

std::string GetCommandLine() {
  if (host::state().commandLine) return *host::state().commandLine;
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string line;
  std::size_t start = 0;
  while (start < raw.size()) {
    std::size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    std::string arg = raw.substr(start, end - start);
    if (!line.empty()) line += ' ';
    line += arg.find(' ') != std::string::npos ? "\"" + arg + "\"" : arg;
    start = end + 1;
  }
  return line;
}

std::string GetModulePath() {
  if (host::state().modulePath) return *host::state().modulePath;
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

bool GetEnv(const std::string& name, std::string& value) {
  auto it = host::state().env.find(host::Upper(name));
  if (it != host::state().env.end()) {
    if (!it->second) return false;
    value = *it->second;
    return true;
  }
  const char* v = std::getenv(name.c_str());
  if (!v) return false;
  value = v;
  return true;
}

std::string GetTempPath() {
  if (host::state().tempDir) return *host::state().tempDir;
  const char* t = std::getenv("TMPDIR");
  return std::string(t && *t ? t : "/tmp") + "/";
}
std::string GetWindowsDir() { return host::state().windowsDir.value_or("C:\\WINDOWS"); }
std::string GetSystemDir() { return host::state().systemDir.value_or("C:\\WINDOWS\\system32"); }

std::string GetUserName() {
  const char* u = std::getenv("USER");
  return u ? u : "";
}
std::string GetComputerName() {
  char buf[256] = {};
  return ::gethostname(buf, sizeof buf - 1) == 0 ? buf : "";
}
std::string GetUserDomain(const std::string&) { return GetComputerName(); }

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(::getpid()); }
std::uint32_t CurrentThreadId() { return static_cast<std::uint32_t>(::syscall(SYS_gettid)); }
std::uint32_t LastError() { return host::state().lastError; }
void SetLastError(std::uint32_t code) { host::state().lastError = code; }

bool SystemErrorText(std::uint32_t code, std::string& text) {
  const char* s = std::strerror(static_cast<int>(code));
  if (!s) return false;
  text = s;
  return true;
}

bool IsDBCSLeadByte(unsigned char) { return false; }  // the host code page is single-byte

}  // namespace os
