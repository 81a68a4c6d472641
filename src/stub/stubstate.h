// Process-wide state fixed at start-up: the descriptor of the running file
// and the flags derived from it. Every other unit reads it; nothing changes it
// once the run mode has been chosen, except the main window class name, which
// is set once when the dispatch begins. Tests reset it with ResetStubState.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "package/gfileinfo.h"

namespace kv {

struct StubState {
  // The running file as a package; lives from LoadStartupState to
  // ReleaseStartupState.
  std::unique_ptr<TGFileInfo> fileInfo;
  bool ThisIs_AutoUpdateProg = false;
  // Whether the agent log is written: an agent package with the agent-log flag.
  bool agentLogEnabled = false;
  std::string mainWindowClassName = "KavrexStub";
  bool xCopyRunning = false;
  // The process exit code: the engine's when a setup ran it, else 0.
  std::uint32_t exitCode = 0;
};

StubState& stubState();
void ResetStubState();

// Builds the descriptor of the running file, derives the flags from it and
// hands the agent-log switch to the log.
void LoadStartupState(const std::string& exePath);
void ReleaseStartupState();

}  // namespace kv
