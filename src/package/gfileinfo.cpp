#include "package/gfileinfo.h"

#include <algorithm>
#include <limits>

#include "package/checksum.h"
#include "package/ksub.h"

namespace kv {
namespace {

// Header strings are settings and language texts of a few kilobytes. A
// claimed length above this is damage, not something to allocate.
constexpr std::int64_t kMaxHeaderString = 16 * 1024 * 1024;

bool ReadExact(ByteSource& src, std::int64_t pos, void* buf, std::size_t n) {
  return pos >= 0 && src.ReadAt(pos, buf, n) == n;
}

bool ReadInt32(ByteSource& src, std::int64_t pos, std::int32_t& v) {
  unsigned char b[4];
  if (!ReadExact(src, pos, b, 4)) return false;
  v = static_cast<std::int32_t>(LoadLE32(b));
  return true;
}

}  // namespace

bool IsPEFile(ByteSource& src) {
  char mz[2], pe[2];
  if (!ReadExact(src, 0, mz, 2) || mz[0] != 'M' || mz[1] != 'Z') return false;
  return ReadExact(src, kPEHeaderOffset, pe, 2) && pe[0] == 'P' && pe[1] == 'E';
}

std::uint64_t ReadSelfLength(ByteSource& src) {
  unsigned char hi[4], lo[4];
  if (!ReadExact(src, kSelfLengthHighOffset, hi, 4) || !ReadExact(src, kSelfLengthLowOffset, lo, 4))
    return 0;
  return (static_cast<std::uint64_t>(LoadLE32(hi)) << 32) | LoadLE32(lo);
}

PackageTrailer LocateTrailer(ByteSource& src) {
  PackageTrailer t;
  const std::int64_t size = src.Size();
  const bool pe = IsPEFile(src);

  // A failed read of the length leaves it 0, which means "no trailer".
  std::int32_t len = 0;
  std::int64_t pos = 0;
  if (size >= 4 && ReadInt32(src, size - 4, len)) pos = size - len;

  if (pe) {
    std::uint64_t self = ReadSelfLength(src);
    if (self > 0) {
      len = 0;
      pos = 0;
      if (self <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        std::int64_t s = static_cast<std::int64_t>(self);
        if (ReadInt32(src, s - 4, len)) pos = s - len;
      }
    }
  }

  const std::int32_t n = std::min<std::int32_t>(kTrailerSize, len);
  if (n >= 4) {
    // A trailer that is not all there is no trailer: partial bytes would
    // only mix a foreign file's content into the fields.
    if (!ReadExact(src, pos, t.bytes.data(), static_cast<std::size_t>(n - 4))) t.Clear();
  }
  t.SetTrailerLength(n);
  if (t.HeaderStringCount() == 0) t.SetHeaderStringCount(2);
  return t;
}

std::int64_t PackageDataEnd(ByteSource& src) {
  std::int64_t size = src.Size();
  if (IsPEFile(src)) {
    std::uint64_t self = ReadSelfLength(src);
    if (self > 0)
      return self > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                 ? std::numeric_limits<std::int64_t>::max()
                 : static_cast<std::int64_t>(self);
  }
  return size;
}

TGFileInfo::TGFileInfo(const std::string& path) {
  if (!os::FileExists(path)) return;
  os::File f;
  if (!f.open(path, os::OpenMode::Read)) return;
  FileSource src(f);
  Parse(src);
}

TGFileInfo TGFileInfo::FromImage(const std::string& image) {
  MemorySource src(image);
  return FromSource(src);
}

TGFileInfo TGFileInfo::FromSource(ByteSource& src) {
  TGFileInfo info;
  info.Parse(src);
  return info;
}

void TGFileInfo::Parse(ByteSource& src) {
  trailer_ = LocateTrailer(src);
  // A file whose trailer is not ours is described as empty: none of the
  // flag bytes read from a foreign file may select a run mode.
  if (!trailer_.MagicOk()) {
    trailer_.Clear();
    return;
  }

  const std::int64_t size = src.Size();
  std::int64_t pos = trailer_.DataOffset();
  std::string* targets[3] = {&languageBlocks_, &settingsList_, &webSettingsList_};
  const int count = trailer_.HeaderStringCount() >= 3 ? 3 : 2;
  for (int i = 0; i < count; ++i) {
    std::int32_t len = 0;
    if (!ReadInt32(src, pos, len)) break;
    // A negative length, or one beyond the bytes that are there, is damage:
    // that string and the ones after it (whose positions depend on it) stay
    // unread, and DataOffset stays at the damaged string.
    if (len < 0 || len > kMaxHeaderString || len > size - pos - 4) break;
    std::string s(static_cast<std::size_t>(len), '\0');
    if (len > 0 && !ReadExact(src, pos + 4, &s[0], s.size())) break;
    *targets[i] = std::move(s);
    pos += static_cast<std::int64_t>(len) + 4;
    trailer_.SetDataOffset(static_cast<std::uint32_t>(pos));
  }
}

std::string TGFileInfo::InfoLocation() const { return SUB::GetField(settingsList_, 0, ""); }
std::string TGFileInfo::InfoFileName() const { return SUB::GetField(settingsList_, 1, ""); }
std::string TGFileInfo::AgentFileName() const { return SUB::GetField(settingsList_, 2, ""); }
std::string TGFileInfo::UpdateToken(bool descramble) const {
  std::string t = SUB::GetField(settingsList_, 3, "");
  return descramble ? DescrambleText(t) : t;
}
bool TGFileInfo::HideFlag() const { return SUB::GetField(settingsList_, 4, "") == "1"; }

std::string TGFileInfo::PackageUrl() const { return SUB::GetField(webSettingsList_, 0, ""); }
std::string TGFileInfo::PackageFileName() const { return SUB::GetField(webSettingsList_, 1, ""); }
bool TGFileInfo::NoLocalPackage() const { return SUB::GetField(webSettingsList_, 2, "") == "1"; }
std::string TGFileInfo::PackageToken(bool descramble) const {
  std::string t = SUB::GetField(webSettingsList_, 3, "");
  return descramble ? DescrambleText(t) : t;
}
std::string TGFileInfo::PackageSize() const { return SUB::GetField(webSettingsList_, 4, ""); }

double TGFileInfo::GetSpaceRequired(const std::string& folder) const {
  double need = TotalSize();
  const std::uint32_t cluster = os::GetClusterSize(folder.substr(0, 3));
  // The last table entry whose cluster size does not exceed the drive's wins;
  // below 512 the plain total stays.
  for (int k = 1; k <= 8; ++k) {
    std::uint32_t size = 256u << k;
    if (size <= cluster) need = SpaceByClusterSize(k - 1);
  }
  return need;
}

bool TGFileInfo::IsPEFile(const std::string& path) {
  os::File f;
  if (!f.open(path, os::OpenMode::Read)) return false;
  return IsPEFile(f);
}

bool TGFileInfo::IsPEFile(os::File& f) {
  FileSource src(f);
  return ::kv::IsPEFile(src);
}

std::uint64_t TGFileInfo::ReadSelfLength(os::File& f) {
  FileSource src(f);
  return ::kv::ReadSelfLength(src);
}

std::uint64_t TGFileInfo::ReadSelfLengthImage(const std::string& image) {
  MemorySource src(image);
  return ::kv::ReadSelfLength(src);
}

}  // namespace kv
