// The file records of a volume, and the inflate wrapper.
//
// After the header strings, up to the trailer, a volume holds records:
//
//   int32 length   > 0: a zlib stream (RFC 1950) of that many bytes
//                  < 0: the data stored as is, |length| bytes
//   data           once inflated: header text, NUL, file content
//
// The header is a delimited list "|name|stamp|"; a name ending in "*" (with
// optional arguments after it) marks the main program. The header strings
// of the first volume are read as records too: they are counted and skipped.
// Records run until 74 bytes or fewer are left before the end of the data.
//
// The reader streams: input in pieces of at most 64 KiB, inflated into a
// bounded buffer, handed to a sink piece by piece, so memory stays bounded
// whatever a record claims. Damage is a result, never a crash or a wait.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "package/bytesource.h"

namespace kv {

constexpr std::size_t kRecordReadPiece = 65536;
constexpr std::size_t kRecordOutPiece = 65536;
// A record header is a name and a stamp; anything longer is damage.
constexpr std::size_t kMaxRecordHeader = 65536;

// The header of a file record, taken apart.
struct RecordHeader {
  std::string header;     // the text before the NUL, as stored
  std::string name;       // field 0, without "*" and what follows it
  std::int64_t stamp = 0; // field 1; 0 when missing or not a number
  std::string mainEntry;  // empty unless the record is the main program
};

// Takes a header apart: name := field 0, stamp := field 1; a "*" anywhere
// makes the header the main entry, a "*" in the name makes the name field
// the entry and cuts the name before it.
RecordHeader ParseRecordHeader(const std::string& header);

// Whether name is a plain file name that stays inside the folder it is
// written to: not empty, not "." or "..", no "\" "/" ":" and no control
// characters, not only dots and blanks, and not a device name (CON, NUL,
// COM1, LPT1 ..., with or without an extension).
bool IsPlainFileName(const std::string& name);

enum class RecordStatus {
  Ok,               // every record up to the trailer read
  ZlibError,        // inflate failed; message holds zlib's text
  Truncated,        // a record runs past the end of the volume
  BadLength,        // a length of 0 (file record), INT_MIN, or negative header string
  TrailingGarbage,  // bytes after the end of a record's zlib stream
  BadHeader,        // a header longer than kMaxRecordHeader, or no NUL after it
  Aborted,          // the sink asked to stop
};
const char* RecordStatusText(RecordStatus s);

// Where the records of a volume lie, and the counter that runs across volumes.
struct RecordCursor {
  std::int64_t position = 0;       // in: first record; out: where reading stopped
  std::int64_t end = 0;            // end of the package data of the volume
  int headerStringCount = 2;       // records counted and skipped on the first volume
  std::int64_t counter = 0;        // records read so far, all volumes
  std::int64_t headerEnd = -1;     // position after the last header string, once seen
};

struct RecordResult {
  RecordStatus status = RecordStatus::Ok;
  std::string message;             // zlib's text for its error code, or a short description
  std::string detail;              // zlib's detailed text (e.g. "incorrect header check")
  std::int64_t recordIndex = 0;    // counter value of the damaged record
  std::int64_t recordPosition = 0; // position of its length field
  bool ok() const { return status == RecordStatus::Ok; }
};

class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // Before each record and after each piece read: the place to pump
  // messages and move progress. false stops the reading (Aborted).
  virtual bool BetweenPieces() { return true; }
  // A file record with a non-empty header begins. Records with an empty
  // header are skipped without a call.
  virtual bool OnHeader(const RecordHeader& header) = 0;
  // A piece of the content of the record announced last. false: Aborted.
  virtual bool OnContent(const char* data, std::size_t n) = 0;
  // The record announced last ended cleanly (all of its content delivered).
  virtual bool OnRecordEnd() { return true; }
};

// Reads the records of one volume from cursor.position while more than 74
// bytes are left before cursor.end (capped at the size of the source).
// Stops at the first damaged record.
RecordResult ReadVolumeRecords(ByteSource& src, RecordCursor& cursor, RecordSink& sink);

// The inflate wrapper's exception; its message is zlib's text for the error.
class EZLibError : public std::runtime_error {
 public:
  explicit EZLibError(const std::string& msg) : std::runtime_error(msg) {}
};

// Inflates a whole zlib stream held in memory (small texts). progress, if
// given, is called with the input length and the bytes produced so far each
// time the output buffer is grown. Raises EZLibError on damage, and when the
// output would exceed maxOutput.
std::string DecompressText(const std::string& compressed,
                           const std::function<void(std::size_t, std::size_t)>& progress = {},
                           std::size_t maxOutput = 64u * 1024 * 1024);

}  // namespace kv
