#include "TerminalText.h"

#include <cstdio>

namespace pelmar {
namespace {

void Escape(std::string& out, unsigned value) {
  char code[8];
  std::snprintf(code, sizeof code, "\\x%02x", value & 0xFFu);
  out += code;
}

// The length of the valid UTF-8 sequence at `at` (1 to 4), or 0 when it is not one.
size_t Utf8Length(std::string_view text, size_t at, unsigned& codePoint) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(at);
  size_t length = lead < 0x80         ? 1
                  : (lead >> 5) == 6  ? 2
                  : (lead >> 4) == 14 ? 3
                  : (lead >> 3) == 30 ? 4
                                      : 0;
  if (length == 0 || at + length > text.size()) return 0;
  codePoint = length == 1 ? lead : lead & (0x7Fu >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    codePoint = (codePoint << 6) | (byte(at + i) & 0x3F);
  }
  // Overlong forms and surrogates are not UTF-8.
  static const unsigned kLeast[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (codePoint < kLeast[length] || codePoint > 0x10FFFF ||
      (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    return 0;
  }
  return length;
}

}  // namespace

std::string TerminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    unsigned codePoint = 0;
    const size_t length = Utf8Length(text, at, codePoint);
    if (length == 0) {
      Escape(out, static_cast<unsigned char>(text[at]));
      ++at;
      continue;
    }
    if (codePoint < 0x20 || codePoint == 0x7F || (codePoint >= 0x80 && codePoint <= 0x9F)) {
      for (size_t i = 0; i < length; ++i) Escape(out, static_cast<unsigned char>(text[at + i]));
    } else {
      out.append(text.substr(at, length));
    }
    at += length;
  }
  return out;
}

std::string LogLineText(std::string_view text) {
  // Server lines never hold line ends (they are split at them); the engine's notes may.
  const size_t start = text.find_first_not_of("\r\n");
  if (start == std::string_view::npos) return {};
  const size_t end = text.find_last_not_of("\r\n");
  return TerminalText(text.substr(start, end - start + 1));
}

}  // namespace pelmar
