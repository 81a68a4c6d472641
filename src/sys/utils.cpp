// Small shared helpers: texts, numbers, dates, paths, the command line, INI
// files, the registry and system facts.
#include "sys/utils.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

#include "os/clock.h"
#include "os/env.h"
#include "os/ini.h"
#include "os/registry.h"
#include "package/ksub.h"
#include "sys/kdebug.h"

namespace kv {

const bool Use64BitRegistryView = false;

UtilsState& utilsState() {
  static UtilsState s;
  return s;
}

namespace {

unsigned char U(char c) { return static_cast<unsigned char>(c); }

// 0-based index of sub in text from `from`, or npos; an empty sub is never found.
std::size_t Find(const std::string& sub, const std::string& text, std::size_t from = 0) {
  if (sub.empty()) return std::string::npos;
  return text.find(sub, from);
}

// Clock-seeded generator, reseeded on every use as the callers expect.
std::mt19937_64 ClockSeeded() {
  std::uint64_t seed = static_cast<std::uint64_t>(os::PerformanceCounter()) ^
                       (static_cast<std::uint64_t>(os::TickCount()) << 32) ^
                       static_cast<std::uint64_t>(
                           std::chrono::steady_clock::now().time_since_epoch().count());
  return std::mt19937_64(seed);
}

std::string Two(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v < 0 ? 0 : v % 100);
  return buf;
}

double ResolveNow(double dt) { return dt == -1.0 ? NowDateTime() : dt; }

std::string TimeText(int h, int n, int s) {
  const char ts = os::LocaleTimeSeparator();
  return Two(h) + ts + Two(n) + ts + Two(s);
}

bool IsPathDelimiter(char c) { return c == '\\' || c == '/' || c == ':'; }

}  // namespace

// ======================================================================
// text search and comparison

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && U(s[b]) <= 32) ++b;
  while (e > b && U(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

int PosNoCase(const std::string& sub, const std::string& text) {
  std::size_t at = Find(UpperAscii(sub), UpperAscii(text));
  return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

int PosFrom(const std::string& sub, const std::string& text, int start, bool ignoreCase) {
  std::string t = text.substr(0, text.find('\0'));
  if (start < 1) start = 1;
  if (static_cast<std::size_t>(start) > t.size()) return 0;
  std::string s = sub;
  if (ignoreCase) {
    t = UpperAscii(t);
    s = UpperAscii(s);
  }
  std::size_t at = Find(s, t, static_cast<std::size_t>(start - 1));
  return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

int LastPos(const std::string& sub, const std::string& text) {
  if (sub.empty()) return 0;
  std::size_t at = text.rfind(sub);
  return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
}

int LastPosFromEnd(const std::string& sub, const std::string& text) {
  if (sub.empty()) return 0;
  std::size_t at = UpperAscii(text).rfind(UpperAscii(sub));
  if (at == std::string::npos) return 0;
  return static_cast<int>(text.size() - (at + sub.size())) + 1;
}

bool StartsWith(const std::string& prefix, const std::string& text, bool ignoreCase) {
  if (prefix.empty() || prefix.size() > text.size()) return false;
  std::string head = text.substr(0, prefix.size());
  return ignoreCase ? UpperAscii(head) == UpperAscii(prefix) : head == prefix;
}

bool EndsWith(const std::string& suffix, const std::string& text, bool ignoreCase) {
  if (suffix.size() > text.size()) return false;
  std::string tail = text.substr(text.size() - suffix.size());
  return ignoreCase ? UpperAscii(tail) == UpperAscii(suffix) : tail == suffix;
}

bool SameTextTrim(const std::string& a, const std::string& b) {
  return UpperAscii(Trim(a)) == UpperAscii(Trim(b));
}

std::string TextBefore(const std::string& text, const std::string& sep, const std::string& def,
                       bool trim) {
  std::size_t at = Find(sep, text);
  if (at == std::string::npos) return def;
  std::string part = text.substr(0, at);
  return trim ? Trim(part) : part;
}

std::string TextAfter(const std::string& text, const std::string& sep, const std::string& def,
                      bool trim) {
  std::size_t at = Find(sep, text);
  if (at == std::string::npos) return def;
  std::string part = text.substr(at + sep.size());
  return trim ? Trim(part) : part;
}

// ======================================================================
// text transformation

namespace {

// Replacement on a working copy (upper-cased when ignoring case) that takes a
// filler block wherever the result takes the new text, so positions in both
// stay equal and inserted text is never matched again. The search restarts
// where an occurrence could first begin: right after the filler block, or,
// when the new text is empty, as far back as the closed-up gap allows (the
// two sides may form a fresh occurrence, which goes too). That is what a
// restart from the beginning would find, since no occurrence lies earlier.
std::string ReplaceImpl(const std::string& text, const std::string& oldText,
                        const std::string& newText, bool ignoreCase) {
  std::string work = ignoreCase ? UpperAscii(text) : text;
  const std::string old = ignoreCase ? UpperAscii(oldText) : oldText;
  std::size_t at = Find(old, work);
  if (at == std::string::npos) return text;

  // The first character code that old does not contain; when old contains all
  // 256, the block is never searched anyway (see the restart rule above).
  bool inOld[256] = {};
  for (char c : old) inOld[U(c)] = true;
  int filler = 0;
  while (filler < 256 && inOld[filler]) ++filler;
  const std::string block(newText.size(), static_cast<char>(filler & 0xFF));

  std::string result = text;
  while (at != std::string::npos) {
    work.replace(at, old.size(), block);
    result.replace(at, old.size(), newText);
    std::size_t from = !newText.empty() ? at + newText.size()
                                        : (at + 1 >= old.size() ? at + 1 - old.size() : 0);
    at = work.find(old, from);
  }
  return result;
}

}  // namespace

std::string ReplaceText(const std::string& text, const std::string& oldText,
                        const std::string& newText) {
  return ReplaceImpl(text, oldText, newText, false);
}

std::string ReplaceTextNoCase(const std::string& text, const std::string& oldText,
                              const std::string& newText) {
  return ReplaceImpl(text, oldText, newText, true);
}

std::string ReplaceRepeated(const std::string& text, const std::string& oldText,
                            const std::string& newText, bool trim) {
  std::string result = text;
  if (Find(oldText, text) != std::string::npos && newText.find(oldText) == std::string::npos) {
    // A rewrite that keeps producing fresh occurrences could grow without
    // end; such input is left as far as it got once it has grown absurdly.
    const std::size_t limit = text.size() * 64 + (1u << 20);
    std::size_t at = result.find(oldText);
    while (at != std::string::npos && result.size() <= limit) {
      result.replace(at, oldText.size(), newText);
      // Nothing before the replaced spot held an occurrence; one can only
      // start where it overlaps the new text's start.
      std::size_t from = at + 1 >= oldText.size() ? at + 1 - oldText.size() : 0;
      at = result.find(oldText, from);
    }
  }
  return trim ? Trim(result) : result;
}

std::string ReplaceChar(const std::string& text, char a, char b) {
  std::string out = text;
  if (a == b) return out;
  for (char& c : out)
    if (c == a) c = b;
  return out;
}

std::string StripChar(const std::string& text, char ch, bool anyEnd, bool once) {
  if (text.size() == 1 && text[0] == ch) return std::string();
  if (text.size() < 2) return text;
  if (!anyEnd && !(text.front() == ch && text.back() == ch)) return text;
  std::size_t b = 0, e = text.size();
  while (b < e && text[b] == ch) {
    ++b;
    if (once) break;
  }
  while (e > b && text[e - 1] == ch) {
    --e;
    if (once) break;
  }
  return text.substr(b, e - b);
}

std::string StripQuotes(const std::string& text, bool anyEnd) {
  return StripChar(Trim(text), '"', anyEnd, false);
}

std::string QuoteText(const std::string& text) { return "\"" + StripQuotes(text, true) + "\""; }

std::string WrapInDelimiter(const std::string& text, char ch, bool stripFirst) {
  std::string inner = stripFirst ? StripChar(text, ch, true, false) : text;
  return std::string(1, ch) + inner + ch;
}

std::string FilterChars(const std::string& text, const std::string& allowed,
                        const std::string& excluded) {
  bool ok[256];
  for (bool& b : ok) b = allowed.empty();
  for (char c : allowed) ok[U(c)] = true;
  for (char c : excluded) ok[U(c)] = false;
  std::string out;
  for (char c : text)
    if (ok[U(c)]) out += c;
  return out;
}

std::string ReverseText(const std::string& text) { return std::string(text.rbegin(), text.rend()); }

std::string PadLeft(const std::string& text, int width, char pad) {
  std::string out = text;
  if (width <= -3) {
    width = -width;
    if (out.size() > static_cast<std::size_t>(width))
      out = out.substr(0, static_cast<std::size_t>(width) - 1) + ".";
  }
  if (width > 0 && out.size() < static_cast<std::size_t>(width))
    out.insert(0, static_cast<std::size_t>(width) - out.size(), pad);
  return out;
}

std::string ZeroPad(const std::string& text, int width) {
  if (width <= 0 || text.size() >= static_cast<std::size_t>(width)) return text;
  return std::string(static_cast<std::size_t>(width) - text.size(), '0') + text;
}

const char* BoolToText(bool v) { return v ? "TRUE" : "FALSE"; }
const char* BoolToDigit(bool v) { return v ? "1" : "0"; }

// ======================================================================
// numbers

std::int64_t Clamp64(std::int64_t v, std::int64_t lo, std::int64_t hi) {
  if (v < lo) return lo;
  if (v > hi) return hi;
  return v;
}

bool TryStrToInt64(const std::string& text, std::int64_t& out) {
  std::string t = Trim(text);
  const char* b = t.data();
  const char* e = b + t.size();
  if (b != e && *b == '+') ++b;
  if (b == e || *b == '+' || (b != t.data() && *b == '-')) return false;
  std::int64_t v = 0;
  auto r = std::from_chars(b, e, v, 10);
  if (r.ec != std::errc() || r.ptr != e) return false;
  out = v;
  return true;
}

std::int64_t StrToInt64Def(const std::string& text, std::int64_t def) {
  std::int64_t v = 0;
  return TryStrToInt64(text, v) ? v : def;
}

double StrToFloatAny(const std::string& text, double def) {
  std::string t = text;
  if (t.find('.') == std::string::npos) t = ReplaceChar(t, ',', '.');
  std::string s;
  for (char c : t)
    if (c != ',') s += c;
  s = Trim(s);
  // Plain decimal notation only (sign, digits, point, exponent): the reader
  // below would also take "inf", "nan" and hexadecimal forms.
  for (char c : s)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E'))
      return def;
  const char* b = s.data();
  const char* e = b + s.size();
  if (b != e && *b == '+') ++b;
  if (b == e || *b == '+' || (b != s.data() && *b == '-')) return def;
  double v = 0;
  auto r = std::from_chars(b, e, v, std::chars_format::general);
  if (r.ec != std::errc() || r.ptr != e) return def;
  return v;
}

std::string FormatFloatFixed(double value, int decimals, bool stripZeros) {
  if (decimals < 0) decimals = 0;
  if (decimals > 30) decimals = 30;
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  std::string s = buf;
  // The C library may use the locale's decimal comma; the text is always ".".
  for (char& c : s)
    if (c == ',') c = '.';
  if (stripZeros && s.find('.') != std::string::npos) {
    s = StripChar(s, '0', true, false);
    if (!s.empty() && s.front() != '.') s = StripChar(s, '.', true, false);
    if (s == ".") s = "0";
  }
  return s;
}

std::int64_t RandomRange(std::int64_t low, std::int64_t high) {
  if (high <= low) return low;
  std::uint64_t span = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low);
  std::mt19937_64 gen = ClockSeeded();
  std::uint64_t r = span == UINT64_MAX ? gen()
                                       : std::uniform_int_distribution<std::uint64_t>(0, span)(gen);
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(low) + r);
}

std::string RandomRangeText(std::int64_t low, std::int64_t high) {
  return std::to_string(RandomRange(low, high));
}

std::int64_t HexToInt64(const std::string& text) {
  std::string t = text;
  if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t.erase(0, 2);
  t = Trim(UpperAscii(t));
  static const std::string kDigits = "0123456789ABCDEF";
  std::uint64_t value = 0, weight = 1;
  for (std::size_t i = t.size(); i-- > 0;) {
    std::size_t d = kDigits.find(t[i]);
    if (d == std::string::npos) return -1;
    value += d * weight;  // wraps beyond 16 digits, as 64-bit arithmetic does
    weight *= 16;
  }
  return static_cast<std::int64_t>(value);
}

std::string HexToBytes(const std::string& text) {
  if (text.empty()) return std::string(1, '\0');
  std::string out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2)
    out += static_cast<char>(HexToInt64(text.substr(i, 2)) & 0xFF);
  return out;
}

std::string BytesToHex(const std::string& bytes, bool spaced, bool prefixed) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = prefixed ? "0x" : "";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out += kHex[U(bytes[i]) >> 4];
    out += kHex[U(bytes[i]) & 15];
    if (spaced) {
      out += ' ';
      if ((i + 1) % 8 == 0) out += ' ';
    }
  }
  return out;
}

// ======================================================================
// dates

namespace {

// Days from 1970-01-01 for a proleptic Gregorian date (H. Hinnant's method).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

constexpr std::int64_t kEpochOffset = 25569;  // 1970-01-01 as a day count from 1899-12-30
constexpr std::int64_t kMsPerDay = 86400000;

}  // namespace

double NowDateTime() {
  os::LocalTime t = os::GetLocalTime();
  return EncodeDateTime(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
}

double EncodeDateTime(int y, int m, int d, int h, int n, int s, int ms) {
  double days = static_cast<double>(
      DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d)) + kEpochOffset);
  double frac = (((h * 60.0 + n) * 60.0 + s) * 1000.0 + ms) / static_cast<double>(kMsPerDay);
  return days + frac;
}

void DecodeDateTime(double dt, int& y, int& m, int& d, int& h, int& n, int& s) {
  if (!std::isfinite(dt) || std::fabs(dt) > 1e8) dt = 0;  // out of any calendar's reach
  double whole = std::floor(dt);
  std::int64_t days = static_cast<std::int64_t>(whole);
  std::int64_t ms = std::llround((dt - whole) * static_cast<double>(kMsPerDay));
  if (ms >= kMsPerDay) {
    ++days;
    ms -= kMsPerDay;
  }
  CivilFromDays(days - kEpochOffset, y, m, d);
  std::int64_t secs = ms / 1000;
  h = static_cast<int>(secs / 3600);
  n = static_cast<int>(secs / 60 % 60);
  s = static_cast<int>(secs % 60);
}

std::string FormatDateTimeStamp(double dt) {
  int y, m, d, h, n, s;
  DecodeDateTime(ResolveNow(dt), y, m, d, h, n, s);
  const char ds = os::LocaleDateSeparator();
  return Two(d) + ds + Two(m) + ds + Two(y % 100) + " " + TimeText(h, n, s);
}

std::string DateText(double dt) {
  int y, m, d, h, n, s;
  DecodeDateTime(ResolveNow(dt), y, m, d, h, n, s);
  char year[16];
  std::snprintf(year, sizeof year, "%04d", y);
  return Two(d) + "-" + SUB::GetField("||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|", m) +
         "-" + year;
}

std::string DateTimeText(const std::string& sep, double dt) {
  double when = ResolveNow(dt);
  int y, m, d, h, n, s;
  DecodeDateTime(when, y, m, d, h, n, s);
  return DateText(when) + sep + TimeText(h, n, s);
}

// ======================================================================
// paths and the running program

std::string GetExePath() { return os::GetModulePath(); }

std::string GetExeDir(bool trailing) {
  return SetTrailingBackslash(ExtractFileDir(GetExePath()), trailing);
}

std::string GetWindowsDir(bool trailing) { return SetTrailingBackslash(os::GetWindowsDir(), trailing); }
std::string GetSystemDir(bool trailing) { return SetTrailingBackslash(os::GetSystemDir(), trailing); }
std::string GetTempDir(bool trailing) { return SetTrailingBackslash(os::GetTempPath(), trailing); }

std::string SetTrailingBackslash(const std::string& path, bool add) {
  std::string out = path;
  std::size_t n = out.size();
  if (n >= 3 && out[n - 1] == '\\' && !os::IsDBCSLeadByte(U(out[n - 2]))) out.pop_back();
  if (add) out += '\\';
  return out;
}

std::string RemoveTrailingBackslash(const std::string& path) {
  if (path == "\\") return std::string();
  std::string out = path;
  std::size_t n = out.size();
  if (n > 1 && out[n - 1] == '\\' && !os::IsDBCSLeadByte(U(out[n - 2]))) out.pop_back();
  return out;
}

std::string CollapseBackslashes(const std::string& path, bool removeTrailing) {
  if (path.size() <= 2) return path;
  const char first = path.front();
  const char last = path.back();
  // The first character is kept out of the work so that the leading pair of a
  // UNC name survives.
  std::string r = path.substr(1);
  // 1-based positions i and i+1 in r, from the length minus 2 down to 2: the
  // last two characters are never looked at, so a doubled backslash at the
  // very end stays.
  for (std::size_t i = r.size() >= 2 ? r.size() - 2 : 0; i >= 2; --i) {
    char before = r[i - 2];
    if (r[i - 1] == '\\' && r[i] == '\\' && !os::IsDBCSLeadByte(U(before)) &&
        !(first == last && before == first))
      r.erase(i - 1, 1);
  }
  if (r.size() >= 2 && r[0] == '\\' && r[1] == '\\') r.erase(0, 1);
  std::string out = first + r;
  return removeTrailing ? RemoveTrailingBackslash(out) : out;
}

std::string ExtractFileName(const std::string& path) {
  std::size_t i = path.size();
  while (i > 0 && !IsPathDelimiter(path[i - 1])) --i;
  return path.substr(i);
}

std::string ExtractFileDir(const std::string& path) {
  std::size_t i = path.size();
  while (i > 0 && path[i - 1] != '\\' && path[i - 1] != '/' && path[i - 1] != ':') --i;
  if (i == 0) return std::string();
  if (path[i - 1] == ':') return path.substr(0, i);  // "C:name": the drive itself
  return path.substr(0, i - 1);
}

std::string ExtractFileExt(const std::string& path) {
  std::string name = ExtractFileName(path);
  std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  std::string name = ExtractFileName(path);
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return path + ext;
  return path.substr(0, path.size() - name.size() + dot) + ext;
}

std::string ExtractBaseName(const std::string& path, bool allExtensions) {
  std::string name = ExtractFileName(path);
  std::size_t dot = name.rfind('.');
  while (dot != std::string::npos) {
    name.erase(dot);
    if (!allExtensions) break;
    dot = name.rfind('.');
  }
  return name;
}

// ======================================================================
// the command line

std::string GetCommandLineArgs() {
  std::string line = os::GetCommandLine();
  const std::string exePath = GetExePath();
  const std::string name = ExtractFileName(exePath);
  std::string rest = line;
  bool programPart = false;
  int at;
  if (!name.empty() && (at = PosNoCase(name + "\"", line)) > 0) {
    rest = line.substr(static_cast<std::size_t>(at) + name.size());
    programPart = true;
  } else if (!name.empty() && (at = PosNoCase(name, line)) > 0) {
    rest = line.substr(static_cast<std::size_t>(at) - 1 + name.size());
    programPart = true;
  } else if (!exePath.empty() && (at = PosNoCase(exePath, line)) > 0) {
    rest = line.substr(0, static_cast<std::size_t>(at) - 1) +
           line.substr(static_cast<std::size_t>(at) - 1 + exePath.size());
  }
  rest = Trim(rest);
  // A lone character left after the program name is the rest of its quoting.
  if (programPart && rest.size() == 1) rest.clear();
  return rest;
}

std::string BuildSwitchList(char switchChar, char separator) {
  std::string args = " " + GetCommandLineArgs();
  std::string s;
  for (char c : args)
    if (c != '"') s += c;
  s = ReplaceText(s, std::string(" ") + switchChar, std::string(1, separator));
  return separator + s + separator;
}

std::string GetSwitchValue(const std::string& sw, const std::string& def) {
  std::string name = Trim(sw);
  if (name.empty()) return def;
  const char switchChar = name[0] == '-' ? '-' : '/';
  std::string key;
  for (char c : name)
    if (c != switchChar) key += c;
  const char sep = '\x01';
  // The separator can never be part of a value, so it marks a missing key.
  const std::string missing(1, sep);
  std::string value = SUB::GetValue(BuildSwitchList(switchChar, sep), key, missing, "");
  return value == missing ? def : Trim(value);
}

std::int64_t GetSwitchInt(const std::string& sw, std::int64_t def) {
  return StrToInt64Def(GetSwitchValue(sw, ""), def);
}

bool HasSwitch(const std::string& sw) {
  std::string name = Trim(sw);
  if (name.empty()) return false;
  return PosNoCase(name + " ", GetCommandLineArgs() + " ") > 0;
}

// ======================================================================
// developer flag

bool IsDeveloperMode() {
  std::uint8_t& flag = utilsState().developerMode;
  if (flag == 255) {
    std::string v;
    flag = os::GetEnv("DVX", v) && v == "058" ? 1 : 0;
  }
  return flag == 1;
}

// ======================================================================
// INI files

std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& def) {
  std::string result = def;
  try {
    if (!section.empty() && !key.empty()) {
      std::string value;
      if (os::GetProfileString(file, section, key, def, 10241, value) >= 1) result = value;
    }
  } catch (...) {
    result = def;
    WriteDebugOutput("EXCEPTION --- Utils.ReadIniString()  " + LastErrorText());
  }
  return result;
}

std::int64_t ReadIniInt64(const std::string& file, const std::string& section,
                          const std::string& key, std::int64_t def) {
  return StrToInt64Def(ReadIniString(file, section, key, std::to_string(def)), def);
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  if (file.empty() || section.empty() || key.empty()) return false;
  return os::WriteProfileString(file, section, key, value);
}

bool WriteIniInt64(const std::string& file, const std::string& section, const std::string& key,
                   std::int64_t value) {
  return WriteIniString(file, section, key, std::to_string(value));
}

// ======================================================================
// registry

os::RootKey RootKeyFromName(const std::string& name) {
  struct Row { const char* full; const char* shortName; os::RootKey root; };
  static const Row kRows[] = {
      {"HKEY_CLASSES_ROOT", "HKCR", os::RootKey::ClassesRoot},
      {"HKEY_CURRENT_USER", "HKCU", os::RootKey::CurrentUser},
      {"HKEY_LOCAL_MACHINE", "HKLM", os::RootKey::LocalMachine},
      {"HKEY_USERS", "HKU", os::RootKey::Users},
      {"HKEY_CURRENT_CONFIG", "HKCC", os::RootKey::CurrentConfig},
      {"HKEY_DYN_DATA", "HKDD", os::RootKey::DynData},
  };
  std::string upper = UpperAscii(name);
  for (const Row& r : kRows)
    if (upper == r.full || upper == r.shortName) return r.root;
  return os::RootKey::CurrentUser;
}

void SplitRegistryPath(const std::string& path, os::RootKey& root, std::string& subKey) {
  std::string p = Trim(path);
  root = os::RootKey::CurrentUser;
  subKey = p;
  if (!StartsWith("HK", p, true)) return;
  std::size_t slash = p.find('\\');
  if (slash == std::string::npos) {
    root = RootKeyFromName(p);
    subKey.clear();
  } else {
    root = RootKeyFromName(p.substr(0, slash));
    subKey = p.substr(slash + 1);
  }
}

std::string ReadRegString(const std::string& keyPath, const std::string& valueName,
                          const std::string& def, bool view64) {
  os::RootKey root;
  std::string subKey;
  SplitRegistryPath(keyPath, root, subKey);
  std::uint32_t type = os::kRegNone;
  std::string data;
  if (os::QueryRegValue(root, subKey, valueName, view64, 10241, type, data) != os::RegStatus::Ok)
    return def;
  if (type == os::kRegDword) {
    // Little-endian; a value stored shorter than 4 bytes counts its missing
    // high bytes as zero rather than reading past its data.
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4 && i < data.size(); ++i)
      v |= static_cast<std::uint32_t>(U(data[i])) << (8 * i);
    return std::to_string(v);
  }
  if (type == os::kRegMultiSz && data.size() > 2) {
    while (!data.empty() && data.back() == '\0') data.pop_back();
    return ReplaceText(data, std::string(1, '\0'), "<0>");
  }
  return data.substr(0, data.find('\0'));
}

// ======================================================================
// system information

std::string GetLoggedOnUserName() { return Trim(os::GetUserName()); }
std::string GetMachineName() { return Trim(os::GetComputerName()); }

std::string GetUserDomainName() {
  std::string user = GetLoggedOnUserName();
  return user.empty() ? std::string() : os::GetUserDomain(user);
}

namespace {
std::string WindowsVersionKey(bool isWinNT) {
  const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  return isWinNT ? ReplaceText(key, "Windows", "Windows NT") : key;
}
}  // namespace

std::string GetRegisteredOwner(bool isWinNT, bool is64BitWindows) {
  return Trim(ReadRegString(WindowsVersionKey(isWinNT), "RegisteredOwner", GetLoggedOnUserName(),
                            is64BitWindows));
}

std::string GetRegisteredOrganization(bool isWinNT, bool is64BitWindows) {
  return Trim(ReadRegString(WindowsVersionKey(isWinNT), "RegisteredOrganization", "",
                            is64BitWindows));
}

std::string SystemErrorText(std::uint32_t code) {
  std::string text;
  if (os::SystemErrorText(code, text)) return text;
  return "Error Reading \"SysUtils.SysErrorMessage(GetLastError)\"";
}

std::string LastErrorText() { return SystemErrorText(os::LastError()); }

// ======================================================================
// the "Scrambled=01" scrambler

std::string ScrambleText(const std::string& text, bool scramble, bool hex) {
  static const std::string kMarker = "Scrambled=01";
  if (text.empty()) return text;
  std::string s = hex && !scramble ? HexToBytes(text) : text;
  int key = static_cast<int>(RandomRange(33, 122));
  const bool scrambled = StartsWith(kMarker, s, false);
  if (scrambled == scramble) return text;
  if (!scramble) {
    // The marker alone carries no key and no bytes: nothing to unscramble.
    if (s.size() <= kMarker.size()) return std::string();
    key = U(s[kMarker.size()]);
    s.erase(0, kMarker.size() + 1);
  }
  for (std::size_t i = 1; i <= s.size(); ++i) {
    s[i - 1] = static_cast<char>(U(s[i - 1]) ^ ((static_cast<std::int64_t>(i) + key) & 0xFF));
    key = -key;
  }
  if (scramble) {
    s = kMarker + static_cast<char>(key < 0 ? -key : key) + s;
    if (hex) s = BytesToHex(s, false, false);
  }
  return s;
}

}  // namespace kv
