// Names, stamps, list checks and file helpers shared by the kvpack commands.
#ifdef _WIN32
// First: mingw's io.h declares _isatty only when no other header has
// declared its file-size type before it.
#include <io.h>
#endif
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "fileio.h"
#include "kvpack.h"
#include "package/ksub.h"

namespace fs = std::filesystem;

namespace kv::pack {

// ---------------------------------------------------------------- names

namespace {

std::string UpperAsciiCopy(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool IsDeviceName(const std::string& name) {
  // Windows opens the device whatever the extension: "CON.txt" is the console.
  std::string base = UpperAsciiCopy(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* d : kDevices)
    if (base == d) return true;
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
      base[3] >= '0' && base[3] <= '9')
    return true;
  return false;
}

}  // namespace

std::string WhyNotPlainName(const std::string& name) {
  if (name.empty()) return "the name is empty";
  if (name.size() > 255) return "the name is longer than 255 bytes";
  if (name == "." || name == "..") return "\"" + name + "\" is not a file name";
  for (unsigned char c : name) {
    if (c < 32 || c == 127) return "the name contains a control character";
    if (c == '/' || c == '\\') return "the name contains a path separator";
    if (c == ':') return "the name contains \":\" (a drive or stream)";
    if (std::strchr("<>\"|?*", c)) return std::string("the name contains \"") + char(c) + "\"";
  }
  if (name.back() == '.' || name.back() == ' ')
    return "the name ends with a dot or a blank (Windows drops them)";
  if (IsDeviceName(name)) return "the name is a Windows device name";
  return "";
}

// ---------------------------------------------------------------- stamps

std::uint32_t UnixToDosStamp(std::int64_t unixSeconds) {
  std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
#ifdef _WIN32
  if (localtime_s(&tm, &t) != 0) return 0;
#else
  if (!localtime_r(&t, &tm)) return 0;
#endif
  int year = tm.tm_year + 1900;
  if (year < 1980 || year > 2107) return 0;
  std::uint32_t date = (static_cast<std::uint32_t>(year - 1980) << 9) |
                       (static_cast<std::uint32_t>(tm.tm_mon + 1) << 5) |
                       static_cast<std::uint32_t>(tm.tm_mday);
  int sec = std::min(tm.tm_sec, 59);  // a leap second has no DOS form
  std::uint32_t time = (static_cast<std::uint32_t>(tm.tm_hour) << 11) |
                       (static_cast<std::uint32_t>(tm.tm_min) << 5) |
                       static_cast<std::uint32_t>(sec / 2);
  return (date << 16) | time;
}

bool IsValidDosStamp(std::uint32_t stamp) {
  std::uint32_t date = stamp >> 16, time = stamp & 0xFFFF;
  int month = (date >> 5) & 0x0F, day = date & 0x1F;
  int hour = (time >> 11) & 0x1F, minute = (time >> 5) & 0x3F, sec2 = time & 0x1F;
  return month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 && minute <= 59 &&
         sec2 <= 29;
}

std::string DosStampText(std::uint32_t stamp) {
  std::uint32_t date = stamp >> 16, time = stamp & 0xFFFF;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (date >> 9),
                (date >> 5) & 0x0F, date & 0x1F, (time >> 11) & 0x1F, (time >> 5) & 0x3F,
                (time & 0x1F) * 2);
  return buf;
}

// ---------------------------------------------------------------- lists

void CheckListFields(const std::vector<std::string>& fields, const std::string& what) {
  for (const auto& f : fields)
    if (f.find('\0') != std::string::npos)
      throw Error(what + ": a field contains a NUL character");
  for (char cand : kv::SUB::Candidates()) {
    bool used = false;
    for (const auto& f : fields) used = used || f.find(cand) != std::string::npos;
    if (!used) return;
  }
  throw Error(what + ": the fields use every list separator (|*~^!@#$& and code 255), "
              "so no separator is left for the list");
}

// ---------------------------------------------------------------- files

bool StdFile::open(const std::string& path, const char* mode) {
  close();
  f_ = std::fopen(path.c_str(), mode);
  return f_ != nullptr;
}

bool StdFile::close() {
  if (!f_) return true;
  bool ok = std::fclose(f_) == 0;
  f_ = nullptr;
  return ok;
}

bool StdFile::seek(std::int64_t pos) {
  if (!f_ || pos < 0) return false;
#ifdef _WIN32
  return _fseeki64(f_, pos, SEEK_SET) == 0;
#else
  return fseeko(f_, static_cast<off_t>(pos), SEEK_SET) == 0;
#endif
}

std::int64_t StdFile::size() {
  if (!f_) return -1;
  std::fflush(f_);
#ifdef _WIN32
  struct _stat64 st;
  if (_fstat64(_fileno(f_), &st) != 0) return -1;
#else
  struct stat st;
  if (fstat(fileno(f_), &st) != 0) return -1;
#endif
  return static_cast<std::int64_t>(st.st_size);
}

std::size_t StdFile::read(void* buf, std::size_t n) {
  return f_ ? std::fread(buf, 1, n, f_) : 0;
}

std::size_t StdFile::readAt(std::int64_t pos, void* buf, std::size_t n) {
  if (!seek(pos)) return 0;
  return read(buf, n);
}

bool StdFile::writeAll(const void* buf, std::size_t n) {
  return f_ && (n == 0 || std::fwrite(buf, 1, n, f_) == n);
}

bool StdFile::writeAt(std::int64_t pos, const void* buf, std::size_t n) {
  return seek(pos) && writeAll(buf, n) && std::fflush(f_) == 0;
}

std::uint32_t RandomSeed() {
  static std::atomic<std::uint32_t> counter{0};
  std::uint64_t t = static_cast<std::uint64_t>(
      std::chrono::high_resolution_clock::now().time_since_epoch().count());
  std::uint32_t r = 0;
  try {
    std::random_device rd;
    r = rd();
  } catch (...) {
  }
  return r ^ static_cast<std::uint32_t>(t) ^ static_cast<std::uint32_t>(t >> 32) ^
         (++counter * 0x9E3779B9u);
}

TempOutput::TempOutput(const std::string& finalPath) : final_(finalPath) {
  char suffix[16];
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::snprintf(suffix, sizeof suffix, ".tmp-%08x", static_cast<unsigned>(RandomSeed()));
    temp_ = final_ + suffix;
    if (PathExists(temp_)) continue;
    if (file_.open(temp_, "w+b")) return;
    break;
  }
  throw Error("cannot create " + temp_ + ": " + std::strerror(errno));
}

TempOutput::~TempOutput() {
  if (committed_) return;
  file_.close();
  std::error_code ec;
  fs::remove(fs::path(temp_), ec);
}

void TempOutput::commit() {
  if (!file_.close()) throw Error("cannot write " + temp_ + ": " + std::strerror(errno));
  std::error_code ec;
  fs::rename(fs::path(temp_), fs::path(final_), ec);
  if (ec) throw Error("cannot rename " + temp_ + " to " + final_ + ": " + ec.message());
  committed_ = true;
}

std::int64_t FileModTime(const std::string& path) {
#ifdef _WIN32
  struct _stat64 st;
  if (_stat64(path.c_str(), &st) != 0) throw Error("cannot read the time of " + path);
#else
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) throw Error("cannot read the time of " + path);
#endif
  return static_cast<std::int64_t>(st.st_mtime);
}

bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(fs::path(path), ec);
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::path(path), ec);
}

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(2) != 0;
#endif
}

std::string ReadWholeFile(const std::string& path) {
  StdFile f;
  if (!f.open(path, "rb")) throw Error("cannot open " + path + ": " + std::strerror(errno));
  std::string data;
  char buf[65536];
  for (;;) {
    std::size_t n = f.read(buf, sizeof buf);
    data.append(buf, n);
    if (n < sizeof buf) break;
  }
  return data;
}

void WriteFileAtomic(const std::string& path, const std::string& bytes) {
  TempOutput out(path);
  if (!out.file().writeAll(bytes.data(), bytes.size()))
    throw Error("cannot write " + out.tempPath() + ": " + std::strerror(errno));
  out.commit();
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  fs::path pa(a), pb(b);
  if (fs::exists(pa, ec) && fs::exists(pb, ec)) {
    bool same = fs::equivalent(pa, pb, ec);
    if (!ec) return same;
  }
  fs::path ca = fs::weakly_canonical(fs::absolute(pa, ec), ec);
  fs::path cb = fs::weakly_canonical(fs::absolute(pb, ec), ec);
#ifdef _WIN32
  return UpperAsciiCopy(ca.string()) == UpperAsciiCopy(cb.string());
#else
  return ca == cb;
#endif
}

std::string VolumeFileName(const std::string& firstVolume, int k) {
  std::string base = firstVolume;
  if (base.size() >= 4 && base.compare(base.size() - 4, 4, ".001") == 0)
    base.resize(base.size() - 4);
  char num[16];
  std::snprintf(num, sizeof num, ".%03d", k);
  return base + num;
}

}  // namespace kv::pack
