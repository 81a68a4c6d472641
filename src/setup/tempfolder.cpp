#include "setup/tempfolder.h"

#include <cctype>

#include "lang/langres.h"
#include "os/file.h"
#include "os/system.h"
#include "package/gfileinfo.h"
#include "sys/files.h"
#include "sys/utils.h"
#include "ui/kmsgbox.h"

namespace kv {

TempFolderState& tempFolderState() {
  static TempFolderState s;
  return s;
}

void ResetTempFolderState() { tempFolderState() = TempFolderState(); }

namespace {

char UpperFirst(const std::string& s) {
  return s.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(s[0])));
}

// Free bytes of a fixed drive as seen by writing into it: a drive that takes
// no file counts as having no room.
double ProbeDriveSpace(char letter) {
  std::string root = std::string(1, letter) + ":\\";
  std::string probe = root + "TEMP";
  if (os::DirExists(probe)) {
    // Never probe inside (and then delete) a folder that is already there.
    for (int tries = 0; tries < 20; ++tries) {
      probe = root + "TEMP\\TEMP" + RandomRangeText(10000, 100000);
      if (!os::DirExists(probe)) break;
    }
    if (os::DirExists(probe)) return 0;
  }
  ForceDirectories(probe);
  std::string file = probe + "\\~aa.tmp";
  WriteTextToFile(file, "aa");
  double space = os::FileExists(file) ? GetDiskFreeBytes(probe) : 0;
  DeleteTree(probe, true);
  return space;
}

}  // namespace

std::string SetupTempFolderName(const std::string& tempDir, std::uint32_t dosDateTime) {
  return SetTrailingBackslash(tempDir, true) + "SETUP_" + std::to_string(dosDateTime & 0xFFFF);
}

std::string GetSetupTempFolder() {
  TempFolderState& st = tempFolderState();
  if (st.setupTempFolder.empty()) {
    std::uint32_t packed = 0;
    os::GetFileDosDateTime(GetExePath(), packed);
    st.setupTempFolder = SetupTempFolderName(GetTempDir(true), packed);
    // A stale folder of an earlier run of the same file is cleared first.
    if (os::DirExists(st.setupTempFolder)) DeleteTree(st.setupTempFolder, true);
    ForceDirectories(st.setupTempFolder);
  }
  return st.setupTempFolder;
}

bool FindAlternativeTempBase() {
  TempFolderState& st = tempFolderState();
  if (!st.alternativeBase.empty()) return true;
  const char letters[] = {'C', 'D', 'E'};
  double space[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    if (os::GetDriveType(std::string(1, letters[i]) + ":\\") == 3)
      space[i] = ProbeDriveSpace(letters[i]);
  }
  char best = UpperFirst(GetTempDir(true));
  double bestSpace = 0;
  for (int i = 0; i < 3; ++i) {
    if (space[i] > bestSpace) {  // a tie keeps the earlier letter
      best = letters[i];
      bestSpace = space[i];
    }
  }
  if (best != UpperFirst(GetTempDir(true))) {
    std::string base = std::string(1, best) + ":\\TEMP";
    if (os::DirExists(base)) base += "\\TEMP";
    st.alternativeBase = base;
  }
  return !st.alternativeBase.empty();
}

std::string GetAlternativeTempFolder() {
  TempFolderState& st = tempFolderState();
  if (st.alternativeBase.empty()) return std::string();
  if (st.alternativeFolder.empty()) {
    st.alternativeFolder = st.alternativeBase + "_" + RandomRangeText(10000, 100000);
    if (os::DirExists(st.alternativeFolder)) DeleteTree(st.alternativeFolder, true);
    ForceDirectories(st.alternativeFolder);
  }
  return st.alternativeFolder;
}

void RemoveAlternativeTempFolder() {
  const std::string& folder = tempFolderState().alternativeFolder;
  if (!folder.empty()) DeleteTree(folder, true);
}

bool HasRoomForPackage(const std::string& folder, const std::string& packageFile) {
  double required = 0;
  {
    TGFileInfo info(packageFile);
    required = info.GetSpaceRequired(folder);
  }
  double available = GetDiskFreeBytes(folder);
  return required < available && os::DirExists(folder);
}

std::string BuildTempSpaceMessage(const TGFileInfo& info, const std::string& folder,
                                  double required, double available) {
  const std::string drive = folder.empty() ? std::string() : std::string(1, UpperFirst(folder)) + ":";
  std::string msg;
  if (info.TempNotice())
    msg = GetLangString(info, "s2", "Kavrex will extract files to your Temp Drive (<DRIVE>)<P>");
  if (required >= available)
    msg = GetLangString(info, "s3", "Limited Free Space on your Temp Drive! (<DRIVE>)<P>");
  if (msg.empty()) return msg;
  msg += GetLangString(info, "s4",
                       "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>");
  msg += GetLangString(info, "s5",
                       "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>");
  msg += GetLangString(info, "s6", "<P>Continue with Setup?<P>");
  msg = ReplaceText(msg, "<DRIVE>", drive);
  msg = ReplaceText(msg, "<SPACE_REQ>", FormatMB(required));
  msg = ReplaceText(msg, "<SPACE_AVAIL>", FormatMB(available));
  return msg;
}

bool ConfirmTempSpace(const std::string& folder, const TGFileInfo& info) {
  double required = info.GetSpaceRequired(folder);
  double available = GetDiskFreeBytes(folder);
  std::string msg = BuildTempSpaceMessage(info, folder, required, available);
  if (msg.empty()) return true;
  return AskYesNo(0, msg, GetLangString(info, "Confirm", "Confirm"),
                  GetLangString(info, "BtnText", "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|"),
                  GetCharset(info), 0);
}

bool ReadForcePrompt() {
  return ReadRegString(kSpanDiskKey, "ForcePrompt", "0", Use64BitRegistryView) == "1";
}

std::string FormatMB(double bytes) {
  double v = bytes < 0 ? 0 : bytes;
  if (v != 0) v /= 1048576.0;
  int decimals = v > 10 ? 1 : (v >= 1 ? 2 : 3);
  return FormatFloatFixed(v, decimals, false);
}

}  // namespace kv
