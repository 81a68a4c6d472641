// Finding windows by class, registered and posted messages, global atoms.
#include "os/window.h"

#include <algorithm>

#include "os/win32/win.h"

namespace os {
namespace {
HWND H(WindowHandle w) { return reinterpret_cast<HWND>(w); }
}  // namespace

WindowHandle FindTopWindow(const std::string& className) {
  if (className.empty()) return 0;
  return reinterpret_cast<WindowHandle>(::FindWindowA(className.c_str(), nullptr));
}

std::uint32_t RegisterMessage(const std::string& name) {
  return ::RegisterWindowMessageA(name.c_str());
}

std::intptr_t SendMessageTo(WindowHandle w, std::uint32_t msg, std::uintptr_t wParam,
                            std::intptr_t lParam) {
  if (!w) return 0;
  return ::SendMessageA(H(w), msg, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}

bool PostMessageTo(WindowHandle w, std::uint32_t msg, std::uintptr_t wParam,
                   std::intptr_t lParam) {
  if (!w) return false;
  return ::PostMessageA(H(w), msg, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam)) !=
         FALSE;
}

std::string WindowClassName(WindowHandle w) {
  if (!w) return std::string();
  char buf[257] = {};  // class names are at most 256 characters
  int n = ::GetClassNameA(H(w), buf, sizeof buf);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

std::string WindowTitle(WindowHandle w, std::size_t maxChars) {
  if (!w || maxChars == 0) return std::string();
  int len = ::GetWindowTextLengthA(H(w));
  if (len <= 0) return std::string();
  std::size_t want = std::min<std::size_t>(static_cast<std::size_t>(len), maxChars);
  std::string buf(want + 1, '\0');
  int n = ::GetWindowTextA(H(w), &buf[0], static_cast<int>(buf.size()));
  buf.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return buf;
}

WindowHandle WindowOwner(WindowHandle w) {
  if (!w) return 0;
  return reinterpret_cast<WindowHandle>(::GetWindow(H(w), GW_OWNER));
}

Atom AddGlobalAtom(const std::string& text) {
  if (text.empty()) return 0;
  return ::GlobalAddAtomA(text.c_str());
}

Atom FindGlobalAtom(const std::string& text) {
  if (text.empty()) return 0;
  return ::GlobalFindAtomA(text.c_str());
}

bool DeleteGlobalAtom(Atom a) {
  if (!a) return false;
  return ::GlobalDeleteAtom(a) == 0;  // 0 means success here
}

std::string GlobalAtomName(Atom a) {
  if (!a) return std::string();
  char buf[256] = {};  // atom names are at most 255 characters
  UINT n = ::GlobalGetAtomNameA(a, buf, sizeof buf);
  return std::string(buf, n);
}

}  // namespace os
