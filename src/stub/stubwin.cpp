#include "stub/stubwin.h"

#include "autoupdate/descriptors.h"
#include "net/inethttp.h"
#include "os/window.h"
#include "setup/tempfolder.h"
#include "stub/mainwin.h"
#include "sys/files.h"
#include "sys/kdebug.h"
#include "sys/utils.h"

namespace kv {

// ---------------------------------------------------------------- geometry

bool IsMirroredCharset(int charset) { return charset == 177 || charset == 178; }

MainWindowLayout MainWindowChildLayout(int charset) {
  const bool mirrored = IsMirroredCharset(charset);
  MainWindowLayout l;
  l.status = PixelRect{mirrored ? 122 : 70, 20, 340, 18};
  l.mainBar = PixelRect{70, 38, 392, 13};
  l.activityBar = PixelRect{mirrored ? 70 : 416, 20, 46, 13};
  return l;
}

StatusLineStyle StatusLineStyleFor(int charset) {
  // WS_CHILD | WS_VISIBLE, with SS_RIGHT and WS_EX_RTLREADING when mirrored.
  if (IsMirroredCharset(charset)) return StatusLineStyle{0x00002000, 0x50000002};
  return StatusLineStyle{0, 0x50000000};
}

// ---------------------------------------------------------------- agent variables

AgentVars& agentVars() {
  static AgentVars v;
  return v;
}

void ResetAgentVars() { agentVars() = AgentVars(); }

void NotifyClient(std::int32_t code, std::int32_t value) {
  const AgentVars& v = agentVars();
  if (v.ClientWindow == 0 || v.ClientMessage == 0) return;
  os::PostMessageTo(v.ClientWindow, v.ClientMessage,
                    static_cast<std::uintptr_t>(static_cast<std::uint32_t>(code)),
                    static_cast<std::intptr_t>(value));
}

void OnShutDownMessage(std::uintptr_t wParam) {
  agentVars().ShutDownCountdown = static_cast<std::int32_t>(static_cast<std::uint32_t>(wParam));
}

void OnLocalMessage(os::WindowHandle self, std::uintptr_t wParam, std::intptr_t lParam) {
  AgentVars& v = agentVars();
  v.ClientWindow = static_cast<os::WindowHandle>(wParam);
  v.ClientMessage = static_cast<std::uint32_t>(lParam);
  // A window handle's significant bits fit in 32 bits, also in a 64-bit process.
  NotifyClient(kNotifyWindow, static_cast<std::int32_t>(static_cast<std::uint32_t>(self)));
  NotifyClient(kNotifyAgentMsg, static_cast<std::int32_t>(wm_AgentMsg));
}

std::int32_t RunAgentCommand(std::uint32_t command, std::int32_t argument) {
  if (command == kCmdVersionOriginal) return ReadVersionOriginal();
  WriteDebugOutputPid(" wm_AgentMsg: command " + std::to_string(command) + " (" +
                      std::to_string(argument) + ") not answered by a setup");
  return 0;
}

void ApplySleepSwitch() {
  const std::int64_t ticks = GetSwitchInt("/SleepX=", -1);
  if (ticks >= 0) agentVars().AutoUpdateTimerCount = -ticks;
}

void JustDownloadInfoFile() {}

// ---------------------------------------------------------------- ending the loop

MainLoopState& mainLoopState() {
  static MainLoopState s;
  return s;
}

void ResetMainLoopState() { mainLoopState() = MainLoopState(); }

void DestroyMainWindow() {
  WriteDebugLog(".. DestroyMainWindow() - Start");
  SetDownloadAbort(true);
  DeleteTree(GetSetupTempFolder(), false);
  GetMainWindow().PostQuit();
  mainLoopState().quit = true;
  WriteDebugLog(".. DestroyMainWindow() - End");
}

bool CloseMainWindow() {
  WriteDebugLog(".. CloseMainWindow() - Start");
  const bool mayClose = IsDownloadAborted();
  if (!mayClose) SetDownloadAbort(true);
  WriteDebugLog(".. CloseMainWindow() - End");
  return mayClose;
}

}  // namespace kv
