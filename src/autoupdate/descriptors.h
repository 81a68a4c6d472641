// The two update descriptors of the auto-update agent, both INI files in the
// agent's folder:
//
//   <name>.original  what is installed: probe and re-ask times, installed
//                    version, last offered stamp, the agent's texts and
//                    message-box settings, the application's folders and
//                    shortcuts. Written at install time, updated by the agent.
//   <name>.info      the newest release, downloaded at every check; read only.
//
// Every reader opens the file anew (nothing is cached), so a value written by
// one operation is seen by the next. A missing file or key gives the
// documented default; failed writes are ignored.
//
// Eight "transient settings" held by the running agent can override switches
// of the .info descriptor for the life of the process.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace kv {

// ---- locations
// The package's InfoFileName (may carry a folder; only its file name is
// used). Set once at start-up from the running file's package descriptor.
void SetInfoFileName(const std::string& infoFileName);
const std::string& InfoFileName();
// Agent folder + the InfoFileName's file name up to its first dot + ".original".
std::string GetOriginalPath();
// Agent folder + the InfoFileName's file name.
std::string GetInfoPath();

// ---- .original, section OriginalSetup
std::int64_t ReadProbeSecondsInterval();  // 0 = once per run, -1 = never
std::int64_t ReadProbeSecondsLast();
std::int64_t ReadReAskSecondsInterval();
std::int64_t ReadReAskSecondsLast();
std::int32_t ReadVersionOriginal();
std::int32_t ReadOriginalStamp();
std::string ReadOriginalProgramName();

void WriteProbeSecondsInterval(std::int64_t value);
void WriteReAskSecondsInterval(std::int64_t value);
// Also write the readable copy (__ProbeSecondsLast / __ReAskSecondsLast).
void WriteProbeSecondsLast(std::int64_t nowSeconds);
void WriteReAskSecondsLast(std::int64_t nowSeconds);
void WriteVersionOriginal(std::int32_t value);
void WriteOriginalStamp(std::int32_t value);

// ---- .original, sections Directories and UnInstall
std::string ReadTargetDir();
std::string ReadSharedDir();
std::string ReadAuxiliaryDir();
std::string ReadStartUpLink();
std::string ReadCheckforNewUpdateLink();

// ---- .original, section MsgBox
extern const char* const kDefaultBtnText;  // "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|"
std::string ReadMsgBoxBtnText();
std::string ReadMsgBoxError();
std::string ReadMsgBoxConfirm();
std::string ReadMsgBoxAttention();
std::int32_t ReadMsgBoxCharSet();
std::string ReadMsgBoxFontName();
std::int32_t ReadMsgBoxFontSize();

// ---- .original, section AutoUpdate: the texts the agent shows
std::string ReadAgentText(const std::string& key, const std::string& def);
// The built-in text of a key ("s3" -> "File Download Aborted!"); "" for keys
// without one.
std::string DefaultAgentText(const std::string& key);

// ---- .info, section NewSetup
std::string ReadDownloadURL_UPDATE();
std::string ReadNameOfUpdateFile();
std::int32_t ReadSizeOfUpdateFile();
bool ReadRequestConfirmationBeforeDownload();       // overridable (position 1)
bool ReadRequestConfirmationBeforeDownloadForce();  // overridable (position 6)
bool ReadRequestConfirmationBeforeInstall();        // overridable (position 2)
bool ReadRequestConfirmationBeforeInstallForce();   // overridable (position 7)
bool ReadBackgroundUpdate();                        // overridable (position 3)
std::string ReadShutDownMethod();
bool ReadRestartProcess();                          // overridable (position 5)
bool ReadInformFinish();                            // overridable (position 4)
std::string ReadRunningProcess();
std::string ReadInfoProgramName();
std::int32_t ReadVersionNew();
std::int32_t ReadInfoStamp();
std::string ReadValidVersions();
bool ReadRemoveStartUpShortcut();
bool ReadRemoveCheckForNewUpdateShortcut();

// ---- .info, sections General and AutoInform
bool ReadAutoInform();
std::string ReadDownloadURL_INFORM();
std::string ReadNameOfInformFile();
std::int32_t ReadSizeOfInformFile();
std::int32_t ReadAutoInformW();
std::int32_t ReadAutoInformH();

// ---- transient settings
// Positions in list order; 255 = not set (the file decides).
enum TransientSetting : int {
  kTransientAskBeforeCheck = 0,  // no .info key: ask before every automatic check
  kTransientConfirmDownload = 1,
  kTransientConfirmInstall = 2,
  kTransientBackgroundUpdate = 3,
  kTransientInformFinish = 4,
  kTransientRestartProcess = 5,
  kTransientConfirmDownloadForce = 6,
  kTransientConfirmInstallForce = 7,
};
constexpr int kTransientCount = 8;
constexpr std::uint8_t kTransientUnset = 255;

// Positions 0 to 5 (the agent commands); other positions are ignored.
void SetTransientSetting(int position, std::uint8_t value);
std::uint8_t GetTransientSetting(int position);  // 255 for a position out of range
// Transient setting 0 equals 1.
bool AskBeforeEveryCheck();
// "|255|255|255|255|255|255|255|255|" at start.
std::string BuildTransientList();
// Fields 0 to 7 of a delimited list; a missing or non-numeric field leaves
// its byte unchanged; numbers are stored by their low 8 bits.
void ParseTransientList(const std::string& list);

// ---- time
// Local time as whole seconds since 30 December 1899, rounded half to even.
std::int64_t NowSeconds();
// Whole seconds since 30 December 1899 for a local date and time.
std::int64_t SecondsFromDateTime(int year, int month, int day, int hour, int minute, int second,
                                 int millisecond = 0);
// The readable form of a seconds value: "09-DEC-2025 14:41:05" (the locale's
// time separator between the time fields).
std::string SecondsText(std::int64_t seconds);

// ---- process-wide state, resettable by tests
struct DescriptorState {
  std::string infoFileName;
  std::array<std::uint8_t, kTransientCount> transient{
      {kTransientUnset, kTransientUnset, kTransientUnset, kTransientUnset, kTransientUnset,
       kTransientUnset, kTransientUnset, kTransientUnset}};
};
DescriptorState& descriptorState();
void ResetDescriptorState();

}  // namespace kv
