// Host files: POSIX calls on mapped paths.
#include "os/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utime.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "os/env.h"
#include "os/host/host_state.h"

namespace os {
namespace {

int Fd(std::intptr_t h) { return static_cast<int>(h); }

void SetErr() { host::state().lastError = static_cast<std::uint32_t>(errno); }

std::int64_t DosToUnix(std::uint32_t packed) {
  std::uint16_t date = static_cast<std::uint16_t>(packed >> 16);
  std::uint16_t time = static_cast<std::uint16_t>(packed & 0xFFFF);
  std::tm tm{};
  tm.tm_year = ((date >> 9) & 0x7F) + 1980 - 1900;
  tm.tm_mon = ((date >> 5) & 0x0F) - 1;
  tm.tm_mday = date & 0x1F;
  tm.tm_hour = (time >> 11) & 0x1F;
  tm.tm_min = (time >> 5) & 0x3F;
  tm.tm_sec = (time & 0x1F) * 2;
  if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 ||
      tm.tm_min > 59 || tm.tm_sec > 59)
    return -1;
  tm.tm_isdst = -1;
  return static_cast<std::int64_t>(std::mktime(&tm));  // DOS times are local times
}

char DriveOf(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])))
    return static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
  return 0;
}

}  // namespace

bool File::open(const std::string& path, OpenMode mode) {
  close();
  std::string p = host::MapPath(path);
  int flags = 0;
  switch (mode) {
    case OpenMode::Read: flags = O_RDONLY; break;
    case OpenMode::Create: flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    case OpenMode::Append: flags = O_WRONLY | O_CREAT; break;
    case OpenMode::ReadWrite: flags = O_RDWR; break;
  }
  struct stat st{};
  if (::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    host::state().lastError = 5;  // access denied, as Windows says for folders
    return false;
  }
  int fd = ::open(p.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) {
    SetErr();
    return false;
  }
  h_ = fd;
  if (mode == OpenMode::Append) seekEnd();
  return true;
}

void File::close() {
  if (h_ != kInvalid) ::close(Fd(h_));
  h_ = kInvalid;
}

std::int64_t File::size() const {
  struct stat st{};
  if (h_ == kInvalid || ::fstat(Fd(h_), &st) != 0) return -1;
  return st.st_size;
}

bool File::seek(std::int64_t pos) {
  return h_ != kInvalid && pos >= 0 && ::lseek(Fd(h_), pos, SEEK_SET) == pos;
}
bool File::seekEnd() { return h_ != kInvalid && ::lseek(Fd(h_), 0, SEEK_END) >= 0; }
std::int64_t File::tell() const { return h_ == kInvalid ? -1 : ::lseek(Fd(h_), 0, SEEK_CUR); }

std::size_t File::read(void* buf, std::size_t n) {
  if (h_ == kInvalid) return 0;
  std::size_t done = 0;
  while (done < n) {
    ssize_t r = ::read(Fd(h_), static_cast<char*>(buf) + done, n - done);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      if (r < 0) SetErr();
      break;
    }
    done += static_cast<std::size_t>(r);
  }
  return done;
}

std::size_t File::write(const void* buf, std::size_t n) {
  if (h_ == kInvalid) return 0;
  std::size_t done = 0;
  while (done < n) {
    ssize_t r = ::write(Fd(h_), static_cast<const char*>(buf) + done, n - done);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      if (r < 0) SetErr();
      break;
    }
    done += static_cast<std::size_t>(r);
  }
  return done;
}

bool File::setDosDateTime(std::uint32_t packed) {
  std::int64_t t = DosToUnix(packed);
  return t >= 0 && setModTime(t);
}

bool File::setModTime(std::int64_t unixSeconds) {
  if (h_ == kInvalid) return false;
  struct timespec ts[2];
  ts[0].tv_sec = static_cast<time_t>(unixSeconds);
  ts[0].tv_nsec = 0;
  ts[1] = ts[0];
  return ::futimens(Fd(h_), ts) == 0;
}

bool FileExists(const std::string& path) {
  struct stat st{};
  return !path.empty() && ::stat(host::MapPath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirExists(const std::string& path) {
  struct stat st{};
  return !path.empty() && ::stat(host::MapPath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& path) {
  if (DirExists(path)) return false;
  if (::unlink(host::MapPath(path).c_str()) == 0) return true;
  SetErr();
  return false;
}

bool CreateDir(const std::string& path) {
  if (::mkdir(host::MapPath(path).c_str(), 0755) == 0) return true;
  SetErr();
  return false;
}

bool RemoveDir(const std::string& path) {
  std::string p = host::MapPath(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  struct stat lst{};
  if (::lstat(p.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) return ::unlink(p.c_str()) == 0;
  if (::rmdir(p.c_str()) == 0) return true;
  SetErr();
  return false;
}

bool SetAttributesNormal(const std::string& path) {
  std::string p = host::MapPath(path);
  struct stat st{};
  if (::stat(p.c_str(), &st) != 0) return false;
  return ::chmod(p.c_str(), st.st_mode | S_IWUSR) == 0;
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  if (failIfExists && FileExists(to)) return false;
  File in, out;
  if (!in.open(from, OpenMode::Read) || !out.open(to, OpenMode::Create)) return false;
  char buf[65536];
  for (;;) {
    std::size_t n = in.read(buf, sizeof buf);
    if (n == 0) break;
    if (out.write(buf, n) != n) return false;
  }
  std::int64_t t = GetModTime(from);
  if (t >= 0) out.setModTime(t);
  return true;
}

bool MoveFile(const std::string& from, const std::string& to) {
  if (FileExists(to) || DirExists(to)) return false;
  return ::rename(host::MapPath(from).c_str(), host::MapPath(to).c_str()) == 0;
}

std::vector<DirEntry> ListDir(const std::string& pattern) {
  std::vector<DirEntry> out;
  std::string::size_type cut = pattern.find_last_of("\\/");
  std::string folder = cut == std::string::npos ? "." : pattern.substr(0, cut);
  std::string mask = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
  if (folder.empty()) folder = "/";
  if (folder.size() == 2 && folder[1] == ':') folder += "\\";
  std::string hostFolder = host::MapPath(folder);
  // "*.*" matches every name on Windows, with or without a dot.
  if (mask == "*.*") mask = "*";
  std::string upperMask = host::Upper(mask);
  DIR* d = ::opendir(hostFolder.c_str());
  if (!d) return out;
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (::fnmatch(upperMask.c_str(), host::Upper(name).c_str(), 0) != 0) continue;
    DirEntry de;
    de.name = name;
    struct stat st{};
    std::string full = hostFolder + "/" + name;
    struct stat lst{};
    de.isLink = ::lstat(full.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode);
    if (::stat(full.c_str(), &st) == 0) {
      de.isDir = S_ISDIR(st.st_mode);
      de.size = de.isDir ? 0 : st.st_size;
      de.readOnly = (st.st_mode & S_IWUSR) == 0;
    }
    de.hidden = false;  // the host has no hidden attribute; dot-names are ordinary
    out.push_back(de);
  }
  ::closedir(d);
  return out;
}

std::int64_t GetModTime(const std::string& path) {
  struct stat st{};
  if (::stat(host::MapPath(path).c_str(), &st) != 0) return -1;
  return st.st_mtime;
}

bool SetDosDateTime(const std::string& path, std::uint32_t packed) {
  File f;
  if (!f.open(path, OpenMode::ReadWrite)) return false;
  return f.setDosDateTime(packed);
}

int GetDriveType(const std::string& root) {
  char d = DriveOf(root);
  if (!d) return 1;
  auto& types = host::state().driveTypes;
  auto it = types.find(d);
  if (it != types.end()) return it->second;
  return d == 'C' ? 3 : 1;
}

std::uint32_t GetClusterSize(const std::string& root) {
  char d = DriveOf(root);
  if (!d) return 0;
  auto& sizes = host::state().clusterSizes;
  auto it = sizes.find(d);
  return it != sizes.end() ? it->second : 4096;
}

bool HasFreeBytesEx() { return true; }

bool GetFreeBytesEx(const std::string& path, std::uint64_t& freeBytes) {
  char d = DriveOf(path);
  if (d) {
    auto& fb = host::state().freeBytes;
    auto it = fb.find(d);
    if (it != fb.end() && it->second >= 0) {
      freeBytes = static_cast<std::uint64_t>(it->second);
      return true;
    }
    if (GetDriveType(std::string(1, d) + ":\\") <= 1) return false;
  }
  std::string p = host::MapPath(path);
  struct statvfs sv{};
  // Walk up to an existing folder, as the Windows query accepts any folder on the volume.
  while (::statvfs(p.c_str(), &sv) != 0) {
    auto cut = p.find_last_of('/');
    if (cut == std::string::npos || cut == 0) {
      if (::statvfs("/", &sv) != 0) return false;
      break;
    }
    p = p.substr(0, cut);
  }
  freeBytes = static_cast<std::uint64_t>(sv.f_bavail) * sv.f_frsize;
  return true;
}

bool GetFreeBytesLegacy(const std::string& root, std::uint64_t& freeBytes) {
  return GetFreeBytesEx(root, freeBytes);
}

std::string GetShortPath(const std::string& path) { return FileExists(path) || DirExists(path) ? path : ""; }

std::string GetFullPath(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path;
  if (!path.empty() && (path[0] == '/' || path[0] == '\\')) return path;
  std::string cur = GetCurrentDir();
  return cur + (cur.empty() || cur.back() == '/' ? "" : "/") + path;
}

bool SetCurrentDir(const std::string& path) { return ::chdir(host::MapPath(path).c_str()) == 0; }

std::string GetCurrentDir() {
  char buf[PATH_MAX];
  return ::getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

}  // namespace os
