#include "engine/ReplyParsing.h"
#include "platform/AsciiText.h"
#include "platform/Numbers.h"

#include <algorithm>
#include <cctype>

namespace pelmar {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

void TReplyFramer::Append(std::string_view bytes) {
  if (Start > 0 && Start == Buffer.size()) {
    Buffer.clear();
    Start = 0;
  }
  Buffer.append(bytes);
}

TReplyFramer::TResult TReplyFramer::NextLine(std::string& line) {
  if (SkipLeadingLF && Start < Buffer.size()) {
    if (Buffer[Start] == '\n') ++Start;
    SkipLeadingLF = false;
  }
  const size_t end = Buffer.find_first_of("\r\n", Start);
  if (end == std::string::npos) {
    if (Pending() > kMaxReplyLine) return TResult::TooLong;
    // Keep the buffer from growing by its consumed front.
    if (Start > 0) {
      Buffer.erase(0, Start);
      Start = 0;
    }
    return TResult::NeedMore;
  }
  if (end - Start > kMaxReplyLine) return TResult::TooLong;
  line.assign(Buffer, Start, end - Start);
  Start = end + 1;
  if (Buffer[end] == '\r') {
    if (Start < Buffer.size()) {
      if (Buffer[Start] == '\n') ++Start;
    } else {
      SkipLeadingLF = true;
    }
  }
  return TResult::Line;
}

void TReplyFramer::Clear() {
  Buffer.clear();
  Start = 0;
  SkipLeadingLF = false;
}

int TReplyClassifier::Feed(std::string_view line) {
  if (line.size() < 3 || !IsDigit(line[0]) || !IsDigit(line[1]) || !IsDigit(line[2])) return 0;
  const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
  if (code < 100 || code > 599) return 0;
  // A bare "ddd" line is taken as "ddd " (some servers omit the blank when there is no text).
  const char separator = line.size() > 3 ? line[3] : ' ';
  if (OpenCode == 0) {
    if (separator == ' ') return code;
    if (separator == '-') OpenCode = code;
    return 0;
  }
  if (code == OpenCode && separator == ' ') {
    OpenCode = 0;
    return code;
  }
  return 0;
}

std::string WithoutEchoedSecret(std::string_view line, std::string_view secret) {
  const size_t textStart = std::min<size_t>(4, line.size());
  std::string out(line.substr(0, textStart));
  const auto wordChar = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  };
  size_t at = textStart;
  while (!secret.empty() && at < line.size()) {
    const size_t found = line.find(secret, at);
    if (found == std::string_view::npos) break;
    const size_t end = found + secret.size();
    const bool whole = (found == textStart || !wordChar(line[found - 1])) &&
                       (end == line.size() || !wordChar(line[end]));
    out.append(line.substr(at, found - at));
    out += whole ? std::string_view("***") : line.substr(found, secret.size());
    at = end;
  }
  if (at < line.size()) out.append(line.substr(at));
  return out;
}

std::string ParseFolderReply(std::string_view line) {
  const size_t open = line.find('"');
  if (open == std::string_view::npos) return {};
  std::string path;
  for (size_t i = open + 1; i < line.size(); ++i) {
    if (line[i] != '"') {
      path += line[i];
    } else if (i + 1 < line.size() && line[i + 1] == '"') {
      path += '"';
      ++i;
    } else {
      break;
    }
  }
  return path;
}

std::optional<int64_t> ParseSizeReply(std::string_view line) {
  if (line.size() < 5 || line.substr(0, 4) != "213 ") return std::nullopt;
  std::string_view digits = line.substr(4);
  while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\r'))
    digits.remove_suffix(1);
  return ReadNumber(digits);
}

std::optional<int64_t> ParseSizeReport(std::string_view line, std::string_view localFileName) {
  const std::string text = AsciiLower(Trim(line));
  const size_t slash = localFileName.find_last_of('/');
  const std::string name =
      AsciiLower(slash == std::string_view::npos ? localFileName : localFileName.substr(slash + 1));
  const size_t at = text.find(name + " (");
  if (at == std::string::npos) return std::nullopt;
  std::string_view rest = std::string_view(text).substr(at + name.size() + 2);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  size_t digits = 0;
  const auto size = ReadNumberAt(rest, digits);
  if (!size || digits == rest.size()) return std::nullopt;
  rest = Trim(rest.substr(digits));
  if (rest.substr(0, 5) != "bytes") return std::nullopt;
  return size;
}

int64_t ParseAnnouncedSize(std::string_view line) {
  const size_t close = line.rfind(" bytes)");
  if (close == std::string_view::npos) return -1;
  const size_t open = line.rfind('(', close);
  if (open == std::string_view::npos) return -1;
  return ReadNumber(line.substr(open + 1, close - open - 1)).value_or(-1);
}

int FinalReplyCode(std::string_view line) {
  if (line.size() < 4 || line[3] != ' ' || line[0] < '1' || line[0] > '5') return 0;
  if (!std::isdigit(static_cast<unsigned char>(line[1])) ||
      !std::isdigit(static_cast<unsigned char>(line[2]))) {
    return 0;
  }
  return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

std::optional<uint16_t> ParseEpsvReply(std::string_view line) {
  const size_t open = line.find('(');
  if (open == std::string_view::npos || open + 1 >= line.size()) return std::nullopt;
  const char delimiter = line[open + 1];
  if (delimiter < 33 || delimiter > 126 || (delimiter >= '0' && delimiter <= '9')) {
    return std::nullopt;
  }
  // "(" d d d port d ")": the port is the fourth field.
  size_t at = open + 1;
  for (int field = 0; field < 3; ++field) {
    if (at >= line.size() || line[at] != delimiter) return std::nullopt;
    ++at;
  }
  const auto port = ReadNumberAt(line, at, 65535);
  if (!port || *port < 1 || at >= line.size() || line[at] != delimiter) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(*port);
}

std::optional<TPassiveAddress> ParsePasvReply(std::string_view line) {
  // Skip the reply code, then take the first run of six comma-separated numbers.
  size_t at = line.size() > 4 ? 4 : line.size();
  while (at < line.size()) {
    if (!IsDigit(line[at])) {
      ++at;
      continue;
    }
    uint32_t numbers[6] = {};
    size_t pos = at;
    int count = 0;
    for (; count < 6; ++count) {
      const auto value = ReadNumberAt(line, pos, 255);
      if (!value) break;
      numbers[count] = static_cast<uint32_t>(*value);
      if (count < 5) {
        if (pos >= line.size() || line[pos] != ',') break;
        ++pos;
      }
    }
    if (count == 6) {
      TPassiveAddress result;
      result.Address = numbers[0] << 24 | numbers[1] << 16 | numbers[2] << 8 | numbers[3];
      result.Port = static_cast<uint16_t>(numbers[4] * 256 + numbers[5]);
      if (result.Port == 0) return std::nullopt;
      return result;
    }
    // Not six numbers here: go on after this run of digits.
    while (at < line.size() && IsDigit(line[at])) ++at;
  }
  return std::nullopt;
}

bool HasUntargetedLinks(const std::string& mlsd) {
  for (size_t at = 0; at < mlsd.size();) {
    size_t end = mlsd.find('\n', at);
    if (end == std::string::npos) end = mlsd.size();
    const std::string_view line(mlsd.data() + at, end - at);
    at = end + 1;
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos) continue;
    const std::string facts = AsciiLower(std::string(line.substr(0, blank)));
    const size_t type = facts.find("type=os.unix=");
    if (type == std::string::npos) continue;
    const size_t colon = facts.find(':', type);
    const size_t semicolon = facts.find(';', type);
    if (colon == std::string::npos || colon + 1 >= semicolon) return true;
  }
  return false;
}

std::string WithListedLinks(const std::string& mlsd, const std::string& list) {
  std::string merged;
  merged.reserve(mlsd.size());
  const auto eachLine = [](const std::string& text, const auto& take) {
    for (size_t at = 0; at < text.size();) {
      size_t end = text.find('\n', at);
      end = end == std::string::npos ? text.size() : end + 1;
      take(std::string_view(text.data() + at, end - at));
      at = end;
    }
  };
  eachLine(mlsd, [&](std::string_view line) {
    const size_t blank = line.find(' ');
    const std::string facts = AsciiLower(std::string(line.substr(0, blank)));
    if (facts.find("type=os.unix=") == std::string::npos) merged += line;
  });
  eachLine(list, [&](std::string_view line) {
    if (!line.empty() && line[0] == 'l') merged += line;
  });
  return merged;
}

std::string WantedMlstFacts(const std::string& offered) {
  static const char* const kRead[] = {"type", "size", "modify", "perm", "unique", "unix.mode"};
  std::string wanted;
  bool missing = false;
  for (size_t at = 0; at < offered.size();) {
    size_t end = offered.find(';', at);
    if (end == std::string::npos) end = offered.size();
    std::string fact = offered.substr(at, end - at);
    at = end + 1;
    const bool sent = !fact.empty() && fact.back() == '*';
    if (sent) fact.pop_back();
    const std::string key = AsciiLower(fact);
    if (std::none_of(std::begin(kRead), std::end(kRead),
                     [&](const char* read) { return key == read; })) {
      continue;
    }
    wanted += fact + ";";
    missing |= !sent;
  }
  return missing ? wanted : std::string();
}

}  // namespace pelmar
