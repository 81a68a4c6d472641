// Host stand-ins for the user interface. Message boxes are answered from a
// script and recorded; progress bars are emulated in memory the way the
// common control behaves (position clamped into the range, a step past the
// maximum starts over at the minimum).
#include "os/ui.h"

#include <deque>
#include <map>
#include <variant>

#include "os/host/host_ui.h"

namespace os {

namespace {

using Answer = std::variant<int, std::string>;  // result code or button caption

struct UiState {
  std::deque<Answer> answers;
  int defaultAnswer = 0;
  std::function<void(const BoxRequest&)> boxHook;
  std::vector<BoxRequest> shown;
  std::function<void()> pumpHook;
  int pumpCount = 0;
  std::map<WindowHandle, host::ProgressBarState> bars;
  int dpi = 96;
  ScreenRect workArea{0, 0, 1024, 738};
};

UiState& ui() {
  static UiState s;
  return s;
}

std::string UpperNoAmp(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '&') continue;
    out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return out;
}

void Clamp(host::ProgressBarState& b) {
  if (b.position < b.minimum) b.position = b.minimum;
  if (b.position > b.maximum) b.position = b.maximum;
}

}  // namespace

namespace host {

void QueueBoxAnswer(int resultCode) { ui().answers.emplace_back(resultCode); }
void QueueBoxAnswerByCaption(const std::string& caption) { ui().answers.emplace_back(caption); }
void SetDefaultBoxAnswer(int resultCode) { ui().defaultAnswer = resultCode; }
void SetBoxHook(std::function<void(const BoxRequest&)> hook) { ui().boxHook = std::move(hook); }
const std::vector<BoxRequest>& ShownBoxes() { return ui().shown; }

std::vector<std::string> BoxCaptions(const BoxRequest& box) {
  std::vector<std::string> out;
  for (const BoxButton& b : box.buttons) out.push_back(b.caption);
  return out;
}

void SetPumpHook(std::function<void()> hook) { ui().pumpHook = std::move(hook); }
int PumpCount() { return ui().pumpCount; }

ProgressBarState ProgressBar(WindowHandle bar) {
  auto it = ui().bars.find(bar);
  return it == ui().bars.end() ? ProgressBarState() : it->second;
}

void SetScreenDpiY(int dpi) { ui().dpi = dpi; }
void SetWorkArea(const ScreenRect& area) { ui().workArea = area; }

void ResetUi() { ui() = UiState(); }

}  // namespace host

void PumpPendingMessages() {
  ++ui().pumpCount;
  if (ui().pumpHook) {
    auto hook = ui().pumpHook;  // the hook may replace itself
    hook();
  }
}

int ShowBoxWindow(const BoxRequest& request) {
  UiState& s = ui();
  s.shown.push_back(request);
  if (s.boxHook) {
    auto hook = s.boxHook;
    hook(request);
  }
  if (s.answers.empty()) return s.defaultAnswer;
  Answer a = s.answers.front();
  s.answers.pop_front();
  if (const int* code = std::get_if<int>(&a)) return *code;
  const std::string want = UpperNoAmp(std::get<std::string>(a));
  for (const BoxButton& b : request.buttons)
    if (UpperNoAmp(b.caption) == want) return b.result;
  return 0;
}

void SetProgressRange(WindowHandle bar, std::uint16_t minimum, std::uint16_t maximum) {
  if (!bar) return;
  host::ProgressBarState& b = ui().bars[bar];
  b.minimum = minimum;
  b.maximum = maximum;
  ++b.rangeCalls;
  Clamp(b);
}

void SetProgressPos(WindowHandle bar, int position) {
  if (!bar) return;
  host::ProgressBarState& b = ui().bars[bar];
  b.position = position;
  Clamp(b);
}

void SetProgressStep(WindowHandle bar, int step) {
  if (!bar) return;
  ui().bars[bar].step = step;
}

void StepProgress(WindowHandle bar) {
  if (!bar) return;
  host::ProgressBarState& b = ui().bars[bar];
  ++b.stepCalls;
  b.position += b.step;
  if (b.position > b.maximum) b.position = b.minimum;
  Clamp(b);
}

int ScreenDpiY() { return ui().dpi; }
ScreenRect WorkArea() { return ui().workArea; }

}  // namespace os
