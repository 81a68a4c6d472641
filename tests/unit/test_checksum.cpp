// The volume checksum, the scrambled tokens and the token records.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "package/checksum.h"
#include "package/gfileinfo.h"
#include "package_images.h"
#include "sys/utils.h"

using namespace kvtest;

namespace {

std::string Pattern(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  std::uint32_t x = seed;
  for (char& c : s) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x >> 16);
  }
  return s;
}

std::uint32_t SumGroups(const std::string& bytes, std::size_t from, std::size_t to) {
  std::uint32_t sum = 0;
  for (std::size_t i = from; i + 4 <= to; i += 4) sum += kv::LoadLE32(&bytes[i]);
  return sum;
}

TEST(PackageChecksum, LargeFilesAreNotSummed) {
  for (std::size_t size : {std::size_t(51201), std::size_t(60000)}) {
    std::string path = WriteTemp("ck_large.bin", Pattern(size, 1));
    EXPECT_EQ(kv::ComputePackageChecksum(path, 74), 1234u) << size;
  }
  EXPECT_TRUE(kv::ChecksumAccepted(1234, 99));
}

TEST(PackageChecksum, PlainVolumeOfExactly51200Bytes) {
  // Groups from offset 0 up to 80 bytes before the end, plus 1234 for each of
  // the twelve full 4096-byte blocks.
  std::string bytes = Pattern(51200, 2);
  std::uint32_t want = SumGroups(bytes, 0, 51200 - 80) + 12u * 1234u;
  std::string path = WriteTemp("ck_51200.bin", bytes);
  EXPECT_EQ(kv::ComputePackageChecksum(path, 74), want);

  // The last 80 bytes are not in the sum.
  for (std::size_t i = 51120; i < 51200; ++i) bytes[i] ^= 0x5A;
  EXPECT_EQ(kv::ComputePackageChecksum(WriteTemp("ck_51200b.bin", bytes), 74), want);
  bytes[51119] ^= 1;
  EXPECT_NE(kv::ComputePackageChecksum(WriteTemp("ck_51200c.bin", bytes), 74), want);
}

TEST(PackageChecksum, StubVolumeSkipsTheDosHeaderAndIgnoresAppendedBytes) {
  std::string bytes = Pattern(10000, 3);
  std::memcpy(&bytes[0], "MZ", 2);
  std::memcpy(&bytes[256], "PE", 2);
  kv::StoreLE32(&bytes[248], 0);
  kv::StoreLE32(&bytes[252], 10000);  // SelfLength
  // From 512 up to 80 bytes before SelfLength; two full blocks end before it.
  std::uint32_t want = SumGroups(bytes, 512, 10000 - 80) + 2u * 1234u;
  EXPECT_EQ(kv::ComputePackageChecksum(WriteTemp("ck_stub.bin", bytes), 74), want);

  // The DOS header (where SelfLength is written after the checksum) is not
  // summed, nor is a signature appended after SelfLength.
  std::string changed = bytes;
  changed[100] ^= 0x11;
  changed += std::string(500, 'S');
  EXPECT_EQ(kv::ComputePackageChecksum(WriteTemp("ck_stub2.bin", changed), 74), want);

  kv::MemorySource mem(bytes);
  EXPECT_EQ(kv::ComputePackageChecksum(mem, 74), want);
}

TEST(PackageChecksum, AcceptanceRule) {
  struct Case {
    std::uint32_t computed, stored;
    bool ok;
  };
  const Case cases[] = {{5, 5, true}, {5, 6, false}, {1234, 6, true}, {5, 1234, true}, {0, 0, true}};
  for (const Case& c : cases) EXPECT_EQ(kv::ChecksumAccepted(c.computed, c.stored), c.ok);
}

// Encodes bytes as scrambled-token characters: hex digits raised by 50.
std::string EncodeDigits(const std::vector<unsigned char>& b) {
  static const char d[] = "bcdefghijkstuvwx";
  std::string s;
  for (unsigned char c : b) {
    s += d[c >> 4];
    s += d[c & 15];
  }
  return s;
}

bool IsRandomNumberText(const std::string& s) {
  if (s.empty() || s.size() > 5) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return std::atoi(s.c_str()) < 99999;
}

TEST(ScrambledToken, HandBuiltLayoutDescrambles) {
  // key1 0x10, key2 0x33 (key 0x23); p = 1 filler before the value "AB",
  // q = 2: one filler after it, then the check byte and key2.
  const unsigned char key = 0x10 ^ 0x33;
  std::vector<unsigned char> b = {0x10, 1 ^ key, 2 ^ key, 0x77 ^ key, 'A' ^ key, 'B' ^ key,
                                  0x55 ^ key, 0, 0x33};
  unsigned sum = 0;
  for (std::size_t i = 0; i < b.size(); ++i)
    if (i != b.size() - 2) sum += b[i];
  b[b.size() - 2] = static_cast<unsigned char>(sum);
  EXPECT_EQ(kv::DescrambleText(EncodeDigits(b)), "AB");

  // Lower-case hex digits are accepted as well ('a' + 50 is code 147).
  std::string lower = EncodeDigits(b);
  for (char& c : lower)
    if (c >= 's' && c <= 'x') c = static_cast<char>(147 + (c - 's'));
  EXPECT_EQ(kv::DescrambleText(lower), "AB");
}

TEST(ScrambledToken, BuilderOutputRoundTrips) {
  const std::string plains[] = {"", "x", std::string(60, 'q') + "abcdefghijklmnopqrstuvwxyz",
                                std::string("\0\xff|bin", 6)};
  for (const std::string& plain : plains) {
    for (std::uint32_t seed : {0u, 1u, 77u, 123456u}) {
      std::string s = kv::ScrambleToken(plain, seed);
      EXPECT_EQ(s.find_first_not_of("bcdefghijkstuvwx"), std::string::npos);
      EXPECT_EQ(kv::DescrambleText(s), plain) << seed;
    }
  }
  EXPECT_EQ(kv::ScrambleToken("abc", 5), kv::ScrambleToken("abc", 5));
  EXPECT_NE(kv::ScrambleToken("abc", 5), kv::ScrambleToken("abc", 6));
}

TEST(ScrambledToken, InvalidTextsGiveARandomNumber) {
  const std::string good = kv::ScrambleToken("secret", 9);
  std::string badCheck = good;
  badCheck[badCheck.size() - 4] = badCheck[badCheck.size() - 4] == 'b' ? 'c' : 'b';
  std::string badChar = good;
  badChar[6] = 'z';
  const std::string cases[] = {"", "bcdefghi" /* 4 bytes */, badCheck, badChar, good + "b",
                               good.substr(2), "plain text token"};
  for (const std::string& c : cases) {
    std::string v;
    EXPECT_FALSE(kv::TryDescrambleText(c, v)) << c;
    EXPECT_TRUE(IsRandomNumberText(kv::DescrambleText(c))) << c;
  }
}

TEST(ScrambledToken, LayoutThatDoesNotFitIsInvalidEvenWithAGoodCheckByte) {
  // p + q larger than the bytes there, and q = 0 (value running into the
  // check byte): a matching check byte alone does not make a token.
  for (unsigned char p : {0, 200}) {
    for (unsigned char q : {0, 1}) {
      if (p == 0 && q == 1) continue;  // the one layout that fits
      std::vector<unsigned char> b = {0, p, q, 'a', 'b', 'c', 0, 0};
      unsigned sum = 0;
      for (std::size_t i = 0; i < b.size(); ++i)
        if (i != b.size() - 2) sum += b[i];
      b[b.size() - 2] = static_cast<unsigned char>(sum);
      std::string v;
      EXPECT_FALSE(kv::TryDescrambleText(EncodeDigits(b), v)) << int(p) << "/" << int(q);
    }
  }
}

TEST(TokenRecord, SplitsTokenAndPayload) {
  const std::string tok = kv::ScrambleToken("tok-1", 3);
  struct Case {
    std::string record;
    const char* token;  // nullptr: a random number
    const char* payload;
  };
  const Case cases[] = {
      {"ID|" + tok + "|f3|f4|payload|with|bars", "tok-1", "payload|with|bars"},
      {"|" + tok + "|||", "tok-1", ""},
      {"ID|" + tok + "|f3|f4", nullptr, ""},  // three "|": no payload, no token
      {"ID|" + tok, nullptr, ""},
      {"", nullptr, ""},
      {"ID|garbage|f3|f4|p", nullptr, "p"},
  };
  for (const Case& c : cases) {
    std::string token, payload;
    kv::SplitTokenRecord(c.record, token, payload);
    if (c.token) {
      EXPECT_EQ(token, c.token) << c.record;
    } else {
      EXPECT_TRUE(IsRandomNumberText(token)) << c.record << " -> " << token;
    }
    EXPECT_EQ(payload, c.payload) << c.record;
  }
}

TEST(TokenRecord, ScrambledRecordIsUnscrambledFirst) {
  const std::string record = "ID|" + kv::ScrambleToken("tok-2", 4) + "|a|b|the payload";
  const std::string wrapped = kv::ScrambleText(record, true, false);
  ASSERT_EQ(wrapped.compare(0, 12, "Scrambled=01"), 0);
  std::string token, payload;
  kv::SplitTokenRecord(wrapped, token, payload);
  EXPECT_EQ(token, "tok-2");
  EXPECT_EQ(payload, "the payload");
}

}  // namespace
