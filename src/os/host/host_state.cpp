#include "os/host/host_state.h"

#include <cctype>
#include <cstdlib>

#include "os/host/host_inet.h"
#include "os/host/host_ui.h"

namespace os::host {

State& state() {
  static State s;
  return s;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

void ResetAll() {
  state() = State();
  ResetUi();
  ResetInet();
}

void SetDriveRoot(char letter, const std::string& folder) {
  state().driveRoots[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))] = folder;
}

std::string MapPath(const std::string& p) {
  std::string out = p;
  if (out.size() >= 2 && std::isalpha(static_cast<unsigned char>(out[0])) && out[1] == ':') {
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(out[0])));
    std::string root;
    auto it = state().driveRoots.find(letter);
    if (it != state().driveRoots.end()) {
      root = it->second;
    } else {
      const char* base = std::getenv("KV_HOST_ROOT");
      root = std::string(base && *base ? base : "/tmp/kvhost") + "/" + letter;
    }
    out = root + "/" + out.substr(2);
  }
  for (char& c : out)
    if (c == '\\') c = '/';
  // Fold runs of slashes that the mapping may have made.
  std::string folded;
  for (char c : out) {
    if (c == '/' && !folded.empty() && folded.back() == '/') continue;
    folded += c;
  }
  return folded;
}

void SetDriveType(char letter, int type) {
  state().driveTypes[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))] = type;
}
void SetClusterSize(char letter, std::uint32_t bytes) {
  state().clusterSizes[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))] = bytes;
}
void SetFreeBytes(char letter, std::int64_t bytes) {
  state().freeBytes[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))] = bytes;
}
void SetCommandLine(const std::string& line) { state().commandLine = line; }
void SetModulePath(const std::string& path) { state().modulePath = path; }
void SetEnv(const std::string& name, const std::string& value) { state().env[Upper(name)] = value; }
void UnsetEnv(const std::string& name) { state().env[Upper(name)] = std::nullopt; }
void SetFolders(const std::string& temp, const std::string& windows, const std::string& system) {
  state().tempDir = temp;
  state().windowsDir = windows;
  state().systemDir = system;
}
void SetLocalTime(const LocalTime& t) { state().clock = t; }
void UseRealClock() { state().clock.reset(); }
void SetSeparators(char date, char time) {
  state().dateSep = date;
  state().timeSep = time;
}

}  // namespace os::host
