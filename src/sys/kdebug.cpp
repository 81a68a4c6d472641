// The debug output and the agent log. Portable: the sinks reach the system
// only through os/ (window lookup, atoms, messages, files, clock).
#include "sys/kdebug.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <mutex>

#include "os/clock.h"
#include "os/env.h"
#include "os/file.h"
#include "os/window.h"
#include "sys/utils.h"

namespace kv {

const char* const kDebugFilePath = "C:\\ProgramData\\_kdebug.txt";
const char* const kDebugViewerClass = ".KDebug.";
const char* const kDebugViewerMessage = ".K_DebugMsg.";

namespace {

constexpr std::size_t kBufferSize = 128;
constexpr int kStopwatchCount = 21;
constexpr std::uintptr_t kViewerTag = 1;

struct Stopwatch {
  std::uint32_t start = 0;
  std::string name;
};

}  // namespace

struct DebugState {
  // Debug output.
  bool bound = false;
  int mode = kDefaultDebugOutputMode;
  std::uint32_t viewerMessage = 0;
  std::array<char, kBufferSize> buffer{};
  std::size_t fill = 0;
  // Millisecond clock: 0 until first use, then milliseconds per counter tick.
  long double msFactor = 0;
  std::array<Stopwatch, kStopwatchCount> stopwatches{};
  // Agent log.
  bool agentLogEnabled = false;
  std::string marker = "   ";
  std::string logFileName;  // computed on first use
};

namespace {

DebugState& St() {
  static DebugState s;
  return s;
}

// Serialises chunk delivery. Recursive like a critical section: while a chunk
// is sent to the viewer, the thread may run its own window procedure for a
// message another process sent, and that may write debug output again.
std::recursive_mutex& DeliveryLock() {
  static std::recursive_mutex m;
  return m;
}

int ClampSlot(int slot) { return slot < 0 ? 0 : (slot >= kStopwatchCount ? kStopwatchCount - 1 : slot); }

void AppendToDebugFile(const std::string& text) {
  os::File f;
  if (!f.open(kDebugFilePath, os::OpenMode::Append)) return;
  f.write(text.data(), text.size());
}

void SendToViewer(const std::string& chunk, std::uint32_t message) {
  os::WindowHandle w = os::FindTopWindow(kDebugViewerClass);
  if (!w) return;
  os::Atom atom = os::AddGlobalAtom(chunk);
  if (!atom) return;
  // Synchronous: the viewer reads the atom's text while it handles the message.
  os::SendMessageTo(w, message, kViewerTag, static_cast<std::intptr_t>(atom));
  os::DeleteGlobalAtom(atom);
}

void HandToSinks(const std::string& chunk, int mode, std::uint32_t message) {
  if (mode == 1 || mode == 2) AppendToDebugFile(NormalizeLineBreaks(chunk));
  if (mode == 0 || mode == 2) SendToViewer(chunk, message);
}

void Deliver() {
  std::lock_guard<std::recursive_mutex> guard(DeliveryLock());
  DebugState& s = St();
  if (s.fill == 0) return;
  // The text ends at a zero byte, as a C string would.
  std::size_t n = std::find(s.buffer.begin(), s.buffer.begin() + s.fill, '\0') - s.buffer.begin();
  std::string chunk(s.buffer.data(), n);
  // Empty the buffer before the sinks run, so that text written re-entrantly
  // during the delivery starts a new chunk instead of being discarded.
  s.fill = 0;
  try {
    if (!chunk.empty()) HandToSinks(chunk, s.mode, s.viewerMessage);
  } catch (...) {
    // A sink failure never reaches the writer.
  }
}

}  // namespace

void ResetDebugState() {
  std::lock_guard<std::recursive_mutex> guard(DeliveryLock());
  St() = DebugState();
}

// ---- debug output

void BindDebugOutput(int mode) {
  std::lock_guard<std::recursive_mutex> guard(DeliveryLock());
  DebugState& s = St();
  s.mode = mode;
  s.viewerMessage = os::RegisterMessage(kDebugViewerMessage);
  s.fill = 0;
  s.bound = true;
}

void CloseDebugOutput() {
  if (!St().bound) return;
  Deliver();
}

void WriteDebugRaw(const std::string& text) {
  // One thread writes in the stub, but a second one must not be able to push
  // the fill past the buffer, so filling shares the delivery lock.
  std::lock_guard<std::recursive_mutex> guard(DeliveryLock());
  DebugState& s = St();
  if (!s.bound) return;  // nothing is delivered before the sink is bound
  for (char c : text) {
    s.buffer[s.fill++] = c;
    if (s.fill == kBufferSize || c == '\n') Deliver();
  }
}

void WriteDebugOutput(const std::string& text) { WriteDebugRaw(text + "\n"); }

void WriteDebugOutputPid(const std::string& text) {
  WriteDebugOutput(std::to_string(os::CurrentProcessId()) + text);
}

void LogException(const std::string& message, const std::string& procName,
                  const std::string& extra) {
  std::string x = extra.empty() ? extra : " --- " + extra;
  WriteDebugOutput(" --- " + procName + "()" + x + " --- " + message);
}

std::string NormalizeLineBreaks(const std::string& chunk) {
  std::string out;
  out.reserve(chunk.size() + chunk.size() / 8 + 2);
  for (std::size_t i = 0; i < chunk.size(); ++i) {
    char c = chunk[i];
    if (c == '\r') {
      if (i + 1 < chunk.size() && chunk[i + 1] == '\n') ++i;
      out += "\r\n";
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

// ---- millisecond clock and stopwatches

std::int64_t GetMilliseconds() {
  DebugState& s = St();
  if (s.msFactor == 0) {
    std::int64_t freq = os::PerformanceFrequency();
    // Without a performance counter the tick count is the best clock there is.
    if (freq <= 0) return os::TickCount();
    s.msFactor = 1000.0L / static_cast<long double>(freq);
  }
  return static_cast<std::int64_t>(static_cast<long double>(os::PerformanceCounter()) * s.msFactor);
}

std::uint32_t StopwatchStart(int slot, const std::string& name) {
  Stopwatch& w = St().stopwatches[static_cast<std::size_t>(ClampSlot(slot))];
  w.name = name;
  w.start = static_cast<std::uint32_t>(GetMilliseconds());
  if (!name.empty()) WriteDebugOutput(name + " START");
  return w.start;
}

std::uint32_t StopwatchElapsed(int slot, bool restart) {
  // Callers pass a clamped slot; clamping again keeps a wrong one in bounds.
  slot = ClampSlot(slot);
  std::uint32_t elapsed =
      static_cast<std::uint32_t>(GetMilliseconds()) - St().stopwatches[static_cast<std::size_t>(slot)].start;
  if (restart) StopwatchStart(slot, std::string());
  return elapsed;
}

std::int32_t StopwatchReport(int slot, const std::string& name) {
  slot = ClampSlot(slot);
  std::int32_t elapsed = static_cast<std::int32_t>(StopwatchElapsed(slot, false));
  char value[32];
  std::snprintf(value, sizeof value, "MS=%d", static_cast<int>(elapsed));
  const std::string& label = name.empty() ? St().stopwatches[static_cast<std::size_t>(slot)].name : name;
  WriteDebugOutput(label.empty() ? std::string(value) : label + " " + value);
  return elapsed;
}

// ---- agent log

void SetAgentLogEnabled(bool enabled) { St().agentLogEnabled = enabled; }
bool AgentLogEnabled() { return St().agentLogEnabled; }
void SetDebugLogMarker(const std::string& marker) { St().marker = marker; }

std::string GetDebugLogFileName() {
  DebugState& s = St();
  if (s.logFileName.empty()) {
    std::string name = ExtractFileName(GetExePath());
    if (name.compare(0, 2, "X_") != 0) name = "X_" + name;
    s.logFileName = GetExeDir(true) + ChangeFileExt(name, ".log");
  }
  return s.logFileName;
}

std::string FormatAgentLogLine(const std::string& stamp, std::uint32_t threadId,
                               const std::string& marker, const std::string& text) {
  return stamp + " " + PadLeft(std::to_string(threadId), 5, ' ') + marker + text + "\r\n";
}

void WriteDebugLog(const std::string& text) {
  DebugState& s = St();
  if (!s.agentLogEnabled) return;
  std::string line = FormatAgentLogLine(FormatDateTimeStamp(-1), os::CurrentThreadId(), s.marker, text);
  os::File f;
  if (!f.open(GetDebugLogFileName(), os::OpenMode::Append)) return;
  f.write(line.data(), line.size());
}

}  // namespace kv
