// Program entry of stub.exe: the start banners, the process-wide start-up
// state, the run-mode dispatch and the exit code.
#include "os/win32/win.h"  // before the os/ headers: see there

#include <string>

#include "autoupdate/descriptors.h"
#include "os/env.h"
#include "setup/stubsetup.h"
#include "setup/websetup.h"
#include "stub/dispatch.h"
#include "stub/stubstate.h"
#include "stub/stubwin.h"
#include "sys/kdebug.h"
#include "sys/utils.h"
#include "sys/win64.h"

namespace {

// A setup file usually runs from a Downloads folder beside files nobody
// checked. Before anything can load a DLL, let the loader look in the system
// folder only (or at least not in the current folder, where the newer call is
// missing).
void RestrictDllSearch() {
  HMODULE k = ::GetModuleHandleA("kernel32.dll");
  if (!k) return;
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryAFn = BOOL(WINAPI*)(LPCSTR);
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(::GetProcAddress(k, "SetDefaultDllDirectories")));
  if (setDefault && setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */)) return;
  auto setDllDirectory = reinterpret_cast<SetDllDirectoryAFn>(
      reinterpret_cast<void*>(::GetProcAddress(k, "SetDllDirectoryA")));
  if (setDllDirectory) setDllDirectory("");
}

// The libraries the stub uses from its start on, each by its full path in
// the system folder, so that no file of the same name beside the setup file
// is ever loaded in their place. They stay loaded. A library the system does
// not have is skipped without the system's error box.
void LoadStartupLibraries() {
  char dir[MAX_PATH + 1] = {};
  const UINT n = ::GetSystemDirectoryA(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  std::string base(dir, n);
  if (base.back() != '\\') base += '\\';
  const UINT oldMode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  for (const char* name : {"shell32.dll", "USP10.dll", "MSLS31.dll", "RICHED32.dll"})
    ::LoadLibraryA((base + name).c_str());
  ::SetErrorMode(oldMode);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictDllSearch();
  LoadStartupLibraries();
  kv::BindDebugOutput(kv::kDefaultDebugOutputMode);

  const std::string commandLine = os::GetCommandLine();
  const std::string exePath = kv::GetExePath();
  kv::WriteDebugOutputPid(" ==== STUB START ====> " + commandLine + "<");

  kv::LoadStartupState(exePath);
  kv::StubState& state = kv::stubState();
  // The update descriptors are named after the package's InfoFileName.
  kv::SetInfoFileName(state.fileInfo->InfoFileName());
  if (kv::ThisIs_X_AutoUpdate_Exe()) kv::SetDebugLogMarker(" X ");

  kv::WriteDebugLog("");
  kv::WriteDebugLog("");
  kv::WriteDebugLog("=== START === " + exePath);
  kv::WriteDebugLog("CommandLine=" + commandLine);
  kv::WriteDebugLog("Agent Version=" + kv::GetExeVersion(exePath));
  kv::WriteDebugOutputPid(std::string(" ==== ThisIs_AutoUpdateProg=") +
                          kv::BoolToText(state.ThisIs_AutoUpdateProg));

  kv::dispatchState().WinMain = &kv::WinMain;
  kv::setupRunState().RunWebBranch = &kv::WebSetupBranch;
  kv::DoRunStubWin();

  kv::ReleaseStartupState();
  kv::WriteDebugOutputPid(" ==== STUB END ====> " + commandLine + "<");
  kv::WriteDebugOutput("");
  kv::WriteDebugLog("=== EXIT === " + exePath);
  kv::WriteDebugLog("");
  kv::CloseDebugOutput();
  return static_cast<int>(state.exitCode);
}
