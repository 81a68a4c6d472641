// The package descriptor: a read-only view of a setup file's trailer and
// header strings.
//
// A setup file (all integers little-endian):
//
//   offset 0     +----------------------------------------------+
//                | stub executable ("MZ" at 0, "PE" at 256)      |
//                |   DOS header 144..207: 64 letters A-Z (builder)|
//                |   DOS header 248: SelfLength high word        |
//                |   DOS header 252: SelfLength low word         |
//   DataOffset   +----------------------------------------------+
//                | header string 1: int32 len, LanguageBlocks    |
//                | header string 2: int32 len, SettingsList      |
//                | header string 3: int32 len, WebSettingsList   |
//                |   (only when HeaderStringCount > 2)           |
//                +----------------------------------------------+
//                | file records (see records.h)                  |
//   SelfLength-74+----------------------------------------------+
//   (or EOF-74)  | trailer, 74 bytes (below)                     |
//   SelfLength   +----------------------------------------------+
//                | anything appended later (a signature): ignored|
//                +----------------------------------------------+
//
// Without SelfLength (0, or a file that is not an executable, such as the
// second volume of a spanned package) the trailer is the end of the file.
//
// Trailer (offsets from its first byte):
//
//    0  u8   (unused)            28  u32  TotalSize
//    1  u8   HeaderStringCount   32  u32[8] SpaceByClusterSize
//    2  u16  (unused)                       (512, 1K, ... 64K clusters)
//    4  u32  DataOffset          64  u8   (unused)
//    8  u32  FileCount           65  u8   PackageFlags (bits below)
//   12  u32  PackageMagic        66  u8   IsWebInstaller
//            0x4A3B2C1D          67  u8   AskBeforeDownload
//   16  u32  StoredChecksum      68  u8   DropAgentCopy
//   20  8    (unused)            69  u8   AutoUpdateProg
//                                70  u32  TrailerLength (74), last 4 bytes
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "os/file.h"
#include "package/bytesource.h"

namespace kv {

constexpr std::uint32_t kPackageMagic = 0x4A3B2C1D;
constexpr int kTrailerSize = 74;
constexpr std::int64_t kPEHeaderOffset = 256;
constexpr std::int64_t kSelfLengthHighOffset = 248;
constexpr std::int64_t kSelfLengthLowOffset = 252;
// The stored checksum that means "not compared".
constexpr std::uint32_t kNoChecksum = 1234;

// PackageFlags bits.
constexpr std::uint8_t kFlagTempNotice = 0x01;
constexpr std::uint8_t kFlagMoreVolumes = 0x02;
constexpr std::uint8_t kFlagSpannedCd = 0x04;
constexpr std::uint8_t kFlagShowActivityBar = 0x08;
constexpr std::uint8_t kFlagAgentLog = 0x10;

// The 74 trailer bytes with named access. Used as read by the descriptor and
// as written by the builder and the agent-copy writer.
struct PackageTrailer {
  enum Offset : std::size_t {
    kOffHeaderStringCount = 1,
    kOffDataOffset = 4,
    kOffFileCount = 8,
    kOffPackageMagic = 12,
    kOffStoredChecksum = 16,
    kOffTotalSize = 28,
    kOffSpaceByClusterSize = 32,
    kOffPackageFlags = 65,
    kOffIsWebInstaller = 66,
    kOffAskBeforeDownload = 67,
    kOffDropAgentCopy = 68,
    kOffAutoUpdateProg = 69,
    kOffTrailerLength = 70,
  };

  std::array<std::uint8_t, kTrailerSize> bytes{};

  void Clear() { bytes.fill(0); }
  std::uint8_t U8(std::size_t off) const { return bytes[off]; }
  std::uint32_t U32(std::size_t off) const { return LoadLE32(&bytes[off]); }
  void SetU8(std::size_t off, std::uint8_t v) { bytes[off] = v; }
  void SetU32(std::size_t off, std::uint32_t v) { StoreLE32(&bytes[off], v); }

  int HeaderStringCount() const { return U8(kOffHeaderStringCount); }
  std::uint32_t DataOffset() const { return U32(kOffDataOffset); }
  std::uint32_t FileCount() const { return U32(kOffFileCount); }
  std::uint32_t PackageMagic() const { return U32(kOffPackageMagic); }
  std::uint32_t StoredChecksum() const { return U32(kOffStoredChecksum); }
  std::uint32_t TotalSize() const { return U32(kOffTotalSize); }
  // k = 0..7 for cluster sizes 512 .. 65536.
  std::uint32_t SpaceByClusterSize(int k) const {
    return (k >= 0 && k < 8) ? U32(kOffSpaceByClusterSize + 4 * static_cast<std::size_t>(k)) : 0;
  }
  std::uint8_t PackageFlags() const { return U8(kOffPackageFlags); }
  bool IsWebInstaller() const { return U8(kOffIsWebInstaller) != 0; }
  bool AskBeforeDownload() const { return U8(kOffAskBeforeDownload) != 0; }
  bool DropAgentCopy() const { return U8(kOffDropAgentCopy) != 0; }
  bool AutoUpdateProg() const { return U8(kOffAutoUpdateProg) != 0; }
  // Signed: the locating rules store the claimed length even when it is
  // below 4 (a file without a package).
  std::int32_t TrailerLength() const { return static_cast<std::int32_t>(U32(kOffTrailerLength)); }
  bool MagicOk() const { return PackageMagic() == kPackageMagic; }

  void SetHeaderStringCount(std::uint8_t v) { SetU8(kOffHeaderStringCount, v); }
  void SetDataOffset(std::uint32_t v) { SetU32(kOffDataOffset, v); }
  void SetFileCount(std::uint32_t v) { SetU32(kOffFileCount, v); }
  void SetPackageMagic(std::uint32_t v = kPackageMagic) { SetU32(kOffPackageMagic, v); }
  void SetStoredChecksum(std::uint32_t v) { SetU32(kOffStoredChecksum, v); }
  void SetTotalSize(std::uint32_t v) { SetU32(kOffTotalSize, v); }
  void SetSpaceByClusterSize(int k, std::uint32_t v) {
    if (k >= 0 && k < 8) SetU32(kOffSpaceByClusterSize + 4 * static_cast<std::size_t>(k), v);
  }
  void SetPackageFlags(std::uint8_t v) { SetU8(kOffPackageFlags, v); }
  void SetIsWebInstaller(bool v) { SetU8(kOffIsWebInstaller, v ? 1 : 0); }
  void SetAskBeforeDownload(bool v) { SetU8(kOffAskBeforeDownload, v ? 1 : 0); }
  void SetDropAgentCopy(bool v) { SetU8(kOffDropAgentCopy, v ? 1 : 0); }
  void SetAutoUpdateProg(bool v) { SetU8(kOffAutoUpdateProg, v ? 1 : 0); }
  void SetTrailerLength(std::int32_t v) { SetU32(kOffTrailerLength, static_cast<std::uint32_t>(v)); }

  std::string ToBytes() const { return std::string(bytes.begin(), bytes.end()); }
};
static_assert(sizeof(PackageTrailer) == kTrailerSize, "the trailer is 74 bytes on disk");

// PE test: "MZ" at offset 0 and "PE" at offset 256.
bool IsPEFile(ByteSource& src);

// SelfLength: the 64-bit length written into the DOS header (high word at
// 248, low word at 252); 0 when not written or when the data is too short.
std::uint64_t ReadSelfLength(ByteSource& src);

// Locates and reads the trailer by the locating rules: through SelfLength
// when the source is an executable with SelfLength set, else from the end.
// The result is the trailer as found, magic not checked; a source without a
// trailer gives a zero record with HeaderStringCount 2.
PackageTrailer LocateTrailer(ByteSource& src);

// The end of a volume's package data: SelfLength when the volume is an
// executable with SelfLength set, else the size of the source (-1 unknown).
std::int64_t PackageDataEnd(ByteSource& src);

class TGFileInfo {
 public:
  // Reads the trailer and the header strings of the file; never fails: a
  // missing, unreadable or foreign file gives an empty descriptor.
  explicit TGFileInfo(const std::string& path);
  // The same parse over bytes held in memory (a download, a fuzz input).
  static TGFileInfo FromImage(const std::string& image);
  static TGFileInfo FromSource(ByteSource& src);

  // The trailer as used (all zero when the file carries no package).
  const PackageTrailer& Trailer() const { return trailer_; }

  int HeaderStringCount() const { return trailer_.HeaderStringCount(); }
  // After construction: the position just after the header strings read.
  std::uint32_t DataOffset() const { return trailer_.DataOffset(); }
  std::uint32_t FileCount() const { return trailer_.FileCount(); }
  std::uint32_t PackageMagic() const { return trailer_.PackageMagic(); }
  std::uint32_t StoredChecksum() const { return trailer_.StoredChecksum(); }
  std::uint32_t TotalSize() const { return trailer_.TotalSize(); }
  std::uint32_t SpaceByClusterSize(int k) const { return trailer_.SpaceByClusterSize(k); }
  std::uint8_t PackageFlags() const { return trailer_.PackageFlags(); }
  bool TempNotice() const { return (PackageFlags() & kFlagTempNotice) != 0; }
  bool MoreVolumes() const { return (PackageFlags() & kFlagMoreVolumes) != 0; }
  bool SpannedCd() const { return (PackageFlags() & kFlagSpannedCd) != 0; }
  bool ShowActivityBar() const { return (PackageFlags() & kFlagShowActivityBar) != 0; }
  bool AgentLogFlag() const { return (PackageFlags() & kFlagAgentLog) != 0; }
  bool IsWebInstaller() const { return trailer_.IsWebInstaller(); }
  bool AskBeforeDownload() const { return trailer_.AskBeforeDownload(); }
  bool DropAgentCopy() const { return trailer_.DropAgentCopy(); }
  bool AutoUpdateProg() const { return trailer_.AutoUpdateProg(); }
  std::int32_t TrailerLength() const { return trailer_.TrailerLength(); }

  const std::string& LanguageBlocks() const { return languageBlocks_; }
  const std::string& SettingsList() const { return settingsList_; }
  const std::string& WebSettingsList() const { return webSettingsList_; }

  // SettingsList fields.
  std::string InfoLocation() const;
  std::string InfoFileName() const;
  std::string AgentFileName() const;
  std::string UpdateToken(bool descramble) const;
  bool HideFlag() const;
  // WebSettingsList fields.
  std::string PackageUrl() const;
  std::string PackageFileName() const;
  bool NoLocalPackage() const;
  std::string PackageToken(bool descramble) const;
  std::string PackageSize() const;

  // Bytes the packaged files need on the drive of folder.
  double GetSpaceRequired(const std::string& folder) const;

  // PE test of a file, by path (opened and closed again) or open (its
  // position moves).
  static bool IsPEFile(const std::string& path);
  static bool IsPEFile(os::File& f);
  static std::uint64_t ReadSelfLength(os::File& f);
  // SelfLength from the whole file held in memory.
  static std::uint64_t ReadSelfLengthImage(const std::string& image);

 private:
  TGFileInfo() = default;
  void Parse(ByteSource& src);

  PackageTrailer trailer_;
  std::string languageBlocks_;
  std::string settingsList_;
  std::string webSettingsList_;
};

}  // namespace kv
