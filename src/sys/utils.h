// Small operations on texts, numbers, dates, paths, the command line, INI
// files, the registry and system facts, shared by every subsystem.
// Texts are byte strings in the ANSI code page; positions count from 1 and 0
// means "not found". Ignoring case folds only ASCII letters; trimming removes
// every character with a code up to 32 from both ends.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "os/registry.h"

namespace kv {

// ---- text search and comparison
std::string UpperAscii(std::string s);
std::string Trim(const std::string& s);
int PosNoCase(const std::string& sub, const std::string& text);
int PosFrom(const std::string& sub, const std::string& text, int start, bool ignoreCase);
int LastPos(const std::string& sub, const std::string& text);
int LastPosFromEnd(const std::string& sub, const std::string& text);
bool StartsWith(const std::string& prefix, const std::string& text, bool ignoreCase);
bool EndsWith(const std::string& suffix, const std::string& text, bool ignoreCase);
bool SameTextTrim(const std::string& a, const std::string& b);
std::string TextBefore(const std::string& text, const std::string& sep, const std::string& def,
                       bool trim);
std::string TextAfter(const std::string& text, const std::string& sep, const std::string& def,
                      bool trim);

// ---- text transformation
std::string ReplaceText(const std::string& text, const std::string& oldText,
                        const std::string& newText);
std::string ReplaceTextNoCase(const std::string& text, const std::string& oldText,
                              const std::string& newText);
std::string ReplaceRepeated(const std::string& text, const std::string& oldText,
                            const std::string& newText, bool trim);
std::string ReplaceChar(const std::string& text, char a, char b);
std::string StripChar(const std::string& text, char ch, bool anyEnd, bool once);
std::string StripQuotes(const std::string& text, bool anyEnd);
std::string QuoteText(const std::string& text);
std::string WrapInDelimiter(const std::string& text, char ch, bool stripFirst);
std::string FilterChars(const std::string& text, const std::string& allowed,
                        const std::string& excluded);
std::string ReverseText(const std::string& text);
std::string PadLeft(const std::string& text, int width, char pad);
std::string ZeroPad(const std::string& text, int width);
const char* BoolToText(bool v);   // "TRUE" / "FALSE"
const char* BoolToDigit(bool v);  // "1" / "0"

// ---- numbers
std::int64_t Clamp64(std::int64_t v, std::int64_t lo, std::int64_t hi);
bool TryStrToInt64(const std::string& text, std::int64_t& out);  // decimal, trimmed
std::int64_t StrToInt64Def(const std::string& text, std::int64_t def);
double StrToFloatAny(const std::string& text, double def);
std::string FormatFloatFixed(double value, int decimals, bool stripZeros);
std::int64_t RandomRange(std::int64_t low, std::int64_t high);
std::string RandomRangeText(std::int64_t low, std::int64_t high);
std::int64_t HexToInt64(const std::string& text);
std::string HexToBytes(const std::string& text);
std::string BytesToHex(const std::string& bytes, bool spaced, bool prefixed);

// ---- dates. A date-time is a day count since 30 December 1899 with the time
// as the fraction (the descriptor files store it this way); -1 means now.
double NowDateTime();
double EncodeDateTime(int y, int m, int d, int h, int n, int s, int ms = 0);
void DecodeDateTime(double dt, int& y, int& m, int& d, int& h, int& n, int& s);
std::string FormatDateTimeStamp(double dt);  // "dd/mm/yy HH:NN:SS", locale separators
std::string DateText(double dt);             // "07-MAR-2024"
std::string DateTimeText(const std::string& sep, double dt);

// ---- paths and the running program
std::string GetExePath();
std::string GetExeDir(bool trailing);
std::string GetWindowsDir(bool trailing);
std::string GetSystemDir(bool trailing);
std::string GetTempDir(bool trailing);
std::string SetTrailingBackslash(const std::string& path, bool add);
std::string RemoveTrailingBackslash(const std::string& path);
std::string CollapseBackslashes(const std::string& path, bool removeTrailing);
std::string ExtractFileName(const std::string& path);   // part after the last \ / or :
std::string ExtractFileDir(const std::string& path);    // part before the last \ or /, without it
std::string ExtractFileExt(const std::string& path);    // from the last "." of the name, with it
std::string ChangeFileExt(const std::string& path, const std::string& ext);
std::string ExtractBaseName(const std::string& path, bool allExtensions);

// ---- the command line
std::string GetCommandLineArgs();
std::string BuildSwitchList(char switchChar, char separator);
std::string GetSwitchValue(const std::string& sw, const std::string& def);
std::int64_t GetSwitchInt(const std::string& sw, std::int64_t def);
bool HasSwitch(const std::string& sw);

// ---- developer flag ("DVX" = "058"), cached on first use
bool IsDeveloperMode();

// ---- INI files
std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& def);
std::int64_t ReadIniInt64(const std::string& file, const std::string& section,
                          const std::string& key, std::int64_t def);
bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
bool WriteIniInt64(const std::string& file, const std::string& section, const std::string& key,
                   std::int64_t value);

// ---- registry
os::RootKey RootKeyFromName(const std::string& name);
void SplitRegistryPath(const std::string& path, os::RootKey& root, std::string& subKey);
std::string ReadRegString(const std::string& keyPath, const std::string& valueName,
                          const std::string& def, bool view64);
extern const bool Use64BitRegistryView;

// ---- system information
std::string GetLoggedOnUserName();
std::string GetMachineName();
std::string GetUserDomainName();
std::string GetRegisteredOwner(bool isWinNT, bool is64BitWindows);
std::string GetRegisteredOrganization(bool isWinNT, bool is64BitWindows);
std::string LastErrorText();
std::string SystemErrorText(std::uint32_t code);

// ---- the "Scrambled=01" scrambler
std::string ScrambleText(const std::string& text, bool scramble, bool hex);

// Process-wide cached values, resettable by tests.
struct UtilsState {
  std::uint8_t developerMode = 255;  // 255 = not yet read
};
UtilsState& utilsState();

}  // namespace kv
