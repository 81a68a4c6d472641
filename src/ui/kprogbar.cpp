#include "ui/kprogbar.h"

#include "os/ui.h"
#include "ui/kmsgbox.h"

namespace kv {

ProgressDisplay& progressDisplay() {
  static ProgressDisplay d;
  return d;
}

void SetProgressBars(os::WindowHandle mainBar, os::WindowHandle activityBar) {
  progressDisplay().mainBar = mainBar;
  progressDisplay().activityBar = activityBar;
}

void ResetProgressDisplay() { progressDisplay() = ProgressDisplay(); }

void ShowProgress(int action, int maximum, int position, int step) {
  ProgressDisplay& d = progressDisplay();
  if (action == kProgressRange) {
    os::SetProgressRange(d.mainBar, 0, static_cast<std::uint16_t>(maximum & 0xFFFF));
    os::SetProgressPos(d.mainBar, position);
    os::SetProgressStep(d.mainBar, step);
    os::SetProgressRange(d.activityBar, 0, 5);
    os::SetProgressPos(d.activityBar, 0);
    os::SetProgressStep(d.activityBar, 1);
  } else if (action == kProgressStep) {
    os::StepProgress(d.mainBar);
    if (++d.activityCounter > 5) d.activityCounter = 0;
    os::SetProgressPos(d.activityBar, d.activityCounter);
  }
}

void TProgBar::Forward(int action, int maximum, int position, int step) {
  WaitWithMessages(0, 0);
  if (sink_) sink_(action, maximum, position, step);
  WaitWithMessages(0, 0);
}

void TProgBar::SetRange(int minimum, int maximum) { Forward(kProgressRange, maximum, minimum, 1); }

void TProgBar::Step() { Forward(kProgressStep, 0, 0, 0); }

void TProgBar::SetCaption(const std::string&) { WaitWithMessages(0, 0); }

TProgBar& GetProgressReporter() {
  static TProgBar* reporter = new TProgBar();
  return *reporter;
}

}  // namespace kv
