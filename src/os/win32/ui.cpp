// Win32 user-interface services. The message box window itself lives with
// the message-box code (ui/kmsgbox_win32.cpp).
#include "os/ui.h"

#include <windows.h>
#include <commctrl.h>

namespace os {

namespace {
HWND H(WindowHandle w) { return reinterpret_cast<HWND>(w); }
}  // namespace

void PumpPendingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The main loop must still see it; a wait that swallowed it would
      // leave the program running with nothing to end it.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void SetProgressRange(WindowHandle bar, std::uint16_t minimum, std::uint16_t maximum) {
  if (bar) SendMessageA(H(bar), PBM_SETRANGE, 0, MAKELPARAM(minimum, maximum));
}

void SetProgressPos(WindowHandle bar, int position) {
  if (bar) SendMessageA(H(bar), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void SetProgressStep(WindowHandle bar, int step) {
  if (bar) SendMessageA(H(bar), PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

void StepProgress(WindowHandle bar) {
  if (bar) SendMessageA(H(bar), PBM_STEPIT, 0, 0);
}

int ScreenDpiY() {
  HDC dc = GetDC(nullptr);
  if (!dc) return 0;
  int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi;
}

ScreenRect WorkArea() {
  RECT r{};
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0)) {
    r.left = 0;
    r.top = 0;
    r.right = GetSystemMetrics(SM_CXSCREEN);
    r.bottom = GetSystemMetrics(SM_CYSCREEN);
  }
  return ScreenRect{r.left, r.top, r.right, r.bottom};
}

}  // namespace os
