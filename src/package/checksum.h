// The volume checksum and the scrambled tokens.
//
// A scrambled token is an even number of characters from b-k and s-x; each
// character lowered by 50 gives a hex digit (b-k = 0-9, s-x = A-F), each
// pair one byte. The n bytes (n >= 5):
//
//   [0] key1  [1] p  [2] q  [3 .. 2+p] filler  [3+p .. n-q-2] value
//   [n-q-1 .. n-3] filler  [n-2] check  [n-1] key2
//
// Bytes 1 to n-3 are stored XORed with key1 ^ key2; the check byte is the
// sum modulo 256 of all other bytes as stored. q >= 1.
#pragma once
#include <cstdint>
#include <string>

#include "package/bytesource.h"

namespace kv {

// The additive checksum of a volume file. Files above 51200 bytes are not
// summed and give 1234. A file that cannot be opened gives 0.
std::uint32_t ComputePackageChecksum(const std::string& path, std::int32_t trailerLength);
// The same over any source (a volume built in memory, a fuzz input).
std::uint32_t ComputePackageChecksum(ByteSource& src, std::int32_t trailerLength);

// The checksum test of a volume: equal, or either side 1234.
bool ChecksumAccepted(std::uint32_t computed, std::uint32_t stored);

// The plain value of a scrambled token, or the decimal text of a random
// number below 99999 when the text is not a valid scrambled value.
std::string DescrambleText(const std::string& text);

// Strict form of the above: false (and value untouched) for an invalid text.
bool TryDescrambleText(const std::string& text, std::string& value);

// Builds the scrambled form of plain with a valid check byte. The key bytes
// and the filler lengths and bytes are drawn from seed, so a given seed
// gives a reproducible text.
std::string ScrambleToken(const std::string& plain, std::uint32_t seed);

// A token record: "x|<scrambled token>|f3|f4|<payload>", possibly wrapped
// as a whole by the "Scrambled=01" scrambler. A record with fewer than four
// "|" has no token and no payload.
void SplitTokenRecord(const std::string& record, std::string& token, std::string& payload);

}  // namespace kv
