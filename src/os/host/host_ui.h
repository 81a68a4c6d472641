// Test controls of the host stand-ins for the user interface: scripted
// message-box answers with a record of every box shown, a hook run by each
// message pump, progress bars kept in memory, and settable screen facts.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "os/types.h"
#include "os/ui.h"

namespace os::host {

// Answers are taken in order, one per box; when none is queued the box
// returns the default answer (initially 0: closed without a button).
void QueueBoxAnswer(int resultCode);
// Answers with the result code of the button whose caption, with or without
// its "&", equals the given text ignoring ASCII case; 0 when no button has it.
void QueueBoxAnswerByCaption(const std::string& caption);
void SetDefaultBoxAnswer(int resultCode);
// Runs for each box before its answer is taken (it may queue answers).
void SetBoxHook(std::function<void(const BoxRequest&)> hook);
const std::vector<BoxRequest>& ShownBoxes();
std::vector<std::string> BoxCaptions(const BoxRequest& box);  // the button captions

// Runs on every PumpPendingMessages call; may throw to exercise error paths.
void SetPumpHook(std::function<void()> hook);
int PumpCount();

struct ProgressBarState {
  int minimum = 0, maximum = 100, position = 0, step = 10;  // a new control's values
  int rangeCalls = 0, stepCalls = 0;
};
ProgressBarState ProgressBar(WindowHandle bar);

void SetScreenDpiY(int dpi);              // default 96
void SetWorkArea(const ScreenRect& area);  // default 0,0 - 1024,738

// Brings the user-interface stand-ins back to their start state.
void ResetUi();

}  // namespace os::host
