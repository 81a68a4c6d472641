// The setup run: the first timer tick of a plain (or web) setup, and
// RunSetup, which extracts a package and hands it to the installation engine.
//
// What the engine gets and what the stub relies on:
//   command line   <folder>\<main program> [arguments] /TH_ID=_<thread id>
//                  [/OriginExe="<stub path>"] [/AutoUpdateProg]
//                  (/OriginExe= only when the arguments do not carry one;
//                  /SpanCdLvl= and /SpanDiskFName1= taken out)
//   start          current folder and environment of the stub, no inherited
//                  handles, shown in a foreground run, hidden otherwise
//   completion     the global atom "AutoUpdateAtomTokenByKavrex_<thread id>",
//                  made before the start; the engine deletes it when the
//                  installation completed
//   dialog         the stub waits until no top-level window of the class
//                  ".SDialog_Class_Name._<thread id>" is left
//   exit code      the engine's exit code becomes the stub's
#pragma once
#include <functional>
#include <string>

namespace kv {

class MainWindow;

extern const char* const kCompletionAtomPrefix;     // "AutoUpdateAtomTokenByKavrex"
extern const char* const kEngineDialogClassPrefix;  // ".SDialog_Class_Name."

// "_" and the decimal id of the calling thread.
std::string ThreadTag();

// The program named by a main-program entry: the text before its "*",
// trimmed (the whole entry when it has none).
std::string MainProgramName(const std::string& mainEntry);

// The engine's command line. mainEntry is the entry ExtractPackage found
// ("Engine.exe* /silent"): the program is the text before the "*", and what
// follows it is added after the setup's own arguments.
std::string BuildEngineCommandLine(const std::string& destination, const std::string& mainEntry,
                                   const std::string& extraArgs, const std::string& threadTag,
                                   const std::string& stubPath, bool autoUpdateProg);

// Extracts the package into destination (or a folder on a roomier drive),
// starts the engine, waits for it and its dialog, and cleans up. True when
// the engine reported completion by deleting the atom. Sets the process exit
// code to the engine's. Uses the registered main window (stub/mainwin.h).
bool RunSetup(const std::string& destination, const std::string& packageFile,
              const std::string& agentFileName, const std::string& extraArgs,
              bool foregroundOp);

// The one timer tick of a setup: stops the timer, runs the setup (or the
// web branch), removes the setup temporary folder and ends the loop.
void SetupTimerHandler(MainWindow& window);

// Process-wide hooks of the setup run, resettable by tests.
struct SetupRunState {
  // The web-installer branch (download, token check, RunSetup). Empty until
  // that branch is built in; a web installer package then does nothing.
  std::function<void(MainWindow& window)> RunWebBranch;
};
SetupRunState& setupRunState();
void ResetSetupRunState();

}  // namespace kv
