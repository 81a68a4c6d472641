// Files, folders and drives. Paths are Windows paths (backslashes, "C:\...");
// the host layer maps them onto POSIX paths (see host/host_control.h).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace os {

enum class OpenMode {
  Read,         // existing file, shared for readers and writers
  Create,       // create or truncate, write access
  Append,       // existing file shared for all others, or create; positioned at the end
  ReadWrite,    // existing file, read and write
};

// An open file. Move-only; closes itself.
class File {
 public:
  File() = default;
  ~File() { close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& o) noexcept : h_(o.h_) { o.h_ = kInvalid; }
  File& operator=(File&& o) noexcept {
    if (this != &o) { close(); h_ = o.h_; o.h_ = kInvalid; }
    return *this;
  }

  bool open(const std::string& path, OpenMode mode);
  bool isOpen() const { return h_ != kInvalid; }
  void close();
  std::int64_t size() const;                   // -1 on failure
  bool seek(std::int64_t pos);                 // absolute
  bool seekEnd();
  std::int64_t tell() const;
  std::size_t read(void* buf, std::size_t n);  // bytes read; 0 at end or on error
  std::size_t write(const void* buf, std::size_t n);
  bool setDosDateTime(std::uint32_t packed);   // high 16 bits date, low 16 bits time
  bool setModTime(std::int64_t unixSeconds);

 private:
  static constexpr std::intptr_t kInvalid = -1;
  std::intptr_t h_ = kInvalid;
};

struct DirEntry {
  std::string name;
  bool isDir = false;
  bool hidden = false;
  bool system = false;
  bool readOnly = false;
  bool isLink = false;  // a symbolic link or junction: never descended into
  std::int64_t size = 0;
};

bool FileExists(const std::string& path);       // a file, not a folder
bool DirExists(const std::string& path);
bool DeleteFile(const std::string& path);
bool CreateDir(const std::string& path);        // one level
bool RemoveDir(const std::string& path);        // empty folders only, or a folder link itself
bool SetAttributesNormal(const std::string& path);
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);
bool MoveFile(const std::string& from, const std::string& to);
// Entries matching a pattern whose last component may hold * and ? (FindFirstFile).
std::vector<DirEntry> ListDir(const std::string& pattern);
// Modification time as seconds since 1970 (UTC); -1 when unknown.
std::int64_t GetModTime(const std::string& path);
bool SetDosDateTime(const std::string& path, std::uint32_t packed);

// Drives. root is "X:\"; see the Win32 GetDriveType codes (2 removable, 3
// fixed, 4 remote, 5 CD-ROM, 6 RAM disk; 0/1 unknown or no root).
int GetDriveType(const std::string& root);
// Sectors per cluster times bytes per sector; 0 when the drive cannot be queried.
std::uint32_t GetClusterSize(const std::string& root);
// Free bytes available to the caller through the extended query; false on failure.
bool GetFreeBytesEx(const std::string& path, std::uint64_t& freeBytes);
bool HasFreeBytesEx();  // whether the extended query exists on this system
// Free space through the legacy query (sectors * bytes * free clusters).
bool GetFreeBytesLegacy(const std::string& root, std::uint64_t& freeBytes);
std::string GetShortPath(const std::string& path);  // empty on failure
std::string GetFullPath(const std::string& path);
bool SetCurrentDir(const std::string& path);
std::string GetCurrentDir();

}  // namespace os
