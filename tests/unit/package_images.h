// Small synthetic setup files for the package tests: a fake stub, header
// strings, stored and compressed records and a trailer, assembled in memory
// and optionally written to a temporary file.
#pragma once
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "package/gfileinfo.h"

namespace kvtest {

inline std::string LE32(std::uint32_t v) {
  std::string s(4, '\0');
  kv::StoreLE32(&s[0], v);
  return s;
}

// A fake executable: "MZ" at 0, "PE" at 256, zeros elsewhere.
inline std::string FakeStub(std::size_t size = 1024) {
  std::string s(size, '\0');
  s[0] = 'M';
  s[1] = 'Z';
  s[256] = 'P';
  s[257] = 'E';
  return s;
}

inline std::string HeaderString(const std::string& text) {
  return LE32(static_cast<std::uint32_t>(text.size())) + text;
}

inline std::string StoredRecord(const std::string& header, const std::string& content) {
  std::string data = header + std::string(1, '\0') + content;
  return LE32(static_cast<std::uint32_t>(-static_cast<std::int32_t>(data.size()))) + data;
}

inline std::string Deflate(const std::string& data, int level = 6) {
  uLongf n = compressBound(static_cast<uLong>(data.size()));
  std::string out(n, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &n, reinterpret_cast<const Bytef*>(data.data()),
            static_cast<uLong>(data.size()), level);
  out.resize(n);
  return out;
}

inline std::string CompressedRecord(const std::string& header, const std::string& content) {
  std::string z = Deflate(header + std::string(1, '\0') + content);
  return LE32(static_cast<std::uint32_t>(z.size())) + z;
}

// A trailer with our magic, the given header-string count and TrailerLength 74.
inline kv::PackageTrailer BasicTrailer(std::uint8_t headerStrings = 2) {
  kv::PackageTrailer t;
  t.SetHeaderStringCount(headerStrings);
  t.SetPackageMagic();
  t.SetStoredChecksum(kv::kNoChecksum);
  t.SetTrailerLength(kv::kTrailerSize);
  return t;
}

struct Image {
  std::string bytes;
  std::uint32_t dataOffset = 0;      // first header string
  std::uint32_t recordsOffset = 0;   // first record after the header strings
  std::uint32_t trailerOffset = 0;
};

// prefix (a stub or nothing), header strings, records, trailer; SelfLength
// written into the stub when asked; `appended` after everything.
inline Image BuildImage(const std::string& prefix, const std::vector<std::string>& headerStrings,
                        const std::string& records, kv::PackageTrailer t, bool writeSelfLength,
                        const std::string& appended = "") {
  Image img;
  img.bytes = prefix;
  img.dataOffset = static_cast<std::uint32_t>(img.bytes.size());
  for (const std::string& h : headerStrings) img.bytes += HeaderString(h);
  img.recordsOffset = static_cast<std::uint32_t>(img.bytes.size());
  img.bytes += records;
  img.trailerOffset = static_cast<std::uint32_t>(img.bytes.size());
  t.SetDataOffset(img.dataOffset);
  img.bytes += t.ToBytes();
  if (writeSelfLength) {
    std::uint64_t self = img.bytes.size();
    kv::StoreLE32(&img.bytes[kv::kSelfLengthHighOffset], static_cast<std::uint32_t>(self >> 32));
    kv::StoreLE32(&img.bytes[kv::kSelfLengthLowOffset], static_cast<std::uint32_t>(self));
  }
  img.bytes += appended;
  return img;
}

inline std::string WriteTemp(const std::string& name, const std::string& bytes) {
  std::string path = std::string(::testing::TempDir()) + name;
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(),
                                                                 static_cast<std::streamsize>(bytes.size()));
  return path;
}

}  // namespace kvtest
