// The few window-system services that portable code needs: finding a window
// by class, registered and posted messages, global atoms.
#pragma once
#include <cstdint>
#include <string>

#include "os/types.h"

namespace os {

WindowHandle FindTopWindow(const std::string& className);  // any title; 0 when none
std::uint32_t RegisterMessage(const std::string& name);    // 0 on failure
std::intptr_t SendMessageTo(WindowHandle w, std::uint32_t msg, std::uintptr_t wParam,
                            std::intptr_t lParam);
bool PostMessageTo(WindowHandle w, std::uint32_t msg, std::uintptr_t wParam,
                   std::intptr_t lParam);
std::string WindowClassName(WindowHandle w);                 // empty for 0
// The title, cut to maxChars characters; empty for 0.
std::string WindowTitle(WindowHandle w, std::size_t maxChars);
WindowHandle WindowOwner(WindowHandle w);                    // 0 when it has none

Atom AddGlobalAtom(const std::string& text);
Atom FindGlobalAtom(const std::string& text);
bool DeleteGlobalAtom(Atom a);
std::string GlobalAtomName(Atom a);

}  // namespace os
