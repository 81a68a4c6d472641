// Host windows and atoms: in-memory stand-ins. A fake window is a class name
// and a function that answers the messages sent to it.
#include "os/window.h"

#include "os/host/host_state.h"

namespace os {

namespace host {
WindowHandle AddWindow(const std::string& className, WindowProc proc) {
  WindowHandle w = state().nextWindow++;
  state().windows[w] = WindowRec{className, std::move(proc)};
  return w;
}
void RemoveWindow(WindowHandle w) { state().windows.erase(w); }
void SetWindowTitleAndOwner(WindowHandle w, const std::string& title, WindowHandle owner) {
  auto it = state().windows.find(w);
  if (it == state().windows.end()) return;
  it->second.title = title;
  it->second.owner = owner;
}
void ClearWindows() { state().windows.clear(); }
void ClearAtoms() { state().atoms.clear(); }
std::size_t AtomCount() { return state().atoms.size(); }
}  // namespace host

WindowHandle FindTopWindow(const std::string& className) {
  for (auto& [w, rec] : host::state().windows)
    if (host::Upper(rec.className) == host::Upper(className)) return w;
  return 0;
}

std::uint32_t RegisterMessage(const std::string& name) {
  auto& m = host::state().messages;
  auto key = host::Upper(name);
  auto it = m.find(key);
  if (it != m.end()) return it->second;
  std::uint32_t id = 0xC000 + static_cast<std::uint32_t>(m.size());
  m[key] = id;
  return id;
}

std::intptr_t SendMessageTo(WindowHandle w, std::uint32_t msg, std::uintptr_t wParam,
                            std::intptr_t lParam) {
  auto it = host::state().windows.find(w);
  if (it == host::state().windows.end() || !it->second.proc) return 0;
  host::WindowProc proc = it->second.proc;  // the handler may remove the window
  return proc(msg, wParam, lParam);
}

bool PostMessageTo(WindowHandle w, std::uint32_t msg, std::uintptr_t wParam, std::intptr_t lParam) {
  if (!host::state().windows.count(w)) return false;
  SendMessageTo(w, msg, wParam, lParam);
  return true;
}

std::string WindowClassName(WindowHandle w) {
  auto it = host::state().windows.find(w);
  return it == host::state().windows.end() ? std::string() : it->second.className;
}

std::string WindowTitle(WindowHandle w, std::size_t maxChars) {
  auto it = host::state().windows.find(w);
  if (it == host::state().windows.end()) return std::string();
  return it->second.title.substr(0, maxChars);
}

WindowHandle WindowOwner(WindowHandle w) {
  auto it = host::state().windows.find(w);
  return it == host::state().windows.end() ? 0 : it->second.owner;
}

Atom AddGlobalAtom(const std::string& text) {
  if (text.empty() || text.size() > 255) return 0;
  auto& atoms = host::state().atoms;
  for (auto& [a, rec] : atoms)
    if (host::Upper(rec.first) == host::Upper(text)) {
      ++rec.second;
      return a;
    }
  Atom a = 0xC000;
  while (atoms.count(a)) ++a;
  atoms[a] = {text, 1};
  return a;
}

Atom FindGlobalAtom(const std::string& text) {
  for (auto& [a, rec] : host::state().atoms)
    if (host::Upper(rec.first) == host::Upper(text)) return a;
  return 0;
}

bool DeleteGlobalAtom(Atom a) {
  auto& atoms = host::state().atoms;
  auto it = atoms.find(a);
  if (it == atoms.end()) return false;
  if (--it->second.second <= 0) atoms.erase(it);
  return true;
}

std::string GlobalAtomName(Atom a) {
  auto it = host::state().atoms.find(a);
  return it == host::state().atoms.end() ? std::string() : it->second.first;
}

}  // namespace os
