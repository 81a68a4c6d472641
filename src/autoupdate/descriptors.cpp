#include "autoupdate/descriptors.h"

#include <cstdio>

#include "os/clock.h"
#include "package/ksub.h"
#include "sys/utils.h"

namespace kv {
namespace {

const char* const kOriginalSetup = "OriginalSetup";
const char* const kDirectories = "Directories";
const char* const kUnInstall = "UnInstall";
const char* const kMsgBox = "MsgBox";
const char* const kAutoUpdate = "AutoUpdate";
const char* const kNewSetup = "NewSetup";
const char* const kGeneral = "General";
const char* const kAutoInform = "AutoInform";

// ---- typed access to one descriptor

std::string OrigText(const char* section, const char* key, const std::string& def = "") {
  return ReadIniString(GetOriginalPath(), section, key, def);
}
std::int64_t OrigInt(const char* section, const char* key, std::int64_t def = 0) {
  return ReadIniInt64(GetOriginalPath(), section, key, def);
}
std::int32_t Low32(std::int64_t v) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(v)));
}

std::string InfoText(const char* section, const char* key, const std::string& def = "") {
  return ReadIniString(GetInfoPath(), section, key, def);
}
std::int64_t InfoInt(const char* section, const char* key, std::int64_t def = 0) {
  return ReadIniInt64(GetInfoPath(), section, key, def);
}
// A switch is on exactly when its text is "1": "yes", "true" or "01" are off.
bool InfoSwitch(const char* key) { return InfoText(kNewSetup, key, "0") == "1"; }
bool OverridableSwitch(int position, const char* key) {
  std::uint8_t t = descriptorState().transient[static_cast<std::size_t>(position)];
  if (t != kTransientUnset) return t == 1;
  return InfoSwitch(key);
}

void WriteSecondsWithCopy(const char* key, std::int64_t seconds) {
  const std::string file = GetOriginalPath();
  WriteIniInt64(file, kOriginalSetup, key, seconds);
  WriteIniString(file, kOriginalSetup, std::string("__") + key, SecondsText(seconds));
}

// ---- calendar arithmetic on whole days (proleptic Gregorian)

constexpr std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;  // days since 1970-01-01
}

void CivilFromDays(std::int64_t z, std::int64_t& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

// Day 0 of the descriptors' time scale, counted from 1970-01-01.
constexpr std::int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

const char* const kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                 "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

}  // namespace

DescriptorState& descriptorState() {
  static DescriptorState s;
  return s;
}

void ResetDescriptorState() { descriptorState() = DescriptorState(); }

// ---- locations

void SetInfoFileName(const std::string& infoFileName) {
  descriptorState().infoFileName = infoFileName;
}
const std::string& InfoFileName() { return descriptorState().infoFileName; }

std::string GetOriginalPath() {
  // Everything from the first dot on goes: Tool.Update.info -> Tool.original.
  std::string name = ExtractFileName(InfoFileName());
  std::size_t dot = name.find('.');
  if (dot != std::string::npos) name.erase(dot);
  return GetExeDir(true) + name + ".original";
}

std::string GetInfoPath() { return GetExeDir(true) + ExtractFileName(InfoFileName()); }

// ---- .original, OriginalSetup

std::int64_t ReadProbeSecondsInterval() { return OrigInt(kOriginalSetup, "ProbeSecondsInterval"); }
std::int64_t ReadProbeSecondsLast() { return OrigInt(kOriginalSetup, "ProbeSecondsLast"); }
std::int64_t ReadReAskSecondsInterval() {
  return OrigInt(kOriginalSetup, "ReAskSecondsInterval");
}
std::int64_t ReadReAskSecondsLast() { return OrigInt(kOriginalSetup, "ReAskSecondsLast"); }
std::int32_t ReadVersionOriginal() { return Low32(OrigInt(kOriginalSetup, "VersionOriginal")); }
std::int32_t ReadOriginalStamp() { return Low32(OrigInt(kOriginalSetup, "Stamp")); }
std::string ReadOriginalProgramName() { return OrigText(kOriginalSetup, "ProgramName"); }

void WriteProbeSecondsInterval(std::int64_t value) {
  WriteIniInt64(GetOriginalPath(), kOriginalSetup, "ProbeSecondsInterval", value);
}
void WriteReAskSecondsInterval(std::int64_t value) {
  WriteIniInt64(GetOriginalPath(), kOriginalSetup, "ReAskSecondsInterval", value);
}
void WriteProbeSecondsLast(std::int64_t nowSeconds) {
  WriteSecondsWithCopy("ProbeSecondsLast", nowSeconds);
}
void WriteReAskSecondsLast(std::int64_t nowSeconds) {
  WriteSecondsWithCopy("ReAskSecondsLast", nowSeconds);
}
void WriteVersionOriginal(std::int32_t value) {
  WriteIniInt64(GetOriginalPath(), kOriginalSetup, "VersionOriginal", value);
}
void WriteOriginalStamp(std::int32_t value) {
  WriteIniInt64(GetOriginalPath(), kOriginalSetup, "Stamp", value);
}

// ---- .original, Directories and UnInstall

std::string ReadTargetDir() { return OrigText(kDirectories, "TargetDir"); }
std::string ReadSharedDir() { return OrigText(kDirectories, "SharedDir"); }
std::string ReadAuxiliaryDir() { return OrigText(kDirectories, "AuxiliaryDir"); }
std::string ReadStartUpLink() { return OrigText(kUnInstall, "StartUpLink"); }
std::string ReadCheckforNewUpdateLink() { return OrigText(kUnInstall, "CheckforNewUpdateLink"); }

// ---- .original, MsgBox

const char* const kDefaultBtnText = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

std::string ReadMsgBoxBtnText() { return OrigText(kMsgBox, "BtnText", kDefaultBtnText); }
std::string ReadMsgBoxError() { return OrigText(kMsgBox, "Error", "Error"); }
std::string ReadMsgBoxConfirm() { return OrigText(kMsgBox, "Confirm", "Confirm"); }
std::string ReadMsgBoxAttention() { return OrigText(kMsgBox, "Attention", "Attention"); }
std::int32_t ReadMsgBoxCharSet() { return Low32(OrigInt(kMsgBox, "CharSet", 0)); }
std::string ReadMsgBoxFontName() { return OrigText(kMsgBox, "FontName", "Tahoma"); }
std::int32_t ReadMsgBoxFontSize() { return Low32(OrigInt(kMsgBox, "FontSize", 8)); }

// ---- .original, AutoUpdate

std::string ReadAgentText(const std::string& key, const std::string& def) {
  return ReadIniString(GetOriginalPath(), kAutoUpdate, key, def);
}

std::string DefaultAgentText(const std::string& key) {
  static const struct {
    const char* key;
    const char* text;
  } kTexts[] = {
      {"s3", "File Download Aborted!"},      {"s4", "File not Found!"},
      {"s5", "Unable to Download File!"},    {"s31", "Downloading INFO File..."},
      {"s32", "Downloading UPDATE File..."}, {"s33", "Downloading INFORM File..."},
      {"s34", "New Version"},                {"s35", "Download"},
  };
  for (const auto& t : kTexts)
    if (UpperAscii(key) == UpperAscii(t.key)) return t.text;
  return "";
}

// ---- .info, NewSetup

std::string ReadDownloadURL_UPDATE() { return InfoText(kNewSetup, "DownloadURL_UPDATE"); }
std::string ReadNameOfUpdateFile() { return InfoText(kNewSetup, "NameOfUpdateFile"); }
std::int32_t ReadSizeOfUpdateFile() { return Low32(InfoInt(kNewSetup, "SizeOfUpdateFile")); }
bool ReadRequestConfirmationBeforeDownload() {
  return OverridableSwitch(kTransientConfirmDownload, "RequestConfirmationBeforeDownload");
}
bool ReadRequestConfirmationBeforeDownloadForce() {
  return OverridableSwitch(kTransientConfirmDownloadForce,
                           "RequestConfirmationBeforeDownloadForce");
}
bool ReadRequestConfirmationBeforeInstall() {
  return OverridableSwitch(kTransientConfirmInstall, "RequestConfirmationBeforeInstall");
}
bool ReadRequestConfirmationBeforeInstallForce() {
  return OverridableSwitch(kTransientConfirmInstallForce,
                           "RequestConfirmationBeforeInstallForce");
}
bool ReadBackgroundUpdate() {
  return OverridableSwitch(kTransientBackgroundUpdate, "BackgroundUpdate");
}
std::string ReadShutDownMethod() { return InfoText(kNewSetup, "ShutDownMethod"); }
bool ReadRestartProcess() { return OverridableSwitch(kTransientRestartProcess, "RestartProcess"); }
bool ReadInformFinish() { return OverridableSwitch(kTransientInformFinish, "InformFinish"); }
std::string ReadRunningProcess() { return InfoText(kNewSetup, "RunningProcess"); }
std::string ReadInfoProgramName() { return InfoText(kNewSetup, "ProgramName"); }
std::int32_t ReadVersionNew() { return Low32(InfoInt(kNewSetup, "VersionNew")); }
std::int32_t ReadInfoStamp() { return Low32(InfoInt(kNewSetup, "Stamp")); }
std::string ReadValidVersions() { return InfoText(kNewSetup, "ValidVersions"); }
bool ReadRemoveStartUpShortcut() { return InfoSwitch("RemoveStartUpShortcut"); }
bool ReadRemoveCheckForNewUpdateShortcut() {
  return InfoSwitch("RemoveCheckForNewUpdateShortcut");
}

// ---- .info, General and AutoInform

bool ReadAutoInform() { return InfoInt(kGeneral, "AutoInform") == 1; }
std::string ReadDownloadURL_INFORM() { return InfoText(kAutoInform, "DownloadURL_INFORM"); }
std::string ReadNameOfInformFile() { return InfoText(kAutoInform, "NameOfInformFile"); }
std::int32_t ReadSizeOfInformFile() { return Low32(InfoInt(kAutoInform, "SizeOfInformFile")); }
std::int32_t ReadAutoInformW() { return Low32(InfoInt(kAutoInform, "AutoInformW", 360)); }
std::int32_t ReadAutoInformH() { return Low32(InfoInt(kAutoInform, "AutoInformH", 360)); }

// ---- transient settings

void SetTransientSetting(int position, std::uint8_t value) {
  // Only the first six have agent commands; the last two come by list only.
  if (position < 0 || position > kTransientRestartProcess) return;
  descriptorState().transient[static_cast<std::size_t>(position)] = value;
}

std::uint8_t GetTransientSetting(int position) {
  if (position < 0 || position >= kTransientCount) return kTransientUnset;
  return descriptorState().transient[static_cast<std::size_t>(position)];
}

bool AskBeforeEveryCheck() { return GetTransientSetting(kTransientAskBeforeCheck) == 1; }

std::string BuildTransientList() {
  std::string list = "|";
  for (std::uint8_t b : descriptorState().transient) list += std::to_string(b) + "|";
  return list;
}

void ParseTransientList(const std::string& list) {
  auto& t = descriptorState().transient;
  for (int i = 0; i < kTransientCount; ++i) {
    std::size_t k = static_cast<std::size_t>(i);
    std::int64_t v = StrToInt64Def(SUB::GetField(list, i, ""), t[k]);
    t[k] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) & 0xFF);
  }
}

// ---- time

std::int64_t SecondsFromDateTime(int year, int month, int day, int hour, int minute, int second,
                                 int millisecond) {
  std::int64_t s = (DaysFromCivil(year, month, day) - kEpochDays) * 86400 +
                   std::int64_t(hour) * 3600 + minute * 60 + second;
  // Round to the nearest second, an exact half to the even one.
  if (millisecond > 500 || (millisecond == 500 && (s & 1) != 0)) ++s;
  return s;
}

std::int64_t NowSeconds() {
  os::LocalTime t = os::GetLocalTime();
  return SecondsFromDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
}

std::string SecondsText(std::int64_t seconds) {
  // As a day count with the time as fraction: the date is the whole part
  // (toward zero) and the time the fraction's size, also before day 0.
  const std::int64_t days = seconds / 86400;
  std::int64_t tod = seconds % 86400;
  if (tod < 0) tod = -tod;
  std::int64_t y = 0;
  int m = 1, d = 1;
  CivilFromDays(days + kEpochDays, y, m, d);
  const char sep = os::LocaleTimeSeparator();
  char buf[96];
  std::snprintf(buf, sizeof buf, "%02d-%s-%04lld %02d%c%02d%c%02d", d, kMonths[m - 1],
                static_cast<long long>(y), static_cast<int>(tod / 3600), sep,
                static_cast<int>(tod / 60 % 60), sep, static_cast<int>(tod % 60));
  return buf;
}

}  // namespace kv
