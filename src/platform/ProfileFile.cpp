#include "platform/ProfileFile.h"
#include "platform/AsciiText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace pelmar {
namespace {

constexpr size_t npos = static_cast<size_t>(-1);

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Trim(const std::string& text) {
  size_t start = 0;
  size_t end = text.size();
  while (start < end && IsSpace(text[start])) ++start;
  while (end > start && IsSpace(text[end - 1])) --end;
  return text.substr(start, end - start);
}

// The section name of a "[name]" line, or nullopt.
std::optional<std::string> SectionOf(const std::string& line) {
  const std::string trimmed = Trim(line);
  if (trimmed.size() < 2 || trimmed.front() != '[') return std::nullopt;
  const size_t close = trimmed.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(trimmed.substr(1, close - 1));
}

// The key of a "key=value" line (trimmed), or nullopt for other lines.
std::optional<std::string> KeyOf(const std::string& line) {
  const std::string trimmed = Trim(line);
  if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '[') return std::nullopt;
  const size_t equals = line.find('=');
  if (equals == std::string::npos) return std::nullopt;
  return Trim(line.substr(0, equals));
}

std::string RawValueOf(const std::string& line) {
  const size_t equals = line.find('=');
  return equals == std::string::npos ? std::string() : line.substr(equals + 1);
}

}  // namespace

TProfileFile::TProfileFile(std::string path) : FilePath(std::move(path)) {}

bool TProfileFile::Load() {
  Lines.clear();
  LastError.clear();
  struct stat info {};
  if (::stat(FilePath.c_str(), &info) != 0 && errno == ENOENT) return true;
  std::ifstream in(FilePath, std::ios::binary);
  if (!in || S_ISDIR(info.st_mode)) {
    LastError = "Unable to read " + FilePath;
    return false;
  }
  std::ostringstream content;
  content << in.rdbuf();
  const std::string text = content.str();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Lines.push_back(std::move(line));
    start = end + 1;
  }
  return true;
}

bool TProfileFile::Save() {
  LastError.clear();
  std::string text;
  for (const auto& line : Lines) text += line + "\n";
  const std::string temporary = FilePath + ".tmp-" + std::to_string(::getpid());
  // Owner only: the preferences hold the firewall's password and the site file the sites'.
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  auto fail = [&](int err) {
    LastError = "Unable to write " + FilePath + ": " + std::strerror(err);
    ::unlink(temporary.c_str());
    return false;
  };
  if (fd < 0) return fail(errno);
  size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      return fail(err);
    }
    written += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) return fail(errno);
  if (::rename(temporary.c_str(), FilePath.c_str()) != 0) return fail(errno);
  return true;
}

size_t TProfileFile::FindSection(const std::string& section) const {
  for (size_t i = 0; i < Lines.size(); ++i) {
    if (const auto name = SectionOf(Lines[i]); name && EqualsIgnoringCase(*name, section)) return i;
  }
  return npos;
}

size_t TProfileFile::SectionEnd(size_t header) const {
  size_t i = header + 1;
  while (i < Lines.size() && !SectionOf(Lines[i])) ++i;
  return i;
}

size_t TProfileFile::FindKey(const std::string& section, const std::string& key) const {
  const size_t header = FindSection(section);
  if (header == npos) return npos;
  const size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    if (const auto name = KeyOf(Lines[i]); name && EqualsIgnoringCase(*name, key)) return i;
  }
  return npos;
}

std::optional<std::string> TProfileFile::ReadRaw(const std::string& section,
                                                 const std::string& key) const {
  const size_t at = FindKey(section, key);
  if (at == npos) return std::nullopt;
  return RawValueOf(Lines[at]);
}

std::string TProfileFile::ReadString(const std::string& section, const std::string& key,
                                     const std::string& fallback) const {
  const auto raw = ReadRaw(section, key);
  return raw ? AsRead(*raw) : fallback;
}

std::string TProfileFile::AsRead(const std::string& raw) {
  std::string value = Trim(raw);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  if (value.size() > kMaxReadLength) value.resize(kMaxReadLength);
  return value;
}

int64_t TProfileFile::ReadInteger(const std::string& section, const std::string& key,
                                  int64_t fallback) const {
  const std::string text = ReadString(section, key, "");
  if (text.empty()) return fallback;
  size_t at = 0;
  bool negative = false;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    at = 1;
  }
  int base = 10;
  if (text.size() > at + 2 && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    base = 16;
    at += 2;
  }
  if (at >= text.size()) return fallback;
  int64_t value = 0;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0 || value > (INT64_MAX - digit) / base) return fallback;
    value = value * base + digit;
  }
  return negative ? -value : value;
}

bool TProfileFile::ReadBool(const std::string& section, const std::string& key,
                            bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

void TProfileFile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) {
  const std::string line = key + "=" + value;
  if (const size_t at = FindKey(section, key); at != npos) {
    Lines[at] = line;
    return;
  }
  size_t header = FindSection(section);
  if (header == npos) {
    if (!Lines.empty() && !Trim(Lines.back()).empty()) Lines.emplace_back();
    Lines.push_back("[" + section + "]");
    Lines.push_back(line);
    return;
  }
  // After the section's last key (blank lines before the next section stay before it).
  size_t end = SectionEnd(header);
  while (end > header + 1 && Trim(Lines[end - 1]).empty()) --end;
  Lines.insert(Lines.begin() + static_cast<std::ptrdiff_t>(end), line);
}

void TProfileFile::WriteInteger(const std::string& section, const std::string& key, int64_t value) {
  WriteString(section, key, std::to_string(value));
}

void TProfileFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

bool TProfileFile::SectionExists(const std::string& section) const {
  return FindSection(section) != npos;
}

bool TProfileFile::KeyExists(const std::string& section, const std::string& key) const {
  return FindKey(section, key) != npos;
}

std::vector<std::string> TProfileFile::KeyNames(const std::string& section) const {
  std::vector<std::string> names;
  const size_t header = FindSection(section);
  if (header == npos) return names;
  const size_t end = SectionEnd(header);
  for (size_t i = header + 1; i < end; ++i) {
    if (auto name = KeyOf(Lines[i])) names.push_back(std::move(*name));
  }
  return names;
}

std::vector<std::string> TProfileFile::SectionNames() const {
  std::vector<std::string> names;
  for (const auto& line : Lines) {
    if (auto name = SectionOf(line)) names.push_back(std::move(*name));
  }
  return names;
}

void TProfileFile::EraseSection(const std::string& section) {
  size_t header = FindSection(section);
  while (header != npos) {
    Lines.erase(Lines.begin() + static_cast<std::ptrdiff_t>(header),
                Lines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(header)));
    header = FindSection(section);
  }
}

void TProfileFile::DeleteKey(const std::string& section, const std::string& key) {
  if (const size_t at = FindKey(section, key); at != npos) {
    Lines.erase(Lines.begin() + static_cast<std::ptrdiff_t>(at));
  }
}

bool TProfileFile::SurvivesReading(const std::string& value) {
  if (value.find_first_of(std::string("\0\r\n", 3)) != std::string::npos) return false;
  if (value.size() > kMaxReadLength) return false;
  if (!value.empty()) {
    const char first = value.front();
    const char last = value.back();
    if (IsSpace(first) || IsSpace(last)) return false;
    if (first == '"' || first == '\'' || last == '"' || last == '\'') return false;
  }
  return true;
}

}  // namespace pelmar
