// The message box window: a dark blue band with the icon, a read-only rich
// edit control for the text, a row of up to three buttons, its own modal
// message loop with the keyboard handler. Every number and decision comes
// from the portable half (kmsgbox.cpp); this file only talks to Win32.
#include <windows.h>
#include <richedit.h>

#include <string>
#include <vector>

#include "os/ui.h"
#include "ui/kmsgbox.h"

namespace {

constexpr UINT_PTR kTimeoutTimer = 1;
constexpr int kEditId = 50;
constexpr int kFirstButtonId = 100;
constexpr int kMaxButtons = 3;

// State of one open box. It lives on the stack of ShowBoxWindow, and the
// window finds it through its user data, so that a box opened from a timer
// handler while another one waits cannot corrupt the first one.
struct OpenBox {
  int result = 0;
  UINT timeout = 0;
  std::vector<os::BoxButton> buttons;
  std::vector<std::string> captions;
  HWND buttonWnd[kMaxButtons] = {};
  int current = -1;  // the button with the default look
  HFONT font = nullptr;
  HINSTANCE instance = nullptr;
  HWND box = nullptr;
  HWND edit = nullptr;
  HWND prevActive = nullptr;
  HICON icon = nullptr;
  int requestedWidth = 0;
  int requestedHeight = 0;
  bool noClose = false;
  bool closing = false;
  bool done = false;
};

OpenBox* BoxOf(HWND hwnd) {
  return reinterpret_cast<OpenBox*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

std::string SystemLibraryPath(const char* name) {
  char dir[MAX_PATH + 1] = {};
  UINT n = GetSystemDirectoryA(dir, MAX_PATH);
  std::string path = (n > 0 && n < MAX_PATH) ? std::string(dir, n) : std::string();
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path + name;
}

// The rich edit library is loaded from the system folder (never from beside
// the setup file) on first need and stays loaded; each box takes one more
// reference for its lifetime.
HMODULE TakeRichEditReference() {
  static HMODULE kept = nullptr;
  const std::string path = SystemLibraryPath("RICHED32.DLL");
  if (!kept) kept = LoadLibraryA(path.c_str());
  return kept ? LoadLibraryA(path.c_str()) : nullptr;
}

void RequestClose(OpenBox& b) {
  if (b.closing) return;
  b.closing = true;
  PostMessageA(b.box, WM_CLOSE, 0, 0);
}

void PressButton(OpenBox& b, int index) {
  if (b.closing || index < 0 || index >= static_cast<int>(b.buttons.size())) return;
  b.result = b.buttons[index].result;
  RequestClose(b);
}

void SetCurrentButton(OpenBox& b, int index, bool focus) {
  const int n = static_cast<int>(b.buttons.size());
  if (index < 0 || index >= n) return;
  b.current = index;
  for (int i = 0; i < n; ++i)
    SendMessageA(b.buttonWnd[i], BM_SETSTYLE, i == index ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON,
                 TRUE);
  if (focus) SetFocus(b.buttonWnd[index]);
}

// Returns true when the message was taken (and must not be dispatched).
bool HandleBoxKey(OpenBox& b, const MSG& msg) {
  if (b.closing) return false;
  int focused = -1;
  HWND f = GetFocus();
  for (int i = 0; i < static_cast<int>(b.buttons.size()); ++i)
    if (f && b.buttonWnd[i] == f) focused = i;
  kv::BoxKeyDecision d =
      kv::DecideBoxKey(msg.message, msg.wParam, b.captions, b.current, focused);
  switch (d.action) {
    case kv::BoxKeyAction::Press: PressButton(b, d.button); break;
    case kv::BoxKeyAction::Focus: SetCurrentButton(b, d.button, true); break;
    case kv::BoxKeyAction::Close:
      b.result = 0;
      RequestClose(b);
      break;
    case kv::BoxKeyAction::None: break;
  }
  return d.consumed;
}

void PaintBox(const OpenBox& b, HWND hwnd, HDC dc) {
  RECT rc;
  GetClientRect(hwnd, &rc);
  const int w = rc.right;
  const int h = rc.bottom;
  FillRect(dc, &rc, GetSysColorBrush(COLOR_WINDOW));

  HPEN dark = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_3DDKSHADOW));
  HPEN white = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  HGDIOBJ oldPen = SelectObject(dc, dark);
  MoveToEx(dc, 0, h - 37, nullptr);
  LineTo(dc, w, h - 37);
  SelectObject(dc, white);
  MoveToEx(dc, 0, h - 36, nullptr);
  LineTo(dc, w, h - 36);
  SelectObject(dc, oldPen);
  DeleteObject(dark);
  DeleteObject(white);

  RECT band{0, h - 35, w, h};
  FillRect(dc, &band, GetSysColorBrush(COLOR_BTNFACE));
  HBRUSH blue = CreateSolidBrush(RGB(0, 78, 152));
  RECT side{0, 0, 54, h - 37};
  FillRect(dc, &side, blue);
  DeleteObject(blue);
  if (b.icon) DrawIcon(dc, 11, 20, b.icon);
}

LRESULT CALLBACK BoxWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    return DefWindowProcA(hwnd, msg, wParam, lParam);
  }
  OpenBox* b = BoxOf(hwnd);
  if (!b) return DefWindowProcA(hwnd, msg, wParam, lParam);

  const std::uint32_t autoPlay = kv::AutoPlayMessage();
  if (autoPlay != 0 && msg == autoPlay) return 1;  // no AutoPlay while we ask for a disc

  switch (msg) {
    case WM_CREATE:
      if (b->timeout > 0) SetTimer(hwnd, kTimeoutTimer, b->timeout, nullptr);
      break;
    case WM_TIMER:
      if (wParam == kTimeoutTimer) {
        KillTimer(hwnd, kTimeoutTimer);
        if (!b->closing) b->result = b->buttons.empty() ? 0 : b->buttons.front().result;
        RequestClose(*b);
        return 0;
      }
      break;
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lParam);
      if (hdr && hdr->code == EN_REQUESTRESIZE) {
        auto* rr = reinterpret_cast<REQRESIZE*>(lParam);
        b->requestedWidth = rr->rc.right - rr->rc.left;
        b->requestedHeight = rr->rc.bottom - rr->rc.top;
        return 0;
      }
      break;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (HIWORD(wParam) == BN_CLICKED && id >= kFirstButtonId &&
          id < kFirstButtonId + static_cast<int>(b->buttons.size())) {
        PressButton(*b, id - kFirstButtonId);
        return 0;
      }
      break;
    }
    case WM_SYSCOMMAND:
      // The greyed Close item alone does not stop Alt+F4 everywhere.
      if ((wParam & 0xFFF0) == SC_CLOSE && b->noClose) return 0;
      break;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      PaintBox(*b, hwnd, dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      PaintBox(*b, hwnd, reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_CLOSE:
      b->closing = true;
      if (b->prevActive) {
        EnableWindow(b->prevActive, TRUE);
        SetActiveWindow(b->prevActive);
        SetFocus(b->prevActive);
      }
      KillTimer(hwnd, kTimeoutTimer);
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      // The font and the class go once the children are gone too (after the
      // loop); the loop ends now.
      b->done = true;
      break;
    default:
      break;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void FillAndSizeText(OpenBox& b, const os::BoxRequest& r) {
  SendMessageA(b.edit, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
  SendMessageA(b.edit, WM_SETFONT, reinterpret_cast<WPARAM>(b.font), FALSE);
  SendMessageA(b.edit, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_WINDOW)));
  SetWindowTextA(b.edit, r.plainText.c_str());
  CHARFORMATA cf{};
  cf.cbSize = sizeof(cf);
  cf.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
  cf.dwEffects = CFE_BOLD;
  for (const os::BoxSpan& span : r.boldSpans) {
    CHARRANGE cr{span.start, span.end};
    SendMessageA(b.edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&cr));
    SendMessageA(b.edit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
  }
  CHARRANGE none{0, 0};
  SendMessageA(b.edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));

  HDC dc = GetDC(b.edit);
  HGDIOBJ oldFont = SelectObject(dc, b.font);
  TEXTMETRICA tm{};
  GetTextMetricsA(dc, &tm);
  const int lineHeight = kv::BoxLineHeight(tm.tmHeight, tm.tmExternalLeading, r.fontFace);
  // A tab advances to the control's next half-inch stop; count it as one stop.
  const int tabWidth = MulDiv(GetDeviceCaps(dc, LOGPIXELSX), 1, 2);
  kv::PixelSize measured =
      kv::MeasureBoxText(r.plainText, lineHeight, [&](const std::string& line) {
        std::string plain;
        int tabs = 0;
        for (char c : line) {
          if (c == '\t') ++tabs;
          else plain += c;
        }
        SIZE sz{0, 0};
        if (!plain.empty())
          GetTextExtentPoint32A(dc, plain.data(), static_cast<int>(plain.size()), &sz);
        return static_cast<int>(sz.cx) + tabs * tabWidth;
      });
  SelectObject(dc, oldFont);
  ReleaseDC(b.edit, dc);

  int width = measured.width + 10;
  SetWindowPos(b.edit, nullptr, 0, 0, width, measured.height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (!r.boldSpans.empty()) {
    width = kv::WidenForBold(measured, [&](int w) {
      SetWindowPos(b.edit, nullptr, 0, 0, w, measured.height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
      SendMessageA(b.edit, EM_REQUESTRESIZE, 0, 0);
      return kv::PixelSize{b.requestedWidth, b.requestedHeight};
    });
    SetWindowPos(b.edit, nullptr, 0, 0, width, measured.height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

kv::PixelSize WindowSizeOf(HWND w) {
  RECT rc{};
  GetWindowRect(w, &rc);
  return kv::PixelSize{rc.right - rc.left, rc.bottom - rc.top};
}

}  // namespace

namespace os {

int ShowBoxWindow(const BoxRequest& r) {
  HMODULE richEdit = TakeRichEditReference();

  OpenBox b;
  b.buttons = r.buttons;
  if (b.buttons.size() > kMaxButtons) b.buttons.resize(kMaxButtons);
  for (const BoxButton& btn : b.buttons) b.captions.push_back(btn.caption);
  b.instance = GetModuleHandleA(nullptr);
  b.prevActive = GetActiveWindow();
  if (b.prevActive) EnableWindow(b.prevActive, FALSE);
  b.result = 0;
  b.timeout = r.timeoutMs;

  b.font = CreateFontA(-kv::PointsToPixels(r.fontPoints), 0, 0, 0, FW_DONTCARE, FALSE, FALSE,
                       FALSE, static_cast<BYTE>(r.fontCharset), 0, 0, 0, 0x20,
                       r.fontFace.c_str());

  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = BoxWndProc;
  wc.hInstance = b.instance;
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kv::kMsgBoxClassName;
  RegisterClassA(&wc);  // already registered by an outer box: fine

  std::uint32_t style = r.style;
  b.noClose = (style & kv::kMbNoClose) != 0;
  b.box = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kv::kMsgBoxClassName,
                          r.caption.c_str(), WS_VISIBLE | WS_CAPTION | WS_SYSMENU, -100, -100,
                          10, 10, b.prevActive, nullptr, b.instance, &b);
  if (!b.box) {
    if (b.prevActive) EnableWindow(b.prevActive, TRUE);
    if (b.font) DeleteObject(b.font);
    UnregisterClassA(kv::kMsgBoxClassName, b.instance);
    if (richEdit) FreeLibrary(richEdit);
    return 0;
  }
  if (b.noClose) {
    style &= ~kv::kMbNoClose;
    EnableMenuItem(GetSystemMenu(b.box, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
  }

  DWORD editStyle = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_WANTRETURN;
  if (style & kv::kMbRightAlign) editStyle |= ES_RIGHT;
  DWORD editExStyle = (style & kv::kMbRtlReading) ? WS_EX_RTLREADING : 0;
  b.edit = CreateWindowExA(editExStyle, "RICHEDIT", "", editStyle, 86, 30, 100, 13, b.box,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)), b.instance,
                           nullptr);
  kv::PixelSize control{100, 13};
  if (b.edit) {
    FillAndSizeText(b, r);
    control = WindowSizeOf(b.edit);
  }

  const kv::PixelSize win =
      kv::BoxWindowSize(control, GetSystemMetrics(SM_CXSIZEFRAME),
                        GetSystemMetrics(SM_CYSIZEFRAME), GetSystemMetrics(SM_CYCAPTION));
  const kv::ScreenPoint at = kv::CenterInWorkArea(win.width, win.height);
  MoveWindow(b.box, at.x, at.y, win.width, win.height, TRUE);
  ShowWindow(b.box, SW_SHOW);
  RECT client{};
  GetClientRect(b.box, &client);
  if (b.edit) {
    const kv::PixelRect place = kv::BoxTextPlacement(client.right, client.bottom, control);
    MoveWindow(b.edit, place.x, place.y, place.width, place.height, TRUE);
    ShowWindow(b.edit, SW_SHOW);
  }

  const int iconId = kv::BoxIconId(style);
  b.icon = iconId ? LoadIconA(nullptr, MAKEINTRESOURCEA(iconId))
                  : LoadIconA(b.instance, "MainIcon");
  const std::vector<kv::PixelRect> places =
      kv::BoxButtonRects(client.right, client.bottom, static_cast<int>(b.buttons.size()));
  for (std::size_t i = 0; i < b.buttons.size(); ++i) {
    b.buttonWnd[i] = CreateWindowExA(
        0, "BUTTON", b.buttons[i].caption.c_str(),
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, places[i].x, places[i].y,
        places[i].width, places[i].height, b.box,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstButtonId + i)), b.instance, nullptr);
    SendMessageA(b.buttonWnd[i], WM_SETFONT, reinterpret_cast<WPARAM>(b.font), FALSE);
  }
  InvalidateRect(b.box, nullptr, TRUE);
  SetForegroundWindow(b.box);
  if (r.defaultButton >= 0) SetCurrentButton(b, r.defaultButton, true);

  bool quit = false;
  WPARAM quitCode = 0;
  MSG msg;
  while (!b.done) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      // A quit request ends the box as a close would, and stays for the
      // program's main loop.
      if (got == 0) {
        quit = true;
        quitCode = msg.wParam;
      }
      if (IsWindow(b.box)) SendMessageA(b.box, WM_CLOSE, 0, 0);
      break;
    }
    if (HandleBoxKey(b, msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (IsWindow(b.box)) DestroyWindow(b.box);
  if (b.font) DeleteObject(b.font);
  UnregisterClassA(kv::kMsgBoxClassName, b.instance);
  if (quit) PostQuitMessage(static_cast<int>(quitCode));
  if (richEdit) FreeLibrary(richEdit);
  return b.result;
}

}  // namespace os
