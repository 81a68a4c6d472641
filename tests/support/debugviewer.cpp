// Debug-output viewer for the end-to-end tests (never shipped).
//
//   debugviewer.exe OUTFILE STOPFILE [TIMEOUT_SECONDS]
//
// Owns a hidden top-level window of class ".KDebug." and handles the
// registered message ".K_DebugMsg." (wParam = tag, lParam = global atom):
// it reads the atom's text while handling the message, as the writer deletes
// the atom as soon as the send returns. Every chunk becomes one JSON line in
// OUTFILE, so that the test sees the chunk boundaries:
//
//   {"event":"ready","pid":123}
//   {"seq":1,"tag":1,"len":42,"hex":"3132...","text":"12 ==== ..."}
//   {"event":"stop"}            (or "timeout")
//
// "hex" holds the exact bytes; "text" is for people reading a failure. The
// viewer ends when STOPFILE exists or after the timeout (default 300 s).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

FILE* g_out = nullptr;
UINT g_debugMsg = 0;
long g_seq = 0;
std::string g_stopFile;
DWORD g_deadline = 0;

void WriteLine(const std::string& line) {
  if (!g_out) return;
  std::fwrite(line.data(), 1, line.size(), g_out);
  std::fputc('\n', g_out);
  std::fflush(g_out);
}

std::string JsonText(const char* s, size_t n) {
  std::string out;
  char esc[8];
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Hex(const char* s, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

LRESULT CALLBACK WndProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == g_debugMsg && g_debugMsg != 0) {
    char buf[256] = {};
    UINT n = GlobalGetAtomNameA(static_cast<ATOM>(lp), buf, sizeof buf);
    char head[96];
    std::snprintf(head, sizeof head, "{\"seq\":%ld,\"tag\":%lu,\"len\":%u,\"hex\":\"", ++g_seq,
                  static_cast<unsigned long>(wp), n);
    WriteLine(head + Hex(buf, n) + "\",\"text\":\"" + JsonText(buf, n) + "\"}");
    return 0;
  }
  if (m == WM_TIMER) {
    if (GetFileAttributesA(g_stopFile.c_str()) != INVALID_FILE_ATTRIBUTES) {
      WriteLine("{\"event\":\"stop\"}");
      PostQuitMessage(0);
    } else if (static_cast<LONG>(GetTickCount() - g_deadline) >= 0) {
      WriteLine("{\"event\":\"timeout\"}");
      PostQuitMessage(2);
    }
    return 0;
  }
  return DefWindowProcA(w, m, wp, lp);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 64;
  g_out = std::fopen(argv[1], "wb");
  if (!g_out) return 65;
  g_stopFile = argv[2];
  unsigned long timeout = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 300;
  g_deadline = GetTickCount() + static_cast<DWORD>(timeout * 1000);

  g_debugMsg = RegisterWindowMessageA(".K_DebugMsg.");
  WNDCLASSA wc{};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = ".KDebug.";
  if (!RegisterClassA(&wc)) return 66;
  // A real top-level window (not message-only), so that FindWindow finds it.
  HWND w = CreateWindowExA(0, ".KDebug.", "KDebug viewer", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                           nullptr, nullptr, wc.hInstance, nullptr);
  if (!w) return 67;
  SetTimer(w, 1, 100, nullptr);
  WriteLine("{\"event\":\"ready\",\"pid\":" + std::to_string(GetCurrentProcessId()) + "}");

  MSG msg;
  int code = 0;
  for (;;) {
    BOOL r = GetMessageA(&msg, nullptr, 0, 0);
    if (r == 0) {
      code = static_cast<int>(msg.wParam);
      break;
    }
    if (r == -1) {
      code = 3;
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  DestroyWindow(w);
  std::fclose(g_out);
  return code;
}
