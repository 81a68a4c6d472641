// File and folder operations: whole-text reads and writes, free space,
// searches for files and folders across drives, deletion of trees, the CD
// eject request and the removal of the running executable after its end.
// Nothing here shows a message or throws: failures come back as an empty
// text, false, -1 or an empty path.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace kv {

// Progress of a long write: the content length, the bytes written so far, and
// a flag the callback may set to stop.
using WriteProgress = std::function<void(std::int64_t total, std::int64_t position, bool& cancel)>;
// Called by DeleteTree after each sub-folder's content is gone, before the
// sub-folder itself is removed; may set the flag to stop.
using TreeProgress = std::function<void(const std::string& subFolder, bool& cancel)>;

// Size of the first entry matching the path (which may be a pattern), 0 when none.
std::int64_t GetFileSizeByName(const std::string& path);

// Up to maxLength bytes (0 = no maximum) from offset; empty for a missing or
// empty file, an offset outside the file, or a short read.
std::string ReadFilePart(const std::string& path, std::int64_t maxLength = 0,
                         std::int64_t offset = 0);

// Contents above this size are written in chunks.
constexpr std::int64_t kWriteChunkLimit = 1048576;
// The chunk size used for a content of the given length.
std::int64_t WriteChunkSize(std::int64_t length);

// Creates (or, with append, extends) the file. fileDate is a packed DOS date
// and time (date high, time low; 0 = leave the time of writing). True when the
// file was opened and every byte was written.
bool WriteTextToFile(const std::string& path, const std::string& content,
                     std::uint32_t fileDate = 0, bool append = false,
                     const WriteProgress& progress = nullptr);
bool AppendToFile(const std::string& path, const std::string& content, std::uint32_t fileDate = 0);

// The path the free-space query is asked for: "/" turned into "\", then either
// the drive root ("C:\") or the path cut before its first backslash at
// position 4 or later ("C:\Temp\Setup" -> "C:\Temp"). Empty for an empty path.
std::string GetVolumeRootPath(const std::string& path, bool driveOnly);
// Free bytes available to the caller on the path's volume, -1 when unknown.
double GetDiskFreeBytes(const std::string& path);

// Depth-first searches; window messages are dispatched after every entry.
std::string FindFileInTree(const std::string& folder, const std::string& name);
std::string FindFileOnDrives(const std::string& name, int driveType);
std::string FindFolderInTree(const std::string& folder, const std::string& name);
std::string FindFolderOnDrives(const std::string& name, int driveType);

// Deletes the files (not folders) matching the pattern, whatever their
// attributes; true when at least one matched.
bool DeleteFiles(const std::string& pattern, bool clearAttributes);
// Deletes the folder with its content; true when it existed and is gone.
bool DeleteTree(const std::string& folder, bool clearAttributes,
                const TreeProgress& progress = nullptr);
// Creates the folder together with every missing parent; true when it exists afterwards.
bool ForceDirectories(const std::string& folder);

// The text of the self-delete batch: the loop that deletes the executable
// until it is gone, optionally the removal of its folder, then the batch's own
// deletion. Lines end with CR LF; paths are quoted when asked.
std::string BuildDeleteMeBatch(const std::string& exePath, const std::string& exeFolder,
                               const std::string& batchPath, bool removeFolder, bool quotePaths);
// Writes "_DEL_ME_.BAT" into the temporary folder and starts it hidden; it
// deletes the running executable (and with removeFolder its folder, when
// empty) once the process has ended. Does not wait.
void DeleteMySelf(bool removeFolder, bool shortNames);

// Ejects the medium of the CD-ROM drive holding the path; false for any other drive.
bool EjectCD(const std::string& path);

// Process-wide cached facts, resettable by tests.
struct FilesState {
  std::uint8_t hasFreeSpaceEx = 255;  // 255 = not yet known
};
FilesState& filesState();

}  // namespace kv
