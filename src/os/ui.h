// The user-interface services that portable code needs: dispatching the
// thread's pending messages, showing the markup message box window, driving
// progress-bar controls, and two screen facts (vertical dpi, work area).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "os/types.h"

namespace os {

// Takes every pending message of the calling thread's queue, translating and
// dispatching each. A quit message met on the way is put back (it belongs to
// the main loop) and ends this round.
void PumpPendingMessages();

// ---- the message box window

struct BoxButton {
  std::string caption;  // with its "&" marker
  int result = 0;       // the result code the button returns
};

struct BoxSpan {
  int start = 0;  // 0-based, into plainText
  int end = 0;    // exclusive
};

// Everything the box window shows, prepared by the portable message-box code:
// the window only measures, lays out and runs the box.
struct BoxRequest {
  std::string caption;
  std::string markup;              // the text as handed over (heading already added)
  std::string plainText;           // the markup rendered: CR LF and TAB, no tags
  std::vector<BoxSpan> boldSpans;  // in plainText
  std::vector<BoxButton> buttons;  // left to right, at most three
  int defaultButton = -1;          // index into buttons; -1 when there is none
  std::uint32_t style = 0;         // the style word after the mode and charset adjustments
  std::uint32_t timeoutMs = 0;     // 0 = none
  int charset = 1;                 // the charset argument of the call
  std::string fontFace;            // the box settings at the time of the call
  int fontPoints = 8;
  int fontCharset = 1;
};

// Shows the box modally and returns its result code (0 when it was closed
// without a button). The Win32 build implements it with the box window of the
// ui subsystem; the host build answers from a script.
int ShowBoxWindow(const BoxRequest& request);

// ---- progress-bar controls (a zero handle is ignored)

// The range travels as two 16-bit words, as the control takes it.
void SetProgressRange(WindowHandle bar, std::uint16_t minimum, std::uint16_t maximum);
void SetProgressPos(WindowHandle bar, int position);
void SetProgressStep(WindowHandle bar, int step);
void StepProgress(WindowHandle bar);

// ---- screen facts

// Vertical pixels per logical inch of the screen; 0 when it cannot be read.
int ScreenDpiY();

struct ScreenRect {
  int left = 0, top = 0, right = 0, bottom = 0;
};
// The desktop work area (the screen without the task bar).
ScreenRect WorkArea();

}  // namespace os
