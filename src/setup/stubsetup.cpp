#include "setup/stubsetup.h"

#include <cstdint>
#include <exception>
#include <memory>

#include "autoupdate/descriptors.h"
#include "lang/langres.h"
#include "os/clock.h"
#include "os/env.h"
#include "os/file.h"
#include "os/process.h"
#include "os/window.h"
#include "package/gfileinfo.h"
#include "package/records.h"
#include "setup/tempfolder.h"
#include "setup/unpack.h"
#include "stub/mainwin.h"
#include "stub/stubstate.h"
#include "sys/files.h"
#include "sys/kdebug.h"
#include "sys/utils.h"
#include "ui/kmsgbox.h"
#include "ui/kprogbar.h"

namespace kv {

const char* const kCompletionAtomPrefix = "AutoUpdateAtomTokenByKavrex";
const char* const kEngineDialogClassPrefix = ".SDialog_Class_Name.";

SetupRunState& setupRunState() {
  static SetupRunState s;
  return s;
}

void ResetSetupRunState() { setupRunState() = SetupRunState(); }

std::string ThreadTag() { return "_" + std::to_string(os::CurrentThreadId()); }

std::string MainProgramName(const std::string& mainEntry) {
  std::string::size_type star = mainEntry.find('*');
  return star == std::string::npos ? mainEntry : Trim(mainEntry.substr(0, star));
}

namespace {

// Takes the first occurrence of the switch out, from its "/" up to the next
// "/" (the blank before that goes with it) or the end. Case-sensitive.
void RemoveSwitch(std::string& text, const std::string& sw) {
  std::string::size_type at = text.find(sw);
  if (at == std::string::npos) return;
  std::string::size_type next = text.find('/', at + 1);
  text.erase(at, next == std::string::npos ? std::string::npos : next - at);
}

}  // namespace

std::string BuildEngineCommandLine(const std::string& destination, const std::string& mainEntry,
                                   const std::string& extraArgs, const std::string& threadTag,
                                   const std::string& stubPath, bool autoUpdateProg) {
  std::string args = extraArgs;
  std::string::size_type star = mainEntry.find('*');
  if (star != std::string::npos)
    args = Trim(Trim(extraArgs) + " " + Trim(mainEntry.substr(star + 1)));

  std::string line = SetTrailingBackslash(destination, true) + MainProgramName(mainEntry);
  if (!args.empty()) line += " " + args;
  line += " /TH_ID=" + threadTag;
  // A span-CD copy passes on the /OriginExe= of the first run: the engine
  // must see where the setup really came from.
  if (line.find("/OriginExe=") == std::string::npos)
    line += " /OriginExe=\"" + stubPath + "\"";
  if (autoUpdateProg) line += " /AutoUpdateProg";
  RemoveSwitch(line, "/SpanCdLvl=");
  RemoveSwitch(line, "/SpanDiskFName1=");
  return line;
}

namespace {

// Starts the engine for the entry and waits until it and its dialog are
// gone. True when the engine deleted the completion atom.
bool StartEngineAndWait(const std::string& destination, const std::string& mainEntry,
                        const std::string& extraArgs, bool foregroundOp) {
  MainWindow& window = GetMainWindow();
  const std::string program = MainProgramName(mainEntry);
  // The engine is one of the extracted files; a name that leaves the folder
  // names something the package never wrote.
  if (!IsPlainFileName(program)) {
    WriteDebugOutput("RunSetup: main program refused >" + program + "<");
    return false;
  }
  const std::string tag = ThreadTag();
  const std::string commandLine = BuildEngineCommandLine(
      destination, mainEntry, extraArgs, tag, GetExePath(), stubState().ThisIs_AutoUpdateProg);

  // Read before the start: the engine may rewrite the descriptor.
  const std::string startUpLink = ReadStartUpLink();
  const std::string updateLink = ReadCheckforNewUpdateLink();

  WriteDebugOutputPid(" ==== WinExec(Engine.exe) >>" + commandLine + "<<");
  const std::string atomName = std::string(kCompletionAtomPrefix) + tag;
  const os::Atom atom = os::AddGlobalAtom(atomName);

  os::Process engine;
  const bool started = engine.start(commandLine, foregroundOp);
  if (!started) WriteDebugOutput("RunSetup: the engine could not be started");
  window.Hide();
  SetupPause(1000);
  // An engine that really ends with the code that means "still active" must
  // not keep the stub waiting for ever: the process's own end counts too.
  while (started && engine.isRunning() && !engine.wait(0)) SetupPause(500);

  std::uint32_t code = 0;
  if (!started || !engine.exitCode(code)) code = 0;
  stubState().exitCode = code;

  const std::string dialogClass = std::string(kEngineDialogClassPrefix) + tag;
  while (os::FindTopWindow(dialogClass) != 0) {
    PumpMessages(0);
    os::SleepMs(100);
  }
  SetupPause(1000);

  const os::Atom left = os::FindGlobalAtom(atomName);
  // Without an atom of our own, its absence says nothing about the engine.
  const bool completed = atom != 0 && left == 0;
  if (left != 0) os::DeleteGlobalAtom(left);
  WriteDebugOutput("RunSetup: engine exit code " + std::to_string(code) + ", completed " +
                   BoolToText(completed));

  if (completed) {
    if (ReadRemoveStartUpShortcut() && !startUpLink.empty() && os::FileExists(startUpLink))
      os::DeleteFile(startUpLink);
    if (ReadRemoveCheckForNewUpdateShortcut() && !updateLink.empty() && os::FileExists(updateLink))
      os::DeleteFile(updateLink);
  }
  return completed;
}

// Steps from the disk-question texts to the error box.
bool ExtractAndRun(const TGFileInfo& info, const std::string& destination,
                   const std::string& packageFile, const std::string& agentFileName,
                   const std::string& extraArgs, bool foregroundOp) {
  const std::string question = GetLangString(
      info, "s8", "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue");
  const std::string caption = GetLangString(info, "Attention", "Attention");
  const std::string buttons = GetLangString(info, "BtnText", kDefaultButtonList);
  const int charset = GetCharset(info);

  if (foregroundOp) GetMainWindow().Show();
  SetupPause(1000);
  std::string mainEntry;
  bool checksumOk = false;
  const ExtractResult result =
      ExtractPackage(packageFile, destination, agentFileName, mainEntry, ReadForcePrompt(), charset,
                     buttons, caption, question, &ShowProgress, checksumOk);
  SetupPause(1000);
  WriteDebugOutput(std::string("RunSetup: extraction ") + ExtractResultText(result) +
                   ", main program >" + mainEntry + "<");

  // A damaged package counts as a bad one: nothing of it runs.
  const bool bad = !checksumOk || result == ExtractResult::Damaged;
  bool completed = false;
  if (!mainEntry.empty() && !bad)
    completed = StartEngineAndWait(destination, mainEntry, extraArgs, foregroundOp);
  if (bad) {
    ShowErrorBox(0,
                 GetLangString(info, "s7",
                               "Bad CRC!<P>This indicates that your setup file might be corrupted..."),
                 GetLangString(info, "Error", "Error"), buttons, charset);
  }
  return completed;
}

}  // namespace

bool RunSetup(const std::string& destination, const std::string& packageFile,
              const std::string& agentFileName, const std::string& extraArgs,
              bool foregroundOp) {
  const TGFileInfo info(packageFile);
  MainWindow& window = GetMainWindow();
  if (info.ShowActivityBar()) window.ShowActivityBar();
  window.SetStatusText(GetLangString(info, "s1", "Extracting Files..."), GetFontName(info),
                       GetCharset(info), GetFontSize(info));

  std::string folder = destination;
  if (!HasRoomForPackage(folder, packageFile) && FindAlternativeTempBase())
    folder = GetAlternativeTempFolder();
  WriteDebugOutput(std::string("========= ForegroundOp=") + BoolToText(foregroundOp) +
                   " ==========");

  bool completed = false;
  if (!foregroundOp || ConfirmTempSpace(folder, info))
    completed = ExtractAndRun(info, folder, packageFile, agentFileName, extraArgs, foregroundOp);
  RemoveAlternativeTempFolder();
  return completed;
}

void SetupTimerHandler(MainWindow& window) {
  window.StopTimer();
  try {
    std::unique_ptr<TGFileInfo> own;
    const TGFileInfo* running = stubState().fileInfo.get();
    if (!running) {
      own = std::make_unique<TGFileInfo>(GetExePath());
      running = own.get();
    }
    if (running->IsWebInstaller()) {
      const auto web = setupRunState().RunWebBranch;
      if (web)
        web(window);
      else
        WriteDebugOutput("SetupTimerHandler: web installer package, no web branch in this build");
    } else {
      std::string packageFile = GetSwitchValue("/SpanDiskFName1=", "");
      if (packageFile.empty()) packageFile = GetExePath();
      const bool hidden = HasSwitch("/hide") || running->HideFlag();
      const std::string agentFileName =
          running->DropAgentCopy() ? running->AgentFileName() : std::string();
      RunSetup(GetSetupTempFolder(), packageFile, agentFileName, Trim(GetCommandLineArgs()),
               !hidden);
    }
  } catch (const std::exception& e) {
    LogException(e.what(), "SetupTimerHandler", "");
  } catch (...) {
    LogException("unknown exception", "SetupTimerHandler", "");
  }
  DeleteTree(GetSetupTempFolder(), false);
  window.PostQuit();
}

}  // namespace kv
