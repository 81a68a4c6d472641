// Plain file access for the builder: the C library's streams with 64-bit
// positions, usable from worker threads (the platform layer keeps
// process-wide state that the builder's threads should not share).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "package/bytesource.h"

namespace kv::pack {

class StdFile {
 public:
  StdFile() = default;
  ~StdFile() { close(); }
  StdFile(const StdFile&) = delete;
  StdFile& operator=(const StdFile&) = delete;
  StdFile(StdFile&& o) noexcept : f_(o.f_) { o.f_ = nullptr; }

  // mode as for fopen ("rb", "wb", "r+b").
  bool open(const std::string& path, const char* mode);
  bool isOpen() const { return f_ != nullptr; }
  bool close();  // false when buffered data could not be written
  bool seek(std::int64_t pos);
  std::int64_t size();
  std::size_t read(void* buf, std::size_t n);
  std::size_t readAt(std::int64_t pos, void* buf, std::size_t n);
  bool writeAll(const void* buf, std::size_t n);
  bool writeAt(std::int64_t pos, const void* buf, std::size_t n);

 private:
  std::FILE* f_ = nullptr;
};

class StdFileSource : public kv::ByteSource {
 public:
  explicit StdFileSource(StdFile& f) : f_(f) {}
  std::int64_t Size() override { return f_.size(); }
  std::size_t ReadAt(std::int64_t pos, void* buf, std::size_t n) override {
    return f_.readAt(pos, buf, n);
  }

 private:
  StdFile& f_;
};

// A file written under a temporary name beside its final name, renamed into
// place by commit(); removed again when the object dies uncommitted.
class TempOutput {
 public:
  explicit TempOutput(const std::string& finalPath);
  ~TempOutput();
  TempOutput(const TempOutput&) = delete;
  TempOutput& operator=(const TempOutput&) = delete;

  const std::string& tempPath() const { return temp_; }
  const std::string& finalPath() const { return final_; }
  StdFile& file() { return file_; }
  void commit();  // closes and renames; throws Error

 private:
  std::string final_;
  std::string temp_;
  StdFile file_;
  bool committed_ = false;
};

// Modification time of a file in seconds since 1970; throws Error.
std::int64_t FileModTime(const std::string& path);
bool IsRegularFile(const std::string& path);
bool PathExists(const std::string& path);
bool StderrIsTerminal();
std::uint32_t RandomSeed();

}  // namespace kv::pack
