// Extraction of a package into a folder: every volume in turn (asking for
// the further disks or CDs of a split package), the checksum of each volume,
// the file records appended to their files, the main program's entry, the
// progress display, and the auto-update agent written from the first volume.
//
// Records stream: each one is read in 64 KiB pieces, inflated into a bounded
// buffer and appended piece by piece to its file, which stays open for the
// record. Memory does not grow with the size of a record.
//
// Volume names: the first volume is the given file; when it ends with ".001"
// the base name is the name without it, else the whole name. Volume k is the
// base name, ".", and k in three digits (setup.exe.002, setup.exe.003 ...).
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace kv {

// The progress display's callback, as ShowProgress takes it: action 0 sets
// the range 0..maximum with the position and step, action 1 steps once.
using ExtractProgress = std::function<void(int action, int maximum, int position, int step)>;

enum class ExtractResult {
  Completed,       // every volume read (the main entry may still be empty)
  Cancelled,       // the user cancelled a disk question
  ChecksumFailed,  // a volume's checksum did not match
  // A damaged record (inflate error, length beyond the volume, bad header)
  // or a record name that is not a plain file name: the package cannot be
  // trusted, nothing of it may be run. The caller treats it like a checksum
  // failure.
  Damaged,
};
const char* ExtractResultText(ExtractResult r);

// Extracts the package whose first volume is packageFile into destination.
//   agentFileName  the agent executable to write from volume 1 (its file-name
//                  part is used); empty for none
//   mainEntry      out: the main program's entry (the name field with its
//                  "*" and arguments); empty when there is none, when the
//                  user cancelled a disk, or when the package is damaged
//   forcePrompt    ask for every further volume even when it is present
//   charset, buttonList, caption, diskQuestion
//                  the disk question ("<DISK_NUM>" becomes the volume number)
//   progress       the progress display (may be empty)
//   checksumOk     out: whether every volume read had an accepted checksum
ExtractResult ExtractPackage(const std::string& packageFile, const std::string& destination,
                             const std::string& agentFileName, std::string& mainEntry,
                             bool forcePrompt, int charset, const std::string& buttonList,
                             const std::string& caption, const std::string& diskQuestion,
                             const ExtractProgress& progress, bool& checksumOk);

// The file name of volume k (k >= 2) of a package whose first volume is given.
std::string VolumeFile(const std::string& firstVolume, int k);

// Whether a packed DOS date and time (date high, time low) names a real
// moment: 1980 to 2107, a day that exists in its month, 00:00:00 to 23:59:58.
bool IsValidDosDateTime(std::int64_t packed);

// The details of the save-error box: the system's text for the error, the
// size of the record's content, the target's current size and the free bytes
// of its drive.
std::string SaveErrorDetails(const std::string& errorText, std::int64_t dataSize,
                             std::int64_t fileSize, double bytesFree);

// Process-wide extraction state, resettable by tests.
struct UnpackState {
  // Failed file writes in this process; only the first is shown.
  int writeFailures = 0;
  // The setup run's fixed pauses (WaitWithMessages for the given time).
  // Empty: the real wait. Tests shorten them.
  std::function<void(std::int64_t ms)> pause;
};
UnpackState& unpackState();
void ResetUnpackState();

// One of the setup run's fixed pauses, with the thread's messages dispatched.
void SetupPause(std::int64_t ms);

}  // namespace kv
