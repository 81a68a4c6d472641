// Host shell: documents are not opened (the request is recorded); functions
// are looked up with dlopen/dlsym for libraries the host has.
#include "os/shell.h"

#include <dlfcn.h>

#include "os/host/host_state.h"

namespace os {

namespace host {
std::vector<std::string> ShellOpened() { return state().shellOpened; }
}  // namespace host

bool ShellOpenDocument(const std::string& file, const std::string& parameters, int) {
  host::state().shellOpened.push_back(file + (parameters.empty() ? "" : " " + parameters));
  return !file.empty();
}

void* LibraryFunction(const std::string& library, const std::string& function) {
  void* lib = ::dlopen(library.empty() ? nullptr : library.c_str(), RTLD_NOW);
  if (!lib) return nullptr;
  return ::dlsym(lib, function.c_str());
}

}  // namespace os
