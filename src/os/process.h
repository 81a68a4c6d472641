// Starting other programs: a command line run as a new process, shown or
// hidden, with the current folder and environment of the caller and no
// inherited handles. Used for the self-delete batch (started and forgotten)
// and for the installation engine (started, waited for, exit code read).
#pragma once
#include <cstdint>
#include <string>

namespace os {

// The exit code a process reports while it is still running (STILL_ACTIVE).
// A program that really ends with this code looks as if it still ran.
constexpr std::uint32_t kStillActive = 259;

// A started process. Move-only; releasing it does not end the process.
class Process {
 public:
  Process() = default;
  ~Process() { release(); }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  Process(Process&& o) noexcept : h_(o.h_), id_(o.id_), code_(o.code_), ended_(o.ended_) {
    o.h_ = kNone;
    o.id_ = 0;
  }
  Process& operator=(Process&& o) noexcept {
    if (this != &o) {
      release();
      h_ = o.h_;
      id_ = o.id_;
      code_ = o.code_;
      ended_ = o.ended_;
      o.h_ = kNone;
      o.id_ = 0;
    }
    return *this;
  }

  // Runs the command line (program and arguments as one text; on Windows the
  // program part follows the CreateProcess rules, on the host it is given to
  // /bin/sh -c). False when the process could not be created.
  bool start(const std::string& commandLine, bool shown);
  bool isStarted() const { return h_ != kNone; }
  std::uint32_t id() const { return id_; }
  // The exit code as the system reports it: kStillActive while running.
  // False when there is no process or the code cannot be read.
  bool exitCode(std::uint32_t& code);
  // True while the exit code reads as kStillActive.
  bool isRunning();
  // Waits up to timeoutMs (0 = just look) for the end; true when it has ended.
  bool wait(std::uint32_t timeoutMs);
  void release();

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t h_ = kNone;    // process handle (Windows) or pid (host)
  std::uint32_t id_ = 0;
  std::uint32_t code_ = kStillActive;  // host: exit code once reaped
  bool ended_ = false;                 // host: reaped
};

// Starts a command line and forgets it (the WinExec way). True when started.
bool StartDetached(const std::string& commandLine, bool shown);

}  // namespace os
