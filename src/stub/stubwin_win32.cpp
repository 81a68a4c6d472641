// The stub's main window: normally hidden, 492 x 110 with a status line and
// two progress bars, a one-second timer whose first tick starts the setup run
// (or drives the auto-update agent), and the end point of the private
// messages. Its class name is the single-instance marker of the run mode.
#include "os/win32/win.h"  // before the os/ headers: see there

#include <commctrl.h>

#include <exception>
#include <string>

#include "lang/langres.h"
#include "net/inethttp.h"
#include "package/gfileinfo.h"
#include "setup/stubsetup.h"
#include "stub/mainwin.h"
#include "stub/stubstate.h"
#include "stub/stubwin.h"
#include "sys/kdebug.h"
#include "sys/utils.h"
#include "ui/kmsgbox.h"
#include "ui/kprogbar.h"

namespace kv {
namespace {

const char* const kMainIconName = "MainIcon";

os::WindowHandle Handle(HWND w) { return reinterpret_cast<os::WindowHandle>(w); }

// The window as the setup run sees it (stub/mainwin.h). One per process.
class Win32MainWindow final : public MainWindow {
 public:
  void Show() override {
    if (!hwnd_) return;
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
  }
  void Hide() override {
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
  }
  void SetStatusText(const std::string& text, const std::string& face, int charset,
                     int points) override {
    if (!status_) return;
    const StatusLineStyle st = StatusLineStyleFor(charset);
    SetWindowLongPtrA(status_, GWL_EXSTYLE, static_cast<LONG_PTR>(st.exStyle));
    SetWindowLongPtrA(status_, GWL_STYLE, static_cast<LONG_PTR>(st.style));
    SetWindowPos(status_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SetStatusFont(CreateFontA(-PointsToPixels(points), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                              static_cast<DWORD>(charset & 0xFF), OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face.c_str()));
    SetWindowTextA(status_, text.c_str());
  }
  void ShowActivityBar() override {
    if (activityBar_) ShowWindow(activityBar_, SW_SHOW);
  }
  void StopTimer() override {
    if (hwnd_) KillTimer(hwnd_, kMainTimerId);
  }
  void PostQuit() override { PostQuitMessage(0); }

  // WM_CREATE: the children in the places the package's character set asks
  // for, the timer and the status line's first font.
  void Create(HWND hwnd) {
    hwnd_ = hwnd;
    const TGFileInfo info(GetExePath());
    const MainWindowLayout l = MainWindowChildLayout(GetCharset(info));
    HINSTANCE inst = GetModuleHandleA(nullptr);
    status_ = Child(0, "Static", WS_CHILD | WS_VISIBLE, l.status, inst);
    mainBar_ = Child(0, PROGRESS_CLASSA, WS_CHILD | WS_VISIBLE, l.mainBar, inst);
    activityBar_ = Child(0, PROGRESS_CLASSA, WS_CHILD, l.activityBar, inst);
    SetProgressBars(Handle(mainBar_), Handle(activityBar_));
    SetTimer(hwnd_, kMainTimerId, kMainTimerPeriodMs, nullptr);
    SetStatusFont(CreateFontA(-11, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, ANSI_CHARSET,
                              OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH, "Tahoma"));
  }

  // WM_DESTROY: nothing may reach the controls any more.
  void Forget() {
    SetProgressBars(0, 0);
    hwnd_ = status_ = mainBar_ = activityBar_ = nullptr;
  }

  void ReleaseFont() { SetStatusFont(nullptr); }

  HWND hwnd() const { return hwnd_; }

 private:
  HWND Child(DWORD exStyle, const char* cls, DWORD style, const PixelRect& r, HINSTANCE inst) {
    return CreateWindowExA(exStyle, cls, "", style, r.x, r.y, r.width, r.height, hwnd_, nullptr,
                           inst, nullptr);
  }

  // The status line keeps using a font until it is given another one, so the
  // old font goes only after the new one is in place.
  void SetStatusFont(HFONT font) {
    if (status_ && font) SendMessageA(status_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (font_) DeleteObject(font_);
    font_ = font;
  }

  HWND hwnd_ = nullptr;
  HWND status_ = nullptr;
  HWND mainBar_ = nullptr;
  HWND activityBar_ = nullptr;
  HFONT font_ = nullptr;
};

Win32MainWindow& TheWindow() {
  static Win32MainWindow w;
  return w;
}

void Paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc) return;
  RECT r;
  GetClientRect(hwnd, &r);
  FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), kMainIconName);
  if (icon) DrawIcon(dc, kMainIconX, kMainIconY, icon);
  EndPaint(hwnd, &ps);
}

// Handles the message; true with `result` set when the default processing
// must not follow.
bool HandleMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  // The shell asks before it starts AutoPlay for an inserted disc: refused
  // while the disks of a split package are asked for.
  const std::uint32_t autoPlay = AutoPlayMessage();
  if (autoPlay != 0 && msg == autoPlay) {
    result = 1;
    return true;
  }
  switch (msg) {
    case WM_CREATE:
      TheWindow().Create(hwnd);
      return false;
    case WM_DESTROY:
      WriteDebugOutput("- wm_Destroy -");
      DestroyMainWindow();
      TheWindow().Forget();
      return false;
    case WM_PAINT:
      Paint(hwnd);
      return false;
    case WM_CLOSE:
      if (CloseMainWindow()) return false;
      result = 0;
      return true;
    case WM_QUIT:
      WriteDebugOutput("- wm_Quit -");
      DestroyMainWindow();
      return false;
    case WM_TIMER:
      if (stubState().ThisIs_AutoUpdateProg)
        JustDownloadInfoFile();
      else
        SetupTimerHandler(TheWindow());
      return false;
    case wm_ShutDown:
      OnShutDownMessage(wParam);
      return false;
    case wm_LocalMsg:
      OnLocalMessage(Handle(hwnd), wParam, lParam);
      return false;
    case wm_AgentMsg:
      result = static_cast<LRESULT>(RunAgentCommand(
          static_cast<std::uint32_t>(wParam),
          static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uintptr_t>(lParam)))));
      return true;
    default:
      return false;
  }
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  // Nothing may leave through the system's message dispatch.
  try {
    LRESULT result = 0;
    if (HandleMessage(hwnd, msg, wParam, lParam, result)) return result;
  } catch (const std::exception& e) {
    LogException(e.what(), "MainWindowProc", "");
  } catch (...) {
    LogException("unknown exception", "MainWindowProc", "");
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void InitControls() {
  INITCOMMONCONTROLSEX icc{};
  icc.dwSize = sizeof(icc);
  icc.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
  if (!InitCommonControlsEx(&icc)) InitCommonControls();
}

}  // namespace

void WinMain() {
  ApplySleepSwitch();
  InitControls();

  HINSTANCE inst = GetModuleHandleA(nullptr);
  const std::string& className = stubState().mainWindowClassName;
  WNDCLASSA wc{};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = &MainWindowProc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconA(inst, kMainIconName);
  wc.hbrBackground = nullptr;  // WM_PAINT fills the background
  wc.lpszClassName = className.c_str();
  RegisterClassA(&wc);

  Win32MainWindow& window = TheWindow();
  SetMainWindow(&window);
  HWND hwnd = nullptr;
  {
    const TGFileInfo info(GetExePath());
    const std::string caption = GetLangString(info, "s0", "Kavrex Installation Suite");
    const ScreenPoint at = CenterInWorkArea(kMainWindowWidth, kMainWindowHeight);
    hwnd = CreateWindowExA(0, className.c_str(), caption.c_str(), kMainWindowStyle, at.x, at.y,
                           kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, inst, nullptr);
    SetMessageBoxFont(GetFontName(info), GetFontSize(info), GetCharset(info));
  }

  if (hwnd) {
    // Also takes the first ShowWindow of the process, the one the system
    // may replace with the starter's show state.
    ShowWindow(hwnd, SW_HIDE);
    MSG msg;
    while (!mainLoopState().quit) {
      const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
      if (got == 0 || got == -1) break;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    KillTimer(hwnd, kMainTimerId);
  } else {
    WriteDebugOutputPid(" ==== the main window could not be created: " + className);
  }
  SetDownloadAbort(true);
  UnloadWinINet();
  NotifyClient(kNotifyLoopEnded, 0);

  SetMainWindow(nullptr);
  SetProgressBars(0, 0);
  window.ReleaseFont();
}

}  // namespace kv
