// Run-mode dispatch: which of the stub's roles this process plays. Nothing on
// the command line names the role; the package appended to the running file
// and the file's own name decide:
//
//   row  condition (first that holds, and only while no main window of this
//        process's class exists)        action
//   1    plain auto-update agent        CreateAndRun_X_Exe
//   2    the agent's "X_" copy          CheckTestMode, /TRANSIENTx=, WinMain,
//                                       DeleteMySelf
//   3    first run of a CD-spanning     RelaunchFromSpanCopy (no window)
//        setup
//   4    anything else (plain setup,    WinMain; a span copy then deletes
//        web setup, the span copy)      itself and its folder
//
// The main window's class name is the single-instance marker: a setup is
// single-instance per full path of its file, an agent per agent name. A
// second start finds the window and does nothing but, for a plain agent,
// forward its control switches (HandleParamOK).
#pragma once
#include <functional>
#include <string>

namespace kv {

// ---- the class name rule

// ".AutoUpdate." + the file name without its last extension for an agent
// package, else the full path. Window class names hold at most 255
// characters: a longer path keeps its last 255, so that the class can still
// be registered and the setup still runs.
std::string MainWindowClassFor(bool autoUpdateProg, const std::string& exePath);
constexpr std::size_t kMaxClassNameLength = 255;

// ---- role predicates (read the running file's descriptor and name)

// A window of class ".AutoUpdate.X_" + AgentFileName without its last
// extension exists.
bool X_ExeIsRunning();
// An agent package running under its AgentFileName (trimmed, case ignored).
bool ThisIs_Plain_AutoUpdate_Exe();
// An agent package running as "X_" + AgentFileName.
bool ThisIs_X_AutoUpdate_Exe();
// The package spans CDs and /SpanCdLvl= reads 1 (absent or not a number: 1).
bool IsSpanCdFirstRun();
// /SpanCdLvl= reads 2, whatever the package says.
bool IsSpanCdSecondRun();

// ---- the auto-update agent's start-up steps
//
// Placeholders: each writes its line to the agent log and does nothing else
// until the agent itself is built in.
void CreateAndRun_X_Exe();
bool HandleParamOK(bool copyWasRunning);
void CheckTestMode(bool force);
void ApplyTransientSwitch();  // the list given by /TRANSIENTx=

// ---- the span-CD relaunch

// The arguments without any /SpanCdLvl= and /SpanDiskFName1= switch (letter
// case ignored, as the switch lookup ignores it). A value runs to the next
// blank that starts another "/" switch outside double quotes, the way the
// lookup reads it.
std::string RemoveSpanSwitches(const std::string& args);
// What the span copy is started with: the program's own arguments without
// their span switches, then /SpanCdLvl=2, /SpanDiskFName1= with the quoted
// path + ".001" and /OriginExe= with the quoted path.
std::string SpanCopyArguments(const std::string& ownArgs, const std::string& exePath);
// setup temporary folder + "\Y_" + the running file's name.
std::string SpanCopyPath(const std::string& setupTempFolder, const std::string& exePath);

// Copies the running file into the setup temporary folder as "Y_" + its name
// and starts the copy hidden, without waiting, with SpanCopyArguments.
// A first run that passed its own "/SpanCdLvl=1" on would relaunch its copy
// at level 1 again, for ever; the switches are therefore replaced, not added.
void RelaunchFromSpanCopy();

// ---- the dispatch

enum class DispatchRow {
  SecondStart = 0,  // a window of this class already exists
  CreateAgentCopy = 1,
  AgentCopy = 2,
  SpanRelaunch = 3,
  Setup = 4,
};

// Sets the main window class name, applies the table and returns the row taken.
DispatchRow DoRunStubWin();

// What the dispatch runs but cannot do portably. The program sets WinMain
// to its main window and loop; tests record the calls.
struct DispatchState {
  std::function<void()> WinMain;  // empty: no window (the host build)
  // Empty: the real DeleteMySelf.
  std::function<void(bool removeFolder, bool shortNames)> DeleteMySelf;
};
DispatchState& dispatchState();
void ResetDispatchState();

}  // namespace kv
