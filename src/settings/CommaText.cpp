#include "settings/CommaText.h"

namespace pelmar {
namespace {

bool NeedsQuotes(const std::string& line) {
  for (const char c : line) {
    if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == ',') return true;
  }
  return false;
}

}  // namespace

std::string ToCommaText(const std::vector<std::string>& lines) {
  if (lines.size() == 1 && lines[0].empty()) return "\"\"";
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += ',';
    const std::string& line = lines[i];
    if (!NeedsQuotes(line)) {
      text += line;
      continue;
    }
    text += '"';
    for (const char c : line) {
      if (c == '"') text += '"';
      text += c;
    }
    text += '"';
  }
  return text;
}

std::vector<std::string> FromCommaText(const std::string& text) {
  std::vector<std::string> lines;
  if (text.empty()) return lines;
  size_t i = 0;
  for (;;) {
    std::string line;
    if (i < text.size() && text[i] == '"') {
      ++i;
      while (i < text.size()) {
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            line += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        line += text[i++];
      }
      // Anything between a closing quote and the next comma belongs to the same line.
      while (i < text.size() && text[i] != ',') line += text[i++];
    } else {
      while (i < text.size() && text[i] != ',') line += text[i++];
    }
    lines.push_back(std::move(line));
    if (i >= text.size()) break;
    ++i;  // the comma
  }
  return lines;
}

}  // namespace pelmar
