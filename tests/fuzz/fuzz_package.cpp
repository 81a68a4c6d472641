// One fuzz target over everything that parses package bytes: the
// descriptor, the checksum, the record reader over the input taken as a
// whole volume, the token descrambler, the token records and the inflate
// wrapper. Built as a libFuzzer binary and into the standalone driver.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "package/checksum.h"
#include "package/gfileinfo.h"
#include "package/records.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz invariant failed: %s\n", what);
    std::abort();
  }
}

class CheckingSink : public kv::RecordSink {
 public:
  bool OnHeader(const kv::RecordHeader& h) override {
    Check(h.header.size() <= kv::kMaxRecordHeader, "header within its cap");
    Check(h.name.find('*') == std::string::npos, "name without the main-program mark");
    kv::IsPlainFileName(h.name);
    open_ = true;
    return true;
  }
  bool OnContent(const char* data, std::size_t n) override {
    Check(open_, "content after a header");
    Check(n > 0 && n <= kv::kRecordOutPiece, "bounded content piece");
    volatile char first = data[0], last = data[n - 1];
    (void)first;
    (void)last;
    return true;
  }
  bool OnRecordEnd() override {
    Check(open_, "end after a header");
    open_ = false;
    return true;
  }

 private:
  bool open_ = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // The descriptor and the raw locating rules.
  kv::TGFileInfo info = kv::TGFileInfo::FromImage(bytes);
  Check(info.PackageMagic() == 0 || info.PackageMagic() == kv::kPackageMagic, "magic or nothing");
  Check(info.LanguageBlocks().size() + info.SettingsList().size() + info.WebSettingsList().size() <=
            size,
        "header strings come from the input");
  info.InfoLocation();
  info.InfoFileName();
  info.AgentFileName();
  info.HideFlag();
  info.UpdateToken(false);
  info.PackageUrl();
  info.PackageFileName();
  info.NoLocalPackage();
  info.PackageSize();
  std::string token;
  kv::TryDescrambleText(info.UpdateToken(false), token);
  kv::TryDescrambleText(info.PackageToken(false), token);

  kv::MemorySource src(bytes);
  kv::PackageTrailer raw = kv::LocateTrailer(src);
  kv::ComputePackageChecksum(src, raw.TrailerLength());

  // The input as a volume: from the descriptor's header strings when it has
  // a trailer, else from the start.
  kv::RecordCursor cur;
  cur.position = raw.MagicOk() ? raw.DataOffset() : 0;
  cur.end = kv::PackageDataEnd(src);
  cur.headerStringCount = raw.HeaderStringCount();
  CheckingSink sink;
  kv::RecordResult r = kv::ReadVolumeRecords(src, cur, sink);
  Check(r.ok() || !r.message.empty(), "damage carries a message");

  // Texts.
  std::string value;
  if (kv::TryDescrambleText(bytes, value)) Check(value.size() * 2 < size, "value inside the text");
  std::string payload;
  kv::SplitTokenRecord(bytes, token, payload);
  Check(payload.size() <= size, "payload from the record");
  kv::ParseRecordHeader(bytes);
  try {
    kv::DecompressText(bytes, {}, 1 << 20);
  } catch (const kv::EZLibError&) {
  }
  return 0;
}
