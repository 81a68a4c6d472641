// Extraction throughput: the stub's extraction core against a bare zlib
// inflate-and-write loop over the same records of the same package.
//
//   extract_bench PACKAGE WORKDIR [ROUNDS]
//
// Each round extracts into a fresh folder with both, alternating, and the
// best time of each is kept (the machine is shared and noisy). The last line
// is "ratio core/bare: X".
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "os/file.h"
#include "package/bytesource.h"
#include "package/gfileinfo.h"
#include "setup/unpack.h"
#include "sys/files.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

bool Fail(const char* what) {
  std::fprintf(stderr, "extract_bench: %s\n", what);
  return false;
}

std::int32_t Le32(const unsigned char* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) |
                                   static_cast<std::uint32_t>(p[1]) << 8 |
                                   static_cast<std::uint32_t>(p[2]) << 16 |
                                   static_cast<std::uint32_t>(p[3]) << 24);
}

// The reference: read each record in 64 KiB pieces, inflate into a 64 KiB
// buffer, split the header at the NUL and append the rest to the named file.
// No checks beyond what zlib itself does, no messages, no progress.
bool BareExtract(const std::string& package, const std::string& dir) {
  FILE* in = std::fopen(package.c_str(), "rb");
  if (!in) return Fail("cannot open the package");
  os::File f;
  f.open(package, os::OpenMode::Read);
  kv::FileSource src(f);
  kv::PackageTrailer t = kv::LocateTrailer(src);
  std::int64_t end = kv::PackageDataEnd(src);
  f.close();
  std::int64_t pos = t.DataOffset();
  int headers = t.HeaderStringCount() == 0 ? 2 : t.HeaderStringCount();
  std::fseek(in, static_cast<long>(pos), SEEK_SET);
  std::vector<unsigned char> inBuf(65536), outBuf(65536);
  int counter = 0;
  std::string lastName;
  while (end - pos > 74) {
    unsigned char lenBytes[4];
    if (std::fread(lenBytes, 1, 4, in) != 4) return Fail("short read");
    std::int32_t len = Le32(lenBytes);
    std::int64_t size = len < 0 ? -static_cast<std::int64_t>(len) : len;
    pos += 4 + size;
    if (++counter <= headers) {
      std::fseek(in, static_cast<long>(size), SEEK_CUR);
      continue;
    }
    std::string header;
    bool inHeader = true;
    FILE* out = nullptr;
    auto deliver = [&](const unsigned char* p, std::size_t n) {
      if (inHeader) {
        const unsigned char* nul = static_cast<const unsigned char*>(std::memchr(p, 0, n));
        std::size_t h = nul ? static_cast<std::size_t>(nul - p) : n;
        header.append(reinterpret_cast<const char*>(p), h);
        if (!nul) return;
        inHeader = false;
        std::string name = header.substr(1, header.find(header[0], 1) - 1);
        name = name.substr(0, name.find('*'));
        out = std::fopen((dir + "/" + name).c_str(), "ab");
        p += h + 1;
        n -= h + 1;
      }
      if (out && n) std::fwrite(p, 1, n, out);
    };
    if (len < 0) {
      std::int64_t left = size;
      while (left > 0) {
        std::size_t n = std::fread(inBuf.data(), 1, std::min<std::int64_t>(left, 65536), in);
        if (n == 0) return Fail("short read");
        deliver(inBuf.data(), n);
        left -= static_cast<std::int64_t>(n);
      }
    } else {
      z_stream zs{};
      inflateInit(&zs);
      std::int64_t left = size;
      int rc = Z_OK;
      while (rc != Z_STREAM_END) {
        if (zs.avail_in == 0 && left > 0) {
          std::size_t n = std::fread(inBuf.data(), 1, std::min<std::int64_t>(left, 65536), in);
          left -= static_cast<std::int64_t>(n);
          zs.next_in = inBuf.data();
          zs.avail_in = static_cast<uInt>(n);
        }
        zs.next_out = outBuf.data();
        zs.avail_out = static_cast<uInt>(outBuf.size());
        rc = inflate(&zs, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) return Fail("inflate failed");
        deliver(outBuf.data(), outBuf.size() - zs.avail_out);
      }
      inflateEnd(&zs);
    }
    if (out) std::fclose(out);
  }
  std::fclose(in);
  return true;
}

bool CoreExtract(const std::string& package, const std::string& dir) {
  std::string entry;
  bool checksumOk = false;
  kv::ExtractResult r = kv::ExtractPackage(package, dir, "", entry, false, 0, "", "", "",
                                           nullptr, checksumOk);
  return r == kv::ExtractResult::Completed || Fail(kv::ExtractResultText(r));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: extract_bench PACKAGE WORKDIR [ROUNDS]\n");
    return 2;
  }
  std::string package = argv[1], work = argv[2];
  int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  kv::unpackState().pause = [](std::int64_t) {};  // no fixed pauses in a measurement
  double bestCore = 1e30, bestBare = 1e30;
  for (int i = 0; i < rounds; ++i) {
    std::string coreDir = work + "/core", bareDir = work + "/bare";
    kv::DeleteTree(coreDir, true);
    kv::DeleteTree(bareDir, true);
    kv::ForceDirectories(bareDir);
    auto t0 = std::chrono::steady_clock::now();
    if (!CoreExtract(package, coreDir)) return 1;
    bestCore = std::min(bestCore, Seconds(t0));
    t0 = std::chrono::steady_clock::now();
    if (!BareExtract(package, bareDir)) return 1;
    bestBare = std::min(bestBare, Seconds(t0));
    std::printf("round %d: core %.3f s, bare %.3f s\n", i + 1, bestCore, bestBare);
  }
  kv::DeleteTree(work + "/core", true);
  kv::DeleteTree(work + "/bare", true);
  std::printf("core extraction: %.3f s\nbare zlib loop:  %.3f s\n", bestCore, bestBare);
  std::printf("ratio core/bare: %.3f\n", bestCore / bestBare);
  return 0;
}
