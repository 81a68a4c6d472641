// Basic types shared by the platform interfaces. Portable code never sees a
// Win32 type; handles cross the boundary as opaque integers.
#pragma once
#include <cstdint>
#include <string>

namespace os {

using WindowHandle = std::uintptr_t;   // HWND; 0 = none
using Atom = std::uint16_t;            // ATOM; 0 = failed

}  // namespace os
