// Controls of the host (Linux) platform layer, for tests and tools. The host
// layer runs the portable logic with real POSIX files, processes and clock,
// and in-memory stand-ins for what Linux does not have.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "os/clock.h"
#include "os/registry.h"
#include "os/types.h"

namespace os::host {

// Windows paths are mapped by turning backslashes into slashes; a drive
// prefix "X:" maps to the folder set here (default: $KV_HOST_ROOT/X, or
// /tmp/kvhost/X when the variable is unset).
void SetDriveRoot(char letter, const std::string& folder);
std::string MapPath(const std::string& windowsPath);
void SetDriveType(char letter, int type);         // default: 3 (fixed) for C, 0 otherwise
void SetClusterSize(char letter, std::uint32_t bytes);  // default 4096
void SetFreeBytes(char letter, std::int64_t bytes);     // -1 = ask the real file system

void SetCommandLine(const std::string& line);     // default: /proc/self/cmdline joined
void SetModulePath(const std::string& path);      // default: /proc/self/exe
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);
void SetFolders(const std::string& temp, const std::string& windows, const std::string& system);

// A settable clock; when not set, the real one.
void SetLocalTime(const LocalTime& t);
void UseRealClock();
void SetSeparators(char date, char time);

void SetRegValue(RootKey root, const std::string& subKey, const std::string& name,
                 std::uint32_t type, const std::string& data, bool view64 = false);
void ClearRegistry();

using WindowProc = std::function<std::intptr_t(std::uint32_t msg, std::uintptr_t wParam,
                                               std::intptr_t lParam)>;
WindowHandle AddWindow(const std::string& className, WindowProc proc);
void RemoveWindow(WindowHandle w);
void SetWindowTitleAndOwner(WindowHandle w, const std::string& title, WindowHandle owner);
void ClearWindows();
void ClearAtoms();
std::size_t AtomCount();

// The calling thread's locale identifier (default 0x0409); 0 = the query fails.
void SetThreadLocale(std::uint32_t lcid);
// Drive letters whose medium was asked to eject, in order. A device "\\.\X:"
// opens when drive X has type 5 (CD-ROM).
std::string EjectedDrives();

// What ShellOpenDocument was asked to open, in order ("file parameters").
std::vector<std::string> ShellOpened();

// Brings every fake back to its start state.
void ResetAll();

}  // namespace os::host
