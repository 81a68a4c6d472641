// Win32 processes: CreateProcess for a process that is waited for, WinExec
// for one that is started and forgotten.
#include "os/process.h"

#include <windows.h>

#include <vector>

namespace os {

bool Process::start(const std::string& commandLine, bool shown) {
  release();
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = static_cast<WORD>(shown ? SW_SHOWNORMAL : SW_HIDE);
  PROCESS_INFORMATION pi{};
  // CreateProcessA may write into the command line buffer.
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
    return false;
  ::CloseHandle(pi.hThread);
  h_ = reinterpret_cast<std::intptr_t>(pi.hProcess);
  id_ = pi.dwProcessId;
  return true;
}

bool Process::exitCode(std::uint32_t& code) {
  if (h_ == kNone) return false;
  DWORD c = 0;
  if (!::GetExitCodeProcess(reinterpret_cast<HANDLE>(h_), &c)) return false;
  code = c;
  return true;
}

bool Process::isRunning() {
  std::uint32_t code = 0;
  return exitCode(code) && code == kStillActive;
}

bool Process::wait(std::uint32_t timeoutMs) {
  if (h_ == kNone) return true;
  return ::WaitForSingleObject(reinterpret_cast<HANDLE>(h_), timeoutMs) != WAIT_TIMEOUT;
}

void Process::release() {
  if (h_ != kNone) ::CloseHandle(reinterpret_cast<HANDLE>(h_));
  h_ = kNone;
  id_ = 0;
}

bool StartDetached(const std::string& commandLine, bool shown) {
  return ::WinExec(commandLine.c_str(), shown ? SW_SHOWNORMAL : SW_HIDE) > 31;
}

}  // namespace os
