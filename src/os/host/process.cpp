// Host processes: the command line runs under /bin/sh -c, so a test can start
// a real command and read its exit status. "Shown" has no meaning here.
//
// A command line whose program part is a Windows path ("C:\...\Engine.exe",
// quoted or not) names a file of the mapped drives instead: that file is run
// (directly when it is executable, else as a /bin/sh script) with the whole
// command line as its one argument, which is what a Windows program reads
// from GetCommandLine. A program file that is missing fails the start, as
// CreateProcess would.
#include "os/process.h"

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <thread>

#include "os/file.h"
#include "os/host/host_control.h"
#include "os/host/host_state.h"

extern char** environ;

namespace os {
namespace {

pid_t Spawn(const std::string& script, const std::string& arg) {
  std::string sh = "/bin/sh", dashC = "-c", name = "sh";
  std::string s = script, a = arg;
  char* argv[] = {&sh[0], &dashC[0], &s[0], &name[0], arg.empty() ? nullptr : &a[0], nullptr};
  pid_t pid = 0;
  if (::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) return -1;
  return pid;
}

// The program part of a command line when it is a Windows path ("X:\..."),
// else empty.
std::string WindowsProgram(const std::string& line) {
  std::string program;
  if (!line.empty() && line[0] == '"') {
    std::string::size_type close = line.find('"', 1);
    program = line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  } else {
    program = line.substr(0, line.find(' '));
  }
  const bool windowsPath = program.size() >= 3 &&
                           std::isalpha(static_cast<unsigned char>(program[0])) &&
                           program[1] == ':' && (program[2] == '\\' || program[2] == '/');
  return windowsPath ? program : std::string();
}

pid_t SpawnMapped(const std::string& program, const std::string& commandLine) {
  std::string mapped = host::MapPath(program);
  std::string line = commandLine, sh = "/bin/sh";
  pid_t pid = 0;
  int rc;
  if (::access(mapped.c_str(), X_OK) == 0) {
    char* argv[] = {&mapped[0], &line[0], nullptr};
    rc = ::posix_spawn(&pid, mapped.c_str(), nullptr, nullptr, argv, environ);
  } else {
    char* argv[] = {&sh[0], &mapped[0], &line[0], nullptr};
    rc = ::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ);
  }
  return rc == 0 ? pid : -1;
}

std::uint32_t StatusToCode(int status) {
  if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return 128u + static_cast<std::uint32_t>(WTERMSIG(status));
  return 0;
}

}  // namespace

bool Process::start(const std::string& commandLine, bool /*shown*/) {
  release();
  const std::string program = WindowsProgram(commandLine);
  if (!program.empty() && !FileExists(program)) {
    host::state().lastError = 2;  // file not found
    return false;
  }
  pid_t pid = program.empty() ? Spawn(commandLine, "") : SpawnMapped(program, commandLine);
  if (pid <= 0) return false;
  h_ = pid;
  id_ = static_cast<std::uint32_t>(pid);
  code_ = kStillActive;
  ended_ = false;
  return true;
}

bool Process::exitCode(std::uint32_t& code) {
  if (h_ == kNone) return false;
  if (!ended_) {
    int status = 0;
    pid_t r = ::waitpid(static_cast<pid_t>(h_), &status, WNOHANG);
    if (r == static_cast<pid_t>(h_)) {
      ended_ = true;
      code_ = StatusToCode(status);
    } else if (r < 0) {
      return false;
    }
  }
  code = ended_ ? code_ : kStillActive;
  return true;
}

bool Process::isRunning() {
  std::uint32_t code = 0;
  return exitCode(code) && code == kStillActive && !ended_;
}

bool Process::wait(std::uint32_t timeoutMs) {
  if (h_ == kNone) return true;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    std::uint32_t code = 0;
    if (!exitCode(code) || ended_) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void Process::release() {
  if (h_ != kNone && !ended_) {
    int status = 0;
    ::waitpid(static_cast<pid_t>(h_), &status, WNOHANG);  // reap when already ended
  }
  h_ = kNone;
  id_ = 0;
  code_ = kStillActive;
  ended_ = false;
}

bool StartDetached(const std::string& commandLine, bool /*shown*/) {
  // The outer shell puts the command in the background and ends at once, so
  // the command is adopted by init and leaves no zombie behind.
  pid_t pid = Spawn("/bin/sh -c \"$1\" </dev/null >/dev/null 2>&1 &", commandLine);
  if (pid <= 0) return false;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

}  // namespace os
