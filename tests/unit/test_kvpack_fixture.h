// Shared helpers of the kvpack tests: a scratch folder, a fake stub, files
// with known content, and the command line run in-process.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kvpack.h"
#include "package/bytesource.h"

namespace kvtest {

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

inline void WriteFile(const fs::path& p, const std::string& bytes) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Bytes that zlib cannot shrink.
inline std::string RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 g(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(g() & 0xFF);
  return s;
}

inline std::string TextBytes(std::size_t n) {
  std::string s;
  for (int i = 0; s.size() < n; ++i) s += "line " + std::to_string(i) + " of a readme\r\n";
  s.resize(n);
  return s;
}

// Not a runnable program, only what the format looks at: "MZ" at 0, the PE
// header's offset at 60 and "PE" at peAt.
inline std::string FakeStub(std::size_t size = 1024, std::uint32_t peAt = 256) {
  std::string s = RandomBytes(size, 7);
  s[0] = 'M';
  s[1] = 'Z';
  kv::StoreLE32(&s[60], peAt);
  std::fill(s.begin() + 144, s.begin() + 256, '\0');
  s[peAt] = 'P';
  s[peAt + 1] = 'E';
  s[peAt + 2] = s[peAt + 3] = '\0';
  return s;
}

struct CliResult {
  int code;
  std::string out, err;
};

inline CliResult RunKvpack(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int code = kv::pack::RunCli(args, out, err);
  return {code, out.str(), err.str()};
}

class ScratchDir {
 public:
  ScratchDir() {
    static int n = 0;
    dir_ = fs::temp_directory_path() /
           ("kvpack-test-" + std::to_string(::getpid()) + "-" + std::to_string(++n));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path operator/(const std::string& name) const { return dir_ / name; }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  const fs::path& dir() const { return dir_; }
  std::vector<std::string> Names() const {
    std::vector<std::string> v;
    for (auto& e : fs::directory_iterator(dir_)) v.push_back(e.path().filename().string());
    return v;
  }

 private:
  fs::path dir_;
};

}  // namespace kvtest
