// Checks of the Win32 platform layer against the real system (never shipped).
//
//   oscheck.exe WORKDIR
//
// Runs every os/ operation of the file, environment, clock, INI, registry
// and window interfaces in WORKDIR (a Windows path) and prints one line per
// check: "ok NAME" or "FAIL NAME: detail". The exit code is the number of
// failed checks. A console program, so that its lines reach stdout under Wine.
#include "os/win32/win.h"  // before the os/ headers: see there

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "os/clock.h"
#include "os/env.h"
#include "os/file.h"
#include "os/ini.h"
#include "os/registry.h"
#include "os/system.h"
#include "os/window.h"

namespace {

int g_failures = 0;

void Check(const char* name, bool ok, const std::string& detail = std::string()) {
  if (ok) {
    std::printf("ok %s\n", name);
  } else {
    ++g_failures;
    std::printf("FAIL %s: %s\n", name, detail.c_str());
  }
  std::fflush(stdout);
}

std::string Q(const std::string& s) { return "\"" + s + "\""; }

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string ReadWhole(const std::string& path) {
  os::File f;
  if (!f.open(path, os::OpenMode::Read)) return "<cannot open>";
  std::string data(static_cast<std::size_t>(f.size() > 0 ? f.size() : 0), '\0');
  data.resize(f.read(&data[0], data.size()));
  return data;
}

void Files(const std::string& dir) {
  const std::string a = dir + "\\a.txt";
  os::File f;
  Check("file.create", f.open(a, os::OpenMode::Create));
  Check("file.write", f.write("hello world", 11) == 11);
  Check("file.size", f.size() == 11, std::to_string(f.size()));
  f.close();
  Check("file.closed", !f.isOpen());

  Check("file.read_missing_fails", !f.open(dir + "\\missing.txt", os::OpenMode::Read));
  Check("file.open_folder_fails", !f.open(dir, os::OpenMode::Read));

  Check("file.append_opens", f.open(a, os::OpenMode::Append));
  Check("file.append_at_end", f.tell() == 11, std::to_string(f.tell()));
  f.write("!", 1);
  f.close();
  Check("file.append_kept_content", ReadWhole(a) == "hello world!", Q(ReadWhole(a)));

  // Append shares the file for writing: a second writer may hold it open.
  os::File other;
  Check("file.append_shared", other.open(a, os::OpenMode::Append) && f.open(a, os::OpenMode::Append));
  other.close();
  f.close();

  Check("file.readwrite", f.open(a, os::OpenMode::ReadWrite));
  Check("file.seek", f.seek(6) && f.tell() == 6);
  char buf[16] = {};
  Check("file.read", f.read(buf, 5) == 5 && std::string(buf, 5) == "world", buf);
  Check("file.read_at_end", f.seek(12) && f.read(buf, 4) == 0);
  Check("file.seek_negative_fails", !f.seek(-1));
  Check("file.seek_end", f.seekEnd() && f.tell() == 12);
  // 2021-06-15 10:20:30 local time, packed the DOS way.
  const std::uint32_t packed = ((2021u - 1980) << 25) | (6u << 21) | (15u << 16) | (10u << 11) |
                               (20u << 5) | (30u / 2);
  Check("file.set_dos_date_time", f.setDosDateTime(packed));
  f.close();
  std::uint32_t back = 0;
  Check("file.dos_date_time_round_trip", os::GetFileDosDateTime(a, back) && back == packed,
        std::to_string(back));
  Check("file.set_dos_date_time_by_path", os::SetDosDateTime(a, packed + 1) &&
                                              os::GetFileDosDateTime(a, back) && back == packed + 1);
  {
    os::File g;
    Check("file.set_mod_time", g.open(a, os::OpenMode::ReadWrite) && g.setModTime(1600000000));
  }
  Check("file.get_mod_time", os::GetModTime(a) == 1600000000, std::to_string(os::GetModTime(a)));
  Check("file.mod_time_missing", os::GetModTime(dir + "\\missing.txt") == -1);

  Check("file.exists", os::FileExists(a) && !os::FileExists(dir) && !os::FileExists(""));
  Check("dir.exists", os::DirExists(dir) && !os::DirExists(a) && !os::DirExists(""));

  const std::string sub = dir + "\\sub folder";
  Check("dir.create", os::CreateDir(sub) && os::DirExists(sub));
  Check("dir.create_existing_fails", !os::CreateDir(sub));
  Check("file.copy", os::CopyFile(a, sub + "\\b.txt", true) && ReadWhole(sub + "\\b.txt") == "hello world!");
  Check("file.copy_fail_if_exists", !os::CopyFile(a, sub + "\\b.txt", true));
  Check("file.copy_overwrite", os::CopyFile(a, sub + "\\b.txt", false));
  Check("file.move", os::MoveFile(sub + "\\b.txt", sub + "\\c.log") && !os::FileExists(sub + "\\b.txt") &&
                         os::FileExists(sub + "\\c.log"));
  Check("file.move_onto_existing_fails", !os::MoveFile(a, sub + "\\c.log"));
  Check("dir.remove_nonempty_fails", !os::RemoveDir(sub));

  std::vector<os::DirEntry> all = os::ListDir(dir + "\\*");
  bool sawA = false, sawSub = false;
  for (const os::DirEntry& e : all) {
    if (e.name == "a.txt") sawA = !e.isDir && e.size == 12;
    if (e.name == "sub folder") sawSub = e.isDir;
  }
  Check("dir.list", sawA && sawSub, std::to_string(all.size()) + " entries");
  std::vector<os::DirEntry> logs = os::ListDir(sub + "\\*.log");
  Check("dir.list_pattern", logs.size() == 1 && logs[0].name == "c.log");
  Check("dir.list_missing", os::ListDir(dir + "\\nope\\*").empty());

  Check("file.set_attributes_normal", os::SetAttributesNormal(sub + "\\c.log"));
  Check("file.delete", os::DeleteFile(sub + "\\c.log") && !os::FileExists(sub + "\\c.log"));
  Check("file.delete_missing_fails", !os::DeleteFile(sub + "\\c.log"));
  Check("dir.remove", os::RemoveDir(sub) && !os::DirExists(sub));

  Check("path.current_dir", os::SetCurrentDir(dir) && os::GetCurrentDir() == dir,
        os::GetCurrentDir());
  Check("path.full_path", os::GetFullPath("x.txt") == dir + "\\x.txt", os::GetFullPath("x.txt"));
  Check("path.full_path_empty", os::GetFullPath("").empty());
  std::string shortPath = os::GetShortPath(a);
  Check("path.short_path", !shortPath.empty() && os::FileExists(shortPath), shortPath);
  Check("path.short_path_missing", os::GetShortPath(dir + "\\missing.txt").empty());

  Check("drive.type_fixed", os::GetDriveType("C:\\") == 3, std::to_string(os::GetDriveType("C:\\")));
  Check("drive.type_no_root", os::GetDriveType("Q:\\") == 1, std::to_string(os::GetDriveType("Q:\\")));
  Check("drive.cluster_size", os::GetClusterSize("C:\\") >= 512,
        std::to_string(os::GetClusterSize("C:\\")));
  std::uint64_t freeEx = 0, freeLegacy = 0;
  Check("drive.has_free_bytes_ex", os::HasFreeBytesEx());
  Check("drive.free_bytes_ex", os::GetFreeBytesEx(dir, freeEx) && freeEx > 0);
  Check("drive.free_bytes_legacy", os::GetFreeBytesLegacy("C:\\", freeLegacy) && freeLegacy > 0);
}

void Environment(const std::string& dir) {
  std::string exe = os::GetModulePath();
  Check("env.module_path", EndsWith(exe, "\\oscheck.exe") && os::FileExists(exe), exe);
  Check("env.command_line", os::GetCommandLine().find("oscheck") != std::string::npos,
        os::GetCommandLine());
  ::SetEnvironmentVariableA("KV_OSCHECK", "value 1");
  ::SetEnvironmentVariableA("KV_OSCHECK_EMPTY", "");
  ::SetEnvironmentVariableA("KV_OSCHECK_UNSET", nullptr);
  std::string v;
  Check("env.get", os::GetEnv("KV_OSCHECK", v) && v == "value 1", v);
  v = "x";
  Check("env.get_empty", os::GetEnv("KV_OSCHECK_EMPTY", v) && v.empty(), v);
  Check("env.get_unset", !os::GetEnv("KV_OSCHECK_UNSET", v));
  std::string big(5000, 'v');
  ::SetEnvironmentVariableA("KV_OSCHECK_BIG", big.c_str());
  // Longer than the first buffer guess: the text still comes back whole.
  Check("env.get_long", os::GetEnv("KV_OSCHECK_BIG", v) && v == big, std::to_string(v.size()));

  std::string temp = os::GetTempPath();
  Check("env.temp_path", EndsWith(temp, "\\") && os::DirExists(temp), temp);
  Check("env.windows_dir", os::DirExists(os::GetWindowsDir()), os::GetWindowsDir());
  Check("env.system_dir", os::DirExists(os::GetSystemDir()), os::GetSystemDir());
  Check("env.user_name", !os::GetUserName().empty());
  Check("env.computer_name", !os::GetComputerName().empty());
  std::printf("   user %s, computer %s, domain %s\n", os::GetUserName().c_str(),
              os::GetComputerName().c_str(), os::GetUserDomain(os::GetUserName()).c_str());
  Check("env.process_id", os::CurrentProcessId() == ::GetCurrentProcessId());
  Check("env.thread_id", os::CurrentThreadId() == ::GetCurrentThreadId());
  os::SetLastError(1234);
  Check("env.last_error", os::LastError() == 1234);
  std::string text;
  Check("env.system_error_text", os::SystemErrorText(2, text) && !text.empty() &&
                                     static_cast<unsigned char>(text.back()) > 32,
        Q(text));
  Check("env.dbcs_ascii", !os::IsDBCSLeadByte('A'));
  (void)dir;
}

void Clock() {
  os::LocalTime t = os::GetLocalTime();
  Check("clock.local_time", t.year >= 2020 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
                                t.dayOfWeek >= 0 && t.dayOfWeek <= 6,
        std::to_string(t.year));
  std::uint32_t t0 = os::TickCount();
  std::int64_t c0 = os::PerformanceCounter();
  os::SleepMs(100);
  // The tick count may advance in steps of 10 to 16 ms.
  Check("clock.tick_count", os::TickCount() - t0 >= 50, std::to_string(os::TickCount() - t0));
  std::int64_t freq = os::PerformanceFrequency();
  Check("clock.performance_counter", freq > 0 && os::PerformanceCounter() - c0 >= freq / 50);
  Check("clock.separators", os::LocaleDateSeparator() != 0 && os::LocaleTimeSeparator() != 0);
}

void Ini(const std::string& dir) {
  const std::string ini = dir + "\\check.ini";
  Check("ini.write", os::WriteProfileString(ini, "Main", "Key", "value one"));
  Check("ini.write_other", os::WriteProfileString(ini, "Main", "Empty", ""));
  std::string out;
  Check("ini.read", os::GetProfileString(ini, "MAIN", "key", "d", 10241, out) == 9 &&
                        out == "value one",
        out);
  Check("ini.read_missing_default", os::GetProfileString(ini, "Main", "None", "dflt", 10241, out) == 4 &&
                                        out == "dflt",
        out);
  Check("ini.read_empty_value", os::GetProfileString(ini, "Main", "Empty", "dflt", 10241, out) == 0 &&
                                    out.empty(),
        out);
  Check("ini.read_cut_to_buffer", os::GetProfileString(ini, "Main", "Key", "", 6, out) == 5 &&
                                      out == "value",
        out);
  Check("ini.read_missing_file",
        os::GetProfileString(dir + "\\none.ini", "A", "B", "z", 10241, out) == 1 && out == "z");
}

void Registry() {
  const char* sub = "Software\\KvOsCheck";
  HKEY k = nullptr;
  ::RegCreateKeyExA(HKEY_CURRENT_USER, sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
  DWORD dw = 0xFFFFFFFF;
  ::RegSetValueExA(k, "Dword", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dw), sizeof dw);
  ::RegSetValueExA(k, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 4);
  ::RegSetValueExA(k, "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>("a\0b\0"), 5);
  std::vector<BYTE> big(20000, 7);
  ::RegSetValueExA(k, "Big", 0, REG_BINARY, big.data(), static_cast<DWORD>(big.size()));
  ::RegCloseKey(k);

  std::uint32_t type = 0;
  std::string data;
  Check("reg.dword", os::QueryRegValue(os::RootKey::CurrentUser, sub, "dword", false, 10241, type,
                                       data) == os::RegStatus::Ok &&
                         type == os::kRegDword && data == std::string(4, '\xFF'));
  Check("reg.text", os::QueryRegValue(os::RootKey::CurrentUser, sub, "Text", false, 10241, type,
                                      data) == os::RegStatus::Ok &&
                        type == os::kRegSz && data == std::string("abc\0", 4));
  Check("reg.multi", os::QueryRegValue(os::RootKey::CurrentUser, sub, "Multi", false, 10241, type,
                                       data) == os::RegStatus::Ok &&
                         type == os::kRegMultiSz && data == std::string("a\0b\0", 5));
  Check("reg.too_large", os::QueryRegValue(os::RootKey::CurrentUser, sub, "Big", false, 10241, type,
                                           data) == os::RegStatus::TooLarge);
  Check("reg.missing_value", os::QueryRegValue(os::RootKey::CurrentUser, sub, "None", false, 10241,
                                               type, data) == os::RegStatus::NotFound);
  Check("reg.missing_key", os::QueryRegValue(os::RootKey::CurrentUser, "Software\\KvNoSuchKey", "x",
                                             false, 10241, type, data) ==
                               os::RegStatus::CannotOpen);
  Check("reg.view64", os::QueryRegValue(os::RootKey::LocalMachine,
                                        "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                                        "CurrentVersion", true, 10241, type, data) ==
                          os::RegStatus::Ok);
  ::RegDeleteKeyA(HKEY_CURRENT_USER, sub);
}

LRESULT CALLBACK CheckWndProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER + 5) return static_cast<LRESULT>(wp) + lp;
  return ::DefWindowProcA(w, m, wp, lp);
}

void Windows() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = CheckWndProc;
  wc.hInstance = ::GetModuleHandleA(nullptr);
  wc.lpszClassName = "KvOsCheckWindow";
  ::RegisterClassA(&wc);
  HWND hwnd = ::CreateWindowExA(0, wc.lpszClassName, "check", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                nullptr, nullptr, wc.hInstance, nullptr);
  os::WindowHandle w = reinterpret_cast<os::WindowHandle>(hwnd);
  Check("win.find_top_window", hwnd && os::FindTopWindow("kvoscheckwindow") == w);
  Check("win.find_missing", os::FindTopWindow("KvNoSuchWindowClass") == 0);
  Check("win.class_name", os::WindowClassName(w) == "KvOsCheckWindow" && os::WindowClassName(0).empty());
  std::uint32_t m1 = os::RegisterMessage(".K_DebugMsg.");
  Check("win.register_message", m1 >= 0xC000 && os::RegisterMessage(".K_DebugMsg.") == m1);
  Check("win.send_message", os::SendMessageTo(w, WM_USER + 5, 7, 9) == 16);
  Check("win.post_message", os::PostMessageTo(w, WM_USER + 6, 1, 2));
  MSG msg{};
  Check("win.posted_arrives", ::PeekMessageA(&msg, hwnd, WM_USER + 6, WM_USER + 6, PM_REMOVE) &&
                                  msg.wParam == 1 && msg.lParam == 2);
  ::DestroyWindow(hwnd);

  os::Atom a = os::AddGlobalAtom("KvOsCheck atom text");
  Check("atom.add", a != 0);
  Check("atom.name", os::GlobalAtomName(a) == "KvOsCheck atom text", os::GlobalAtomName(a));
  Check("atom.find", os::FindGlobalAtom("kvoscheck ATOM text") == a);
  Check("atom.delete", os::DeleteGlobalAtom(a) && os::FindGlobalAtom("KvOsCheck atom text") == 0);
  Check("atom.too_long", os::AddGlobalAtom(std::string(300, 'a')) == 0);
  Check("atom.empty", os::AddGlobalAtom("") == 0);
  std::string chunk(128, 'c');
  os::Atom c = os::AddGlobalAtom(chunk);
  Check("atom.chunk_size", c != 0 && os::GlobalAtomName(c) == chunk);
  os::DeleteGlobalAtom(c);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::printf("usage: oscheck WORKDIR\n");
    return 100;
  }
  std::string dir = argv[1];
  Files(dir);
  Environment(dir);
  Clock();
  Ini(dir);
  Registry();
  Windows();
  std::printf("%d failed\n", g_failures);
  return g_failures;
}
