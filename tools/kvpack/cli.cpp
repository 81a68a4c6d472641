// The kvpack command line: one cxxopts parser per command, output as text or
// JSON. Exit codes: 0 success, 1 failure or an unsound package, 2 usage.
#include <cxxopts.hpp>
#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>
#include <iostream>
#include <memory>
#include <sstream>

#include "fileio.h"
#include "kvpack.h"
#include "package/checksum.h"
#include "package/ksub.h"

namespace kv::pack {

namespace {

const char* const kUsage =
    "usage: kvpack build --stub STUB --out SETUP [options] INPUT...\n"
    "       kvpack info SETUP [--json]\n"
    "       kvpack verify SETUP\n"
    "       kvpack extract SETUP DIR\n"
    "       kvpack token TEXT\n"
    "       kvpack token-record TOKEN FILE --out OUT [--scrambled]\n"
    "Run \"kvpack COMMAND --help\" for the options of a command.\n";

struct UsageError : Error {
  using Error::Error;
};

// "1440k", "700M", "2G" or plain bytes.
std::uint64_t ParseSize(const std::string& text, const std::string& option) {
  std::size_t i = 0;
  std::uint64_t v = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    if (v > (UINT64_MAX - 9) / 10) throw UsageError(option + ": number too large");
    v = v * 10 + static_cast<std::uint64_t>(text[i++] - '0');
  }
  if (i == 0) throw UsageError(option + " needs a number of bytes, not \"" + text + "\"");
  std::string unit = text.substr(i);
  int shift = 0;
  if (unit.empty()) shift = 0;
  else if (unit == "k" || unit == "K" || unit == "KiB") shift = 10;
  else if (unit == "m" || unit == "M" || unit == "MiB") shift = 20;
  else if (unit == "g" || unit == "G" || unit == "GiB") shift = 30;
  else throw UsageError(option + ": unknown unit \"" + unit + "\" (use k, M or G)");
  if (shift && v > (UINT64_MAX >> shift)) throw UsageError(option + ": number too large");
  return v << shift;
}

std::string Hex(std::uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%08X", v);
  return b;
}

std::unique_ptr<cxxopts::Options> NewOptions(const std::string& cmd, const std::string& args) {
  auto o = std::make_unique<cxxopts::Options>("kvpack " + cmd, "");
  o->custom_help("[options] " + args);
  o->add_options()("h,help", "show this help");
  return o;
}

cxxopts::ParseResult Parse(cxxopts::Options& o, const std::vector<std::string>& args) {
  std::vector<const char*> argv;
  argv.push_back("kvpack");
  for (const auto& a : args) argv.push_back(a.c_str());
  try {
    return o.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const cxxopts::exceptions::exception& e) {
    throw UsageError(e.what());
  }
}

bool WantsHelp(const cxxopts::ParseResult& r, cxxopts::Options& o, std::ostream& out) {
  if (!r.count("help")) return false;
  out << o.help();
  return true;
}

// Positional arguments, taken whole (no comma splitting).
std::vector<std::string> Positionals(const cxxopts::ParseResult& r) { return r.unmatched(); }

// ---------------------------------------------------------------- build

int CmdBuild(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             bool errIsTerminal) {
  auto o = NewOptions("build", "INPUT...  (PATH, or NAME=PATH to store under another name)");
  o->add_options("Package")
      ("stub", "the stub executable to prepend", cxxopts::value<std::string>())
      ("out", "the setup file to write (further volumes get .002, .003 ...)", cxxopts::value<std::string>())
      ("main", "the file the setup runs, optionally with \"*\" and arguments: \"Engine.exe* /silent\"",
       cxxopts::value<std::string>())
      ("lang", "language file: [Language] sections of key=value lines", cxxopts::value<std::string>())
      ("store", "store records uncompressed")
      ("level", "zlib level 0-9", cxxopts::value<int>()->default_value("9"))
      ("record-limit", "content bytes per record (larger files become several records)",
       cxxopts::value<std::string>()->default_value("8M"))
      ("volume-size", "split into volume files of at most this many bytes (k, M, G)",
       cxxopts::value<std::string>())
      ("stamp", "the packed DOS date and time for every file (0: none) instead of each file's time",
       cxxopts::value<std::uint32_t>())
      ("threads", "compression threads (default: one per core)", cxxopts::value<int>())
      ("progress", "show progress on stderr even when it is not a terminal")
      ("seed", "seed for scrambling the tokens (reproducible builds)", cxxopts::value<std::uint32_t>());
  o->add_options("Trailer")
      ("temp-notice", "PackageFlags TempNotice: always show the temporary-drive notice")
      ("spanned-cd", "PackageFlags SpannedCd: the package spans CDs and runs from a copy")
      ("activity-bar", "PackageFlags ShowActivityBar")
      ("agent-log", "PackageFlags agent-log flag: the agent writes its log file")
      ("web", "IsWebInstaller: the package to install is downloaded first")
      ("ask-before-download", "AskBeforeDownload")
      ("drop-agent-copy", "DropAgentCopy: the setup writes the update agent into its folder")
      ("auto-update-prog", "AutoUpdateProg: an auto-update agent package")
      ("header-count", "HeaderStringCount (0, 2, 3..255; default 2, or 3 with web settings)",
       cxxopts::value<int>());
  o->add_options("Settings")
      ("info-location", "InfoLocation: folder or URL of the update descriptor", cxxopts::value<std::string>())
      ("info-file", "InfoFileName: file name of the update descriptor", cxxopts::value<std::string>())
      ("agent-file", "AgentFileName: file name of the update agent", cxxopts::value<std::string>())
      ("update-token", "UpdateToken, given plain, stored scrambled", cxxopts::value<std::string>())
      ("hide", "HideFlag \"1\": run without foreground UI");
  o->add_options("Web settings")
      ("package-url", "PackageUrl: URL folder of the package", cxxopts::value<std::string>())
      ("package-file", "PackageFileName", cxxopts::value<std::string>())
      ("no-local-package", "NoLocalPackage \"1\": never use a package lying beside the stub")
      ("package-token", "PackageToken, given plain, stored scrambled", cxxopts::value<std::string>())
      ("package-size", "PackageSize in bytes (shown in the download question)",
       cxxopts::value<std::string>());
  auto r = Parse(*o, args);
  if (WantsHelp(r, *o, out)) return 0;

  BuildOptions b;
  auto str = [&](const char* name, std::string& to) {
    if (r.count(name)) to = r[name].as<std::string>();
  };
  auto opt = [&](const char* name, std::optional<std::string>& to) {
    if (r.count(name)) to = r[name].as<std::string>();
  };
  str("stub", b.stub);
  str("out", b.out);
  str("main", b.mainName);
  str("lang", b.languageFile);
  if (b.stub.empty()) throw UsageError("--stub is required");
  if (b.out.empty()) throw UsageError("--out is required");
  b.inputs = Positionals(r);
  b.store = r.count("store") != 0;
  b.level = r["level"].as<int>();
  b.recordLimit = ParseSize(r["record-limit"].as<std::string>(), "--record-limit");
  if (r.count("volume-size")) {
    b.volumeSize = ParseSize(r["volume-size"].as<std::string>(), "--volume-size");
    if (b.volumeSize == 0) throw UsageError("--volume-size must be above 0");
  }
  if (r.count("stamp")) b.stamp = r["stamp"].as<std::uint32_t>();
  if (r.count("threads")) b.threads = r["threads"].as<int>();
  if (r.count("seed")) b.seed = r["seed"].as<std::uint32_t>();
  b.progress = r.count("progress") != 0 || errIsTerminal;
  b.tempNotice = r.count("temp-notice") != 0;
  b.spannedCd = r.count("spanned-cd") != 0;
  b.activityBar = r.count("activity-bar") != 0;
  b.agentLog = r.count("agent-log") != 0;
  b.web = r.count("web") != 0;
  b.askBeforeDownload = r.count("ask-before-download") != 0;
  b.dropAgentCopy = r.count("drop-agent-copy") != 0;
  b.autoUpdateProg = r.count("auto-update-prog") != 0;
  if (r.count("header-count")) b.headerCount = r["header-count"].as<int>();
  str("info-location", b.infoLocation);
  str("info-file", b.infoFileName);
  str("agent-file", b.agentFileName);
  str("update-token", b.updateToken);
  b.hide = r.count("hide") != 0;
  opt("package-url", b.packageUrl);
  opt("package-file", b.packageFileName);
  opt("package-token", b.packageToken);
  opt("package-size", b.packageSize);
  b.noLocalPackage = r.count("no-local-package") != 0;

  BuildResult res = BuildPackage(
      b, [&](const std::string& w) { err << "kvpack: warning: " << w << "\n"; },
      b.progress ? &err : nullptr);
  std::uint64_t bytes = 0;
  for (auto s : res.volumeSizes) bytes += s;
  out << "kvpack: wrote " << res.volumes.front() << " (" << bytes << " bytes, " << res.fileCount
      << " file records";
  if (res.volumes.size() > 1) out << ", " << res.volumes.size() << " volumes";
  out << ")\n";
  return 0;
}

// ---------------------------------------------------------------- info

std::string TokenPlain(const std::string& stored) {
  std::string v;
  return kv::TryDescrambleText(stored, v) ? v : std::string();
}

nlohmann::json ReportJson(const PackageReport& rep) {
  using nlohmann::json;
  json j;
  j["ok"] = rep.ok();
  j["errors"] = rep.errors;
  j["warnings"] = rep.warnings;
  if (rep.volumes.empty()) return j;
  const VolumeEntry& v1 = rep.volumes.front();
  const kv::PackageTrailer& t = v1.trailer;
  j["HeaderStringCount"] = rep.headerStringCount;
  j["DataOffset"] = t.DataOffset();
  j["FileCount"] = t.FileCount();
  j["PackageMagic"] = t.PackageMagic();
  j["StoredChecksum"] = t.StoredChecksum();
  j["TotalSize"] = t.TotalSize();
  json space = json::array();
  for (int k = 0; k < 8; ++k) space.push_back(t.SpaceByClusterSize(k));
  j["SpaceByClusterSize"] = space;
  j["PackageFlags"] = t.PackageFlags();
  j["TempNotice"] = (t.PackageFlags() & kv::kFlagTempNotice) != 0;
  j["MoreVolumes"] = (t.PackageFlags() & kv::kFlagMoreVolumes) != 0;
  j["SpannedCd"] = (t.PackageFlags() & kv::kFlagSpannedCd) != 0;
  j["ShowActivityBar"] = (t.PackageFlags() & kv::kFlagShowActivityBar) != 0;
  j["AgentLog"] = (t.PackageFlags() & kv::kFlagAgentLog) != 0;
  j["IsWebInstaller"] = t.IsWebInstaller();
  j["AskBeforeDownload"] = t.AskBeforeDownload();
  j["DropAgentCopy"] = t.DropAgentCopy();
  j["AutoUpdateProg"] = t.AutoUpdateProg();
  j["TrailerLength"] = v1.claimedTrailerLength;
  j["SelfLength"] = v1.selfLength;

  const std::string& s = rep.settingsList;
  j["InfoLocation"] = kv::SUB::GetField(s, 0, "");
  j["InfoFileName"] = kv::SUB::GetField(s, 1, "");
  j["AgentFileName"] = kv::SUB::GetField(s, 2, "");
  j["UpdateToken"] = kv::SUB::GetField(s, 3, "");
  j["UpdateTokenPlain"] = TokenPlain(kv::SUB::GetField(s, 3, ""));
  j["HideFlag"] = kv::SUB::GetField(s, 4, "");
  const bool web = rep.headerStringCount >= 3;
  const std::string& w = rep.webSettingsList;
  j["WebSettings"] = web;
  j["PackageUrl"] = kv::SUB::GetField(w, 0, "");
  j["PackageFileName"] = kv::SUB::GetField(w, 1, "");
  j["NoLocalPackage"] = kv::SUB::GetField(w, 2, "");
  j["PackageToken"] = kv::SUB::GetField(w, 3, "");
  j["PackageTokenPlain"] = TokenPlain(kv::SUB::GetField(w, 3, ""));
  j["PackageSize"] = kv::SUB::GetField(w, 4, "");

  json langs = json::array();
  for (const auto& l : SplitLanguageBlocks(rep.languageBlocks)) {
    json items = json::object();
    for (const auto& kv : l.items) items[kv.first] = kv.second;
    langs.push_back({{"name", l.name}, {"items", items}});
  }
  j["languages"] = langs;

  json recs = json::array();
  for (const auto& r : rep.records)
    recs.push_back({{"name", r.name},
                    {"nameField", r.nameField},
                    {"main", r.main},
                    {"stamp", r.stamp},
                    {"stored", r.length < 0},
                    {"packed", r.length < 0 ? -static_cast<std::int64_t>(r.length) : r.length},
                    {"size", r.size},
                    {"volume", r.volume}});
  j["records"] = recs;

  json vols = json::array();
  for (const auto& v : rep.volumes)
    vols.push_back({{"path", v.path},
                    {"size", v.fileSize},
                    {"SelfLength", v.selfLength},
                    {"DataOffset", v.trailer.DataOffset()},
                    {"FileCount", v.trailer.FileCount()},
                    {"StoredChecksum", v.trailer.StoredChecksum()},
                    {"ComputedChecksum", v.computedChecksum},
                    {"ChecksumAccepted", v.checksumAccepted},
                    {"MoreVolumes", (v.trailer.PackageFlags() & kv::kFlagMoreVolumes) != 0},
                    {"records", v.records}});
  j["volumes"] = vols;
  return j;
}

std::string Printable(const std::string& s) {
  std::string o;
  for (unsigned char c : s) {
    if (c < 32) {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02X", c);
      o += b;
    } else {
      o += static_cast<char>(c);
    }
  }
  return o;
}

void PrintReportText(const std::string& path, const PackageReport& rep, std::ostream& out) {
  out << "Setup file          " << path << "\n";
  if (rep.volumes.empty()) return;
  for (std::size_t i = 0; i < rep.volumes.size(); ++i) {
    const auto& v = rep.volumes[i];
    out << "Volume " << (i + 1) << "            " << v.path << ": " << v.fileSize << " bytes, "
        << v.records << " file records, checksum " << Hex(v.computedChecksum)
        << (v.checksumAccepted ? " accepted" : " REJECTED") << "\n";
  }
  const auto& v1 = rep.volumes.front();
  const kv::PackageTrailer& t = v1.trailer;
  auto row = [&](const char* name, const std::string& value) {
    std::string n = std::string("  ") + name;
    if (n.size() < 22) n.resize(22, ' ');
    out << n << value << "\n";
  };
  out << "Trailer\n";
  row("HeaderStringCount", std::to_string(rep.headerStringCount));
  row("DataOffset", std::to_string(t.DataOffset()));
  row("FileCount", std::to_string(t.FileCount()));
  row("PackageMagic", Hex(t.PackageMagic()));
  row("StoredChecksum", Hex(t.StoredChecksum()) +
                           (t.StoredChecksum() == kv::kNoChecksum ? " (1234: not compared)" : ""));
  row("TotalSize", std::to_string(t.TotalSize()));
  std::string space;
  for (int k = 0; k < 8; ++k)
    space += (k ? " " : "") + std::to_string(t.SpaceByClusterSize(k));
  row("SpaceByClusterSize", space);
  std::string flags = Hex(t.PackageFlags()).substr(8);
  const char* names[] = {"TempNotice", "MoreVolumes", "SpannedCd", "ShowActivityBar", "AgentLog"};
  for (int b = 0; b < 5; ++b)
    if (t.PackageFlags() & (1 << b)) flags += std::string(" ") + names[b];
  row("PackageFlags", "0x" + flags);
  row("IsWebInstaller", std::to_string(t.U8(kv::PackageTrailer::kOffIsWebInstaller)));
  row("AskBeforeDownload", std::to_string(t.U8(kv::PackageTrailer::kOffAskBeforeDownload)));
  row("DropAgentCopy", std::to_string(t.U8(kv::PackageTrailer::kOffDropAgentCopy)));
  row("AutoUpdateProg", std::to_string(t.U8(kv::PackageTrailer::kOffAutoUpdateProg)));
  row("TrailerLength", std::to_string(v1.claimedTrailerLength));
  row("SelfLength", std::to_string(v1.selfLength));
  out << "Settings\n";
  const std::string& s = rep.settingsList;
  row("InfoLocation", Printable(kv::SUB::GetField(s, 0, "")));
  row("InfoFileName", Printable(kv::SUB::GetField(s, 1, "")));
  row("AgentFileName", Printable(kv::SUB::GetField(s, 2, "")));
  row("UpdateToken", Printable(kv::SUB::GetField(s, 3, "")));
  row("HideFlag", Printable(kv::SUB::GetField(s, 4, "")));
  if (rep.headerStringCount >= 3) {
    out << "Web settings\n";
    const std::string& w = rep.webSettingsList;
    row("PackageUrl", Printable(kv::SUB::GetField(w, 0, "")));
    row("PackageFileName", Printable(kv::SUB::GetField(w, 1, "")));
    row("NoLocalPackage", Printable(kv::SUB::GetField(w, 2, "")));
    row("PackageToken", Printable(kv::SUB::GetField(w, 3, "")));
    row("PackageSize", Printable(kv::SUB::GetField(w, 4, "")));
  }
  std::string langs;
  for (const auto& l : SplitLanguageBlocks(rep.languageBlocks))
    langs += (langs.empty() ? "" : ", ") + Printable(l.name) + " (" + std::to_string(l.items.size()) +
             " texts)";
  out << "Languages           " << (langs.empty() ? "(none)" : langs) << "\n";
  out << "Records             " << rep.records.size() << "\n";
  if (!rep.records.empty())
    out << "  vol kind           size       packed  stamp                name\n";
  for (const auto& r : rep.records) {
    char line[160];
    std::snprintf(line, sizeof line, "  %3d %-6s %12llu %12lld  %s  ", r.volume,
                  r.length < 0 ? "stored" : "zlib", static_cast<unsigned long long>(r.size),
                  static_cast<long long>(r.length < 0 ? -static_cast<std::int64_t>(r.length) : r.length),
                  r.stamp ? DosStampText(r.stamp).c_str() : "(no stamp)         ");
    out << line << Printable(r.nameField) << "\n";
  }
}

int CmdInfo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto o = NewOptions("info", "SETUP");
  o->add_options()("json", "print JSON");
  auto r = Parse(*o, args);
  if (WantsHelp(r, *o, out)) return 0;
  auto pos = Positionals(r);
  if (pos.size() != 1) throw UsageError("info takes one setup file");
  PackageReport rep = InspectPackage(pos[0]);
  if (r.count("json")) {
    out << ReportJson(rep).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  } else {
    PrintReportText(pos[0], rep, out);
    for (const auto& w : rep.warnings) out << "warning: " << w << "\n";
    for (const auto& e : rep.errors) out << "error: " << e << "\n";
  }
  bool readable = !rep.volumes.empty() && rep.volumes.front().trailer.MagicOk();
  if (!readable) err << "kvpack: error: " << rep.errors.front() << "\n";
  return readable ? 0 : 1;
}

int CmdVerify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto o = NewOptions("verify", "SETUP");
  auto r = Parse(*o, args);
  if (WantsHelp(r, *o, out)) return 0;
  auto pos = Positionals(r);
  if (pos.size() != 1) throw UsageError("verify takes one setup file");
  PackageReport rep = InspectPackage(pos[0]);
  for (const auto& w : rep.warnings) err << "kvpack: warning: " << w << "\n";
  for (const auto& e : rep.errors) err << "kvpack: error: " << e << "\n";
  if (!rep.ok()) return 1;
  out << "kvpack: " << pos[0] << ": sound (" << rep.volumes.size() << " volume"
      << (rep.volumes.size() == 1 ? "" : "s") << ", " << rep.records.size() << " file records)\n";
  return 0;
}

int CmdExtract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto o = NewOptions("extract", "SETUP DIR");
  auto r = Parse(*o, args);
  if (WantsHelp(r, *o, out)) return 0;
  auto pos = Positionals(r);
  if (pos.size() != 2) throw UsageError("extract takes a setup file and a folder");
  for (const auto& n : ExtractPackageTo(pos[0], pos[1])) out << n << "\n";
  return 0;
}

int CmdToken(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto o = NewOptions("token", "TEXT");
  o->add_options()("seed", "scrambling seed", cxxopts::value<std::uint32_t>());
  auto r = Parse(*o, args);
  if (WantsHelp(r, *o, out)) return 0;
  auto pos = Positionals(r);
  if (pos.size() != 1) throw UsageError("token takes one text");
  std::optional<std::uint32_t> seed;
  if (r.count("seed")) seed = r["seed"].as<std::uint32_t>();
  out << ScrambledToken(pos[0], seed) << "\n";
  return 0;
}

int CmdTokenRecord(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  auto o = NewOptions("token-record", "TOKEN FILE");
  o->add_options()("out", "the record file to write", cxxopts::value<std::string>())
      ("scrambled", "pass the whole record through the \"Scrambled=01\" scrambler")
      ("seed", "scrambling seed", cxxopts::value<std::uint32_t>());
  auto r = Parse(*o, args);
  if (WantsHelp(r, *o, out)) return 0;
  auto pos = Positionals(r);
  if (pos.size() != 2) throw UsageError("token-record takes a token and a file");
  if (!r.count("out")) throw UsageError("--out is required");
  std::string outPath = r["out"].as<std::string>();
  if (!IsRegularFile(pos[1])) throw Error("input " + pos[1] + " not found or not a file");
  if (SameFile(outPath, pos[1])) throw Error("the output " + outPath + " is also the input");
  std::optional<std::uint32_t> seed;
  if (r.count("seed")) seed = r["seed"].as<std::uint32_t>();
  WriteFileAtomic(outPath, MakeTokenRecord(pos[0], ReadWholeFile(pos[1]), r.count("scrambled") != 0, seed));
  out << "kvpack: wrote " << outPath << "\n";
  return 0;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           bool errIsTerminal) {
  if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
    (args.empty() ? err : out) << kUsage;
    return args.empty() ? 2 : 0;
  }
  const std::string cmd = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  try {
    if (cmd == "build") return CmdBuild(rest, out, err, errIsTerminal);
    if (cmd == "info") return CmdInfo(rest, out, err);
    if (cmd == "verify") return CmdVerify(rest, out, err);
    if (cmd == "extract") return CmdExtract(rest, out, err);
    if (cmd == "token") return CmdToken(rest, out, err);
    if (cmd == "token-record") return CmdTokenRecord(rest, out, err);
    err << "kvpack: error: unknown command \"" << cmd << "\"\n" << kUsage;
    return 2;
  } catch (const UsageError& e) {
    err << "kvpack: error: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    err << "kvpack: error: " << e.what() << "\n";
    return 1;
  }
}

}  // namespace kv::pack
