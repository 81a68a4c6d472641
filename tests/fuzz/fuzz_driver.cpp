// A standalone fuzz driver for builds without libFuzzer: a seeded random
// mutator over a few valid package images, run for a bounded time. Built
// with the address and undefined-behaviour sanitizers, so any out-of-bounds
// access or overflow in the parsers stops it with a report.
//
//   kv_fuzz_driver [--seconds N] [--iterations N] [--seed N] [file...]
//   kv_fuzz_driver --write-seeds DIR   (a starting corpus for libFuzzer)
//
// Files given on the command line are run once each (to replay a finding).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <zlib.h>

#include "package/checksum.h"
#include "package/gfileinfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::string LE32(std::uint32_t v) {
  std::string s(4, '\0');
  kv::StoreLE32(&s[0], v);
  return s;
}

std::string Stored(const std::string& header, const std::string& content) {
  std::string d = header + '\0' + content;
  return LE32(static_cast<std::uint32_t>(-static_cast<std::int32_t>(d.size()))) + d;
}

std::string Compressed(const std::string& header, const std::string& content) {
  std::string d = header + '\0' + content;
  uLongf n = compressBound(static_cast<uLong>(d.size()));
  std::string z(n, '\0');
  compress2(reinterpret_cast<Bytef*>(&z[0]), &n, reinterpret_cast<const Bytef*>(d.data()),
            static_cast<uLong>(d.size()), 6);
  z.resize(n);
  return LE32(static_cast<std::uint32_t>(z.size())) + z;
}

std::string Package(bool stub, int headerStrings, const std::string& records, std::uint8_t flags) {
  std::string img;
  if (stub) {
    img.assign(512, '\0');
    img[0] = 'M';
    img[1] = 'Z';
    img[256] = 'P';
    img[257] = 'E';
  }
  kv::PackageTrailer t;
  t.SetDataOffset(static_cast<std::uint32_t>(img.size()));
  const std::string hs[] = {"\x02\x01Turkish\x01s0=Kur\x01" "Charset=162\x01\x02",
                            "|http://|.info|.exe|" + kv::ScrambleToken("token", 1) + "|0|",
                            "|http://h/|P.exe|1|" + kv::ScrambleToken("pkg", 2) + "|123|"};
  for (int i = 0; i < headerStrings && i < 3; ++i) img += LE32(static_cast<std::uint32_t>(hs[i].size())) + hs[i];
  img += records;
  t.SetHeaderStringCount(static_cast<std::uint8_t>(headerStrings));
  t.SetPackageMagic();
  t.SetFileCount(3);
  t.SetStoredChecksum(kv::kNoChecksum);
  t.SetPackageFlags(flags);
  t.SetTrailerLength(kv::kTrailerSize);
  img += t.ToBytes();
  if (stub) kv::StoreLE32(&img[252], static_cast<std::uint32_t>(img.size()));
  return img;
}

std::vector<std::string> Seeds() {
  const std::string recs = Stored("|Setup.txt|0|", "setup text") +
                           Compressed("|Engine.exe* /x|1234|", std::string(3000, 'e')) +
                           Compressed("|00001#a.bin|0|", "abcdefghij");
  return {
      Package(true, 2, recs, 0),
      Package(true, 3, recs, 0x1F),
      Package(false, 0, Stored("|v2.bin|0|", "volume two"), 0x02),
      Package(true, 2, "", 0) + std::string(64, 'S'),
      kv::ScrambleToken("a token value", 3),
      "ID|" + kv::ScrambleToken("tok", 4) + "|x|y|payload",
      Compressed("|t|0|", "text").substr(4),
  };
}

const std::uint32_t kInteresting[] = {0,          1,          3,          4,         74,
                                      75,         0x7F,       0x80,       0xFF,      256,
                                      4096,       51200,      65536,      0x7FFFFFFF, 0x80000000u,
                                      0xFFFFFFFF, 0xFFFFFFFE, 0x4A3B2C1D};

std::string Mutate(std::string s, const std::vector<std::string>& seeds, std::mt19937& rng) {
  auto pick = [&rng](std::size_t n) {
    return n ? std::uniform_int_distribution<std::size_t>(0, n - 1)(rng) : 0;
  };
  int rounds = 1 + static_cast<int>(pick(4));
  for (int i = 0; i < rounds; ++i) {
    switch (pick(9)) {
      case 0:  // flip a bit
        if (!s.empty()) s[pick(s.size())] ^= static_cast<char>(1u << pick(8));
        break;
      case 1:  // random byte
        if (!s.empty()) s[pick(s.size())] = static_cast<char>(rng());
        break;
      case 2:  // interesting 32-bit value
        if (s.size() >= 4) {
          std::size_t at = pick(s.size() - 3);
          kv::StoreLE32(&s[at], kInteresting[pick(std::size(kInteresting))]);
        }
        break;
      case 3:  // the last four bytes, the trailer length
        if (s.size() >= 4) kv::StoreLE32(&s[s.size() - 4], kInteresting[pick(std::size(kInteresting))]);
        break;
      case 4:  // truncate
        s.resize(pick(s.size() + 1));
        break;
      case 5:  // erase a range
        if (!s.empty()) {
          std::size_t at = pick(s.size());
          s.erase(at, pick(s.size() - at) + 1);
        }
        break;
      case 6:  // insert random bytes
      {
        std::size_t n = 1 + pick(16);
        std::string ins(n, '\0');
        for (char& c : ins) c = static_cast<char>(rng());
        s.insert(pick(s.size() + 1), ins);
        break;
      }
      case 7:  // splice in part of another seed
      {
        const std::string& o = seeds[pick(seeds.size())];
        if (!o.empty()) {
          std::size_t from = pick(o.size());
          s.insert(pick(s.size() + 1), o.substr(from, pick(o.size() - from) + 1));
        }
        break;
      }
      case 8:  // a header string or record length field near the start
        if (s.size() >= 520) kv::StoreLE32(&s[512 + 4 * pick(2)], kInteresting[pick(std::size(kInteresting))]);
        break;
    }
  }
  return s;
}

void RunOne(const std::string& s) {
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 20;
  long long iterations = 1000000;
  std::uint32_t seed = 20240501;
  std::vector<std::string> files;
  std::string seedDir;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--seconds" && i + 1 < argc) seconds = std::atof(argv[++i]);
    else if (a == "--iterations" && i + 1 < argc) iterations = std::atoll(argv[++i]);
    else if (a == "--seed" && i + 1 < argc) seed = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    else if (a == "--write-seeds" && i + 1 < argc) seedDir = argv[++i];
    else files.push_back(a);
  }
  if (!seedDir.empty()) {
    const std::vector<std::string> seeds = Seeds();
    for (std::size_t i = 0; i < seeds.size(); ++i) {
      std::ofstream(seedDir + "/seed" + std::to_string(i), std::ios::binary) << seeds[i];
    }
    return 0;
  }
  if (!files.empty()) {
    for (const std::string& f : files) {
      std::ifstream in(f, std::ios::binary);
      RunOne(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    std::printf("%zu passed, 0 failed\n", files.size());
    return 0;
  }

  const std::vector<std::string> seeds = Seeds();
  for (const std::string& s : seeds) RunOne(s);
  std::mt19937 rng(seed);
  const auto start = std::chrono::steady_clock::now();
  long long n = 0;
  for (; n < iterations; ++n) {
    if ((n & 63) == 0 &&
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > seconds)
      break;
    std::string input = seeds[std::uniform_int_distribution<std::size_t>(0, seeds.size() - 1)(rng)];
    input = Mutate(std::move(input), seeds, rng);
    RunOne(input);
  }
  std::printf("fuzz driver: seed %u, %lld mutated inputs\n", seed, n);
  return 0;
}
