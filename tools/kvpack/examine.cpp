// kvpack info / verify / extract: reading a setup file the way the stub
// reads it, and saying precisely where it would go wrong.
//
// Volumes are followed through MoreVolumes and named as the stub names them.
// Each record is decoded by the stub's own record reader; this file adds the
// walk over the record lengths (positions, stored or not) and the checks the
// stub does not make but a sound package passes: plain names, record counts,
// sizes, exact record boundaries up to the trailer.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <map>

#include "fileio.h"
#include "kvpack.h"
#include "os/file.h"
#include "package/checksum.h"
#include "package/gfileinfo.h"
#include "package/ksub.h"
#include "package/records.h"

namespace fs = std::filesystem;

namespace kv::pack {

namespace {

constexpr int kMaxVolumes = 999;
constexpr std::int32_t kMaxHeaderStringRead = 16 << 20;

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// Collects one record's header and size, and optionally passes its content on.
class CollectSink : public kv::RecordSink {
 public:
  explicit CollectSink(StdFile* out = nullptr) : out_(out) {}
  bool OnHeader(const kv::RecordHeader& h) override {
    header = h;
    gotHeader = true;
    return true;
  }
  bool OnContent(const char* data, std::size_t n) override {
    size += n;
    if (out_ && !out_->writeAll(data, n)) {
      writeFailed = true;
      return false;
    }
    return true;
  }
  bool OnRecordEnd() override {
    ended = true;
    return true;
  }

  kv::RecordHeader header;
  bool gotHeader = false;
  bool ended = false;
  bool writeFailed = false;
  std::uint64_t size = 0;

 private:
  StdFile* out_;
};

bool ReadI32(StdFile& f, std::int64_t pos, std::int32_t& v) {
  unsigned char b[4];
  if (f.readAt(pos, b, 4) != 4) return false;
  v = static_cast<std::int32_t>(kv::LoadLE32(b));
  return true;
}

std::string Hex(std::uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%08X", v);
  return b;
}

}  // namespace

PackageReport InspectPackage(const std::string& path) {
  PackageReport rep;
  auto error = [&](const std::string& where, const std::string& what) {
    rep.errors.push_back(where + ": " + what);
  };
  auto warning = [&](const std::string& where, const std::string& what) {
    rep.warnings.push_back(where + ": " + what);
  };

  struct FileSum {
    std::string name;
    std::uint64_t size = 0;
  };
  std::vector<FileSum> files;  // in first-seen order
  std::map<std::string, std::size_t> byUpper;
  int fileRecords = 0;
  std::int64_t counter = 0;  // records read, header strings included, all volumes

  for (int k = 1; k <= kMaxVolumes; ++k) {
    VolumeEntry v;
    v.path = k == 1 ? path : VolumeFileName(path, k);
    const std::string where = k == 1 ? v.path : "volume " + std::to_string(k) + " (" + v.path + ")";
    StdFile f;
    if (!IsRegularFile(v.path) || !f.open(v.path, "rb")) {
      error(where, k == 1 ? "cannot open the file"
                          : "missing: the previous volume says that more volumes follow");
      break;
    }
    StdFileSource src(f);
    v.fileSize = f.size();
    v.pe = kv::IsPEFile(src);
    v.selfLength = v.pe ? kv::ReadSelfLength(src) : 0;
    if (v.pe && v.selfLength > static_cast<std::uint64_t>(v.fileSize)) {
      error(where, "SelfLength " + std::to_string(v.selfLength) + " is beyond the end of the file (" +
                       std::to_string(v.fileSize) + " bytes)");
      rep.volumes.push_back(v);
      break;
    }
    v.dataEnd = v.selfLength ? static_cast<std::int64_t>(v.selfLength) : v.fileSize;
    if (k == 1 && v.pe && !v.selfLength)
      warning(where, "SelfLength is not written: anything appended to the file hides the package");
    if (v.selfLength && static_cast<std::int64_t>(v.selfLength) < v.fileSize)
      warning(where, std::to_string(v.fileSize - static_cast<std::int64_t>(v.selfLength)) +
                         " bytes after SelfLength, ignored by the stub");

    std::int32_t claimed = 0;
    if (v.dataEnd < 4 || !ReadI32(f, v.dataEnd - 4, claimed)) {
      error(where, "too short to hold a package trailer");
      rep.volumes.push_back(v);
      break;
    }
    v.claimedTrailerLength = claimed;
    v.trailer = kv::LocateTrailer(src);
    if (claimed != kv::kTrailerSize) {
      error(where, "the trailer claims " + std::to_string(claimed) + " bytes, not " +
                       std::to_string(kv::kTrailerSize) +
                       (claimed > v.dataEnd ? ", more than the file holds" : ""));
      rep.volumes.push_back(v);
      break;
    }
    if (!v.trailer.MagicOk()) {
      error(where, "no package: PackageMagic is " + Hex(v.trailer.PackageMagic()) + ", not " +
                       Hex(kv::kPackageMagic));
      rep.volumes.push_back(v);
      break;
    }
    const std::int64_t trailerStart = v.dataEnd - kv::kTrailerSize;
    std::uint8_t rawCount = 0;
    f.readAt(trailerStart + kv::PackageTrailer::kOffHeaderStringCount, &rawCount, 1);
    if (k == 1) rep.headerStringCount = rawCount;
    if (v.trailer.PackageFlags() & 0xE0)
      warning(where, "PackageFlags has bits 5 to 7 set, which mean nothing");

    v.computedChecksum = kv::ComputePackageChecksum(src, v.trailer.TrailerLength());
    v.checksumAccepted = kv::ChecksumAccepted(v.computedChecksum, v.trailer.StoredChecksum());
    if (!v.checksumAccepted)
      error(where, "checksum mismatch: stored " + Hex(v.trailer.StoredChecksum()) + ", computed " +
                       Hex(v.computedChecksum) + " (the stub stops with \"Bad CRC!\")");
    else if (v.trailer.StoredChecksum() == kv::kNoChecksum && v.computedChecksum != kv::kNoChecksum)
      warning(where, "StoredChecksum is 1234: the stub does not check this volume");

    std::int64_t pos = v.trailer.DataOffset();
    if (pos > trailerStart) {
      error(where, "DataOffset " + std::to_string(pos) + " is beyond the trailer");
      rep.volumes.push_back(v);
      break;
    }

    // The stub's walk: one counter over all volumes; the records it counts
    // up to HeaderStringCount are header strings (on the first volume the
    // descriptor's three, then any others), the rest file records.
    const int headerCount = v.trailer.HeaderStringCount();
    bool broken = false;
    if (k > 1 && trailerStart - pos <= 0)
      error(where, "holds no file record (the stub would read its trailer as one)");
    while (!broken && trailerStart - pos > 0) {
      const std::string at = where + ", record at " + std::to_string(pos);
      std::int32_t len = 0;
      if (pos + 4 > trailerStart || !ReadI32(f, pos, len)) {
        error(at, "its length field runs into the trailer");
        broken = true;
        break;
      }
      ++counter;
      if (counter <= headerCount) {
        if (len < 0 || len > trailerStart - pos - 4) {
          error(at, "header string " + std::to_string(counter) +
                        " has a negative length or runs into the trailer");
          broken = true;
          break;
        }
        if (k == 1 && counter <= 3) {
          if (len > kMaxHeaderStringRead) {
            error(at, "header string " + std::to_string(counter) + " is " + std::to_string(len) +
                          " bytes long");
            broken = true;
            break;
          }
          std::string s(static_cast<std::size_t>(len), '\0');
          if (len) f.readAt(pos + 4, &s[0], s.size());
          (counter == 1 ? rep.languageBlocks : counter == 2 ? rep.settingsList : rep.webSettingsList) = s;
        }
        pos += 4 + static_cast<std::int64_t>(len);
        continue;
      }
      if (len == 0 || len == INT_MIN) {
        error(at, "invalid length " + std::to_string(len));
        broken = true;
        break;
      }
      const std::int64_t absLen = len < 0 ? -static_cast<std::int64_t>(len) : len;
      if (absLen > trailerStart - pos - 4) {
        error(at, "claims " + std::to_string(absLen) + " bytes, but only " +
                      std::to_string(std::max<std::int64_t>(0, trailerStart - pos - 4)) +
                      " are left before the trailer (truncated or damaged)");
        broken = true;
        break;
      }
      kv::RecordCursor one;
      one.position = pos;
      one.end = pos + 4 + absLen + kv::kTrailerSize;
      one.headerStringCount = 0;
      CollectSink sink;
      kv::RecordResult r = kv::ReadVolumeRecords(src, one, sink);
      if (!r.ok()) {
        error(at, std::string(kv::RecordStatusText(r.status)) +
                      (r.message.empty() || r.message == kv::RecordStatusText(r.status)
                           ? ""
                           : " (" + r.message + ")"));
        broken = true;
        break;
      }
      if (!sink.gotHeader) {
        error(at, "has an empty header, so the stub skips it");
      } else {
        RecordEntry e;
        e.volume = k;
        e.position = pos;
        e.length = len;
        e.header = sink.header.header;
        e.nameField = kv::SUB::GetField(e.header, 0, "");
        e.name = sink.header.name;
        e.stampText = kv::SUB::GetField(e.header, 1, "");
        e.size = sink.size;
        e.main = !sink.header.mainEntry.empty();
        if (kv::SUB::CountFields(e.header) != 2)
          warning(at, "its header has " + std::to_string(kv::SUB::CountFields(e.header)) +
                          " fields, not 2");
        std::string why = WhyNotPlainName(e.name);
        if (!why.empty()) error(at, "unsafe name \"" + e.name + "\": " + why);
        std::int64_t stamp = 0;
        if (!e.stampText.empty() && e.stampText.find_first_not_of("0123456789") == std::string::npos &&
            e.stampText.size() <= 10)
          stamp = std::stoll(e.stampText);
        else
          warning(at, "stamp \"" + e.stampText + "\" is not a number: the file keeps its time of writing");
        if (stamp > 0xFFFFFFFFll || (stamp != 0 && !IsValidDosStamp(static_cast<std::uint32_t>(stamp))))
          warning(at, "stamp " + e.stampText + " is not a DOS date and time");
        e.stamp = static_cast<std::uint32_t>(stamp);

        std::string upper = UpperAscii(e.name);
        auto it = byUpper.find(upper);
        if (it == byUpper.end()) {
          byUpper[upper] = files.size();
          files.push_back({e.name, e.size});
        } else {
          if (files[it->second].name != e.name)
            error(at, "names \"" + files[it->second].name + "\" and \"" + e.name +
                          "\" differ only in case: on Windows they land in one file");
          files[it->second].size += e.size;
        }
        rep.records.push_back(std::move(e));
      }
      ++v.records;
      ++fileRecords;
      pos += 4 + absLen;
    }
    if (!broken && k == 1 && counter < headerCount)
      error(where, "ends before its " + std::to_string(headerCount) + " header strings");
    rep.volumes.push_back(v);
    if (broken) break;
    if (!(v.trailer.PackageFlags() & kv::kFlagMoreVolumes)) break;
    if (k == kMaxVolumes) error(where, "more than 999 volumes");
  }

  // Totals against the first volume's trailer.
  if (!rep.volumes.empty() && rep.errors.empty()) {
    const kv::PackageTrailer& t = rep.volumes.front().trailer;
    if (t.FileCount() != static_cast<std::uint32_t>(fileRecords))
      rep.errors.push_back("FileCount is " + std::to_string(t.FileCount()) + " but the package holds " +
                           std::to_string(fileRecords) + " file records");
    for (std::size_t i = 1; i < rep.volumes.size(); ++i)
      if (rep.volumes[i].trailer.FileCount() != t.FileCount())
        rep.warnings.push_back("volume " + std::to_string(i + 1) + " has FileCount " +
                               std::to_string(rep.volumes[i].trailer.FileCount()) + ", volume 1 " +
                               std::to_string(t.FileCount()));
    std::uint64_t total = 0, space[8] = {};
    for (const auto& fs : files) {
      total += fs.size;
      for (int k = 0; k < 8; ++k) {
        std::uint64_t cs = 512ull << k;
        space[k] += (fs.size + cs - 1) / cs * cs;
      }
    }
    auto cap = [](std::uint64_t x) { return static_cast<std::uint32_t>(std::min<std::uint64_t>(x, 0xFFFFFFFFull)); };
    if (t.TotalSize() != cap(total))
      rep.errors.push_back("TotalSize is " + std::to_string(t.TotalSize()) + " but the files hold " +
                           std::to_string(total) + " bytes");
    for (int k = 0; k < 8; ++k)
      if (t.SpaceByClusterSize(k) != cap(space[k]))
        rep.errors.push_back("SpaceByClusterSize for " + std::to_string(512 << k) + "-byte clusters is " +
                             std::to_string(t.SpaceByClusterSize(k)) + ", the files need " +
                             std::to_string(space[k]));
    int mains = 0;
    for (const auto& r : rep.records) mains += r.main ? 1 : 0;
    if (mains == 0 && !t.IsWebInstaller() && !rep.records.empty())
      rep.warnings.push_back("no record is marked \"*\": the setup starts no program");
  }
  return rep;
}

std::vector<std::string> ExtractPackageTo(const std::string& path, const std::string& dir) {
  PackageReport rep = InspectPackage(path);
  if (!rep.ok()) throw Error("not extracted, the package is not sound: " + rep.errors.front());

  std::vector<std::string> names;
  std::map<std::string, std::uint32_t> stamps;
  for (const auto& r : rep.records) {
    if (!stamps.count(r.name)) names.push_back(r.name);
    stamps[r.name] = r.stamp;
  }
  std::error_code ec;
  fs::create_directories(fs::path(dir), ec);
  if (!fs::is_directory(fs::path(dir), ec)) throw Error("cannot create the folder " + dir);
  for (const auto& n : names)
    if (PathExists((fs::path(dir) / n).string()))
      throw Error((fs::path(dir) / n).string() + " already exists: extract into an empty folder");

  // The stub's loop: one cursor, its counter running on across volumes.
  kv::RecordCursor cursor;
  for (std::size_t v = 0; v < rep.volumes.size(); ++v) {
    const VolumeEntry& vol = rep.volumes[v];
    StdFile f;
    if (!f.open(vol.path, "rb")) throw Error("cannot open " + vol.path);
    StdFileSource src(f);
    cursor.position = vol.trailer.DataOffset();
    cursor.end = vol.dataEnd;
    cursor.headerStringCount = vol.trailer.HeaderStringCount();

    class AppendSink : public kv::RecordSink {
     public:
      explicit AppendSink(const std::string& d) : dir_(d) {}
      bool OnHeader(const kv::RecordHeader& h) override {
        out_.close();
        // Names were checked above; this guards the reader's view of them.
        if (!WhyNotPlainName(h.name).empty()) return false;
        target = (fs::path(dir_) / h.name).string();
        return out_.open(target, "ab");
      }
      bool OnContent(const char* data, std::size_t n) override { return out_.writeAll(data, n); }
      bool OnRecordEnd() override { return out_.close(); }
      std::string target;

     private:
      std::string dir_;
      StdFile out_;
    } sink(dir);
    kv::RecordResult r = kv::ReadVolumeRecords(src, cursor, sink);
    if (!r.ok())
      throw Error("extracting " + vol.path + " stopped at the record at " +
                  std::to_string(r.recordPosition) + ": " + kv::RecordStatusText(r.status) +
                  (sink.target.empty() ? "" : " (" + sink.target + ")"));
  }
  for (const auto& n : names) {
    std::uint32_t stamp = stamps[n];
    if (stamp) os::SetDosDateTime((fs::path(dir) / n).string(), stamp);
  }
  return names;
}

}  // namespace kv::pack
