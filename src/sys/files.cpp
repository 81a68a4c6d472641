#include "sys/files.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <vector>

#include "os/file.h"
#include "os/process.h"
#include "os/system.h"
#include "sys/kdebug.h"
#include "sys/utils.h"
#include "ui/kmsgbox.h"

namespace kv {

FilesState& filesState() {
  static FilesState s;
  return s;
}

namespace {

bool IsDotName(const std::string& name) { return name == "." || name == ".."; }

// folder + "\" + name without doubling the backslash of a drive root.
std::string JoinPath(const std::string& folder, const std::string& name) {
  return SetTrailingBackslash(folder, true) + name;
}

std::string DriveRoot(char letter) { return std::string(1, letter) + ":\\"; }

}  // namespace

std::int64_t GetFileSizeByName(const std::string& path) {
  if (path.empty()) return 0;
  std::vector<os::DirEntry> entries = os::ListDir(path);
  return entries.empty() ? 0 : entries.front().size;
}

std::string ReadFilePart(const std::string& path, std::int64_t maxLength, std::int64_t offset) {
  std::string result;
  if (!os::FileExists(path)) return result;
  os::File f;
  if (!f.open(path, os::OpenMode::Read)) return result;
  std::int64_t size = f.size();
  std::int64_t count = size - offset;
  if (maxLength > 0) count = std::min(count, maxLength);
  if (offset < 0 || offset >= size || count <= 0) return result;
  if (!f.seek(offset)) return result;
  try {
    result.resize(static_cast<std::size_t>(count));
  } catch (const std::exception&) {  // bad_alloc or length_error: nothing read
    return std::string();
  }
  if (f.read(&result[0], result.size()) != result.size()) result.clear();
  return result;
}

std::int64_t WriteChunkSize(std::int64_t length) {
  std::int64_t chunk = length / 10;
  if (chunk <= 1024) return std::min<std::int64_t>(1024, length);
  return std::min<std::int64_t>(chunk, kWriteChunkLimit);
}

bool WriteTextToFile(const std::string& path, const std::string& content, std::uint32_t fileDate,
                     bool append, const WriteProgress& progress) {
  os::File f;
  if (!f.open(path, append ? os::OpenMode::Append : os::OpenMode::Create)) return false;
  const std::int64_t total = static_cast<std::int64_t>(content.size());
  std::int64_t written = 0;
  if (progress || total > kWriteChunkLimit) {
    const std::int64_t chunk = WriteChunkSize(total);
    bool cancel = false;
    if (progress) progress(total, 0, cancel);
    while (written < total && !cancel && chunk > 0) {
      std::size_t n = static_cast<std::size_t>(std::min(chunk, total - written));
      std::size_t done = f.write(content.data() + written, n);
      written += static_cast<std::int64_t>(done);
      if (done == 0) break;
      if (progress) progress(total, written, cancel);
    }
  } else if (total > 0) {
    written = static_cast<std::int64_t>(f.write(content.data(), content.size()));
  }
  if (written == total && fileDate != 0) f.setDosDateTime(fileDate);
  return written == total;
}

bool AppendToFile(const std::string& path, const std::string& content, std::uint32_t fileDate) {
  os::File f;
  if (!f.open(path, os::OpenMode::Append)) return false;
  std::size_t written = content.empty() ? 0 : f.write(content.data(), content.size());
  if (fileDate != 0) f.setDosDateTime(fileDate);
  return written == content.size();
}

std::string GetVolumeRootPath(const std::string& path, bool driveOnly) {
  std::string p = ReplaceChar(path, '/', '\\');
  if (p.empty()) return p;
  if (driveOnly || p.size() < 3) {
    return std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(p[0])))) +
           ":\\";
  }
  // The first backslash at 1-based position 4 or later ends the query path.
  std::string::size_type cut = p.find('\\', 3);
  return cut == std::string::npos ? p : p.substr(0, cut);
}

double GetDiskFreeBytes(const std::string& path) {
  FilesState& st = filesState();
  if (st.hasFreeSpaceEx == 255) st.hasFreeSpaceEx = os::HasFreeBytesEx() ? 1 : 0;
  const bool extended = st.hasFreeSpaceEx == 1;
  std::string query = GetVolumeRootPath(path, !extended);
  if (query.empty()) return -1;
  std::uint64_t bytes = 0;
  if (extended) {
    if (os::GetFreeBytesEx(query, bytes)) return static_cast<double>(bytes);
    // Some volumes answer only for their root.
    query = GetVolumeRootPath(path, true);
    if (os::GetFreeBytesEx(query, bytes)) return static_cast<double>(bytes);
    return -1;
  }
  if (os::GetFreeBytesLegacy(query, bytes)) return static_cast<double>(bytes);
  return -1;
}

std::string FindFileInTree(const std::string& folder, const std::string& name) {
  if (folder.empty() || name.empty()) return std::string();
  std::string direct = JoinPath(folder, name);
  if (os::FileExists(direct)) return direct;
  for (const os::DirEntry& e : os::ListDir(JoinPath(folder, "*.*"))) {
    std::string found;
    if (!e.hidden && e.isDir && !e.isLink && !IsDotName(e.name))
      found = FindFileInTree(JoinPath(folder, e.name), name);
    PumpMessages(0);
    if (!found.empty()) return found;
  }
  return std::string();
}

std::string FindFolderInTree(const std::string& folder, const std::string& name) {
  if (folder.empty() || name.empty()) return std::string();
  if (EndsWith("\\" + name, folder, true)) return folder;
  for (const os::DirEntry& e : os::ListDir(JoinPath(folder, "*.*"))) {
    std::string found;
    if (!e.hidden && e.isDir && !e.isLink && !IsDotName(e.name))
      found = FindFolderInTree(JoinPath(folder, e.name), name);
    PumpMessages(0);
    if (!found.empty()) return found;
  }
  return std::string();
}

std::string FindFileOnDrives(const std::string& name, int driveType) {
  for (char d = 'C'; d <= 'Z'; ++d) {
    if (os::GetDriveType(DriveRoot(d)) != driveType) continue;
    std::string found = FindFileInTree(DriveRoot(d), name);
    if (!found.empty()) return found;
  }
  return std::string();
}

std::string FindFolderOnDrives(const std::string& name, int driveType) {
  if (name.size() >= 3 && name.compare(1, 2, ":\\") == 0) {
    char d = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
    return os::GetDriveType(DriveRoot(d)) == driveType && os::DirExists(name) ? name
                                                                              : std::string();
  }
  for (char d = 'C'; d <= 'Z'; ++d) {
    if (os::GetDriveType(DriveRoot(d)) != driveType) continue;
    std::string found = FindFolderInTree(DriveRoot(d), name);
    if (!found.empty()) return found;
  }
  return std::string();
}

bool DeleteFiles(const std::string& pattern, bool clearAttributes) {
  std::string::size_type cut = pattern.find_last_of("\\/");
  std::string folder = cut == std::string::npos ? std::string() : pattern.substr(0, cut + 1);
  bool matched = false;
  for (const os::DirEntry& e : os::ListDir(pattern)) {
    if (e.isDir) continue;
    matched = true;
    std::string file = folder + e.name;
    if (clearAttributes) os::SetAttributesNormal(file);
    os::DeleteFile(file);
  }
  return matched;
}

bool DeleteTree(const std::string& folder, bool clearAttributes, const TreeProgress& progress) {
  if (folder.empty()) return false;
  const bool existed = os::DirExists(folder);
  const std::string all = JoinPath(folder, "*.*");
  DeleteFiles(all, clearAttributes);
  for (const os::DirEntry& e : os::ListDir(all)) {
    if (!e.isDir || e.hidden || e.system || IsDotName(e.name)) continue;
    std::string sub = JoinPath(folder, e.name);
    bool cancel = false;
    try {
      // A link to a folder elsewhere is removed as a link; its target is not ours.
      if (!e.isLink) DeleteTree(sub, clearAttributes, nullptr);
      if (progress) progress(sub, cancel);
      os::RemoveDir(sub);
    } catch (...) {  // a failing callback must not stop the clean-up of the rest
    }
    if (cancel) break;
  }
  os::RemoveDir(folder);
  return existed && !os::DirExists(folder);
}

bool ForceDirectories(const std::string& folder) {
  std::string f = folder;
  while (f.size() > 1 && (f.back() == '\\' || f.back() == '/')) f.pop_back();
  if (f.empty()) return false;
  if (os::DirExists(f)) return true;
  // A drive ("C:") or a bare root cannot be created.
  if (f.size() == 2 && f[1] == ':') return false;
  std::string::size_type cut = f.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0) {
    std::string parent = f.substr(0, cut);
    if (!(parent.size() == 2 && parent[1] == ':') && parent != "\\" && parent != "\\\\" &&
        !os::DirExists(parent) && !ForceDirectories(parent))
      return false;
  }
  os::CreateDir(f);
  return os::DirExists(f);
}

std::string BuildDeleteMeBatch(const std::string& exePath, const std::string& exeFolder,
                               const std::string& batchPath, bool removeFolder, bool quotePaths) {
  auto q = [quotePaths](const std::string& p) { return quotePaths ? "\"" + p + "\"" : p; };
  std::string text;
  text += ":START\r\n";
  text += "DEL " + q(exePath) + "\r\n";
  text += "IF exist " + q(exePath) + " GOTO START\r\n";
  if (removeFolder) text += "RD " + q(exeFolder) + "\r\n";
  text += "DEL " + q(batchPath) + "\r\n";
  return text;
}

void DeleteMySelf(bool removeFolder, bool shortNames) {
  const std::string tempDir = GetTempDir(true);
  std::string batch = tempDir + "_DEL_ME_.BAT";
  std::string exe = GetExePath();
  std::string folder = GetExeDir(false);
  bool quote = true;
  if (shortNames) {
    // The short form exists only for an existing file.
    WriteTextToFile(batch, "ABC\r\n");
    std::string sBatch = os::GetShortPath(batch);
    std::string sExe = os::GetShortPath(exe);
    std::string sFolder = os::GetShortPath(folder);
    os::DeleteFile(batch);
    // Without a short form for every path, the long paths stay, quoted.
    if (!sBatch.empty() && !sExe.empty() && !sFolder.empty()) {
      batch = sBatch;
      exe = sExe;
      folder = sFolder;
      quote = false;
    }
  }
  std::string text = BuildDeleteMeBatch(exe, folder, batch, removeFolder, quote);
  os::SetCurrentDir(tempDir);
  if (WriteTextToFile(batch, text)) os::StartDetached(quote ? "\"" + batch + "\"" : batch, false);
}

bool EjectCD(const std::string& path) {
  if (path.empty()) return false;
  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
  if (letter < 'A' || letter > 'Z') return false;
  if (os::GetDriveType(DriveRoot(letter)) != 5) return false;
  const std::string device = std::string("\\\\.\\") + letter + ":";
  try {
    os::MediaDevice dev;
    dev.open(device, true);
    WriteDebugOutput("EjectCD-2: " + device + " " + std::to_string(dev.handleValue()));
    if (!dev.isOpen()) dev.open(device, false);
    WriteDebugOutput("EjectCD-3: " + device + " " + std::to_string(dev.handleValue()));
    if (!dev.isOpen()) return false;
    return dev.ejectMedia();
  } catch (...) {
    return false;
  }
}

}  // namespace kv
