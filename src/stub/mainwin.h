// What the setup run asks of the stub's main window: show and hide it, set
// its status line, show its activity bar, stop its timer, end its loop.
//
// The portable setup code never sees the window itself. The Win32 main window
// registers itself here when it is created (and unregisters when it goes);
// tests register a recorder. Without a registered window every request is
// quietly ignored, so the run also works without any window.
#pragma once
#include <string>

namespace kv {

class MainWindow {
 public:
  virtual ~MainWindow() = default;
  virtual void Show() {}
  virtual void Hide() {}
  // The status line's text with its font: face, character set and point size
  // (character sets 177 and 178 also turn the line right to left).
  virtual void SetStatusText(const std::string& text, const std::string& face, int charset,
                             int points) {}
  virtual void ShowActivityBar() {}
  // Timer 1, whose first tick starts the setup run.
  virtual void StopTimer() {}
  // Posts the quit message that ends the message loop.
  virtual void PostQuit() {}
};

// Kept in the header: the build leaves the stub's main*.cpp files to the
// program itself, and this registry belongs to the portable core.
inline MainWindow*& RegisteredMainWindow() {
  static MainWindow* window = nullptr;
  return window;
}

// nullptr unregisters. The window stays owned by its creator.
inline void SetMainWindow(MainWindow* window) { RegisteredMainWindow() = window; }

// The registered window, or a stand-in that does nothing.
inline MainWindow& GetMainWindow() {
  static MainWindow none;
  MainWindow* w = RegisteredMainWindow();
  return w ? *w : none;
}

}  // namespace kv
