#include "stub/dispatch.h"

#include <cctype>

#include "os/env.h"
#include "os/file.h"
#include "os/process.h"
#include "os/window.h"
#include "package/gfileinfo.h"
#include "setup/tempfolder.h"
#include "stub/stubstate.h"
#include "sys/files.h"
#include "sys/kdebug.h"
#include "sys/utils.h"

namespace kv {

DispatchState& dispatchState() {
  static DispatchState s;
  return s;
}

void ResetDispatchState() { dispatchState() = DispatchState(); }

// ---------------------------------------------------------------- class name

std::string MainWindowClassFor(bool autoUpdateProg, const std::string& exePath) {
  std::string name =
      autoUpdateProg ? ".AutoUpdate." + ExtractBaseName(exePath, false) : exePath;
  // The tail of a path tells two setups apart better than its head.
  if (name.size() > kMaxClassNameLength) name.erase(0, name.size() - kMaxClassNameLength);
  return name;
}

// ---------------------------------------------------------------- predicates

namespace {

// The agent file name of the running package; empty without a package.
std::string AgentFileName() {
  const StubState& s = stubState();
  return s.fileInfo ? s.fileInfo->AgentFileName() : std::string();
}

std::string RunningFileName() { return ExtractFileName(GetExePath()); }

bool SpannedCdPackage() {
  const StubState& s = stubState();
  return s.fileInfo && s.fileInfo->SpannedCd();
}

}  // namespace

bool X_ExeIsRunning() {
  const std::string cls = ".AutoUpdate.X_" + ExtractBaseName(Trim(AgentFileName()), false);
  return os::FindTopWindow(cls) != 0;
}

bool ThisIs_Plain_AutoUpdate_Exe() {
  return stubState().ThisIs_AutoUpdateProg && SameTextTrim(RunningFileName(), AgentFileName());
}

bool ThisIs_X_AutoUpdate_Exe() {
  return stubState().ThisIs_AutoUpdateProg &&
         SameTextTrim(RunningFileName(), "X_" + Trim(AgentFileName()));
}

bool IsSpanCdFirstRun() { return SpannedCdPackage() && GetSwitchInt("/SpanCdLvl=", 1) == 1; }

bool IsSpanCdSecondRun() { return GetSwitchInt("/SpanCdLvl=", 1) == 2; }

// ---------------------------------------------------------------- agent steps

void CreateAndRun_X_Exe() { WriteDebugLog("CreateAndRun_X_Exe() --- not in this build"); }

bool HandleParamOK(bool copyWasRunning) {
  WriteDebugLog(std::string("HandleParamOK() --- not in this build, copy running=") +
                BoolToText(copyWasRunning));
  return false;
}

void CheckTestMode(bool force) {
  WriteDebugLog(std::string("CheckTestMode() --- not in this build, force=") + BoolToText(force));
}

void ApplyTransientSwitch() { WriteDebugLog("/TRANSIENTx= --- not in this build"); }

// ---------------------------------------------------------------- span relaunch

namespace {

bool StartsSwitchAt(const std::string& text, std::size_t at, const std::string& sw) {
  if (at + sw.size() > text.size()) return false;
  for (std::size_t i = 0; i < sw.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(text[at + i])) !=
        std::toupper(static_cast<unsigned char>(sw[i])))
      return false;
  return true;
}

// Where the value of a switch starting at `from` ends: at the blank before
// the next "/" switch outside double quotes, or at the end of the text.
std::size_t SwitchValueEnd(const std::string& text, std::size_t from) {
  bool quoted = false;
  for (std::size_t i = from; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    else if (!quoted && text[i] == ' ' && i + 1 < text.size() && text[i + 1] == '/')
      return i;
  }
  return text.size();
}

}  // namespace

std::string RemoveSpanSwitches(const std::string& args) {
  static const char* const kSpanSwitches[] = {"/SpanCdLvl=", "/SpanDiskFName1="};
  std::string out;
  std::size_t i = 0;
  while (i < args.size()) {
    // A switch starts the text or follows a blank, as the lookup sees it.
    const bool atSwitchStart = i == 0 || args[i - 1] == ' ';
    bool removed = false;
    if (atSwitchStart) {
      for (const char* sw : kSpanSwitches) {
        const std::string name(sw);
        if (StartsSwitchAt(args, i, name)) {
          i = SwitchValueEnd(args, i + name.size());
          removed = true;
          break;
        }
      }
    }
    if (!removed) out += args[i++];
  }
  // Removed switches leave their blanks behind.
  std::string tidy;
  for (char c : Trim(out)) {
    if (c == ' ' && !tidy.empty() && tidy.back() == ' ') continue;
    tidy += c;
  }
  return tidy;
}

std::string SpanCopyArguments(const std::string& ownArgs, const std::string& exePath) {
  return Trim(RemoveSpanSwitches(ownArgs) + " /SpanCdLvl=2 /SpanDiskFName1=\"" + exePath +
              ".001\"" + " /OriginExe=\"" + exePath + "\"");
}

std::string SpanCopyPath(const std::string& setupTempFolder, const std::string& exePath) {
  return SetTrailingBackslash(setupTempFolder, true) + "Y_" + ExtractFileName(exePath);
}

void RelaunchFromSpanCopy() {
  const std::string exePath = GetExePath();
  const std::string copyPath = SpanCopyPath(GetSetupTempFolder(), exePath);
  const bool copied = os::CopyFile(exePath, copyPath, false);
  // Quoted: the temporary folder may hold blanks, and an unquoted path with
  // blanks lets the system try shorter programs first.
  const std::string commandLine =
      "\"" + copyPath + "\" " + SpanCopyArguments(GetCommandLineArgs(), exePath);
  const bool started = copied && os::StartDetached(commandLine, false);
  WriteDebugOutputPid(" RelaunchFromSpanCopy >>" + commandLine + "<< copied=" +
                      BoolToText(copied) + " started=" + BoolToText(started));
}

// ---------------------------------------------------------------- dispatch

namespace {

void RunWinMain() {
  const auto& winMain = dispatchState().WinMain;
  if (winMain) winMain();
}

void RunDeleteMySelf(bool removeFolder, bool shortNames) {
  const auto& hook = dispatchState().DeleteMySelf;
  if (hook)
    hook(removeFolder, shortNames);
  else
    DeleteMySelf(removeFolder, shortNames);
}

}  // namespace

DispatchRow DoRunStubWin() {
  WriteDebugLog("DoRunStubWin() --- Start");
  StubState& s = stubState();
  s.mainWindowClassName = MainWindowClassFor(s.ThisIs_AutoUpdateProg, GetExePath());

  s.xCopyRunning = X_ExeIsRunning();
  WriteDebugLog(std::string("X_ExeIsRunning=") + BoolToText(X_ExeIsRunning()));
  WriteDebugLog(std::string("ThisIs_Plain_AutoUpdate_Exe=") +
                BoolToText(ThisIs_Plain_AutoUpdate_Exe()));
  WriteDebugLog(std::string("ThisIs_X_AutoUpdate_Exe=") + BoolToText(ThisIs_X_AutoUpdate_Exe()));

  DispatchRow row = DispatchRow::SecondStart;
  if (os::FindTopWindow(s.mainWindowClassName) == 0) {
    if (ThisIs_Plain_AutoUpdate_Exe()) {
      row = DispatchRow::CreateAgentCopy;
      CreateAndRun_X_Exe();
    } else if (ThisIs_X_AutoUpdate_Exe()) {
      row = DispatchRow::AgentCopy;
      WriteDebugLog("CheckTestMode");
      CheckTestMode(true);
      ApplyTransientSwitch();
      WriteDebugLog("WinMain");
      RunWinMain();
      WriteDebugLog("DeleteMySelf");
      RunDeleteMySelf(false, false);
    } else if (IsSpanCdFirstRun()) {
      row = DispatchRow::SpanRelaunch;
      RelaunchFromSpanCopy();
    } else {
      row = DispatchRow::Setup;
      RunWinMain();
      if (IsSpanCdSecondRun()) RunDeleteMySelf(true, false);
    }
  }

  if (ThisIs_Plain_AutoUpdate_Exe()) HandleParamOK(s.xCopyRunning);
  WriteDebugLog("DoRunStubWin() --- End");
  return row;
}

}  // namespace kv
