// Program entry of stub.exe.
#include "os/win32/win.h"  // before the os/ headers: see there

#include <string>

#include "os/env.h"
#include "stub/stubstate.h"
#include "sys/kdebug.h"
#include "sys/utils.h"

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

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RestrictDllSearch();
  kv::BindDebugOutput(kv::kDefaultDebugOutputMode);

  const std::string commandLine = os::GetCommandLine();
  kv::WriteDebugOutputPid(" ==== STUB START ====> " + commandLine + "<");

  kv::LoadStartupState(kv::GetExePath());
  kv::StubState& state = kv::stubState();
  kv::WriteDebugOutputPid(std::string(" ==== ThisIs_AutoUpdateProg=") +
                          kv::BoolToText(state.ThisIs_AutoUpdateProg));

  kv::ReleaseStartupState();

  kv::WriteDebugOutputPid(" ==== STUB END ====> " + commandLine + "<");
  kv::WriteDebugOutput("");
  kv::CloseDebugOutput();
  return static_cast<int>(state.exitCode);
}
