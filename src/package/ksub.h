// Self-delimiting field lists: the first character of a list is its
// separator and the list ends with it; fields lie between separators.
// "|alpha|beta|" holds two fields. Used for settings, language blocks,
// button captions and switch tables. All operations are stateless and never
// fail: a malformed list reads as an empty one.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

class SUB {
 public:
  SUB() = delete;

  // Candidate separators in order of preference (the last is code 255).
  static const std::string& Candidates();

  static int CountFields(const std::string& list);
  // index -1 = last field. The default when the field is missing or empty.
  static std::string GetField(const std::string& list, int index, const std::string& def = "");
  static std::int64_t GetFieldInt(const std::string& list, int index, std::int64_t def);
  static std::string GetValue(const std::string& list, const std::string& key,
                              const std::string& defMissing = "", const std::string& defEmpty = "");
  static std::string NormalizeSeparator(const std::string& list);
  static std::string SetField(const std::string& list, int index, const std::string& value);

  static std::string DeleteField(const std::string& list, int index);
  static std::string BuildList(const std::vector<std::string>& texts, bool unique = false);
  static std::string AddFields(const std::string& list, const std::vector<std::string>& texts,
                               bool unique = false);
  static std::string ReverseList(const std::string& list);
  static std::string UniqueFields(const std::string& list);
  static std::string TrimEmptyFields(const std::string& list, bool atEnd, bool atStart);
  static std::string ListKeys(const std::string& list);
  static std::string ListValues(const std::string& list);
  static void SplitKeysValues(const std::string& list, std::string& keys, std::string& values);
  static std::string ZipLists(const std::string& keys, const std::string& values, bool trim);
  static int IndexOfField(const std::string& list, const std::string& item, bool prefix, int def);
  static bool ContainsField(const std::string& list, const std::string& item, bool trim,
                            bool ignoreCase);

  // All fields in order (a convenience for callers that iterate).
  static std::vector<std::string> Fields(const std::string& list);
};

}  // namespace kv
