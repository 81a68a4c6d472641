// kvpack: builds setup files (stub + package) and reads, verifies and
// extracts them. The command line in cli.cpp is a thin layer over these
// functions, so tests drive the same code.
//
// docs/format.md describes the setup file format this writes.
#pragma once
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "package/gfileinfo.h"

namespace kv::pack {

// Every refusal and failure of the tool: a one-line message for the user.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& msg) : std::runtime_error(msg) {}
};

// ---- names, stamps, lists

// A name that extracts safely on Windows: not empty, at most 255 bytes, no
// control characters, none of < > : " / \ | ? *, not "." or "..", no blank or
// dot at the end, and not a device name (CON, NUL, COM1 ...). Empty reason
// when plain; otherwise why not.
std::string WhyNotPlainName(const std::string& name);

// Local time as a packed DOS date and time (high 16 bits date, low 16 bits
// time); 0 for times DOS cannot hold (before 1980, after 2107).
std::uint32_t UnixToDosStamp(std::int64_t unixSeconds);
// Whether a stamp decodes to a real date and time.
bool IsValidDosStamp(std::uint32_t stamp);
std::string DosStampText(std::uint32_t stamp);  // "2024-03-07 14:30:06"

// Throws unless the fields can be joined into a delimited list: no NUL, and
// at least one candidate separator free. what names the list in the message.
void CheckListFields(const std::vector<std::string>& fields, const std::string& what);

// ---- language blocks

struct LanguageSection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> items;  // in file order
};

// Parses the readable language file: one "[Name]" section per language,
// "key=value" lines, blank lines and lines starting with ";" or "#"
// ignored. Throws Error naming the line for anything else. Keys outside the
// known table are reported through warn.
std::vector<LanguageSection> ParseLanguageText(const std::string& text, const std::string& source,
                                               const std::function<void(const std::string&)>& warn);
// Joins blocks with codes 2 and 1 (the LanguageBlocks header string).
std::string JoinLanguageBlocks(const std::vector<LanguageSection>& sections);
// The reverse, for display: names and items of each block.
std::vector<LanguageSection> SplitLanguageBlocks(const std::string& blocks);

// ---- build

struct BuildOptions {
  std::string stub;
  std::string out;
  // "PATH", or "NAME=PATH" to store a file under another name (a path that
  // exists as given is always taken whole).
  std::vector<std::string> inputs;
  std::string mainName;              // "Engine.exe" or "Engine.exe* /silent"
  std::string languageFile;          // empty: no language blocks

  bool store = false;                // stored records instead of zlib streams
  int level = 9;                     // zlib level 0..9
  std::uint64_t recordLimit = 8u << 20;  // content bytes per record
  std::uint64_t volumeSize = 0;      // 0: one volume
  int threads = 0;                   // 0: one per core
  bool progress = false;             // percent on stderr
  std::optional<std::uint32_t> stamp;  // the same stamp for every file
  std::optional<std::uint32_t> seed;   // token scrambling seed (reproducible builds)

  // PackageFlags
  bool tempNotice = false;
  bool spannedCd = false;
  bool activityBar = false;
  bool agentLog = false;
  // trailer bytes 66..69
  bool web = false;
  bool askBeforeDownload = false;
  bool dropAgentCopy = false;
  bool autoUpdateProg = false;
  int headerCount = -1;              // -1: 2, or 3 with web settings

  // SettingsList
  std::string infoLocation, infoFileName, agentFileName;
  std::string updateToken;           // plain; stored scrambled
  bool hide = false;                 // HideFlag "1" (else "0")
  // WebSettingsList (written when any is given, or with --web)
  std::optional<std::string> packageUrl, packageFileName, packageToken, packageSize;
  bool noLocalPackage = false;       // NoLocalPackage "1"
};

struct BuildResult {
  std::vector<std::string> volumes;  // final paths, in order
  std::vector<std::uint64_t> volumeSizes;
  std::uint32_t fileCount = 0;       // file records written
  std::uint64_t totalSize = 0;       // content bytes (before the 32-bit cap)
  bool selfLengthWritten = false;
};

// Writes the setup file (and its further volumes). Outputs appear under
// their names only when everything succeeded. warn receives warnings.
BuildResult BuildPackage(const BuildOptions& opt, const std::function<void(const std::string&)>& warn,
                         std::ostream* progress);

// ---- read, verify, extract

struct RecordEntry {
  int volume = 1;                 // 1-based
  std::int64_t position = 0;      // of the length field
  std::int32_t length = 0;        // as stored (negative: stored data)
  std::string header;
  std::string nameField;          // field 0 as stored ("Engine.exe* /silent")
  std::string name;               // the file name
  std::string stampText;          // field 1 as stored
  std::uint32_t stamp = 0;
  std::uint64_t size = 0;         // content bytes
  bool main = false;
};

struct VolumeEntry {
  std::string path;
  std::int64_t fileSize = -1;
  bool pe = false;
  std::uint64_t selfLength = 0;
  std::int64_t dataEnd = 0;       // SelfLength or the file size
  std::int64_t claimedTrailerLength = 0;
  kv::PackageTrailer trailer;     // as read, TrailerLength capped at 74
  std::uint32_t computedChecksum = 0;
  bool checksumAccepted = false;
  int records = 0;                // file records found in this volume
};

struct PackageReport {
  std::vector<VolumeEntry> volumes;
  std::string languageBlocks, settingsList, webSettingsList;
  int headerStringCount = 0;      // of the first volume, as stored
  std::vector<RecordEntry> records;
  std::vector<std::string> errors;    // anything the stub would trip over
  std::vector<std::string> warnings;  // odd but harmless
  bool ok() const { return errors.empty(); }
};

// Reads every volume of the package (following MoreVolumes), inflating each
// record to check it. Never throws for damage: it lands in errors.
PackageReport InspectPackage(const std::string& path);

// Extracts into dir with the stub's record reader: same-name records are
// appended in order, stamps applied. Refuses (Error) a package whose volumes
// are not sound, and any name that is not plain, before writing anything.
// Returns the names written.
std::vector<std::string> ExtractPackageTo(const std::string& path, const std::string& dir);

// Volume k (2, 3, ...) of a package, named as the stub names it.
std::string VolumeFileName(const std::string& firstVolume, int k);

// ---- tokens

std::string ScrambledToken(const std::string& plain, std::optional<std::uint32_t> seed);
// "|<scrambled token>|||<payload>", optionally through the "Scrambled=01"
// scrambler.
std::string MakeTokenRecord(const std::string& plainToken, const std::string& payload,
                            bool scrambleWhole, std::optional<std::uint32_t> seed);

// ---- files

std::string ReadWholeFile(const std::string& path);  // throws Error
// Writes bytes to path through a temporary file and a rename.
void WriteFileAtomic(const std::string& path, const std::string& bytes);
bool SameFile(const std::string& a, const std::string& b);

// ---- the command line: exit 0 success, 1 failure or unsound package, 2 usage.
// errIsTerminal: err is a terminal, where a build shows its progress unasked.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool errIsTerminal = false);

}  // namespace kv::pack
