// The record reader of a volume and the inflate wrapper.
#include <gtest/gtest.h>
#include <zlib.h>

#include <climits>

#include "os/file.h"
#include "package/records.h"
#include "package_images.h"

using namespace kvtest;
using kv::RecordStatus;

namespace {

struct Got {
  kv::RecordHeader header;
  std::string content;
  bool ended = false;
  std::size_t pieces = 0;
};

class CollectSink : public kv::RecordSink {
 public:
  std::vector<Got> records;
  int between = 0;
  int abortAfterContent = -1;  // abort on this content call (0-based)
  int contentCalls = 0;

  bool BetweenPieces() override {
    ++between;
    return true;
  }
  bool OnHeader(const kv::RecordHeader& h) override {
    records.push_back(Got{h, "", false, 0});
    return true;
  }
  bool OnContent(const char* data, std::size_t n) override {
    EXPECT_FALSE(records.empty());
    EXPECT_LE(n, kv::kRecordOutPiece);
    if (contentCalls++ == abortAfterContent) return false;
    records.back().content.append(data, n);
    ++records.back().pieces;
    return true;
  }
  bool OnRecordEnd() override {
    records.back().ended = true;
    return true;
  }
};

std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  std::uint32_t x = 12345;
  for (char& c : s) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  return s;
}

// A whole first volume: stub, two header strings, the records, the trailer.
Image Volume(const std::string& records, std::uint8_t headerStrings = 2) {
  std::vector<std::string> hs = {"\x02\x01" "English\x01\x02", "|a|b|c|d|0|", "|w|"};
  hs.resize(headerStrings);
  return BuildImage(FakeStub(), hs, records, BasicTrailer(headerStrings), true);
}

kv::RecordCursor CursorFor(const Image& img, std::uint8_t headerStrings = 2) {
  kv::RecordCursor c;
  c.position = img.dataOffset;
  c.end = static_cast<std::int64_t>(img.bytes.size());
  c.headerStringCount = headerStrings;
  return c;
}

TEST(RecordReader, StoredAndCompressedRecordsInOrder) {
  const std::string big = Pattern(200000);                 // several input pieces
  const std::string text(300000, 'z');                     // several output pieces
  const std::string records = StoredRecord("|Setup.txt|1234|", "stored content") +
                              CompressedRecord("|Engine.exe* /silent|0|", big) +
                              StoredRecord("", "skipped: empty header") +
                              CompressedRecord("|Setup.txt|x|", text) + StoredRecord("|Big.bin|0|", big) +
                              StoredRecord("|Empty.dat|0|", "");
  for (std::uint8_t hsc : {2, 3}) {
    SCOPED_TRACE(int(hsc));
    Image img = Volume(records, hsc);
    kv::MemorySource src(img.bytes);
    kv::RecordCursor c = CursorFor(img, hsc);
    CollectSink sink;
    kv::RecordResult r = kv::ReadVolumeRecords(src, c, sink);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ(c.counter, hsc + 6);
    EXPECT_EQ(c.headerEnd, img.recordsOffset);
    EXPECT_EQ(c.position, img.trailerOffset);
    ASSERT_EQ(sink.records.size(), 5u);
    EXPECT_EQ(sink.records[0].header.name, "Setup.txt");
    EXPECT_EQ(sink.records[0].header.stamp, 1234);
    EXPECT_EQ(sink.records[0].content, "stored content");
    EXPECT_EQ(sink.records[1].header.name, "Engine.exe");
    EXPECT_EQ(sink.records[1].header.mainEntry, "Engine.exe* /silent");
    EXPECT_EQ(sink.records[1].content, big);
    EXPECT_EQ(sink.records[2].header.stamp, 0);  // not a number
    EXPECT_EQ(sink.records[2].content, text);
    EXPECT_GE(sink.records[2].pieces, 5u);
    EXPECT_EQ(sink.records[3].content, big);
    EXPECT_GE(sink.records[3].pieces, 4u);
    EXPECT_EQ(sink.records[4].header.name, "Empty.dat");
    EXPECT_EQ(sink.records[4].content, "");
    for (const Got& g : sink.records) EXPECT_TRUE(g.ended);
    EXPECT_GT(sink.between, 10);
  }
}

TEST(RecordReader, ReadsFromAnOpenFileAndContinuesTheCounterOnLaterVolumes) {
  Image v1 = Volume(StoredRecord("|a.bin|0|", "part one,"));
  // A later volume: no stub, no header strings, records only.
  kv::PackageTrailer t = BasicTrailer();
  Image v2 = BuildImage("", {}, CompressedRecord("|a.bin|0|", " part two"), t, false);
  std::string p1 = WriteTemp("rec_vol.001", v1.bytes), p2 = WriteTemp("rec_vol.002", v2.bytes);

  CollectSink sink;
  kv::RecordCursor c = CursorFor(v1);
  os::File f1;
  ASSERT_TRUE(f1.open(p1, os::OpenMode::Read));
  kv::FileSource s1(f1);
  ASSERT_TRUE(kv::ReadVolumeRecords(s1, c, sink).ok());

  os::File f2;
  ASSERT_TRUE(f2.open(p2, os::OpenMode::Read));
  kv::FileSource s2(f2);
  c.position = 0;
  c.end = f2.size();
  ASSERT_TRUE(kv::ReadVolumeRecords(s2, c, sink).ok());
  EXPECT_EQ(c.counter, 4);
  ASSERT_EQ(sink.records.size(), 2u);
  EXPECT_EQ(sink.records[0].content + sink.records[1].content, "part one, part two");
}

TEST(RecordReader, HeaderMayCrossPiecesUpToItsCap) {
  // The NUL after a header of exactly 64 KiB lies in the second input piece.
  std::string name(kv::kMaxRecordHeader - 4, 'n');
  std::string header = "|" + name + "|0|";
  ASSERT_EQ(header.size(), kv::kMaxRecordHeader);
  for (bool compressed : {false, true}) {
    std::string rec = compressed ? CompressedRecord(header, "c") : StoredRecord(header, "c");
    Image img = Volume(rec);
    kv::MemorySource src(img.bytes);
    kv::RecordCursor c = CursorFor(img);
    CollectSink sink;
    ASSERT_TRUE(kv::ReadVolumeRecords(src, c, sink).ok()) << compressed;
    ASSERT_EQ(sink.records.size(), 1u);
    EXPECT_EQ(sink.records[0].header.name, name);
    EXPECT_EQ(sink.records[0].content, "c");

    std::string longer = "|" + name + "x|0|";
    img = Volume(compressed ? CompressedRecord(longer, "c") : StoredRecord(longer, "c"));
    kv::MemorySource src2(img.bytes);
    c = CursorFor(img);
    EXPECT_EQ(kv::ReadVolumeRecords(src2, c, sink).status, RecordStatus::BadHeader);
  }
}

std::string DictStream() {
  z_stream s{};
  deflateInit(&s, 6);
  const char dict[] = "dictionary";
  deflateSetDictionary(&s, reinterpret_cast<const Bytef*>(dict), sizeof dict);
  std::string in = std::string("|d.txt|0|") + '\0' + "dictionary dictionary";
  std::string out(256, '\0');
  s.next_in = reinterpret_cast<Bytef*>(&in[0]);
  s.avail_in = static_cast<uInt>(in.size());
  s.next_out = reinterpret_cast<Bytef*>(&out[0]);
  s.avail_out = static_cast<uInt>(out.size());
  deflate(&s, Z_FINISH);
  out.resize(out.size() - s.avail_out);
  deflateEnd(&s);
  return out;
}

TEST(RecordReader, DamageIsReportedNotFollowed) {
  const std::string good = StoredRecord("|ok.txt|0|", "fine");
  const std::string z = Deflate(std::string("|c.txt|0|") + '\0' + Pattern(5000));
  std::string corrupt = z;
  corrupt[0] = 0x12;  // not a zlib header
  std::string bodyDamage = z;
  for (std::size_t i = 10; i < 40; ++i) bodyDamage[i] = static_cast<char>(0xFF);
  const std::string dict = DictStream();

  struct Case {
    const char* what;
    std::string records;
    RecordStatus status;
    const char* message;  // nullptr: any
    const char* detail = "";
  };
  const Case cases[] = {
      {"zlib header damaged", good + LE32(static_cast<std::uint32_t>(corrupt.size())) + corrupt,
       RecordStatus::ZlibError, "data error", "incorrect header check"},
      {"zlib body damaged", good + LE32(static_cast<std::uint32_t>(bodyDamage.size())) + bodyDamage,
       RecordStatus::ZlibError, nullptr},
      {"zlib stream cut inside its length",
       good + LE32(static_cast<std::uint32_t>(z.size() - 10)) + z.substr(0, z.size() - 10),
       RecordStatus::ZlibError, "buffer error"},
      {"preset dictionary", good + LE32(static_cast<std::uint32_t>(dict.size())) + dict,
       RecordStatus::ZlibError, "need dictionary"},
      {"bytes after the zlib stream",
       good + LE32(static_cast<std::uint32_t>(z.size() + 3)) + z + "xyz",
       RecordStatus::TrailingGarbage, nullptr},
      {"length 0", good + LE32(0) + good, RecordStatus::BadLength, nullptr},
      {"length INT_MIN", good + LE32(0x80000000u) + std::string(100, 'a'), RecordStatus::BadLength,
       nullptr},
      {"length beyond the volume", good + LE32(0x7FFFFFFF) + std::string(100, 'a'),
       RecordStatus::Truncated, nullptr},
      {"stored length beyond the volume", good + LE32(static_cast<std::uint32_t>(-100000)) + "ab",
       RecordStatus::Truncated, nullptr},
      {"no NUL after the header", good + LE32(static_cast<std::uint32_t>(-5)) + "|a|0|",
       RecordStatus::BadHeader, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Image img = Volume(c.records);
    kv::MemorySource src(img.bytes);
    kv::RecordCursor cur = CursorFor(img);
    CollectSink sink;
    kv::RecordResult r = kv::ReadVolumeRecords(src, cur, sink);
    EXPECT_EQ(r.status, c.status) << r.message;
    if (c.message) {
      EXPECT_EQ(r.message, c.message);
      EXPECT_EQ(r.detail, c.detail);
    }
    EXPECT_FALSE(r.message.empty());
    EXPECT_EQ(r.recordIndex, 4);
    EXPECT_EQ(r.recordPosition, img.recordsOffset + static_cast<std::int64_t>(good.size()));
    ASSERT_GE(sink.records.size(), 1u);
    EXPECT_EQ(sink.records[0].content, "fine");
    EXPECT_TRUE(sink.records[0].ended);
    if (sink.records.size() > 1) {
      EXPECT_FALSE(sink.records.back().ended);
    }
  }
}

TEST(RecordReader, VolumeShorterThanItClaimsStopsAtItsEnd) {
  Image img = Volume(StoredRecord("|a|0|", "aaaa") + StoredRecord("|b|0|", Pattern(300000)));
  // The medium ends in the middle of the second record; SelfLength still
  // claims the whole volume.
  std::string cut = img.bytes.substr(0, img.recordsOffset + 100000);
  std::string path = WriteTemp("rec_cut.bin", cut);
  os::File f;
  ASSERT_TRUE(f.open(path, os::OpenMode::Read));
  kv::FileSource src(f);
  kv::RecordCursor c = CursorFor(img);
  CollectSink sink;
  kv::RecordResult r = kv::ReadVolumeRecords(src, c, sink);
  EXPECT_EQ(r.status, RecordStatus::Truncated);
  ASSERT_EQ(sink.records.size(), 1u);
  EXPECT_EQ(sink.records[0].content, "aaaa");

  // Cut between records: the next length cannot be read.
  const std::string shortVolume = img.bytes.substr(0, img.recordsOffset + 15);
  kv::MemorySource src2(shortVolume);
  c = CursorFor(img);
  EXPECT_EQ(kv::ReadVolumeRecords(src2, c, sink).status, RecordStatus::Truncated);
}

TEST(RecordReader, SinkCanStopTheReading) {
  Image img = Volume(StoredRecord("|a|0|", "x") + StoredRecord("|b|0|", "y"));
  kv::MemorySource src(img.bytes);
  kv::RecordCursor c = CursorFor(img);
  CollectSink sink;
  sink.abortAfterContent = 1;
  EXPECT_EQ(kv::ReadVolumeRecords(src, c, sink).status, RecordStatus::Aborted);
  EXPECT_EQ(sink.records.size(), 2u);
}

TEST(RecordReader, NothingToReadWhenOnlyTheTrailerIsLeft) {
  Image img = Volume("");
  kv::MemorySource src(img.bytes);
  kv::RecordCursor c = CursorFor(img);
  c.position = img.trailerOffset;
  CollectSink sink;
  EXPECT_TRUE(kv::ReadVolumeRecords(src, c, sink).ok());
  EXPECT_EQ(c.counter, 0);
}

TEST(RecordHeaderParse, NameStampAndMainEntry) {
  struct Case {
    const char* header;
    const char* name;
    std::int64_t stamp;
    const char* entry;
  };
  const Case cases[] = {
      {"|Setup.txt|1234567890|", "Setup.txt", 1234567890, ""},
      {"|Engine.exe*|0|", "Engine.exe", 0, "Engine.exe*"},
      {"|Engine.exe* /silent|0|", "Engine.exe", 0, "Engine.exe* /silent"},
      {"|Setup.txt|12*|", "Setup.txt", 0, "|Setup.txt|12*|"},  // "*" outside the name
      {"|00003#logo.jpg||", "00003#logo.jpg", 0, ""},
      {"Setup.txt", "", 0, ""},  // not a list
  };
  for (const Case& c : cases) {
    kv::RecordHeader h = kv::ParseRecordHeader(c.header);
    EXPECT_EQ(h.name, c.name) << c.header;
    EXPECT_EQ(h.stamp, c.stamp) << c.header;
    EXPECT_EQ(h.mainEntry, c.entry) << c.header;
  }
}

TEST(RecordHeaderParse, PlainFileNames) {
  for (const char* ok : {"Setup.txt", "Engine.exe", "00003#logo.jpg", "a b.c", "..x", "\xC7\xFD.txt",
                         "console.txt", "COM10", "nul1.txt", "LPT0"})
    EXPECT_TRUE(kv::IsPlainFileName(ok)) << ok;
  for (const char* bad : {"", ".", "..", "..\\x", "a/b", "dir\\a", "C:a", "a.txt:stream", "a\tb",
                          "\x7f", "...", " . ", "CON", "nul.txt", "Com1", "lpt9.log", "aux .x"})
    EXPECT_FALSE(kv::IsPlainFileName(bad)) << bad;
}

TEST(DecompressText, InflatesAndRaisesZlibMessages) {
  const std::string text = Pattern(3000) + std::string(100000, 'a');
  std::size_t calls = 0, last = 0;
  EXPECT_EQ(kv::DecompressText(Deflate(text),
                               [&](std::size_t in, std::size_t out) {
                                 ++calls;
                                 EXPECT_GE(out, last);
                                 last = out;
                               }),
            text);
  EXPECT_GT(calls, 1u);

  std::string bad = Deflate(text);
  bad[0] = 0x12;
  struct Case {
    std::string input;
    const char* message;
  };
  const Case cases[] = {
      {"", "buffer error"},
      {bad, "data error"},
      {Deflate(text).substr(0, 50), "buffer error"},
      {DictStream(), "need dictionary"},
  };
  for (const Case& c : cases) {
    try {
      kv::DecompressText(c.input);
      ADD_FAILURE() << "no exception for " << c.message;
    } catch (const kv::EZLibError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  EXPECT_THROW(kv::DecompressText(Deflate(text), {}, 50000), kv::EZLibError);
}

}  // namespace
