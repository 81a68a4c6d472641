#include "os/shell.h"

#include "os/win32/win.h"

#include <shellapi.h>

namespace os {

bool ShellOpenDocument(const std::string& file, const std::string& parameters, int showCommand) {
  HINSTANCE r = ::ShellExecuteA(::GetDesktopWindow(), nullptr, file.c_str(),
                                parameters.empty() ? nullptr : parameters.c_str(), nullptr,
                                showCommand);
  return reinterpret_cast<INT_PTR>(r) > 32;
}

void* LibraryFunction(const std::string& library, const std::string& function) {
  // A library already in the process is taken as it is; others are loaded
  // through the search order restricted at start-up.
  HMODULE m = ::GetModuleHandleA(library.c_str());
  if (!m) m = ::LoadLibraryA(library.c_str());
  if (reinterpret_cast<UINT_PTR>(m) <= 32) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(m, function.c_str()));
}

}  // namespace os
