// kvpack build: stub + header strings + file records + trailer, in one or
// several volume files.
//
// Records are compressed on all cores and written strictly in input order;
// at most a few records are in memory at once, whatever the package's size.
// Every volume is written under a temporary name; the trailers are completed
// (FileCount, SelfLength, then the checksum over the final bytes) and the
// files renamed into place only when the whole package is done.
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <thread>

#include "fileio.h"
#include "kvpack.h"
#include "package/checksum.h"
#include "package/gfileinfo.h"
#include "package/ksub.h"

namespace fs = std::filesystem;

namespace kv::pack {

namespace {

constexpr std::uint64_t kMaxRecordLimit = 1u << 30;  // keeps every length inside int32
constexpr std::int64_t kLettersOffset = 144;
constexpr int kLetterCount = 64;

struct Input {
  std::string path;
  std::string name;       // the plain file name
  std::string nameField;  // field 0 of the record header ("Engine.exe* /silent")
  std::uint64_t size = 0;
  std::uint32_t stamp = 0;
  std::string header;     // the record header list
  std::uint64_t maxPiece = 0;
};

struct Piece {
  std::size_t input = 0;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// A piece turned into the data of one record.
struct Record {
  Piece piece;
  std::string content;  // kept only when volumes may need to split it again
  std::string data;
  bool stored = false;
  std::string error;
};

std::string Trimmed(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string ExtractName(const std::string& path) {
  std::size_t p = path.find_last_of("/\\");
#ifdef _WIN32
  std::size_t c = path.find_last_of(':');
  if (c != std::string::npos && (p == std::string::npos || c > p)) p = c;
#endif
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::uint64_t BoundFor(bool store, std::uint64_t rawLength) {
  return store ? rawLength : static_cast<std::uint64_t>(compressBound(static_cast<uLong>(rawLength)));
}

// The record data for header + NUL + content.
std::string MakeRecordData(const std::string& header, const char* content, std::size_t n,
                           bool store, int level) {
  std::string raw;
  raw.reserve(header.size() + 1 + n);
  raw += header;
  raw += '\0';
  raw.append(content, n);
  if (store) return raw;
  uLongf outLen = compressBound(static_cast<uLong>(raw.size()));
  std::string out(outLen, '\0');
  int rc = compress2(reinterpret_cast<Bytef*>(&out[0]), &outLen,
                     reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                     level);
  if (rc != Z_OK) throw Error(std::string("zlib failed to compress: ") + zError(rc));
  out.resize(outLen);
  // The level bits of the zlib header only hint at how the stream was made;
  // records always begin 78 9C, the header the format names.
  if (out.size() >= 2 && static_cast<unsigned char>(out[0]) == 0x78) out[1] = '\x9C';
  return out;
}

std::string HeaderString(const std::string& text) {
  char len[4];
  kv::StoreLE32(len, static_cast<std::uint32_t>(text.size()));
  return std::string(len, 4) + text;
}

// ---------------------------------------------------------------- workers

class Compressor {
 public:
  Compressor(const std::vector<Input>& inputs, const std::vector<Piece>& pieces, bool store,
             int level, bool keepContent, int threads)
      : inputs_(inputs), pieces_(pieces), store_(store), level_(level), keep_(keepContent) {
    window_ = static_cast<std::size_t>(threads) * 2 + 1;
    for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { Work(); });
  }
  ~Compressor() {
    {
      std::lock_guard<std::mutex> lk(m_);
      abort_ = true;
    }
    cvWork_.notify_all();
    for (auto& t : workers_) t.join();
  }

  Record Take(std::size_t index) {
    std::unique_lock<std::mutex> lk(m_);
    cvDone_.wait(lk, [&] { return done_.count(index) != 0; });
    Record r = std::move(done_[index]);
    done_.erase(index);
    ++consumed_;
    lk.unlock();
    cvWork_.notify_all();
    return r;
  }

 private:
  void Work() {
    for (;;) {
      std::size_t index;
      {
        std::unique_lock<std::mutex> lk(m_);
        cvWork_.wait(lk, [&] {
          return abort_ || next_ >= pieces_.size() || next_ < consumed_ + window_;
        });
        if (abort_ || next_ >= pieces_.size()) return;
        index = next_++;
      }
      Record r = Process(pieces_[index]);
      {
        std::lock_guard<std::mutex> lk(m_);
        done_[index] = std::move(r);
      }
      cvDone_.notify_all();
    }
  }

  Record Process(const Piece& p) {
    Record r;
    r.piece = p;
    r.stored = store_;
    const Input& in = inputs_[p.input];
    try {
      StdFile f;
      if (!f.open(in.path, "rb")) throw Error("cannot open " + in.path + ": " + std::strerror(errno));
      std::string content(static_cast<std::size_t>(p.length), '\0');
      if (p.length && f.readAt(static_cast<std::int64_t>(p.offset), &content[0], content.size()) !=
                          content.size())
        throw Error(in.path + " became shorter during the build");
      if (p.offset + p.length == in.size) {
        char extra;
        if (f.readAt(static_cast<std::int64_t>(in.size), &extra, 1) == 1)
          throw Error(in.path + " grew during the build");
      }
      r.data = MakeRecordData(in.header, content.data(), content.size(), store_, level_);
      if (keep_) r.content = std::move(content);
    } catch (const std::exception& e) {
      r.error = e.what();
    }
    return r;
  }

  const std::vector<Input>& inputs_;
  const std::vector<Piece>& pieces_;
  bool store_;
  int level_;
  bool keep_;
  std::size_t window_;
  std::mutex m_;
  std::condition_variable cvWork_, cvDone_;
  std::size_t next_ = 0, consumed_ = 0;
  bool abort_ = false;
  std::map<std::size_t, Record> done_;
  std::vector<std::thread> workers_;
};

// ---------------------------------------------------------------- volumes

class VolumeWriter {
 public:
  VolumeWriter(const BuildOptions& opt, const kv::PackageTrailer& base)
      : opt_(opt), base_(base) {}

  void OpenFirst(const std::string& stub, const std::string& headers) {
    Open(opt_.out);
    Write(stub);
    Write(headers);
  }

  std::uint64_t Current() const { return cur_; }
  int RecordsInVolume() const { return recordsInVolume_; }
  bool IsFirstVolume() const { return outs_.size() == 1; }

  void WriteRecord(const Record& r) {
    char len[4];
    std::int64_t n = static_cast<std::int64_t>(r.data.size());
    kv::StoreLE32(len, static_cast<std::uint32_t>(r.stored ? -n : n));
    Write(std::string(len, 4));
    Write(r.data);
    ++recordsInVolume_;
    ++fileCount_;
  }

  // Ends the current volume with its trailer; more = another one follows.
  void CloseVolume(bool more, std::uint32_t dataOffset, std::uint8_t headerCount) {
    kv::PackageTrailer t = base_;
    t.SetHeaderStringCount(headerCount);
    t.SetDataOffset(dataOffset);
    std::uint8_t flags = t.PackageFlags();
    t.SetPackageFlags(more ? (flags | kv::kFlagMoreVolumes)
                           : static_cast<std::uint8_t>(flags & ~kv::kFlagMoreVolumes));
    Write(t.ToBytes());
    sizes_.push_back(cur_);
    if (!outs_.back()->file().close())
      throw Error("cannot write " + outs_.back()->tempPath() + ": " + std::strerror(errno));
  }

  void OpenNext() {
    Open(VolumeFileName(opt_.out, static_cast<int>(outs_.size()) + 1));
  }

  // FileCount, SelfLength and the checksum over the final bytes, then the
  // renames. forbidden: the inputs, which no output may replace.
  BuildResult Finish(bool writeSelfLength, const std::vector<std::string>& forbidden) {
    BuildResult res;
    for (std::size_t v = 0; v < outs_.size(); ++v) {
      TempOutput& o = *outs_[v];
      for (const auto& f : forbidden)
        if (SameFile(o.finalPath(), f))
          throw Error("the output " + o.finalPath() + " is also an input");
      StdFile& f = o.file();
      if (!f.open(o.tempPath(), "r+b")) throw Error("cannot reopen " + o.tempPath());
      std::int64_t size = static_cast<std::int64_t>(sizes_[v]);
      std::int64_t trailer = size - kv::kTrailerSize;
      char word[4];
      kv::StoreLE32(word, fileCount_);
      bool ok = f.writeAt(trailer + kv::PackageTrailer::kOffFileCount, word, 4);
      if (v == 0 && writeSelfLength) {
        std::uint64_t self = static_cast<std::uint64_t>(size);
        kv::StoreLE32(word, static_cast<std::uint32_t>(self >> 32));
        ok = ok && f.writeAt(kv::kSelfLengthHighOffset, word, 4);
        kv::StoreLE32(word, static_cast<std::uint32_t>(self));
        ok = ok && f.writeAt(kv::kSelfLengthLowOffset, word, 4);
      }
      StdFileSource src(f);
      // A later volume begins with a record length; were its bytes to pass
      // the PE test, the stub would look for SelfLength inside record data.
      if (v > 0 && kv::IsPEFile(src))
        throw Error("volume " + std::to_string(v + 1) +
                    " happens to look like an executable; choose another --volume-size");
      std::uint32_t sum = kv::ComputePackageChecksum(src, kv::kTrailerSize);
      kv::StoreLE32(word, sum);
      ok = ok && f.writeAt(trailer + kv::PackageTrailer::kOffStoredChecksum, word, 4);
      if (!ok) throw Error("cannot write " + o.tempPath() + ": " + std::strerror(errno));
      if (!f.close()) throw Error("cannot write " + o.tempPath() + ": " + std::strerror(errno));
    }
    for (auto& o : outs_) {
      o->commit();
      res.volumes.push_back(o->finalPath());
    }
    res.volumeSizes = sizes_;
    res.fileCount = fileCount_;
    return res;
  }

 private:
  void Open(const std::string& path) {
    outs_.push_back(std::make_unique<TempOutput>(path));
    cur_ = 0;
    recordsInVolume_ = 0;
  }
  void Write(const std::string& bytes) {
    if (!outs_.back()->file().writeAll(bytes.data(), bytes.size()))
      throw Error("cannot write " + outs_.back()->tempPath() + ": " + std::strerror(errno));
    cur_ += bytes.size();
  }

  const BuildOptions& opt_;
  kv::PackageTrailer base_;
  std::vector<std::unique_ptr<TempOutput>> outs_;
  std::vector<std::uint64_t> sizes_;
  std::uint64_t cur_ = 0;
  int recordsInVolume_ = 0;
  std::uint32_t fileCount_ = 0;
};

// Cuts the record so that its first part fills room bytes of data exactly or
// nearly; returns false when no useful part fits.
bool SplitToFit(const Input& in, Record& r, std::uint64_t room, bool store, int level,
                Record& first) {
  const std::uint64_t have = r.content.size();
  const std::uint64_t overhead = in.header.size() + 1;
  if (have < 2 || room <= overhead) return false;
  std::uint64_t k;
  if (store) {
    k = room - overhead;
    if (k >= have) return false;
    first.data = MakeRecordData(in.header, r.content.data(), static_cast<std::size_t>(k), true, level);
  } else {
    if (room < overhead + 64) return false;  // not worth a record
    double ratio = static_cast<double>(r.data.size()) / static_cast<double>(have + overhead);
    k = static_cast<std::uint64_t>(static_cast<double>(room - overhead) / std::max(ratio, 1e-3));
    k = std::min(k, have - 1);
    for (int attempt = 0;; ++attempt) {
      if (k < 1 || attempt >= 12) return false;
      first.data = MakeRecordData(in.header, r.content.data(), static_cast<std::size_t>(k), false, level);
      if (first.data.size() <= room) break;
      std::uint64_t next = static_cast<std::uint64_t>(
          static_cast<double>(k) * static_cast<double>(room) / static_cast<double>(first.data.size()) * 0.97);
      k = std::min(next, k - 1);
    }
  }
  first.stored = store;
  first.piece = {r.piece.input, r.piece.offset, k};
  Record rest;
  rest.piece = {r.piece.input, r.piece.offset + k, have - k};
  rest.content = r.content.substr(static_cast<std::size_t>(k));
  rest.data = MakeRecordData(in.header, rest.content.data(), rest.content.size(), store, level);
  rest.stored = store;
  r = std::move(rest);
  return true;
}

std::string Scramble(const std::string& plain, std::optional<std::uint32_t>& seed) {
  if (plain.empty()) return "";
  std::uint32_t s = seed ? *seed : RandomSeed();
  if (seed) seed = *seed + 1;
  return kv::ScrambleToken(plain, s);
}

}  // namespace

BuildResult BuildPackage(const BuildOptions& opt, const std::function<void(const std::string&)>& warn,
                         std::ostream* progress) {
  auto say = [&](const std::string& w) {
    if (warn) warn(w);
  };

  // ---- options
  if (opt.out.empty()) throw Error("no output file given (--out)");
  if (opt.stub.empty()) throw Error("no stub given (--stub)");
  if (fs::is_directory(fs::path(opt.out))) throw Error("the output " + opt.out + " is a folder");
  if (opt.level < 0 || opt.level > 9) throw Error("--level must be 0 to 9");
  if (opt.recordLimit < 1 || opt.recordLimit > kMaxRecordLimit)
    throw Error("--record-limit must be 1 to " + std::to_string(kMaxRecordLimit));
  if (opt.headerCount == 1 || opt.headerCount > 255)
    throw Error("--header-count must be 0, 2 or 3 to 255 (1 would let the stub take the "
                "settings for a file record)");
  if (opt.inputs.empty() && !opt.web)
    throw Error("no input files given (only a web installer, --web, may carry none)");

  const bool webSettings = opt.web || opt.packageUrl || opt.packageFileName || opt.packageToken ||
                           opt.packageSize || opt.noLocalPackage || opt.headerCount >= 3;
  int headerCount = opt.headerCount >= 0 ? opt.headerCount : (webSettings ? 3 : 2);
  if (webSettings && headerCount < 3)
    throw Error("web settings need --header-count 3 or more");
  if (opt.packageSize && !opt.packageSize->empty() &&
      opt.packageSize->find_first_not_of("0123456789") != std::string::npos)
    throw Error("--package-size must be a decimal number of bytes");

  // ---- inputs
  if (!IsRegularFile(opt.stub)) throw Error("stub " + opt.stub + " not found or not a file");
  std::vector<std::string> forbidden{opt.stub};
  if (!opt.languageFile.empty()) forbidden.push_back(opt.languageFile);

  std::vector<Input> inputs;
  for (const std::string& arg : opt.inputs) {
    Input in;
    std::size_t eq = arg.find('=');
    if (PathExists(arg) || eq == std::string::npos || eq == 0) {
      in.path = arg;
      in.name = ExtractName(arg);
    } else {
      in.name = arg.substr(0, eq);
      in.path = arg.substr(eq + 1);
    }
    if (!PathExists(in.path)) throw Error("input " + in.path + " not found");
    if (!IsRegularFile(in.path)) throw Error("input " + in.path + " is not a file");
    std::string why = WhyNotPlainName(in.name);
    if (!why.empty()) throw Error("input name \"" + in.name + "\": " + why);
    for (const Input& other : inputs)
      if (UpperAscii(other.name) == UpperAscii(in.name))
        throw Error("two inputs are named " + in.name + " (names ignore case on Windows)");
    {
      StdFile f;
      if (!f.open(in.path, "rb")) throw Error("cannot open " + in.path + ": " + std::strerror(errno));
      std::int64_t s = f.size();
      if (s < 0) throw Error("cannot read the size of " + in.path);
      in.size = static_cast<std::uint64_t>(s);
    }
    in.stamp = opt.stamp ? *opt.stamp : UnixToDosStamp(FileModTime(in.path));
    in.nameField = in.name;
    forbidden.push_back(in.path);
    inputs.push_back(std::move(in));
  }
  for (const auto& f : forbidden)
    if (SameFile(opt.out, f)) throw Error("the output " + opt.out + " is also an input (" + f + ")");

  if (!opt.mainName.empty()) {
    std::string m = Trimmed(opt.mainName);
    std::size_t star = m.find('*');
    std::string plain = Trimmed(m.substr(0, star));
    std::string rest = star == std::string::npos ? "" : m.substr(star + 1);
    Input* found = nullptr;
    for (Input& in : inputs)
      if (UpperAscii(in.name) == UpperAscii(plain)) found = &in;
    if (!found) throw Error("--main " + plain + " names no input file");
    found->nameField = found->name + "*" + rest;
  }
  for (Input& in : inputs) {
    std::vector<std::string> fields{in.nameField, std::to_string(in.stamp)};
    CheckListFields(fields, "the record header of " + in.name);
    in.header = kv::SUB::BuildList(fields);
  }

  // ---- header strings
  std::string languageBlocks;
  if (!opt.languageFile.empty()) {
    if (!IsRegularFile(opt.languageFile))
      throw Error("language file " + opt.languageFile + " not found");
    languageBlocks = JoinLanguageBlocks(
        ParseLanguageText(ReadWholeFile(opt.languageFile), opt.languageFile, say));
  }
  std::optional<std::uint32_t> seed = opt.seed;
  std::vector<std::string> settings{opt.infoLocation, opt.infoFileName, opt.agentFileName,
                                    Scramble(opt.updateToken, seed), opt.hide ? "1" : "0"};
  CheckListFields(settings, "the settings");
  std::string headers = HeaderString(languageBlocks) + HeaderString(kv::SUB::BuildList(settings));
  if (headerCount >= 3) {
    std::vector<std::string> web{opt.packageUrl.value_or(""), opt.packageFileName.value_or(""),
                                 opt.noLocalPackage ? "1" : "0",
                                 Scramble(opt.packageToken.value_or(""), seed),
                                 opt.packageSize.value_or("")};
    CheckListFields(web, "the web settings");
    headers += HeaderString(kv::SUB::BuildList(web));
    for (int i = 3; i < headerCount; ++i) headers += HeaderString("");
  }

  // ---- stub
  std::string stub = ReadWholeFile(opt.stub);
  bool mz = stub.size() >= 2 && stub[0] == 'M' && stub[1] == 'Z';
  bool pe256 = mz && stub.size() >= 258 && stub[256] == 'P' && stub[257] == 'E';
  if (!pe256) {
    std::string where = "is not a Windows executable";
    if (mz && stub.size() >= 64)
      where = "has its PE header at offset " + std::to_string(kv::LoadLE32(&stub[60])) +
              ", not 256";
    say("the stub " + opt.stub + " " + where +
        ": no SelfLength written, so nothing may be appended to the setup file");
  } else {
    for (int i = 0; i < kLetterCount; ++i) stub[kLettersOffset + i] = static_cast<char>('A' + i % 26);
    std::memset(&stub[kv::kSelfLengthHighOffset], 0, 8);
  }
  if (stub.size() > 0xFFFFFFFFull - headers.size())
    throw Error("the stub is too large: the package must start below 4 GiB");

  // ---- plan the records
  const std::uint64_t volumeSize = opt.volumeSize;
  const std::uint64_t fixed = 4 + kv::kTrailerSize;
  if (volumeSize) {
    if (stub.size() + headers.size() + kv::kTrailerSize > volumeSize)
      throw Error("--volume-size " + std::to_string(volumeSize) +
                  " cannot hold the stub, the header strings and the trailer (" +
                  std::to_string(stub.size() + headers.size() + kv::kTrailerSize) + " bytes)");
    if (volumeSize > 0xFFFFFFFFull) throw Error("--volume-size must be below 4 GiB");
  }
  std::vector<Piece> pieces;
  std::uint64_t total = 0, space[8] = {};
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    Input& in = inputs[i];
    in.maxPiece = opt.recordLimit;
    if (volumeSize) {
      // Every record must fit into an otherwise empty volume, whatever zlib makes of it.
      std::uint64_t overhead = in.header.size() + 1;
      if (fixed + BoundFor(opt.store, overhead + (in.size ? 1 : 0)) > volumeSize)
        throw Error("--volume-size " + std::to_string(volumeSize) + " is too small for a record of " +
                    in.name);
      std::uint64_t lo = 1, hi = opt.recordLimit;
      while (lo < hi) {
        std::uint64_t mid = lo + (hi - lo + 1) / 2;
        if (fixed + BoundFor(opt.store, overhead + mid) <= volumeSize)
          lo = mid;
        else
          hi = mid - 1;
      }
      in.maxPiece = lo;
    }
    std::uint64_t off = 0;
    do {
      std::uint64_t n = std::min(in.maxPiece, in.size - off);
      pieces.push_back({i, off, n});
      off += n;
    } while (off < in.size);
    total += in.size;
    for (int k = 0; k < 8; ++k) {
      std::uint64_t cs = 512ull << k;
      space[k] += (in.size + cs - 1) / cs * cs;
    }
  }

  // ---- the trailer common to all volumes
  kv::PackageTrailer base;
  base.Clear();
  base.SetPackageMagic();
  auto cap = [&](std::uint64_t v) {
    if (v > 0xFFFFFFFFull) {
      say("the files need more than 4 GiB: TotalSize and SpaceByClusterSize hold 4 GiB - 1");
      return 0xFFFFFFFFu;
    }
    return static_cast<std::uint32_t>(v);
  };
  base.SetTotalSize(cap(total));
  for (int k = 0; k < 8; ++k) base.SetSpaceByClusterSize(k, cap(space[k]));
  std::uint8_t flags = 0;
  if (opt.tempNotice) flags |= kv::kFlagTempNotice;
  if (opt.spannedCd) flags |= kv::kFlagSpannedCd;
  if (opt.activityBar) flags |= kv::kFlagShowActivityBar;
  if (opt.agentLog) flags |= kv::kFlagAgentLog;
  base.SetPackageFlags(flags);
  base.SetIsWebInstaller(opt.web);
  base.SetAskBeforeDownload(opt.askBeforeDownload);
  base.SetDropAgentCopy(opt.dropAgentCopy);
  base.SetAutoUpdateProg(opt.autoUpdateProg);
  base.SetTrailerLength(kv::kTrailerSize);

  // ---- write
  int threads = opt.threads > 0 ? opt.threads : static_cast<int>(std::thread::hardware_concurrency());
  threads = std::max(1, std::min(threads, 64));
  VolumeWriter writer(opt, base);
  writer.OpenFirst(stub, headers);
  const std::uint32_t firstDataOffset = static_cast<std::uint32_t>(stub.size());
  const std::uint8_t firstHeaderCount = static_cast<std::uint8_t>(headerCount);
  int percentShown = -1;
  std::uint64_t doneBytes = 0;
  auto showProgress = [&](bool last) {
    if (!progress) return;
    int pct = total ? static_cast<int>(doneBytes * 100 / total) : 100;
    if (pct != percentShown) {
      *progress << "\rkvpack: " << pct << "% of " << total << " bytes packed" << std::flush;
      percentShown = pct;
    }
    if (last) *progress << "\n" << std::flush;
  };
  {
    Compressor comp(inputs, pieces, opt.store, opt.level, volumeSize != 0, threads);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      Record r = comp.Take(i);
      if (!r.error.empty()) throw Error(r.error);
      for (;;) {
        if (!volumeSize || writer.Current() + 4 + r.data.size() + kv::kTrailerSize <= volumeSize) {
          writer.WriteRecord(r);
          doneBytes += r.piece.length;
          showProgress(false);
          break;
        }
        std::uint64_t used = writer.Current() + 4 + kv::kTrailerSize;
        if (used < volumeSize) {
          Record first;
          if (SplitToFit(inputs[r.piece.input], r, volumeSize - used, opt.store, opt.level, first)) {
            writer.WriteRecord(first);
            doneBytes += first.piece.length;
            showProgress(false);
          }
        }
        if (!writer.IsFirstVolume() && writer.RecordsInVolume() == 0)
          throw Error("internal error: a record does not fit into an empty volume");
        writer.CloseVolume(true, writer.IsFirstVolume() ? firstDataOffset : 0,
                           writer.IsFirstVolume() ? firstHeaderCount : 0);
        writer.OpenNext();
      }
    }
  }
  writer.CloseVolume(false, writer.IsFirstVolume() ? firstDataOffset : 0,
                     writer.IsFirstVolume() ? firstHeaderCount : 0);
  showProgress(true);
  BuildResult res = writer.Finish(pe256, forbidden);
  std::string next = VolumeFileName(opt.out, static_cast<int>(res.volumes.size()) + 1);
  if (PathExists(next))
    say(next + " is left from an earlier build; it is not part of this package");
  res.totalSize = total;
  res.selfLengthWritten = pe256;
  return res;
}

}  // namespace kv::pack
