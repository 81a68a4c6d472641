// The two diagnostic records: the debug output (a process-wide text sink
// delivered in chunks of at most 128 bytes to a viewer window and/or a fixed
// file) and the agent log file beside the running executable. Neither is
// ever shown to the user; every failure in them is silent.
#pragma once
#include <cstdint>
#include <string>

namespace kv {

// Sink selection: 0 = viewer window only (the shipped build), 1 = file only,
// 2 = viewer window and file; anything else delivers nothing.
constexpr int kDefaultDebugOutputMode = 0;
extern const char* const kDebugFilePath;      // "C:\ProgramData\_kdebug.txt"
extern const char* const kDebugViewerClass;   // ".KDebug."
extern const char* const kDebugViewerMessage; // ".K_DebugMsg."

// ---- debug output
void BindDebugOutput(int mode = kDefaultDebugOutputMode);  // once at start-up
void CloseDebugOutput();                                   // delivers what is left
void WriteDebugRaw(const std::string& text);               // no line end added
void WriteDebugOutput(const std::string& text);            // text + LF
// The process id in decimal followed by the text (the start-up and agent lines).
void WriteDebugOutputPid(const std::string& text);
void LogException(const std::string& message, const std::string& procName,
                  const std::string& extra);

// ---- millisecond clock and stopwatches (slots 0..20)
std::int64_t GetMilliseconds();
std::uint32_t StopwatchStart(int slot, const std::string& name);
std::uint32_t StopwatchElapsed(int slot, bool restart);
std::int32_t StopwatchReport(int slot, const std::string& name);

// ---- agent log
void SetAgentLogEnabled(bool enabled);
bool AgentLogEnabled();
void WriteDebugLog(const std::string& text);
void SetDebugLogMarker(const std::string& marker);
std::string GetDebugLogFileName();
// The line as written (without the file I/O), for the given stamp and thread.
std::string FormatAgentLogLine(const std::string& stamp, std::uint32_t threadId,
                               const std::string& marker, const std::string& text);

// Normalises CR LF, lone CR and lone LF to CR LF (the file sink's rule).
std::string NormalizeLineBreaks(const std::string& chunk);

// Process-wide state of the log, resettable by tests.
struct DebugState;
void ResetDebugState();

}  // namespace kv
