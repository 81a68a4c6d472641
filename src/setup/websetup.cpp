#include "setup/websetup.h"

#include <memory>

#include "lang/langres.h"
#include "net/inethttp.h"
#include "os/file.h"
#include "os/system.h"
#include "package/checksum.h"
#include "package/gfileinfo.h"
#include "package/records.h"
#include "setup/stubsetup.h"
#include "setup/tempfolder.h"
#include "stub/mainwin.h"
#include "stub/stubstate.h"
#include "sys/files.h"
#include "sys/kdebug.h"
#include "sys/utils.h"
#include "ui/kmsgbox.h"
#include "ui/kprogbar.h"

namespace kv {

const char* const kUserDeclined = "!";

WebSetupState& webSetupState() {
  static WebSetupState s;
  return s;
}

void ResetWebSetupState() { webSetupState() = WebSetupState(); }

namespace {

// The descriptor of the running file: the one made at start-up, or one made
// here (and released with the holder) when there is none.
struct RunningPackage {
  std::unique_ptr<TGFileInfo> own;
  const TGFileInfo* info = nullptr;
  RunningPackage() {
    info = stubState().fileInfo.get();
    if (!info) {
      own = std::make_unique<TGFileInfo>(GetExePath());
      info = own.get();
    }
  }
};

void Pause(std::int64_t ms) {
  const auto& pause = webSetupState().pause;
  if (pause)
    pause(ms);
  else
    WaitWithMessages(0, ms);
}

bool CallRunSetup(const std::string& destination, const std::string& packageFile,
                  const std::string& extraArgs, bool foregroundOp) {
  const auto& run = webSetupState().runSetup;
  if (run) return run(destination, packageFile, "", extraArgs, foregroundOp);
  return RunSetup(destination, packageFile, "", extraArgs, foregroundOp);
}

}  // namespace

bool SamePackageToken(const TGFileInfo& a, const TGFileInfo& b) {
  // A text that is no valid token would descramble to a random number;
  // two of them must never pass for a match, however unlikely.
  std::string plainA, plainB;
  if (!TryDescrambleText(a.PackageToken(false), plainA)) return false;
  if (!TryDescrambleText(b.PackageToken(false), plainB)) return false;
  return plainA == plainB;
}

std::string AgentCopyImage(std::string image) {
  const std::uint64_t selfLength = TGFileInfo::ReadSelfLengthImage(image);
  const std::uint64_t length = image.size();
  // Only a written SelfLength says where the build ended.
  if (selfLength > 0 && selfLength < length && length - selfLength < kAgentCopyTailLimit)
    image.resize(static_cast<std::size_t>(selfLength));
  if (image.size() > 5) image[image.size() - 5] = 1;  // the trailer's AutoUpdateProg byte
  return image;
}

bool DropAgentCopyFile(const std::string& folder, const std::string& agentName) {
  // The name comes from the package: it may name a file in the folder, nothing else.
  if (!IsPlainFileName(agentName)) {
    WriteDebugOutput("DropAgentCopy: agent name refused >" + agentName + "<");
    return false;
  }
  const std::string exe = GetExePath();
  const std::string image = ReadFilePart(exe);
  if (image.empty()) return false;
  std::uint32_t stamp = 0;
  os::GetFileDosDateTime(exe, stamp);
  return WriteTextToFile(SetTrailingBackslash(folder, true) + agentName, AgentCopyImage(image),
                         stamp);
}

std::string DownloadQuestionText(const TGFileInfo& info) {
  const std::string text = GetLangString(
      info, "s11",
      "<b>INTERNET DOWNLOAD</b><p><p>Kavrex will download the Setup File from the "
      "Internet...<p>Please make sure your Internet connection is properly set.<p><p>Continue "
      "with Setup?<p><P>Size: <SIZE> MB<P>");
  const double size = static_cast<double>(StrToInt64Def(info.PackageSize(), 0));
  return ReplaceText(text, "<SIZE>", FormatMB(size));
}

void RunWebSetup(const std::string& setupFolder, const std::string& location,
                 const std::string& fileName) {
  RunningPackage running;
  const TGFileInfo& info = *running.info;
  const std::string buttons = GetLangString(info, "BtnText", kDefaultButtonList);
  const int charset = GetCharset(info);
  MainWindow& window = GetMainWindow();

  std::string error;
  bool downloaded = false;
  const bool hidden = HasSwitch("/hide") || info.HideFlag();
  const std::string source = location + "/" + fileName;
  std::string content;

  std::string package = SetTrailingBackslash(location, true) + fileName;
  if (!os::FileExists(package)) {
    window.SetStatusText(GetLangString(info, "s10", "Downloading File..."), GetFontName(info),
                         charset, GetFontSize(info));
    if (info.AskBeforeDownload() && !hidden &&
        !AskYesNo(0, DownloadQuestionText(info), GetLangString(info, "Confirm", "Confirm"), buttons,
                  charset, 0))
      error = kUserDeclined;

    std::string connectionError;
    if (!HTTP_CheckConnection(connectionError)) {
      error = GetLangString(info, "s12", "No valid Internet Connection.<p>Can not Download File!");
      if (!connectionError.empty()) error += "<P><P>" + connectionError;
    }
    SetDownloadAbort(false);

    package = GetTempDir(true) + fileName;
    MainWindow* owner = hidden ? nullptr : &window;
    TProgBar& progress = GetProgressReporter();
    // The name comes from the package: the download may land in the
    // temporary folder and nowhere else.
    if (error.empty() && !IsPlainFileName(fileName))
      error = "Invalid package file name: " + fileName;
    if (error.empty()) {
      const bool existedBefore = os::FileExists(package);
      if (HTTP_DownloadFile(owner, source, package, content, &progress, error)) {
        downloaded = true;
      } else {
        // What a failed download wrote is of no use to anyone: its part
        // file, and the package itself when it was completed just before
        // the user aborted.
        DeleteDownloadPartFiles(package);
        if (!existedBefore) os::DeleteFile(package);
      }
      Pause(300);
      ShowProgress(kProgressRange, 10, 0, 1);
      Pause(700);
    }
  }

  if (error.empty()) {
    const TGFileInfo downloadedInfo(package);
    if (!SamePackageToken(downloadedInfo, info))
      error = GetErrorPageMessage(package, content, source, "Bad Secret Token!");
  }
  WriteDebugOutputPid(" RunWebSetup: package >" + package + "< downloaded=" +
                      BoolToText(downloaded) + " error >" + error + "<");

  if (error.empty()) CallRunSetup(setupFolder, package, Trim(GetCommandLineArgs()), !hidden);
  if (downloaded) os::DeleteFile(package);

  if (!error.empty() && error != kUserDeclined)
    ShowErrorBox(0, error, GetLangString(info, "Error", "Error"), buttons, charset);
}

void WebSetupBranch(MainWindow& window) {
  RunningPackage running;
  const TGFileInfo& info = *running.info;
  std::string location = info.PackageUrl();
  const std::string agentName = info.DropAgentCopy() ? info.AgentFileName() : std::string();
  if (!agentName.empty()) DropAgentCopyFile(GetSetupTempFolder(), agentName);

  const std::string fileName = info.PackageFileName();
  if (!info.NoLocalPackage() && os::FileExists(GetExeDir(true) + fileName))
    location = GetExeDir(false);
  RunWebSetup(GetSetupTempFolder(), location, fileName);
}

}  // namespace kv
