// Self-delimiting field lists.
//
// Every operation rescans its input; lists are short. Reading never fails:
// a text that is not a well-formed list (fewer than 2 characters, last
// character not the first, or NUL as separator) holds no fields.
//
// Builders assemble with NUL as a temporary separator and then pick the first
// candidate separator that no field contains. Two kinds of input cannot be
// written as a list and are refused rather than turned into a list that reads
// back wrong: a text holding NUL (readers stop at NUL), and a set of fields
// that together hold all ten candidates. A refused build gives the empty list;
// a refused change (SetField, AddFields) leaves the list as it was.
#include "package/ksub.h"

#include <unordered_set>

#include "sys/utils.h"

namespace kv {
namespace {

constexpr char kNul = '\0';

bool IsWellFormed(const std::string& list) {
  return list.size() >= 2 && list.front() == list.back() && list.front() != kNul;
}

// The fields of a list in one pass. Each further occurrence of the separator
// closes a field; the scan ends at the first NUL, and a field without its
// closing separator does not exist.
std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> fields;
  if (!IsWellFormed(list)) return fields;
  const char sep = list.front();
  std::size_t open = 0;
  for (std::size_t i = 1; i < list.size(); ++i) {
    char c = list[i];
    if (c == kNul) break;
    if (c == sep) {
      fields.push_back(list.substr(open + 1, i - open - 1));
      open = i;
    }
  }
  return fields;
}

bool AnyContains(const std::vector<std::string>& texts, char c) {
  for (const std::string& t : texts)
    if (t.find(c) != std::string::npos) return true;
  return false;
}

// NUL + each field + NUL, the form NormalizeSeparator turns into a list.
std::string AssembleNul(const std::vector<std::string>& fields) {
  std::string out(1, kNul);
  for (const std::string& f : fields) {
    out += f;
    out += kNul;
  }
  return out;
}

std::string Join(const std::vector<std::string>& fields, char sep) {
  if (fields.empty()) return std::string();
  std::string out(1, sep);
  for (const std::string& f : fields) {
    out += f;
    out += sep;
  }
  return out;
}

// The whole list text trimmed, for the lookups that compare on the trimmed
// list. A list separated by a control character (code 1 and 2 lists) keeps
// its ends: trimming would take its separators away.
std::string TrimListText(const std::string& list) {
  if (IsWellFormed(list) && static_cast<unsigned char>(list.front()) < 32) return list;
  return Trim(list);
}

}  // namespace

const std::string& SUB::Candidates() {
  static const std::string kCandidates("|*~^!@#$&\xFF", 10);
  return kCandidates;
}

int SUB::CountFields(const std::string& list) { return static_cast<int>(Split(list).size()); }

std::string SUB::GetField(const std::string& list, int index, const std::string& def) {
  std::vector<std::string> fields = Split(list);
  if (index == -1) index = static_cast<int>(fields.size()) - 1;
  if (index < 0 || index >= static_cast<int>(fields.size())) return def;
  const std::string& f = fields[static_cast<std::size_t>(index)];
  return f.empty() ? def : f;
}

std::int64_t SUB::GetFieldInt(const std::string& list, int index, std::int64_t def) {
  std::int64_t v = 0;
  return TryStrToInt64(GetField(list, index, ""), v) ? v : def;
}

std::string SUB::GetValue(const std::string& list, const std::string& key,
                          const std::string& defMissing, const std::string& defEmpty) {
  if (list.size() < 3 || list.back() != list.front()) return defMissing;
  const std::string sep(1, list.front());
  std::string needle = sep + key;
  if (needle.back() != '=') needle += '=';

  std::string text = list;
  if (text.find(' ') != std::string::npos) {
    // One pass: a single blank after each separator goes; then every blank
    // standing before "=" goes, wherever it is.
    text = ReplaceText(text, sep + " ", sep);
    text = ReplaceRepeated(text, " =", "=", false);
  }
  std::size_t at = UpperAscii(text).find(UpperAscii(needle));
  if (at == std::string::npos) return defMissing;
  std::size_t from = at + needle.size();
  std::size_t to = text.find(sep[0], from);
  std::string value = text.substr(from, to == std::string::npos ? std::string::npos : to - from);
  return value.empty() ? defEmpty : value;
}

std::string SUB::NormalizeSeparator(const std::string& list) {
  if (list.empty()) return list;
  std::string text = list;
  if (text.find(kNul) == std::string::npos) {
    const char sep = text.front();
    for (char& c : text)
      if (c == sep) c = kNul;
  }
  const char from = text.front();
  bool picked = false;
  for (char cand : Candidates()) {
    if (text.find(cand) != std::string::npos) continue;
    for (char& c : text)
      if (c == from) c = cand;
    picked = true;
    break;
  }
  // No free candidate: the fields cannot be told apart in any separator, so
  // the list is given up rather than left with NUL separators.
  if (!picked) return std::string();
  if (text.size() == 1) return std::string();
  return text;
}

std::string SUB::SetField(const std::string& list, int index, const std::string& value) {
  if (index < 0 || value.find(kNul) != std::string::npos) return list;
  // A list with NUL as its separator could never be read; start afresh.
  std::string base = list.empty() || list.front() == kNul ? std::string("|") : list;
  const char sep = base.front();
  std::vector<std::string> fields = Split(base);
  if (static_cast<std::size_t>(index) >= fields.size())
    fields.resize(static_cast<std::size_t>(index) + 1);
  fields[static_cast<std::size_t>(index)] = value;
  if (value.find(sep) == std::string::npos) return Join(fields, sep);
  std::string out = NormalizeSeparator(AssembleNul(fields));
  return out.empty() ? list : out;
}

std::string SUB::DeleteField(const std::string& list, int index) {
  std::vector<std::string> fields = Split(list);
  if (index < 0 || index >= static_cast<int>(fields.size())) return list;
  fields.erase(fields.begin() + index);
  return Join(fields, list.front());
}

std::string SUB::BuildList(const std::vector<std::string>& texts, bool unique) {
  if (AnyContains(texts, kNul)) return std::string();
  std::string out = NormalizeSeparator(AssembleNul(texts));
  return unique ? UniqueFields(out) : out;
}

std::string SUB::AddFields(const std::string& list, const std::vector<std::string>& texts,
                           bool unique) {
  if (!IsWellFormed(list)) return BuildList(texts, unique);
  if (AnyContains(texts, kNul)) return list;
  const char sep = list.front();
  std::vector<std::string> fields = Split(list);
  fields.insert(fields.end(), texts.begin(), texts.end());
  std::string out;
  if (!AnyContains(texts, sep)) {
    out = Join(fields, sep);
  } else {
    out = NormalizeSeparator(AssembleNul(fields));
    if (out.empty() && !fields.empty()) return list;
  }
  return unique ? UniqueFields(out) : out;
}

std::string SUB::ReverseList(const std::string& list) {
  std::vector<std::string> fields = Split(list);
  return Join(std::vector<std::string>(fields.rbegin(), fields.rend()), list.empty() ? '|' : list.front());
}

std::string SUB::UniqueFields(const std::string& list) {
  std::vector<std::string> kept;
  std::unordered_set<std::string> seen;
  for (const std::string& f : Split(list)) {
    if (f.empty()) continue;
    if (seen.insert(UpperAscii(Trim(f))).second) kept.push_back(f);
  }
  return Join(kept, list.empty() ? '|' : list.front());
}

std::string SUB::TrimEmptyFields(const std::string& list, bool atEnd, bool atStart) {
  std::vector<std::string> fields = Split(list);
  std::size_t b = 0, e = fields.size();
  if (atEnd)
    while (e > b && fields[e - 1].empty()) --e;
  if (atStart)
    while (b < e && fields[b].empty()) ++b;
  return Join(std::vector<std::string>(fields.begin() + static_cast<std::ptrdiff_t>(b),
                                       fields.begin() + static_cast<std::ptrdiff_t>(e)),
              list.empty() ? '|' : list.front());
}

std::string SUB::ListKeys(const std::string& list) {
  std::vector<std::string> keys;
  for (const std::string& f : Split(list)) {
    std::size_t eq = f.find('=');
    keys.push_back(eq == std::string::npos ? std::string() : f.substr(0, eq));
  }
  return NormalizeSeparator(AssembleNul(keys));
}

std::string SUB::ListValues(const std::string& list) {
  std::vector<std::string> values;
  for (const std::string& f : Split(list)) {
    std::size_t eq = f.find('=');
    values.push_back(eq == std::string::npos ? std::string() : f.substr(eq + 1));
  }
  return NormalizeSeparator(AssembleNul(values));
}

void SUB::SplitKeysValues(const std::string& list, std::string& keys, std::string& values) {
  keys = ListKeys(list);
  values = ListValues(list);
}

std::string SUB::ZipLists(const std::string& keys, const std::string& values, bool trim) {
  std::vector<std::string> k = Split(trim ? TrimEmptyFields(keys, true, false) : keys);
  std::vector<std::string> v = Split(trim ? TrimEmptyFields(values, true, false) : values);
  std::size_t n = k.size() > v.size() ? k.size() : v.size();
  std::vector<std::string> pairs;
  pairs.reserve(n);
  for (std::size_t i = 0; i < n; ++i)
    pairs.push_back((i < k.size() ? k[i] : std::string()) + "=" +
                    (i < v.size() ? v[i] : std::string()));
  return NormalizeSeparator(AssembleNul(pairs));
}

int SUB::IndexOfField(const std::string& list, const std::string& item, bool prefix, int def) {
  std::vector<std::string> fields = Split(TrimListText(list));
  auto find = [&](const std::string& wanted) {
    std::string w = UpperAscii(wanted);
    for (std::size_t i = 0; i < fields.size(); ++i) {
      std::string f = UpperAscii(fields[i]);
      if (prefix ? f.compare(0, w.size(), w) == 0 : f == w) return static_cast<int>(i);
    }
    return -1;
  };
  int at = find(item);
  if (at < 0) {
    std::string trimmed = Trim(item);
    if (trimmed != item) at = find(trimmed);
  }
  return at < 0 ? def : at;
}

bool SUB::ContainsField(const std::string& list, const std::string& item, bool trim,
                        bool ignoreCase) {
  std::string wanted = trim ? Trim(item) : item;
  if (ignoreCase) wanted = UpperAscii(wanted);
  for (const std::string& f : Split(trim ? TrimListText(list) : list)) {
    if ((ignoreCase ? UpperAscii(f) : f) == wanted) return true;
  }
  return false;
}

std::vector<std::string> SUB::Fields(const std::string& list) { return Split(list); }

}  // namespace kv
