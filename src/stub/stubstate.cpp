#include "stub/stubstate.h"

#include "sys/kdebug.h"

namespace kv {

StubState& stubState() {
  static StubState s;
  return s;
}

void ResetStubState() { stubState() = StubState(); }

void LoadStartupState(const std::string& exePath) {
  StubState& s = stubState();
  s.fileInfo = std::make_unique<TGFileInfo>(exePath);
  s.ThisIs_AutoUpdateProg = s.fileInfo->AutoUpdateProg();
  s.agentLogEnabled = s.ThisIs_AutoUpdateProg && s.fileInfo->AgentLogFlag();
  SetAgentLogEnabled(s.agentLogEnabled);
}

void ReleaseStartupState() { stubState().fileInfo.reset(); }

}  // namespace kv
