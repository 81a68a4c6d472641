// Test installation engine (never shipped): honours the engine contract of
// the setup stub and records what it was given.
//
// Packed as the setup's main program, together with "engine.cfg" (key=value
// lines, read from the engine's own folder):
//
//   report=PATH        where the JSON report goes (written whole, then renamed)
//   exit=N             the exit code (default 0)
//   delete_atom=yes    delete the completion atom (default yes; "no" = the
//                      installation did not complete)
//   copy_to=FOLDER     copy every file of the engine's folder there first
//   sleep_ms=N         keep running this long before exiting
//   window_ms=N        keep a window of the engine dialog class
//                      ".SDialog_Class_Name." + the /TH_ID= value this long
//   window_mode=self   the engine holds the window, then exits (default);
//              child   a second engine process holds it while the first
//                      exits at once, so the window outlives the engine
//   window_closed=PATH written (empty) right after that window is destroyed
//
// The report: {"command_line", "argv", "cwd", "folder", "files": [{"name",
// "size"}], "th_id", "atom", "atom_existed", "atom_deleted", "show_window"
// (the starter's show state, -1 when none was given), "exit_code"}. Texts
// are byte strings; bytes above 127 are written as \u00XX.
//
// Two helper modes, not used by the stub:
//   engine --hold-window CLASS MS MARKER   the child of window_mode=child
//   engine --watch CLASS MS OUT            polls for a top-level window of
//       CLASS (hidden or not) and for the stub's message box for MS
//       milliseconds and writes {"found", "visible", "caption", "status",
//       "box"} to OUT: whether the window existed, was ever visible, its
//       caption and status line while visible, and whether a box appeared.
//   engine --send CLASS MSG WPARAM LPARAM OUT   sends the message (a number,
//       or the name of a registered message) to the top-level window of
//       CLASS and writes the result (signed decimal) to OUT; exit code 1
//       when there is no such window
//   engine --post CLASS MSG WPARAM LPARAM       posts it; 1 when no window
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

const char* const kAtomPrefix = "AutoUpdateAtomTokenByKavrex";
const char* const kDialogPrefix = ".SDialog_Class_Name.";

std::string JsonText(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c > 0x7E) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string ModulePath() {
  std::vector<char> buf(32768);
  DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  return std::string(buf.data(), n);
}

std::string DirOf(const std::string& path) {
  std::string::size_type at = path.find_last_of("\\/");
  return at == std::string::npos ? std::string() : path.substr(0, at);
}

std::string Trim(const std::string& s) {
  std::string::size_type a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return {};
  return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
}

std::map<std::string, std::string> ReadConfig(const std::string& path) {
  std::map<std::string, std::string> cfg;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return cfg;
  char line[4096];
  while (std::fgets(line, sizeof line, f)) {
    std::string s = line;
    std::string::size_type eq = s.find('=');
    if (eq == std::string::npos) continue;
    cfg[Trim(s.substr(0, eq))] = Trim(s.substr(eq + 1));
  }
  std::fclose(f);
  return cfg;
}

std::string Get(const std::map<std::string, std::string>& cfg, const char* key,
                const std::string& def) {
  auto it = cfg.find(key);
  return it == cfg.end() ? def : it->second;
}

bool WriteWhole(const std::string& path, const std::string& text) {
  const std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  return MoveFileExA(tmp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

// The value of /TH_ID= on the command line, up to the next blank.
std::string ThreadTag(const std::string& commandLine) {
  std::string::size_type at = commandLine.find("/TH_ID=");
  if (at == std::string::npos) return {};
  at += 7;
  return commandLine.substr(at, commandLine.find(' ', at) - at);
}

void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(20);
  } while (GetTickCount() - start < ms);
}

// Holds a hidden top-level window of the class for ms, then destroys it and
// writes the marker.
void HoldWindow(const std::string& cls, DWORD ms, const std::string& marker) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = cls.c_str();
  RegisterClassA(&wc);
  HWND w = CreateWindowExA(0, cls.c_str(), "Engine dialog", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                           nullptr, wc.hInstance, nullptr);
  Pump(ms);
  if (w) DestroyWindow(w);
  if (!marker.empty()) WriteWhole(marker, "");
}

int Watch(const std::string& cls, DWORD ms, const std::string& out) {
  bool found = false, visible = false, box = false;
  std::string caption, status;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    HWND w = FindWindowA(cls.c_str(), nullptr);
    if (w) {
      found = true;
      if (IsWindowVisible(w)) {
        visible = true;
        char buf[512] = {};
        GetWindowTextA(w, buf, sizeof buf);
        caption = buf;
        HWND st = FindWindowExA(w, nullptr, "Static", nullptr);
        char sbuf[512] = {};
        if (st && GetWindowTextA(st, sbuf, sizeof sbuf) > 0) status = sbuf;
      }
    }
    if (FindWindowA("KMsgBox", nullptr)) box = true;
    Sleep(25);
  }
  std::string json = "{\"found\": " + std::string(found ? "true" : "false") +
                     ", \"visible\": " + (visible ? "true" : "false") +
                     ", \"caption\": " + JsonText(caption) + ", \"status\": " + JsonText(status) +
                     ", \"box\": " + (box ? "true" : "false") + "}\n";
  return WriteWhole(out, json) ? 0 : 1;
}

std::string FileList(const std::string& folder, const std::string& copyTo) {
  std::string json = "[";
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
  bool first = true;
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const unsigned long long size =
          (static_cast<unsigned long long>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
      if (!first) json += ", ";
      first = false;
      json += "{\"name\": " + JsonText(fd.cFileName) + ", \"size\": " + std::to_string(size) + "}";
      if (!copyTo.empty())
        CopyFileA((folder + "\\" + fd.cFileName).c_str(), (copyTo + "\\" + fd.cFileName).c_str(),
                  FALSE);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  return json + "]";
}

}  // namespace

// --send and --post: a message to the window of a class.
int Deliver(char** argv, bool send) {
  HWND w = FindWindowA(argv[2], nullptr);
  if (!w) return 1;
  char* end = nullptr;
  UINT msg = static_cast<UINT>(std::strtoul(argv[3], &end, 10));
  if (end == argv[3] || *end) msg = RegisterWindowMessageA(argv[3]);
  const WPARAM wp = static_cast<WPARAM>(std::strtoull(argv[4], nullptr, 10));
  const LPARAM lp = static_cast<LPARAM>(std::strtoll(argv[5], nullptr, 10));
  if (!send) return PostMessageA(w, msg, wp, lp) ? 0 : 1;
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(w, msg, wp, lp, SMTO_ABORTIFHUNG, 10000, &result)) return 1;
  // The window answers a 32-bit value.
  const long value = static_cast<long>(static_cast<int>(static_cast<unsigned>(result)));
  return WriteWhole(argv[6], std::to_string(value)) ? 0 : 1;
}

int main(int argc, char** argv) {
  if (argc >= 7 && std::strcmp(argv[1], "--send") == 0) return Deliver(argv, true);
  if (argc >= 6 && std::strcmp(argv[1], "--post") == 0) return Deliver(argv, false);
  if (argc >= 5 && std::strcmp(argv[1], "--hold-window") == 0) {
    HoldWindow(argv[2], std::strtoul(argv[3], nullptr, 10), argv[4]);
    return 0;
  }
  if (argc >= 5 && std::strcmp(argv[1], "--watch") == 0)
    return Watch(argv[2], std::strtoul(argv[3], nullptr, 10), argv[4]);

  const std::string self = ModulePath();
  const std::string folder = DirOf(self);
  const auto cfg = ReadConfig(folder + "\\engine.cfg");
  const std::string commandLine = GetCommandLineA();
  const std::string tag = ThreadTag(commandLine);
  const std::string atomName = kAtomPrefix + tag;
  const int exitCode = std::atoi(Get(cfg, "exit", "0").c_str());

  const ATOM atom = tag.empty() ? 0 : GlobalFindAtomA(atomName.c_str());
  bool deleted = false;
  if (atom && Get(cfg, "delete_atom", "yes") != "no") {
    GlobalDeleteAtom(atom);
    deleted = GlobalFindAtomA(atomName.c_str()) == 0;
  }

  STARTUPINFOA si{};
  si.cb = sizeof(si);
  GetStartupInfoA(&si);
  const int show = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : -1;

  char cwd[MAX_PATH + 1] = {};
  GetCurrentDirectoryA(MAX_PATH, cwd);

  std::string args = "[";
  for (int i = 0; i < argc; ++i) args += (i ? ", " : "") + JsonText(argv[i]);
  args += "]";

  const std::string copyTo = Get(cfg, "copy_to", "");
  if (!copyTo.empty()) CreateDirectoryA(copyTo.c_str(), nullptr);
  const std::string report =
      "{\"command_line\": " + JsonText(commandLine) + ",\n \"argv\": " + args +
      ",\n \"cwd\": " + JsonText(cwd) + ",\n \"folder\": " + JsonText(folder) +
      ",\n \"files\": " + FileList(folder, copyTo) + ",\n \"th_id\": " + JsonText(tag) +
      ",\n \"atom\": " + JsonText(atomName) + ",\n \"atom_existed\": " +
      (atom ? "true" : "false") + ",\n \"atom_deleted\": " + (deleted ? "true" : "false") +
      ",\n \"show_window\": " + std::to_string(show) +
      ",\n \"exit_code\": " + std::to_string(exitCode) + "}\n";
  const std::string reportPath = Get(cfg, "report", "");
  if (!reportPath.empty()) WriteWhole(reportPath, report);

  const DWORD sleepMs = std::strtoul(Get(cfg, "sleep_ms", "0").c_str(), nullptr, 10);
  if (sleepMs) Pump(sleepMs);

  const DWORD windowMs = std::strtoul(Get(cfg, "window_ms", "0").c_str(), nullptr, 10);
  const std::string marker = Get(cfg, "window_closed", "");
  const std::string dialogClass = kDialogPrefix + tag;
  if (windowMs && !tag.empty()) {
    if (Get(cfg, "window_mode", "self") == "child") {
      std::string line = "\"" + self + "\" --hold-window " + dialogClass + " " +
                         std::to_string(windowMs) + " \"" + marker + "\"";
      STARTUPINFOA csi{};
      csi.cb = sizeof(csi);
      PROCESS_INFORMATION pi{};
      std::vector<char> buf(line.begin(), line.end());
      buf.push_back('\0');
      if (CreateProcessA(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &csi,
                         &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        // The window must exist before this process ends, or the stub could
        // look in between and find neither.
        for (int i = 0; i < 500 && !FindWindowA(dialogClass.c_str(), nullptr); ++i) Sleep(20);
      }
    } else {
      HoldWindow(dialogClass, windowMs, marker);
    }
  }
  return exitCode;
}
