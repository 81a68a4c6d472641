// Host private-profile files, following the Win32 rules the callers rely on:
// names match without regard to ASCII case and surrounding blanks, values
// lose their surrounding blanks and one pair of enclosing quotes, an empty
// value is returned as empty (the caller decides about defaults), a missing
// key yields the default, and the result is cut to the buffer.
#include "os/ini.h"

#include <fstream>
#include <iterator>
#include <vector>

#include "os/file.h"
#include "os/host/host_state.h"

namespace os {
namespace {

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

std::vector<std::string> ReadLines(const std::string& file) {
  std::vector<std::string> lines;
  std::ifstream in(host::MapPath(file), std::ios::binary);
  if (!in) return lines;
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

bool IsSection(const std::string& line, std::string& name) {
  std::string t = Trim(line);
  if (t.empty() || t[0] != '[') return false;
  std::size_t close = t.find(']');
  name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
  return true;
}

bool IsKey(const std::string& line, std::string& key, std::string& value) {
  std::string t = Trim(line);
  if (t.empty() || t[0] == ';') return false;
  std::size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(t.substr(0, eq));
  value = Trim(t.substr(eq + 1));
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  return true;
}

}  // namespace

std::size_t GetProfileString(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& def,
                             std::size_t bufferSize, std::string& out) {
  out.clear();
  if (bufferSize == 0) return 0;
  std::string wantSection = host::Upper(Trim(section));
  std::string wantKey = host::Upper(Trim(key));
  bool inSection = false;
  bool found = false;
  std::string value;
  for (const std::string& line : ReadLines(file)) {
    std::string name, k, v;
    if (IsSection(line, name)) {
      inSection = host::Upper(name) == wantSection;
      continue;
    }
    if (inSection && IsKey(line, k, v) && host::Upper(k) == wantKey) {
      found = true;
      value = v;
      break;
    }
  }
  if (!found) {
    value = def;
    while (!value.empty() && value.back() == ' ') value.pop_back();
  }
  if (value.size() > bufferSize - 1) value.resize(bufferSize - 1);
  out = value;
  return out.size();
}

bool WriteProfileString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value) {
  std::vector<std::string> lines = ReadLines(file);
  std::string wantSection = host::Upper(Trim(section));
  std::string wantKey = host::Upper(Trim(key));
  std::string entry = Trim(key) + "=" + value;
  int sectionLine = -1, lastInSection = -1;
  bool done = false;
  for (std::size_t i = 0; i < lines.size() && !done; ++i) {
    std::string name, k, v;
    if (IsSection(lines[i], name)) {
      if (sectionLine >= 0) break;  // left our section without finding the key
      if (host::Upper(name) == wantSection) sectionLine = lastInSection = static_cast<int>(i);
      continue;
    }
    if (sectionLine < 0) continue;
    if (!Trim(lines[i]).empty()) lastInSection = static_cast<int>(i);
    if (IsKey(lines[i], k, v) && host::Upper(k) == wantKey) {
      lines[i] = entry;
      done = true;
    }
  }
  if (!done) {
    if (sectionLine >= 0) {
      lines.insert(lines.begin() + lastInSection + 1, entry);
    } else {
      if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
      lines.push_back("[" + Trim(section) + "]");
      lines.push_back(entry);
    }
  }
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  File f;
  if (!f.open(file, OpenMode::Create)) return false;
  return f.write(text.data(), text.size()) == text.size();
}

}  // namespace os
