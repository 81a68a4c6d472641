// Win32 files, folders and drives through the A-functions. File positions are
// 64-bit (SetFilePointer with its high part), which every Windows version has.
#include "os/file.h"

#include "os/win32/sysstring.h"
#include "os/win32/unique_handle.h"
#include "os/win32/win.h"

namespace os {
namespace {

HANDLE H(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

constexpr std::int64_t kUnixEpochAsFileTime = 116444736000000000LL;  // 1970-01-01 in 100 ns

std::int64_t FileTimeToUnix(const FILETIME& ft) {
  std::int64_t t = (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return (t - kUnixEpochAsFileTime) / 10000000;
}

bool IsDirAttr(DWORD a) { return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY); }

using GetDiskFreeSpaceExFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER,
                                           PULARGE_INTEGER);

// The extended free-space query is missing on the first Windows 95 release;
// look it up once.
GetDiskFreeSpaceExFn FreeSpaceEx() {
  static const GetDiskFreeSpaceExFn fn = [] {
    HMODULE k = ::GetModuleHandleA("kernel32.dll");
    return k ? reinterpret_cast<GetDiskFreeSpaceExFn>(
                   reinterpret_cast<void*>(::GetProcAddress(k, "GetDiskFreeSpaceExA")))
             : nullptr;
  }();
  return fn;
}

}  // namespace

bool File::open(const std::string& path, OpenMode mode) {
  close();
  DWORD access = 0, share = 0, disposition = 0;
  switch (mode) {
    case OpenMode::Read:
      access = GENERIC_READ;
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      disposition = OPEN_EXISTING;
      break;
    case OpenMode::Create:
      access = GENERIC_WRITE;
      share = FILE_SHARE_READ;
      disposition = CREATE_ALWAYS;
      break;
    case OpenMode::Append:
      // Several processes append to the same log; each opens, writes and closes.
      access = GENERIC_WRITE;
      share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
      disposition = OPEN_ALWAYS;
      break;
    case OpenMode::ReadWrite:
      access = GENERIC_READ | GENERIC_WRITE;
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      disposition = OPEN_EXISTING;
      break;
  }
  if (path.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  HANDLE h = ::CreateFileA(path.c_str(), access, share, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  h_ = reinterpret_cast<std::intptr_t>(h);
  if (mode == OpenMode::Append && !seekEnd()) {
    close();
    return false;
  }
  return true;
}

void File::close() {
  if (h_ != kInvalid) ::CloseHandle(H(h_));
  h_ = kInvalid;
}

std::int64_t File::size() const {
  if (h_ == kInvalid) return -1;
  DWORD high = 0;
  ::SetLastError(NO_ERROR);
  DWORD low = ::GetFileSize(H(h_), &high);
  if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) return -1;
  return (static_cast<std::int64_t>(high) << 32) | low;
}

bool File::seek(std::int64_t pos) {
  if (h_ == kInvalid || pos < 0) return false;
  LONG high = static_cast<LONG>(pos >> 32);
  ::SetLastError(NO_ERROR);
  DWORD low = ::SetFilePointer(H(h_), static_cast<LONG>(pos & 0xFFFFFFFF), &high, FILE_BEGIN);
  return !(low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR);
}

bool File::seekEnd() {
  if (h_ == kInvalid) return false;
  LONG high = 0;
  ::SetLastError(NO_ERROR);
  DWORD low = ::SetFilePointer(H(h_), 0, &high, FILE_END);
  return !(low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR);
}

std::int64_t File::tell() const {
  if (h_ == kInvalid) return -1;
  LONG high = 0;
  ::SetLastError(NO_ERROR);
  DWORD low = ::SetFilePointer(H(h_), 0, &high, FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) return -1;
  return (static_cast<std::int64_t>(high) << 32) | low;
}

std::size_t File::read(void* buf, std::size_t n) {
  if (h_ == kInvalid) return 0;
  std::size_t done = 0;
  while (done < n) {
    DWORD want = static_cast<DWORD>(n - done > 0x40000000 ? 0x40000000 : n - done);
    DWORD got = 0;
    if (!::ReadFile(H(h_), static_cast<char*>(buf) + done, want, &got, nullptr) || got == 0) break;
    done += got;
  }
  return done;
}

std::size_t File::write(const void* buf, std::size_t n) {
  if (h_ == kInvalid) return 0;
  std::size_t done = 0;
  while (done < n) {
    DWORD want = static_cast<DWORD>(n - done > 0x40000000 ? 0x40000000 : n - done);
    DWORD put = 0;
    if (!::WriteFile(H(h_), static_cast<const char*>(buf) + done, want, &put, nullptr) || put == 0)
      break;
    done += put;
  }
  return done;
}

bool File::setDosDateTime(std::uint32_t packed) {
  if (h_ == kInvalid) return false;
  FILETIME local{}, utc{};
  if (!::DosDateTimeToFileTime(static_cast<WORD>(packed >> 16), static_cast<WORD>(packed & 0xFFFF),
                               &local) ||
      !::LocalFileTimeToFileTime(&local, &utc))
    return false;
  return ::SetFileTime(H(h_), nullptr, nullptr, &utc) != FALSE;
}

bool File::setModTime(std::int64_t unixSeconds) {
  if (h_ == kInvalid) return false;
  std::int64_t t = unixSeconds * 10000000 + kUnixEpochAsFileTime;
  FILETIME ft{static_cast<DWORD>(t & 0xFFFFFFFF), static_cast<DWORD>(t >> 32)};
  return ::SetFileTime(H(h_), nullptr, nullptr, &ft) != FALSE;
}

bool FileExists(const std::string& path) {
  if (path.empty()) return false;
  DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::string& path) {
  return !path.empty() && IsDirAttr(::GetFileAttributesA(path.c_str()));
}

bool DeleteFile(const std::string& path) { return ::DeleteFileA(path.c_str()) != FALSE; }
bool CreateDir(const std::string& path) { return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE; }
bool RemoveDir(const std::string& path) { return ::RemoveDirectoryA(path.c_str()) != FALSE; }

bool SetAttributesNormal(const std::string& path) {
  return ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL) != FALSE;
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  return ::CopyFileA(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE) != FALSE;
}

bool MoveFile(const std::string& from, const std::string& to) {
  return ::MoveFileA(from.c_str(), to.c_str()) != FALSE;
}

std::vector<DirEntry> ListDir(const std::string& pattern) {
  std::vector<DirEntry> out;
  WIN32_FIND_DATAA fd{};
  win32::UniqueFind find(::FindFirstFileA(pattern.c_str(), &fd));
  if (!find) return out;
  do {
    DirEntry e;
    e.name = fd.cFileName;
    e.isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.hidden = (fd.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    e.system = (fd.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    e.readOnly = (fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    e.isLink = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    e.size = e.isDir ? 0
                     : static_cast<std::int64_t>((static_cast<std::uint64_t>(fd.nFileSizeHigh) << 32) |
                                                 fd.nFileSizeLow);
    out.push_back(std::move(e));
  } while (::FindNextFileA(find.get(), &fd));
  return out;
}

std::int64_t GetModTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (path.empty() || !::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return FileTimeToUnix(data.ftLastWriteTime);
}

bool SetDosDateTime(const std::string& path, std::uint32_t packed) {
  File f;
  return f.open(path, OpenMode::ReadWrite) && f.setDosDateTime(packed);
}

int GetDriveType(const std::string& root) {
  return static_cast<int>(::GetDriveTypeA(root.empty() ? nullptr : root.c_str()));
}

std::uint32_t GetClusterSize(const std::string& root) {
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!::GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters))
    return 0;
  return sectorsPerCluster * bytesPerSector;
}

bool HasFreeBytesEx() { return FreeSpaceEx() != nullptr; }

bool GetFreeBytesEx(const std::string& path, std::uint64_t& freeBytes) {
  GetDiskFreeSpaceExFn fn = FreeSpaceEx();
  if (!fn) return false;
  ULARGE_INTEGER avail{}, total{}, totalFree{};
  if (!fn(path.c_str(), &avail, &total, &totalFree)) return false;
  freeBytes = avail.QuadPart;
  return true;
}

bool GetFreeBytesLegacy(const std::string& root, std::uint64_t& freeBytes) {
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!::GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters))
    return false;
  freeBytes = static_cast<std::uint64_t>(sectorsPerCluster) * bytesPerSector * freeClusters;
  return true;
}

std::string GetShortPath(const std::string& path) {
  if (path.empty()) return std::string();
  return win32::ReadSystemString(
      [&](char* buf, DWORD size) { return ::GetShortPathNameA(path.c_str(), buf, size); });
}

std::string GetFullPath(const std::string& path) {
  if (path.empty()) return std::string();
  return win32::ReadSystemString([&](char* buf, DWORD size) {
    return ::GetFullPathNameA(path.c_str(), size, buf, nullptr);
  });
}

bool SetCurrentDir(const std::string& path) {
  return ::SetCurrentDirectoryA(path.c_str()) != FALSE;
}

std::string GetCurrentDir() {
  return win32::ReadSystemString(
      [](char* buf, DWORD size) { return ::GetCurrentDirectoryA(size, buf); });
}

}  // namespace os
