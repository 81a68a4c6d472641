#include "package/records.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "package/gfileinfo.h"
#include "package/ksub.h"

namespace kv {
namespace {

// Ends an inflate stream on every path.
struct InflateStream {
  z_stream s{};
  bool live = false;
  int Init() {
    int ret = inflateInit(&s);
    live = ret == Z_OK;
    return ret;
  }
  ~InflateStream() {
    if (live) inflateEnd(&s);
  }
};

std::string ZlibText(int code) {
  const char* t = zError(code);
  return t ? t : "zlib error";
}

// Splits a record's data stream into the header (before the first NUL) and
// the content, and hands both to the sink.
class HeaderSplitter {
 public:
  explicit HeaderSplitter(RecordSink& sink) : sink_(sink) {}

  RecordStatus Feed(const char* p, std::size_t n) {
    if (inHeader_) {
      const void* nul = std::memchr(p, '\0', n);
      std::size_t take = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - p) : n;
      if (header_.size() + take > kMaxRecordHeader) return RecordStatus::BadHeader;
      header_.append(p, take);
      if (!nul) return RecordStatus::Ok;
      inHeader_ = false;
      p += take + 1;
      n -= take + 1;
      if (header_.empty()) {
        skip_ = true;  // an empty header skips the record
      } else if (!sink_.OnHeader(ParseRecordHeader(header_))) {
        return RecordStatus::Aborted;
      }
    }
    if (!skip_ && n > 0 && !sink_.OnContent(p, n)) return RecordStatus::Aborted;
    return RecordStatus::Ok;
  }

  RecordStatus Finish() {
    // Every record carries its NUL; data without one is not a record.
    if (inHeader_) return RecordStatus::BadHeader;
    if (!skip_ && !sink_.OnRecordEnd()) return RecordStatus::Aborted;
    return RecordStatus::Ok;
  }

 private:
  RecordSink& sink_;
  std::string header_;
  bool inHeader_ = true;
  bool skip_ = false;
};

RecordResult Fail(RecordStatus st, std::string msg, const RecordCursor& c, std::int64_t pos,
                  std::string detail = "") {
  RecordResult r;
  r.status = st;
  r.message = msg.empty() ? RecordStatusText(st) : std::move(msg);
  r.detail = std::move(detail);
  r.recordIndex = c.counter;
  r.recordPosition = pos;
  return r;
}

// Reads `length` stored bytes at pos into the splitter.
RecordStatus ReadStored(ByteSource& src, std::int64_t pos, std::int64_t length, RecordSink& sink,
                        HeaderSplitter& split, std::vector<char>& in) {
  while (length > 0) {
    std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(length, kRecordReadPiece));
    std::size_t got = src.ReadAt(pos, in.data(), want);
    if (got < want) return RecordStatus::Truncated;
    pos += static_cast<std::int64_t>(got);
    length -= static_cast<std::int64_t>(got);
    RecordStatus st = split.Feed(in.data(), got);
    if (st != RecordStatus::Ok) return st;
    if (!sink.BetweenPieces()) return RecordStatus::Aborted;
  }
  return RecordStatus::Ok;
}

// Inflates `length` bytes at pos into the splitter in bounded pieces.
RecordStatus ReadCompressed(ByteSource& src, std::int64_t pos, std::int64_t length,
                            RecordSink& sink, HeaderSplitter& split, std::vector<char>& in,
                            std::vector<char>& out, std::string& zmsg, std::string& zdetail) {
  InflateStream z;
  int ret = z.Init();
  if (ret != Z_OK) {
    zmsg = ZlibText(ret);
    return RecordStatus::ZlibError;
  }
  bool ended = false;
  while (length > 0 && !ended) {
    std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(length, kRecordReadPiece));
    std::size_t got = src.ReadAt(pos, in.data(), want);
    if (got < want) return RecordStatus::Truncated;
    pos += static_cast<std::int64_t>(got);
    length -= static_cast<std::int64_t>(got);

    z.s.next_in = reinterpret_cast<Bytef*>(in.data());
    z.s.avail_in = static_cast<uInt>(got);
    do {
      z.s.next_out = reinterpret_cast<Bytef*>(out.data());
      z.s.avail_out = static_cast<uInt>(out.size());
      ret = inflate(&z.s, Z_NO_FLUSH);
      // Z_BUF_ERROR only says that this piece is used up; a stream that
      // never ends is caught below when the record's bytes run out.
      if (ret == Z_NEED_DICT || ret == Z_DATA_ERROR || ret == Z_MEM_ERROR ||
          ret == Z_STREAM_ERROR) {
        zmsg = ZlibText(ret);
        if (z.s.msg) zdetail = z.s.msg;
        return RecordStatus::ZlibError;
      }
      std::size_t have = out.size() - z.s.avail_out;
      if (have > 0) {
        RecordStatus st = split.Feed(out.data(), have);
        if (st != RecordStatus::Ok) return st;
        if (!sink.BetweenPieces()) return RecordStatus::Aborted;
      }
      if (ret == Z_STREAM_END) {
        ended = true;
        break;
      }
      if (ret == Z_BUF_ERROR) break;
    } while (z.s.avail_out == 0 || z.s.avail_in > 0);
    if (ended && (z.s.avail_in > 0 || length > 0)) return RecordStatus::TrailingGarbage;
    if (!ended && !sink.BetweenPieces()) return RecordStatus::Aborted;
  }
  if (!ended) {
    // All of the record's bytes went in and the stream did not end: the
    // error inflate gives when it cannot go on.
    zmsg = ZlibText(Z_BUF_ERROR);
    return RecordStatus::ZlibError;
  }
  return RecordStatus::Ok;
}

}  // namespace

const char* RecordStatusText(RecordStatus s) {
  switch (s) {
    case RecordStatus::Ok: return "ok";
    case RecordStatus::ZlibError: return "zlib error";
    case RecordStatus::Truncated: return "record cut short by the end of the volume";
    case RecordStatus::BadLength: return "invalid record length";
    case RecordStatus::TrailingGarbage: return "data after the end of the compressed stream";
    case RecordStatus::BadHeader: return "invalid record header";
    case RecordStatus::Aborted: return "aborted";
  }
  return "?";
}

RecordHeader ParseRecordHeader(const std::string& header) {
  RecordHeader h;
  h.header = header;
  if (header.find('*') != std::string::npos) h.mainEntry = header;
  h.name = SUB::GetField(header, 0, "");
  h.stamp = SUB::GetFieldInt(header, 1, 0);
  std::size_t star = h.name.find('*');
  if (star != std::string::npos) {
    h.mainEntry = h.name;
    h.name.erase(star);
  }
  return h;
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c < 32 || c == 127 || c == '\\' || c == '/' || c == ':') return false;
  }
  // Windows drops trailing dots and blanks: a name of nothing else would
  // name the folder itself.
  if (name.find_first_not_of(". ") == std::string::npos) return false;
  // Device names (with any extension, and with trailing dots or blanks)
  // open the device, not a file in the folder.
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& ch : base) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* d : kDevices)
    if (base == d) return false;
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
      base[3] >= '1' && base[3] <= '9')
    return false;
  return true;
}

RecordResult ReadVolumeRecords(ByteSource& src, RecordCursor& c, RecordSink& sink) {
  const std::int64_t size = src.Size();
  // Reads never go past what is really there, whatever end claims.
  const std::int64_t limit = (size >= 0 && size < c.end) ? size : c.end;
  std::vector<char> in(kRecordReadPiece), out(kRecordOutPiece);

  while (c.end - c.position > kTrailerSize) {
    if (!sink.BetweenPieces()) return Fail(RecordStatus::Aborted, "", c, c.position);
    const std::int64_t recPos = c.position;
    unsigned char lenBytes[4];
    if (recPos < 0 || recPos > limit - 4 || src.ReadAt(recPos, lenBytes, 4) != 4) {
      ++c.counter;
      return Fail(RecordStatus::Truncated, "", c, recPos);
    }
    const std::int32_t len = static_cast<std::int32_t>(LoadLE32(lenBytes));
    ++c.counter;
    const bool headerString = c.counter <= c.headerStringCount;
    // Header strings are plain texts whose length may be 0; a file record
    // holds at least its header's NUL.
    if (len == INT_MIN || (headerString && len < 0) || (!headerString && len == 0))
      return Fail(RecordStatus::BadLength, "", c, recPos);
    const std::int64_t absLen = len < 0 ? -static_cast<std::int64_t>(len) : len;
    if (absLen > limit - recPos - 4) return Fail(RecordStatus::Truncated, "", c, recPos);

    c.position = recPos + 4 + absLen;
    if (c.counter == c.headerStringCount) c.headerEnd = c.position;
    if (headerString) continue;

    HeaderSplitter split(sink);
    std::string zmsg, zdetail;
    RecordStatus st =
        len > 0 ? ReadCompressed(src, recPos + 4, absLen, sink, split, in, out, zmsg, zdetail)
                : ReadStored(src, recPos + 4, absLen, sink, split, in);
    if (st == RecordStatus::Ok) st = split.Finish();
    if (st != RecordStatus::Ok) {
      c.position = recPos;
      return Fail(st, zmsg, c, recPos, zdetail);
    }
  }
  return RecordResult{};
}

std::string DecompressText(const std::string& compressed,
                           const std::function<void(std::size_t, std::size_t)>& progress,
                           std::size_t maxOutput) {
  InflateStream z;
  int ret = z.Init();
  if (ret != Z_OK) throw EZLibError(ZlibText(ret));

  // The buffer starts at the input size rounded up to 256 and grows by the
  // same step.
  std::size_t step = (compressed.size() + 255) / 256 * 256;
  if (step == 0) step = 256;
  std::string buf(std::min(step, maxOutput), '\0');
  std::size_t produced = 0;
  z.s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  z.s.avail_in = static_cast<uInt>(compressed.size());
  for (;;) {
    z.s.next_out = reinterpret_cast<Bytef*>(&buf[0] + produced);
    z.s.avail_out = static_cast<uInt>(buf.size() - produced);
    ret = inflate(&z.s, Z_NO_FLUSH);
    produced = buf.size() - z.s.avail_out;
    if (ret == Z_STREAM_END) break;
    // A stream asking for a preset dictionary can never go on: left alone
    // it would be called again and again.
    if (ret < 0 || ret == Z_NEED_DICT) throw EZLibError(ZlibText(ret));
    if (progress) progress(compressed.size(), produced);
    if (z.s.avail_out == 0) {
      if (buf.size() >= maxOutput) throw EZLibError("output too large");
      buf.resize(std::min(buf.size() + step, maxOutput));
    }
  }
  z.live = false;
  ret = inflateEnd(&z.s);
  if (ret != Z_OK) throw EZLibError(ZlibText(ret));
  buf.resize(produced);
  return buf;
}

}  // namespace kv
