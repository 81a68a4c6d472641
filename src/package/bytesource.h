// Positioned reads over a package, whether it lies in an open file or in
// memory. The descriptor, the checksum and the record reader all work on
// this interface, so the same code parses a setup file on disk, a download
// held in memory, and the byte strings a fuzzer feeds in.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "os/file.h"

namespace kv {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Length in bytes; -1 when it cannot be known.
  virtual std::int64_t Size() = 0;
  // Reads up to n bytes at pos; returns the number read (short at the end,
  // 0 for a position outside the data or on a read error).
  virtual std::size_t ReadAt(std::int64_t pos, void* buf, std::size_t n) = 0;
};

// An open file; moves the file's position.
class FileSource : public ByteSource {
 public:
  explicit FileSource(os::File& f) : f_(f) {}
  std::int64_t Size() override { return f_.size(); }
  std::size_t ReadAt(std::int64_t pos, void* buf, std::size_t n) override {
    if (pos < 0 || !f_.seek(pos)) return 0;
    return f_.read(buf, n);
  }

 private:
  os::File& f_;
};

// A byte string held by the caller for the source's lifetime.
class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, std::size_t size)
      : data_(static_cast<const unsigned char*>(data)), size_(size) {}
  explicit MemorySource(const std::string& bytes) : MemorySource(bytes.data(), bytes.size()) {}
  // The source only points at the bytes: a temporary would be gone at once.
  explicit MemorySource(std::string&&) = delete;
  std::int64_t Size() override { return static_cast<std::int64_t>(size_); }
  std::size_t ReadAt(std::int64_t pos, void* buf, std::size_t n) override {
    if (pos < 0 || static_cast<std::uint64_t>(pos) >= size_) return 0;
    std::size_t avail = size_ - static_cast<std::size_t>(pos);
    std::size_t k = std::min(n, avail);
    if (k) std::memcpy(buf, data_ + pos, k);
    return k;
  }

 private:
  const unsigned char* data_;
  std::size_t size_;
};

// Little-endian decoding of the package's integers, whatever the host order.
inline std::uint32_t LoadLE32(const void* p) {
  const unsigned char* b = static_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}
inline void StoreLE32(void* p, std::uint32_t v) {
  unsigned char* b = static_cast<unsigned char*>(p);
  b[0] = static_cast<unsigned char>(v);
  b[1] = static_cast<unsigned char>(v >> 8);
  b[2] = static_cast<unsigned char>(v >> 16);
  b[3] = static_cast<unsigned char>(v >> 24);
}

}  // namespace kv
