// The stub's main window: what can be decided without a window (the child
// layout, the status line's styles, the private messages and the agent
// commands they carry, the two-step close) lives here; the window, its
// procedure and the message loop are in stubwin_win32.cpp.
//
// Private messages, fixed numbers (not registered), understood by the main
// window in every role, a plain setup included:
//
//   wm_ShutDown  WM_USER + 99   from the plain agent or the application:
//                               wParam = ticks until the agent quits
//                               (negative: never), lParam unused
//   wm_LocalMsg  WM_USER + 100  from the application: wParam = its window,
//                               lParam = the message number it wants its
//                               notifications posted with; answered by the
//                               notifications 50 (this window) and 51 (the
//                               number of wm_AgentMsg)
//   wm_AgentMsg  WM_USER + 101  from the application: wParam = command,
//                               lParam = argument; the message result is the
//                               command's result
#pragma once
#include <cstdint>
#include <string>

#include "os/types.h"
#include "ui/kmsgbox.h"

namespace kv {

constexpr std::uint32_t kWmUser = 0x0400;
constexpr std::uint32_t wm_ShutDown = kWmUser + 99;   // 1123
constexpr std::uint32_t wm_LocalMsg = kWmUser + 100;  // 1124
constexpr std::uint32_t wm_AgentMsg = kWmUser + 101;  // 1125

// Codes of the notifications posted to a registered client window.
constexpr std::int32_t kNotifyLoopEnded = 43;   // value 0
constexpr std::int32_t kNotifyWindow = 50;      // value: the main window's handle
constexpr std::int32_t kNotifyAgentMsg = 51;    // value: wm_AgentMsg

// Agent commands a plain setup answers.
constexpr std::uint32_t kCmdVersionOriginal = 4;

// ---- window geometry

constexpr int kMainWindowWidth = 492;
constexpr int kMainWindowHeight = 110;
// WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN: a caption and a close box, not
// resizable, no minimise or maximise box.
constexpr std::uint32_t kMainWindowStyle = 0x02C80000;
constexpr int kMainTimerId = 1;
constexpr std::uint32_t kMainTimerPeriodMs = 1000;
// Where the icon "MainIcon" is drawn in the client area.
constexpr int kMainIconX = 18;
constexpr int kMainIconY = 20;

// Hebrew (177) and Arabic (178) read right to left: the status line moves
// right and the activity bar changes sides.
bool IsMirroredCharset(int charset);

struct MainWindowLayout {
  PixelRect status;       // "Static"
  PixelRect mainBar;      // "msctls_progress32"
  PixelRect activityBar;  // "msctls_progress32", hidden at start
};
MainWindowLayout MainWindowChildLayout(int charset);

// Styles of the status line for a character set: right-aligned and read
// right to left for the mirrored sets.
struct StatusLineStyle {
  std::uint32_t exStyle = 0;
  std::uint32_t style = 0;
};
StatusLineStyle StatusLineStyleFor(int charset);

// ---- agent variables the private messages act on

struct AgentVars {
  std::int32_t ShutDownCountdown = -1;  // negative: never
  os::WindowHandle ClientWindow = 0;
  std::uint32_t ClientMessage = 0;
  std::int32_t AgentState = 0;
  // Ticks of the agent's timer; starts below zero to delay the first check.
  std::int64_t AutoUpdateTimerCount = -3;
};
AgentVars& agentVars();
void ResetAgentVars();

// Posts ClientMessage to ClientWindow (wParam = code, lParam = value); does
// nothing while either is 0.
void NotifyClient(std::int32_t code, std::int32_t value);

void OnShutDownMessage(std::uintptr_t wParam);
// Keeps the client window and message, then tells the client this window
// and the number of wm_AgentMsg.
void OnLocalMessage(os::WindowHandle self, std::uintptr_t wParam, std::intptr_t lParam);
// A command of wm_AgentMsg and its result. A setup answers command 4 with
// the installed version from the .original descriptor beside it (0 when there
// is none) and every other command with 0.
std::int32_t RunAgentCommand(std::uint32_t command, std::int32_t argument);

// /SleepX=n (n >= 0) delays the agent's first check: the tick count starts at -n.
void ApplySleepSwitch();

// The agent's timer tick. Placeholder: does nothing until the agent is built
// in (a line per tick would only flood the agent log).
void JustDownloadInfoFile();

// ---- ending the loop

struct MainLoopState {
  bool quit = false;  // set by DestroyMainWindow; ends the message loop
};
MainLoopState& mainLoopState();
void ResetMainLoopState();

// Aborts a running download, removes the setup temporary folder and ends the loop.
void DestroyMainWindow();
// The first close request only asks a running download to stop; the second
// one lets the window close. True when the window may be destroyed.
bool CloseMainWindow();

// The main window and its loop (Win32 only): registers the class, creates the
// hidden window with its timer, runs the loop until the setup run or the
// agent ends it.
void WinMain();

}  // namespace kv
