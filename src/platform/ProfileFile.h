#pragma once
// Profile (INI) files with the semantics of the Windows profile functions: "[Section]" lines
// open sections, "Key=Value" lines hold values; section and key names are found without regard
// to case; values read back trimmed, with one pair of surrounding quotes removed and cut at
// 1023 characters. Lines the program does not touch (comments, unknown sections, key order)
// are kept as they were. Values are bytes and are stored as given.
//
// Changes are made in memory; Save() writes the whole file to a temporary file beside it and
// renames that over the old one, so the old file survives any failure.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelmar {

class TProfileFile {
 public:
  static constexpr size_t kMaxReadLength = 1023;

  explicit TProfileFile(std::string path);

  // Reads the file; a missing file is an empty profile. False (with Error()) when it exists
  // but cannot be read.
  bool Load();
  // Writes the file atomically. False (with Error() naming the file) on failure; the old file
  // is then untouched.
  bool Save();
  const std::string& Path() const { return FilePath; }
  const std::string& Error() const { return LastError; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback) const;
  // The value exactly as stored (no trimming, no quote removal, no length cut); nullopt when
  // the key is absent.
  std::optional<std::string> ReadRaw(const std::string& section, const std::string& key) const;
  // Decimal, or hexadecimal after "0x"/"0X"; `fallback` for anything else.
  int64_t ReadInteger(const std::string& section, const std::string& key, int64_t fallback) const;
  // True when the stored integer is not 0.
  bool ReadBool(const std::string& section, const std::string& key, bool fallback) const;

  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int64_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);

  bool SectionExists(const std::string& section) const;
  bool KeyExists(const std::string& section, const std::string& key) const;
  // The key names of a section in file order.
  std::vector<std::string> KeyNames(const std::string& section) const;
  std::vector<std::string> SectionNames() const;
  void EraseSection(const std::string& section);
  void DeleteKey(const std::string& section, const std::string& key);

  // A stored value as ReadString gives it: trimmed, one pair of surrounding quotes removed,
  // cut at 1023 characters.
  static std::string AsRead(const std::string& raw);
  // Whether a value can be written and read back unchanged by ReadString.
  static bool SurvivesReading(const std::string& value);

 private:
  // Index of the "[section]" line, or npos.
  size_t FindSection(const std::string& section) const;
  // One past the last line of the section that starts at `header`.
  size_t SectionEnd(size_t header) const;
  // Index of the key's line within the section, or npos.
  size_t FindKey(const std::string& section, const std::string& key) const;

  std::string FilePath;
  std::vector<std::string> Lines;  // without line ends
  std::string LastError;
};

}  // namespace pelmar
