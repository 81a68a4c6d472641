// UI driver for end-to-end tests (never shipped): finds the stub's message
// box, reports what it shows as JSON and answers it the way a user would,
// through the box's own keyboard handler or its buttons. It also saves
// screenshots of windows as BMP files.
//
//   uidriver [--timeout MS] [--class NAME] COMMAND [ARGS] [COMMAND [ARGS] ...]
//
// Commands run in order against the box currently shown (window class
// "KMsgBox" unless --class says otherwise); the first one that needs the box
// waits for it, up to the time-out (default 20000 ms).
//
//   wait              wait until the box is shown and waiting for input
//   read [FILE]       {"caption","text","buttons","default","focus","window","textRect"}
//                     as one JSON line (UTF-8) on stdout, or into FILE
//   click CAPTION     click the button with that caption ("&" and case ignored)
//   alt CHAR          Alt+CHAR
//   key KEY           KEY: a letter A-Z, tab, enter, esc, left, right, up, down, space
//   close             the title-bar close command
//   gone              wait until the box has closed (put it between two boxes)
//   shot FILE [class=NAME|title=TEXT]
//                     24-bit BMP of the box, or of the first visible window
//                     with that class or title
//   sleep MS
//
// Keys are posted to the control that has the focus in the box's thread as
// WM_KEYDOWN/WM_KEYUP (letters, tab, enter, esc, arrows, space) and WM_SYSCHAR
// with the Alt bit (Alt+CHAR), so the box itself decides what they do.
//
// Exit codes: 0 done, 1 usage, 2 time-out (no box, or it did not close),
// 3 no button with that caption, 4 the screenshot could not be written.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

DWORD g_timeoutMs = 20000;
std::string g_boxClass = "KMsgBox";
HWND g_box = nullptr;

[[noreturn]] void Fail(int code, const std::string& why) {
  std::fprintf(stderr, "uidriver: %s\n", why.c_str());
  std::exit(code);
}

std::string ClassOf(HWND w) {
  char buf[256] = {};
  GetClassNameA(w, buf, sizeof(buf));
  return buf;
}

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string WithoutAmp(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != '&') out += c;
  return out;
}

// Text of a window in another process (WM_GETTEXT is marshalled).
std::string TextOf(HWND w) {
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutA(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &len)) return {};
  std::vector<char> buf(len + 2, 0);
  DWORD_PTR got = 0;
  SendMessageTimeoutA(w, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()),
                      SMTO_ABORTIFHUNG, 5000, &got);
  return std::string(buf.data(), std::min<std::size_t>(got, len));
}

struct BoxParts {
  std::vector<HWND> buttons;  // left to right
  HWND text = nullptr;
};

BOOL CALLBACK CollectChild(HWND w, LPARAM param) {
  auto* parts = reinterpret_cast<BoxParts*>(param);
  if (SameNoCase(ClassOf(w), "Button"))
    parts->buttons.push_back(w);
  else if (!parts->text)
    parts->text = w;
  return TRUE;
}

BoxParts PartsOf(HWND box) {
  BoxParts parts;
  EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&parts));
  std::sort(parts.buttons.begin(), parts.buttons.end(), [](HWND a, HWND b) {
    RECT ra, rb;
    GetWindowRect(a, &ra);
    GetWindowRect(b, &rb);
    return ra.left < rb.left;
  });
  return parts;
}

HWND FocusOfThread(HWND box) {
  GUITHREADINFO gti{};
  gti.cbSize = sizeof(gti);
  DWORD tid = GetWindowThreadProcessId(box, nullptr);
  if (GetGUIThreadInfo(tid, &gti) && gti.hwndFocus) return gti.hwndFocus;
  return nullptr;
}

bool IsButtonOf(HWND box, HWND w) {
  return w && GetParent(w) == box && SameNoCase(ClassOf(w), "Button");
}

// The box is ready once it is visible, its thread answers messages, and the
// focus sits on one of its buttons (a box without buttons: after a while).
HWND WaitForBox() {
  const DWORD start = GetTickCount();
  DWORD seenAt = 0;
  HWND seen = nullptr;
  for (;;) {
    HWND box = FindWindowA(g_boxClass.c_str(), nullptr);
    if (box && IsWindowVisible(box)) {
      if (box != seen) {
        seen = box;
        seenAt = GetTickCount();
      }
      DWORD_PTR res = 0;
      if (SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &res)) {
        if (IsButtonOf(box, FocusOfThread(box))) return box;
        if (PartsOf(box).buttons.empty() && GetTickCount() - seenAt > 700) return box;
      }
    }
    if (GetTickCount() - start > g_timeoutMs) Fail(2, "no message box (class " + g_boxClass + ")");
    Sleep(50);
  }
}

HWND Box() {
  if (!g_box || !IsWindow(g_box)) g_box = WaitForBox();
  return g_box;
}

std::string AnsiToUtf8(const std::string& s) {
  if (s.empty()) return s;
  int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  int m = WideCharToMultiByte(CP_UTF8, 0, w.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(m, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), n, &out[0], m, nullptr, nullptr);
  return out;
}

std::string Json(const std::string& ansi) {
  std::string s = AnsiToUtf8(ansi);
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof(buf), "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string RectJson(HWND w, bool client) {
  RECT r{};
  if (client) {
    GetWindowRect(w, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
  } else {
    GetWindowRect(w, &r);
  }
  char buf[128];
  std::snprintf(buf, sizeof(buf), "{\"x\":%ld,\"y\":%ld,\"width\":%ld,\"height\":%ld}", r.left,
                r.top, r.right - r.left, r.bottom - r.top);
  return buf;
}

// Gives the box time to take what was posted, so that the next key goes to
// the control that has the focus by then. A message sent to the box is only
// handled when its loop asks for the next message; a few round trips with
// pauses let the posted keys through first.
void Settle(HWND box) {
  for (int i = 0; i < 3 && IsWindow(box); ++i) {
    Sleep(40);
    DWORD_PTR res = 0;
    SendMessageTimeoutA(box, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &res);
  }
}

void Read(const char* file) {
  HWND box = Box();
  BoxParts parts = PartsOf(box);
  HWND focus = FocusOfThread(box);
  int defIndex = -1, focusIndex = -1;
  std::string buttons = "[";
  for (std::size_t i = 0; i < parts.buttons.size(); ++i) {
    if (i) buttons += ",";
    buttons += Json(TextOf(parts.buttons[i]));
    LONG style = GetWindowLongA(parts.buttons[i], GWL_STYLE);
    if ((style & 0x0F) == BS_DEFPUSHBUTTON) defIndex = static_cast<int>(i);
    if (parts.buttons[i] == focus) focusIndex = static_cast<int>(i);
  }
  buttons += "]";
  std::string json = "{\"caption\":" + Json(TextOf(box)) +
                     ",\"text\":" + Json(parts.text ? TextOf(parts.text) : std::string()) +
                     ",\"buttons\":" + buttons + ",\"default\":" + std::to_string(defIndex) +
                     ",\"focus\":" + std::to_string(focusIndex) +
                     ",\"window\":" + RectJson(box, false) +
                     ",\"textRect\":" + (parts.text ? RectJson(parts.text, true) : "null") + "}\n";
  if (file) {
    FILE* f = std::fopen(file, "wb");
    if (!f) Fail(4, std::string("cannot write ") + file);
    std::fputs(json.c_str(), f);
    std::fclose(f);
  } else {
    std::fputs(json.c_str(), stdout);
    std::fflush(stdout);
  }
}

void Click(const std::string& caption) {
  HWND box = Box();
  for (HWND b : PartsOf(box).buttons)
    if (SameNoCase(WithoutAmp(TextOf(b)), WithoutAmp(caption))) {
      PostMessageA(b, BM_CLICK, 0, 0);
      Settle(box);
      return;
    }
  Fail(3, "no button \"" + caption + "\"");
}

HWND KeyTarget() {
  HWND box = Box();
  HWND focus = FocusOfThread(box);
  return focus ? focus : box;
}

LPARAM KeyParam(UINT vk, bool up, bool alt) {
  UINT scan = MapVirtualKeyA(vk, 0 /* MAPVK_VK_TO_VSC */);
  LPARAM lp = 1 | (static_cast<LPARAM>(scan & 0xFF) << 16);
  if (alt) lp |= 1L << 29;
  if (up) lp |= (1L << 30) | (1L << 31);
  return lp;
}

void PostKey(UINT vk) {
  HWND t = KeyTarget();
  PostMessageA(t, WM_KEYDOWN, vk, KeyParam(vk, false, false));
  PostMessageA(t, WM_KEYUP, vk, KeyParam(vk, true, false));
  Settle(g_box);
}

void Key(const std::string& name) {
  struct Named {
    const char* name;
    UINT vk;
  };
  static const Named named[] = {{"tab", VK_TAB},     {"enter", VK_RETURN}, {"return", VK_RETURN},
                                {"esc", VK_ESCAPE},  {"escape", VK_ESCAPE}, {"left", VK_LEFT},
                                {"right", VK_RIGHT}, {"up", VK_UP},        {"down", VK_DOWN},
                                {"space", VK_SPACE}};
  for (const Named& n : named)
    if (SameNoCase(name, n.name)) return PostKey(n.vk);
  if (name.size() == 1 && std::isalpha(static_cast<unsigned char>(name[0])))
    return PostKey(static_cast<UINT>(std::toupper(static_cast<unsigned char>(name[0]))));
  Fail(1, "unknown key \"" + name + "\"");
}

void Alt(const std::string& ch) {
  if (ch.size() != 1) Fail(1, "alt takes one character");
  UINT vk = static_cast<UINT>(std::toupper(static_cast<unsigned char>(ch[0])));
  PostMessageA(KeyTarget(), WM_SYSCHAR, static_cast<unsigned char>(ch[0]),
               KeyParam(vk, false, true));
  Settle(g_box);
}

void Close() {
  HWND box = Box();
  PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
  Settle(box);
}

void Gone() {
  HWND box = Box();
  const DWORD start = GetTickCount();
  while (IsWindow(box)) {
    if (GetTickCount() - start > g_timeoutMs) Fail(2, "the message box did not close");
    Sleep(50);
  }
  g_box = nullptr;
}

struct TitleSearch {
  std::string title;
  HWND found = nullptr;
};

BOOL CALLBACK FindByTitle(HWND w, LPARAM param) {
  auto* s = reinterpret_cast<TitleSearch*>(param);
  if (!IsWindowVisible(w)) return TRUE;
  char buf[1024] = {};
  GetWindowTextA(w, buf, sizeof(buf));
  if (s->title == buf) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForWindow(const std::string& selector) {
  const DWORD start = GetTickCount();
  for (;;) {
    HWND w = nullptr;
    if (selector.rfind("class=", 0) == 0) {
      w = FindWindowA(selector.substr(6).c_str(), nullptr);
      if (w && !IsWindowVisible(w)) w = nullptr;
    } else if (selector.rfind("title=", 0) == 0) {
      TitleSearch s{selector.substr(6)};
      EnumWindows(FindByTitle, reinterpret_cast<LPARAM>(&s));
      w = s.found;
    } else {
      Fail(1, "shot: window must be class=NAME or title=TEXT");
    }
    if (w) return w;
    if (GetTickCount() - start > g_timeoutMs) Fail(2, "no visible window " + selector);
    Sleep(50);
  }
}

bool WriteBmp(const char* file, HDC dc, HBITMAP bmp, int width, int height) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = height;  // bottom-up, as the file stores it
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
  std::vector<unsigned char> pixels(static_cast<std::size_t>(stride) * height);
  if (!GetDIBits(dc, bmp, 0, height, pixels.data(), &bi, DIB_RGB_COLORS)) return false;
  BITMAPFILEHEADER fh{};
  fh.bfType = 0x4D42;  // "BM"
  fh.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  fh.bfSize = fh.bfOffBits + static_cast<DWORD>(pixels.size());
  bi.bmiHeader.biSizeImage = static_cast<DWORD>(pixels.size());
  FILE* f = std::fopen(file, "wb");
  if (!f) return false;
  bool ok = std::fwrite(&fh, sizeof(fh), 1, f) == 1 &&
            std::fwrite(&bi.bmiHeader, sizeof(BITMAPINFOHEADER), 1, f) == 1 &&
            std::fwrite(pixels.data(), 1, pixels.size(), f) == pixels.size();
  return std::fclose(f) == 0 && ok;
}

void Shot(const char* file, HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  if (width <= 0 || height <= 0) Fail(4, "the window has no size");
  // Let the window finish painting before the picture is taken.
  DWORD_PTR res = 0;
  SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &res);
  Sleep(200);
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(mem, bmp);
  // The screen shows the window with its children as the user sees it; a
  // window that is covered is asked to print itself instead.
  bool ok = BitBlt(mem, 0, 0, width, height, screen, r.left, r.top, SRCCOPY) != 0;
  if (!ok) ok = PrintWindow(w, mem, 0) != 0;
  SelectObject(mem, old);
  if (ok) ok = WriteBmp(file, mem, bmp, width, height);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  if (!ok) Fail(4, std::string("cannot write the screenshot ") + file);
}

void Usage() {
  Fail(1,
       "usage: uidriver [--timeout MS] [--class NAME] COMMAND [ARGS] ...\n"
       "  wait | read [FILE] | click CAPTION | alt CHAR | key KEY | close | gone |\n"
       "  shot FILE [class=NAME|title=TEXT] | sleep MS");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::size_t i = 0;
  auto next = [&]() -> const char* {
    if (i >= args.size()) Usage();
    return args[i++].c_str();
  };
  auto isCommand = [](const std::string& s) {
    static const char* commands[] = {"wait", "read", "click", "alt",  "key",
                                     "close", "gone", "shot", "sleep"};
    for (const char* c : commands)
      if (s == c) return true;
    return false;
  };
  if (args.empty()) Usage();
  while (i < args.size()) {
    const std::string cmd = args[i++];
    if (cmd == "--timeout") {
      g_timeoutMs = static_cast<DWORD>(std::strtoul(next(), nullptr, 10));
    } else if (cmd == "--class") {
      g_boxClass = next();
    } else if (cmd == "wait") {
      Box();
    } else if (cmd == "read") {
      const char* file = (i < args.size() && !isCommand(args[i])) ? next() : nullptr;
      Read(file);
    } else if (cmd == "click") {
      Click(next());
    } else if (cmd == "alt") {
      Alt(next());
    } else if (cmd == "key") {
      Key(next());
    } else if (cmd == "close") {
      Close();
    } else if (cmd == "gone") {
      Gone();
    } else if (cmd == "shot") {
      const char* file = next();
      if (i < args.size() && (args[i].rfind("class=", 0) == 0 || args[i].rfind("title=", 0) == 0))
        Shot(file, WaitForWindow(next()));
      else
        Shot(file, Box());
    } else if (cmd == "sleep") {
      Sleep(static_cast<DWORD>(std::strtoul(next(), nullptr, 10)));
    } else {
      Usage();
    }
  }
  return 0;
}
