#include "sys/winutils.h"

#include "os/shell.h"
#include "os/window.h"

namespace kv {

std::string GetWindowClassName(os::WindowHandle w) {
  std::string name = os::WindowClassName(w);
  if (name.size() > 10240) name.resize(10240);
  return name;
}

std::string GetWindowTitle(os::WindowHandle w) { return os::WindowTitle(w, 102400); }

os::WindowHandle GetRootOwner(os::WindowHandle w) {
  // Owner chains are short; the bound only guards against a chain that
  // changes under us while it is followed.
  for (int i = 0; w && i < 1000; ++i) {
    os::WindowHandle owner = os::WindowOwner(w);
    if (!owner || owner == w) break;
    w = owner;
  }
  return w;
}

bool ShellOpen(const std::string& file, const std::string& parameters, int showCommand) {
  return os::ShellOpenDocument(file, parameters, showCommand);
}

void* GetProcAddressOf(const std::string& library, const std::string& function) {
  return os::LibraryFunction(library, function);
}

}  // namespace kv
