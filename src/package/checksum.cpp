#include "package/checksum.h"

#include <random>
#include <vector>

#include "package/gfileinfo.h"
#include "sys/utils.h"

namespace kv {
namespace {

constexpr std::int64_t kLargestSummed = 51200;
constexpr std::size_t kBlock = 4096;

int HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::uint32_t ComputePackageChecksum(ByteSource& src, std::int32_t trailerLength) {
  const std::int64_t size = src.Size();
  if (size < 0) return 0;
  if (size > kLargestSummed) return kNoChecksum;

  // SelfLength is written into the DOS header after the checksum was taken,
  // so a stub-carrying volume is summed from offset 512 on.
  std::uint32_t stored = 0;
  if (IsPEFile(src)) {
    unsigned char b[4];
    if (src.ReadAt(kSelfLengthLowOffset, b, 4) == 4) stored = LoadLE32(b);
  }
  std::int64_t remaining = stored > 0 ? static_cast<std::int64_t>(stored) : size;
  remaining -= trailerLength;
  std::int64_t pos = 0;
  if (stored > 0) {
    pos = 512;
    remaining -= 512;
  }

  // Groups end about 8 bytes before the trailer; every block that ends
  // before that point adds 1234 as well. Bytes past it are read, not added.
  std::uint32_t sum = 0;
  unsigned char buf[kBlock];
  for (;;) {
    std::size_t got = src.ReadAt(pos, buf, kBlock);
    pos += static_cast<std::int64_t>(got);
    for (std::size_t i = 0; i + 4 <= got; i += 4) {
      remaining -= 4;
      if (remaining > 4) sum += LoadLE32(buf + i);
    }
    if (remaining > 4) sum += kNoChecksum;
    if (got < kBlock) break;
  }
  return sum;
}

std::uint32_t ComputePackageChecksum(const std::string& path, std::int32_t trailerLength) {
  os::File f;
  if (!f.open(path, os::OpenMode::Read)) return 0;
  FileSource src(f);
  return ComputePackageChecksum(src, trailerLength);
}

bool ChecksumAccepted(std::uint32_t computed, std::uint32_t stored) {
  return computed == stored || computed == kNoChecksum || stored == kNoChecksum;
}

bool TryDescrambleText(const std::string& text, std::string& value) {
  std::vector<unsigned char> b;
  b.reserve(text.size() / 2 + 1);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    int hi = HexDigit(static_cast<unsigned char>(text[i] - 50));
    if (i + 1 < text.size()) {
      int lo = HexDigit(static_cast<unsigned char>(text[i + 1] - 50));
      b.push_back(hi < 0 || lo < 0 ? 255 : static_cast<unsigned char>(hi * 16 + lo));
    } else {
      // An odd last character is a pair on its own.
      b.push_back(hi < 0 ? 255 : static_cast<unsigned char>(hi));
    }
  }
  const std::size_t n = b.size();
  if (n <= 4) return false;

  unsigned sum = 0;
  for (std::size_t i = 0; i < n; ++i)
    if (i != n - 2) sum += b[i];
  if ((sum & 0xFF) != b[n - 2]) return false;

  const unsigned char key = b[0] ^ b[n - 1];
  for (std::size_t i = 1; i <= n - 2; ++i) b[i] ^= key;
  const std::size_t p = b[1], q = b[2];
  // A check byte can pass by chance; a layout that does not fit the bytes
  // (value overlapping the check byte, negative length) is still invalid.
  if (q < 1 || p + q + 4 > n) return false;
  value.assign(reinterpret_cast<const char*>(b.data()) + 3 + p, n - p - q - 4);
  return true;
}

std::string DescrambleText(const std::string& text) {
  std::string value;
  if (TryDescrambleText(text, value)) return value;
  return RandomRangeText(0, 99999);
}

std::string ScrambleToken(const std::string& plain, std::uint32_t seed) {
  std::mt19937 rng(seed);
  auto draw = [&rng](unsigned lo, unsigned hi) {
    return static_cast<unsigned char>(std::uniform_int_distribution<unsigned>(lo, hi)(rng));
  };
  const unsigned char key1 = draw(0, 255), key2 = draw(0, 255);
  const unsigned char key = key1 ^ key2;
  const unsigned char p = draw(0, 6), q = draw(1, 6);

  std::vector<unsigned char> b;
  b.push_back(key1);
  b.push_back(p);
  b.push_back(q);
  for (unsigned i = 0; i < p; ++i) b.push_back(draw(0, 255));
  for (char c : plain) b.push_back(static_cast<unsigned char>(c));
  for (unsigned i = 1; i < q; ++i) b.push_back(draw(0, 255));
  for (std::size_t i = 1; i < b.size(); ++i) b[i] ^= key;
  b.push_back(0);  // check byte, computed below over the stored bytes
  b.push_back(key2);
  unsigned sum = 0;
  for (std::size_t i = 0; i < b.size(); ++i)
    if (i != b.size() - 2) sum += b[i];
  b[b.size() - 2] = static_cast<unsigned char>(sum);

  static const char kDigits[] = "bcdefghijkstuvwx";  // 0-9, A-F raised by 50
  std::string out;
  out.reserve(b.size() * 2);
  for (unsigned char c : b) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

void SplitTokenRecord(const std::string& record, std::string& token, std::string& payload) {
  const std::string text = ScrambleText(record, false, false);
  // The token is the second field and the payload follows the fourth "|";
  // without all four there is neither.
  std::size_t bars[4];
  std::size_t from = 0;
  for (int i = 0; i < 4; ++i) {
    std::size_t at = text.find('|', from);
    if (at == std::string::npos) {
      token = DescrambleText("");
      payload.clear();
      return;
    }
    bars[i] = at;
    from = at + 1;
  }
  token = DescrambleText(text.substr(bars[0] + 1, bars[1] - bars[0] - 1));
  payload = text.substr(bars[3] + 1);
}

}  // namespace kv
