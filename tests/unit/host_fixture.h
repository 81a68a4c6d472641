// Pieces shared by the unit-test fixtures that run the logic on the host layer.
#pragma once
#include <cstdint>
#include <string>

#include "os/host/host_control.h"
#include "os/window.h"
#include "sys/kdebug.h"

namespace kvtest {

// Binds the debug output (viewer mode) to a fake ".KDebug." window that
// appends every chunk it is sent to sink. The sink must outlive the window,
// which lives until os::host::ResetAll().
inline void CollectDebugOutput(std::string& sink) {
  const std::uint32_t viewerMsg = os::RegisterMessage(kv::kDebugViewerMessage);
  os::host::AddWindow(kv::kDebugViewerClass,
                      [&sink, viewerMsg](std::uint32_t m, std::uintptr_t, std::intptr_t l) {
                        if (m == viewerMsg) sink += os::GlobalAtomName(static_cast<os::Atom>(l));
                        return std::intptr_t{0};
                      });
  kv::BindDebugOutput(0);
}

}  // namespace kvtest
