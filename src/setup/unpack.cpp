#include "setup/unpack.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "os/file.h"
#include "package/bytesource.h"
#include "package/checksum.h"
#include "package/gfileinfo.h"
#include "package/records.h"
#include "sys/files.h"
#include "sys/kdebug.h"
#include "sys/utils.h"
#include "ui/kmsgbox.h"

namespace kv {

UnpackState& unpackState() {
  static UnpackState s;
  return s;
}

void ResetUnpackState() { unpackState() = UnpackState(); }

void SetupPause(std::int64_t ms) {
  // Copied: a pause dispatches messages, and a handler may replace the hook.
  std::function<void(std::int64_t)> pause = unpackState().pause;
  if (pause)
    pause(ms);
  else
    WaitWithMessages(0, ms);
}

const char* ExtractResultText(ExtractResult r) {
  switch (r) {
    case ExtractResult::Completed: return "completed";
    case ExtractResult::Cancelled: return "cancelled";
    case ExtractResult::ChecksumFailed: return "checksum mismatch";
    case ExtractResult::Damaged: return "damaged package";
  }
  return "?";
}

std::string VolumeFile(const std::string& firstVolume, int k) {
  std::string base = firstVolume;
  if (EndsWith(".001", base, true)) base.erase(base.size() - 4);
  char digits[16];
  std::snprintf(digits, sizeof digits, "%03d", k);
  return base + "." + digits;
}

bool IsValidDosDateTime(std::int64_t packed) {
  if (packed <= 0 || packed > 0xFFFFFFFFLL) return false;
  const std::uint32_t date = static_cast<std::uint32_t>(packed) >> 16;
  const std::uint32_t time = static_cast<std::uint32_t>(packed) & 0xFFFF;
  const int year = 1980 + static_cast<int>(date >> 9);
  const int month = static_cast<int>((date >> 5) & 0x0F);
  const int day = static_cast<int>(date & 0x1F);
  const int hour = static_cast<int>(time >> 11);
  const int minute = static_cast<int>((time >> 5) & 0x3F);
  const int sec2 = static_cast<int>(time & 0x1F);
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || sec2 > 29) return false;
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int days = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day <= days;
}

std::string SaveErrorDetails(const std::string& errorText, std::int64_t dataSize,
                             std::int64_t fileSize, double bytesFree) {
  char freeText[64];
  std::snprintf(freeText, sizeof freeText, "%.0f", bytesFree);
  return errorText + "<P>" + "  Data Size: <T>" + std::to_string(dataSize) + " Bytes<P>" +
         "  File Size:  <T>" + std::to_string(fileSize) + " Bytes<P>" + "  Bytes Free: <T>" +
         freeText + " Bytes";
}

namespace {

constexpr std::size_t kCopyPiece = 65536;

void Report(const ExtractProgress& progress, int action, int maximum, int position, int step) {
  if (progress) progress(action, maximum, position, step);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return SetTrailingBackslash(folder, true) + name;
}

// Appends each file record to its target: the target is opened once per
// record and the content arrives piece by piece, so nothing holds a whole
// record.
class ExtractSink : public RecordSink {
 public:
  ExtractSink(const std::string& destination, const ExtractProgress& progress,
              std::string& mainEntry)
      : destination_(destination), progress_(progress), mainEntry_(mainEntry) {}

  bool BetweenPieces() override {
    PumpMessages(0);
    return true;
  }

  bool OnHeader(const RecordHeader& h) override {
    if (!h.mainEntry.empty()) mainEntry_ = h.mainEntry;
    // A name with a folder, a drive or ".." would write outside the folder.
    if (!IsPlainFileName(h.name)) {
      refusedName_ = h.name;
      refused_ = true;
      return false;
    }
    target_ = JoinPath(destination_, h.name);
    if (!os::FileExists(target_)) Report(progress_, 1, 0, 0, 0);
    stamp_ = h.stamp;
    dataSize_ = 0;
    failed_ = false;
    errorText_.clear();
    file_.close();
    // Without a folder the target would land at the root of the drive.
    if (destination_.empty() || !file_.open(target_, os::OpenMode::Append)) Fail();
    return true;
  }

  bool OnContent(const char* data, std::size_t n) override {
    dataSize_ += static_cast<std::int64_t>(n);
    if (!failed_ && file_.write(data, n) != n) Fail();
    return true;
  }

  bool OnRecordEnd() override {
    if (!failed_) {
      // A stamp that is no real DOS date and time (0, not a number, seconds
      // since 1970 ...) leaves the time of writing.
      if (IsValidDosDateTime(stamp_)) file_.setDosDateTime(static_cast<std::uint32_t>(stamp_));
      file_.close();
      return true;
    }
    file_.close();
    if (++unpackState().writeFailures == 1) {
      ShowErrorBox(0,
                   target_ + "<P><P>Unable to save Extracted File!<P><P>" +
                       SaveErrorDetails(errorText_, dataSize_, GetFileSizeByName(target_),
                                        GetDiskFreeBytes(target_)),
                   "", "", 0);
    }
    return true;
  }

  bool refused() const { return refused_; }
  const std::string& refusedName() const { return refusedName_; }

 private:
  void Fail() {
    // The error text is taken at once, before anything else can change it.
    if (!failed_) errorText_ = LastErrorText();
    failed_ = true;
  }

  const std::string& destination_;
  const ExtractProgress& progress_;
  std::string& mainEntry_;
  os::File file_;
  std::string target_;
  std::int64_t stamp_ = 0;
  std::int64_t dataSize_ = 0;
  bool failed_ = false;
  std::string errorText_;
  bool refused_ = false;
  std::string refusedName_;
};

// The agent executable: the first volume's stub and header strings, with
// the SelfLength low word cleared (so the copy's trailer is found at its
// end), followed by the volume's trailer marked as an agent package.
void WriteAgentCopy(ByteSource& volume, const std::string& volumeFile, const PackageTrailer& trailer,
                    std::int64_t headerEnd, const std::string& destination,
                    const std::string& agentFileName) {
  const std::string name = ExtractFileName(agentFileName);
  if (name.empty()) return;
  if (!EndsWith(".exe", volumeFile, true) && !EndsWith(".exe.001", volumeFile, true)) return;
  if (!IsPlainFileName(name)) {
    WriteDebugOutput(" New AU-Agent refused: >" + name + "<");
    return;
  }
  if (headerEnd < 0) return;  // the header strings were never read

  const std::string path = JoinPath(destination, name);
  os::File out;
  if (!out.open(path, os::OpenMode::Create)) return;
  std::vector<char> buf(kCopyPiece);
  bool ok = true;
  for (std::int64_t pos = 0; pos < headerEnd && ok;) {
    const std::size_t want = static_cast<std::size_t>(
        std::min<std::int64_t>(headerEnd - pos, static_cast<std::int64_t>(kCopyPiece)));
    if (volume.ReadAt(pos, buf.data(), want) != want) {
      ok = false;
      break;
    }
    for (std::int64_t off = kSelfLengthLowOffset; off < kSelfLengthLowOffset + 4; ++off)
      if (off >= pos && off < pos + static_cast<std::int64_t>(want))
        buf[static_cast<std::size_t>(off - pos)] = 0;
    ok = out.write(buf.data(), want) == want;
    pos += static_cast<std::int64_t>(want);
    PumpMessages(0);
  }
  PackageTrailer agent = trailer;
  agent.SetAutoUpdateProg(true);
  agent.SetTrailerLength(kTrailerSize);
  if (ok) ok = out.write(agent.bytes.data(), agent.bytes.size()) == agent.bytes.size();
  if (!ok) {
    out.close();
    os::DeleteFile(path);
    return;
  }
  const std::int64_t modTime = os::GetModTime(volumeFile);
  if (modTime >= 0) out.setModTime(modTime);
  out.close();
  WriteDebugOutput(" New AU-Agent: " + path);
}

}  // namespace

ExtractResult ExtractPackage(const std::string& packageFile, const std::string& destination,
                             const std::string& agentFileName, std::string& mainEntry,
                             bool forcePrompt, int charset, const std::string& buttonList,
                             const std::string& caption, const std::string& diskQuestion,
                             const ExtractProgress& progress, bool& checksumOk) {
  const std::int64_t started = GetMilliseconds();
  int volume = 1;
  std::string volumeFile = packageFile;
  RecordCursor cursor;
  bool proceed = true;
  bool ejected = false;
  ExtractResult result = ExtractResult::Completed;
  mainEntry.clear();
  checksumOk = false;
  Report(progress, 0, 0, 0, 1);

  ExtractSink sink(destination, progress, mainEntry);
  PackageTrailer last;  // the last trailer read; all zero before the first
  for (;;) {
    if (os::FileExists(volumeFile)) {
      os::File f;
      const bool opened = f.open(volumeFile, os::OpenMode::Read);
      FileSource src(f);
      PackageTrailer t;  // zero: an unreadable volume has no trailer
      if (opened) t = LocateTrailer(src);
      last = t;
      if (volume == 1) WriteDebugOutput("FileInfo.FilesCount=" + std::to_string(t.FileCount()));

      const std::uint32_t computed = opened ? ComputePackageChecksum(src, t.TrailerLength()) : 0;
      checksumOk = ChecksumAccepted(computed, t.StoredChecksum());
      if (!checksumOk) {
        WriteDebugOutput("ExtractPackage: checksum mismatch in " + volumeFile);
        result = ExtractResult::ChecksumFailed;
        break;
      }
      const std::int64_t end = opened ? PackageDataEnd(src) : 0;
      WriteDebugOutput("FileLen=" + std::to_string(end));

      if (t.MagicOk()) {
        if (volume == 1) Report(progress, 0, static_cast<int>(t.FileCount()), 0, 1);
        if (!ForceDirectories(destination)) {
          ShowErrorBox(0, destination + "<P><P>Unable to create Directory!<P><P>" + LastErrorText(),
                       "", "", 0);
        }
        cursor.position = t.DataOffset();
        cursor.end = end;
        cursor.headerStringCount = t.HeaderStringCount();
        const RecordResult rr = ReadVolumeRecords(src, cursor, sink);
        if (!rr.ok()) {
          if (sink.refused()) {
            WriteDebugOutput("ExtractPackage: record name refused >" + sink.refusedName() + "< in " +
                             volumeFile);
          } else {
            if (rr.status == RecordStatus::ZlibError)
              LogException(rr.message + (rr.detail.empty() ? "" : " (" + rr.detail + ")"),
                           "ExtractPackage", "");
            WriteDebugOutput("ExtractPackage: damaged record " + std::to_string(rr.recordIndex) +
                             " at " + std::to_string(rr.recordPosition) + " in " + volumeFile +
                             ": " + RecordStatusText(rr.status));
          }
          result = ExtractResult::Damaged;
          break;
        }
        if (volume == 1)
          WriteAgentCopy(src, volumeFile, t, cursor.headerEnd, destination, agentFileName);
      }
    }

    if ((last.PackageFlags() & kFlagMoreVolumes) == 0) break;
    SetAutoPlaySuppression(true);
    ++volume;
    volumeFile = VolumeFile(packageFile, volume);
    if (forcePrompt || !os::FileExists(volumeFile)) {
      if (!ejected) {
        EjectCD(volumeFile);
        ejected = true;
      }
      do {
        const std::string text =
            ReplaceTextNoCase(diskQuestion, "<DISK_NUM>", std::to_string(volume));
        proceed = AskOkCancel(0, text, caption, buttonList, charset);
        SetupPause(500);
      } while (!os::FileExists(volumeFile) && proceed);
    }
    Report(progress, 1, 0, 0, 0);
    if (!proceed) {
      result = ExtractResult::Cancelled;
      break;
    }
  }

  // Nothing of a cancelled or damaged package may be run.
  if (!proceed || result == ExtractResult::Damaged) mainEntry.clear();

  WriteDebugOutput("UnCompressTime: " + std::to_string(GetMilliseconds() - started) + " MS");
  WriteDebugOutput("");
  SetupPause(500);
  return result;
}

}  // namespace kv
