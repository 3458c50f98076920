#include "settings/StoredPassword.h"

#include "platform/ProfileFile.h"
#include "text/TextUtils.h"

namespace pelmar {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The scrambled bytes of an escaped value, or nullopt when the value is not one.
std::optional<std::string> Unescape(const std::string& value) {
  if (value.size() < 3 || value.front() != '"' || value.back() != '"' || value[1] != '~') {
    return std::nullopt;
  }
  const std::string hex = value.substr(2, value.size() - 3);
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexValue(hex[i]);
    const int low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}

}  // namespace

std::string StoredPasswordValue(const std::string& password) {
  const std::string scrambled = Scramble(password);
  if (TProfileFile::SurvivesReading(scrambled)) return scrambled;
  std::string value = "\"~";
  for (const char c : scrambled) {
    const auto byte = static_cast<unsigned char>(c);
    value += kHex[byte >> 4];
    value += kHex[byte & 15];
  }
  return value + "\"";
}

std::string PasswordFromStored(const std::string& rawValue) {
  // An escaped value has no blanks around it; anything else reads as profile values do.
  size_t start = 0;
  size_t end = rawValue.size();
  while (start < end && (rawValue[start] == ' ' || rawValue[start] == '\t')) ++start;
  while (end > start && (rawValue[end - 1] == ' ' || rawValue[end - 1] == '\t')) --end;
  if (const auto bytes = Unescape(rawValue.substr(start, end - start))) return Unscramble(*bytes);
  return Unscramble(TProfileFile::AsRead(rawValue));
}

}  // namespace pelmar
