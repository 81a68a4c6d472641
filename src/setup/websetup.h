// The web installer: a setup file whose own package carries no files, only
// where the real package is (PackageUrl, PackageFileName) and the token it
// must carry (PackageToken). The branch takes the package from beside the
// web installer when it lies there (unless NoLocalPackage), else downloads it
// into the system's temporary folder (after a question with its size when
// AskBeforeDownload is set), checks its token against the web installer's,
// runs it like a plain setup and deletes what it downloaded.
//
// Failures end as one error box with the download's own text, the 404 text
// of an HTML page served instead of the package, or "Bad Secret Token!". A
// "No" to the question ends the run without a box.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace kv {

class MainWindow;
class TGFileInfo;

// The working error text that means "the user declined"; never shown.
extern const char* const kUserDeclined;  // "!"
// A signature appended after the build is cut from the agent copy when it is
// shorter than this.
constexpr std::uint64_t kAgentCopyTailLimit = 10000;

// The web branch of the setup's timer tick: drops the agent copy when the
// package asks for one, picks the package's location and runs RunWebSetup.
void WebSetupBranch(MainWindow& window);

// Takes the package from location (a local folder holding it, or the URL
// folder to download it from), checks its token and runs it.
void RunWebSetup(const std::string& setupFolder, const std::string& location,
                 const std::string& fileName);

// Both descriptors carry a valid PackageToken and the plain values are equal.
bool SamePackageToken(const TGFileInfo& a, const TGFileInfo& b);

// The agent copy of a web installer's image: data appended after SelfLength
// is cut when it is shorter than kAgentCopyTailLimit, and the trailer's
// AutoUpdateProg byte (5 bytes before the end) is set to 1.
std::string AgentCopyImage(std::string image);
// Writes the agent copy of the running file into folder under name, with
// the running file's time stamp. False when the name is not a plain file
// name or the copy cannot be written.
bool DropAgentCopyFile(const std::string& folder, const std::string& agentName);

// The download question with <SIZE> filled in from PackageSize.
std::string DownloadQuestionText(const TGFileInfo& info);

// Hooks of the web branch, resettable by tests.
struct WebSetupState {
  // Runs the package (RunSetup of the setup run).
  std::function<bool(const std::string& destination, const std::string& packageFile,
                     const std::string& agentFileName, const std::string& extraArgs,
                     bool foregroundOp)>
      runSetup;
  // The pauses around the progress reset (WaitWithMessages).
  std::function<void(std::int64_t ms)> pause;
};
WebSetupState& webSetupState();
void ResetWebSetupState();

}  // namespace kv
