// Shared state of the host layer's stand-ins.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "os/host/host_control.h"

namespace os::host {

struct RegKeyName {
  RootKey root;
  std::string subKey;  // upper-cased
  bool view64;
  bool operator<(const RegKeyName& o) const {
    if (root != o.root) return root < o.root;
    if (view64 != o.view64) return view64 < o.view64;
    return subKey < o.subKey;
  }
};

struct RegData {
  std::uint32_t type;
  std::string data;
};

struct WindowRec {
  std::string className;
  WindowProc proc;
  std::string title;
  WindowHandle owner = 0;
};

struct State {
  std::map<char, std::string> driveRoots;
  std::map<char, int> driveTypes;
  std::map<char, std::uint32_t> clusterSizes;
  std::map<char, std::int64_t> freeBytes;
  std::optional<std::string> commandLine;
  std::optional<std::string> modulePath;
  std::map<std::string, std::optional<std::string>> env;  // nullopt = unset
  std::optional<std::string> tempDir, windowsDir, systemDir;
  std::optional<LocalTime> clock;
  char dateSep = '/';
  char timeSep = ':';
  std::map<RegKeyName, std::map<std::string, RegData>> registry;  // value names upper-cased
  std::map<WindowHandle, WindowRec> windows;
  WindowHandle nextWindow = 0x100;
  std::map<std::string, std::uint32_t> messages;
  std::map<Atom, std::pair<std::string, int>> atoms;  // name, reference count
  std::uint32_t lastError = 0;
  std::vector<std::string> shellOpened;  // documents "opened" through the shell
  std::uint32_t threadLocale = 0x0409;  // English (United States)
  std::string ejectedDrives;            // letters, in the order of the requests
};

State& state();
std::string Upper(std::string s);

}  // namespace os::host
