// Window and shell helpers: class name and title of a window, the top of its
// owner chain, opening a document or address, and run-time function lookup.
// (The work-area centring and the point-to-pixel conversion live with the
// message box, their main user: ui/kmsgbox.h.)
#pragma once
#include <string>

#include "os/types.h"

namespace kv {

std::string GetWindowClassName(os::WindowHandle w);  // at most 10240 characters
std::string GetWindowTitle(os::WindowHandle w);      // at most 102400 characters
os::WindowHandle GetRootOwner(os::WindowHandle w);
bool ShellOpen(const std::string& file, const std::string& parameters, int showCommand);
void* GetProcAddressOf(const std::string& library, const std::string& function);

}  // namespace kv
