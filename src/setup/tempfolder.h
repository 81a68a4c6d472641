// The folder the package is extracted into: SETUP_<time> in the system's
// temporary folder, or a folder on another fixed drive (C, D or E) with more
// room; the free-space question; the forced disk prompt setting.
#pragma once
#include <cstdint>
#include <string>

namespace kv {

class TGFileInfo;

constexpr const char* kSpanDiskKey = "HKEY_CURRENT_USER\\Software\\Dornvale\\Kavrex\\SpanDisk";

// The setup temporary folder. The first call clears a stale folder of that
// name and creates it again.
std::string GetSetupTempFolder();
// The folder name alone: temp folder + "SETUP_" + the time-of-day half of the
// running file's packed DOS time stamp.
std::string SetupTempFolderName(const std::string& tempDir, std::uint32_t dosDateTime);

// Looks for a fixed drive among C, D, E with more free space than the
// temporary drive; true when an alternative base is set (now or earlier).
bool FindAlternativeTempBase();
// base + "_" + a random number, created on the first call; empty without a base.
std::string GetAlternativeTempFolder();
void RemoveAlternativeTempFolder();

// True when the package's need on the folder's drive is below the drive's
// free space and the folder exists.
bool HasRoomForPackage(const std::string& folder, const std::string& packageFile);
// The temporary-space question for the given figures, or empty when there is
// nothing to ask (enough space and no notice wanted).
std::string BuildTempSpaceMessage(const TGFileInfo& info, const std::string& folder,
                                  double required, double available);
// True to go on: without a question, or when the user answered Yes.
bool ConfirmTempSpace(const std::string& folder, const TGFileInfo& info);

// The "ForcePrompt" value is exactly "1".
bool ReadForcePrompt();

// Bytes as megabytes: 3 decimals below 1 MB, 2 up to 10 MB, 1 above.
std::string FormatMB(double bytes);

// Process-wide folder choices; each is set at most once per run.
struct TempFolderState {
  std::string setupTempFolder;      // empty = not yet made
  std::string alternativeBase;      // empty = none chosen
  std::string alternativeFolder;    // empty = not yet made
};
TempFolderState& tempFolderState();
void ResetTempFolderState();

}  // namespace kv
