// Progress reporting. Downloads report to one process-wide `TProgBar`, which
// forwards each event to a display procedure and dispatches the thread's
// pending messages around every event, so that window handlers (the close
// box that aborts a download among them) run between chunks. The display
// procedure `ShowProgress` drives the two bars of the stub's main window: the
// main bar, one step per event, and the activity bar, which cycles through
// six positions so that movement shows even when the main bar crawls.
#pragma once
#include <cstdint>
#include <string>

#include "os/types.h"

namespace kv {

// Actions of the display procedure.
constexpr int kProgressRange = 0;
constexpr int kProgressStep = 1;

// The two bars the display acts on. The main window registers its bar
// handles when it creates them; until then (and in tools without a window)
// the display keeps only its counter.
struct ProgressDisplay {
  os::WindowHandle mainBar = 0;
  os::WindowHandle activityBar = 0;
  int activityCounter = 0;  // 0..5, kept across downloads
};
ProgressDisplay& progressDisplay();
void SetProgressBars(os::WindowHandle mainBar, os::WindowHandle activityBar);
void ResetProgressDisplay();

// Action 0: main bar range 0..maximum (only the low 16 bits of the maximum
// count, as the control takes the range in two 16-bit words), then the
// position and the step size; the activity bar 0..5 at 0 with step 1.
// Action 1: the main bar steps, the activity bar shows the next position of
// its cycle. Any other action does nothing.
void ShowProgress(int action, int maximum, int position, int step);

using ProgressSink = void (*)(int action, int maximum, int position, int step);

class TProgBar {
 public:
  explicit TProgBar(ProgressSink sink = &ShowProgress) : sink_(sink) {}
  TProgBar(const TProgBar&) = delete;
  TProgBar& operator=(const TProgBar&) = delete;

  void SetRange(int minimum, int maximum);  // action 0: maximum, position minimum, step 1
  void Step();                              // action 1
  void SetCaption(const std::string& text); // only dispatches messages

  ProgressSink sink() const { return sink_; }
  void setSink(ProgressSink sink) { sink_ = sink; }

 private:
  void Forward(int action, int maximum, int position, int step);
  ProgressSink sink_;
};

// The one reporter of the process, created on first use and never released.
TProgBar& GetProgressReporter();

}  // namespace kv
