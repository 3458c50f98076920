#include "text/TextUtils.h"

#include "platform/AsciiText.h"
#include "text/UrlText.h"

#include <filesystem>

#include "engine/NumberFormat.h"

namespace pelmar {
namespace {

// Classic wildcard matching with backtracking to the last "*".
bool MatchOne(std::string_view name, std::string_view mask) {
  size_t n = 0;
  size_t m = 0;
  size_t starMask = std::string_view::npos;
  size_t starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || mask[m] == name[n])) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

}  // namespace

bool MatchesMask(std::string_view name, const std::vector<std::string>& masks) {
  if (masks.empty()) return true;
  for (const auto& mask : masks) {
    if (mask == "*.*") return true;
  }
  std::string subject(name);
  if (subject.find('.') == std::string::npos) subject += '.';
  for (char& c : subject) c = AsciiLower(c);
  for (const auto& mask : masks) {
    if (!mask.empty() && MatchOne(subject, mask)) return true;
  }
  return false;
}

std::string ThousandsText(std::string_view digits) {
  const TNumberFormat format = EngineNumberFormat();
  std::string out;
  const size_t n = digits.size();
  for (size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out += format.ThousandSeparator;
    out += digits[i];
  }
  return out;
}

void EnsureTrailingSeparator(std::string& path, char separator) {
  if (!path.empty() && path.back() != separator) path += separator;
}

bool ParentFolder(std::string& path) {
  if (path.size() <= 1) return false;
  const char separator = path.back();
  if (separator == '\\' && path.size() < 4) return false;
  const size_t previous = path.find_last_of(separator, path.size() - 2);
  if (previous == std::string::npos) return false;
  path.erase(previous + 1);
  return true;
}

std::string LinkName(std::string_view text) {
  const size_t arrow = text.find(" -> ");
  return std::string(arrow == std::string_view::npos ? text : text.substr(0, arrow));
}

std::string LinkTarget(std::string_view text) {
  const size_t arrow = text.find(" -> ");
  return arrow == std::string_view::npos ? std::string() : std::string(text.substr(arrow + 4));
}

std::string ProgramOfCommand(std::string_view command) {
  const size_t start = command.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  command.remove_prefix(start);
  if (command.front() == '"') {
    const size_t close = command.find('"', 1);
    return std::string(command.substr(1, close == std::string_view::npos ? close : close - 1));
  }
  return std::string(command.substr(0, command.find_first_of(" \t")));
}

std::string FirstLine(std::string& text) {
  const size_t cr = text.find('\r');
  if (cr == std::string::npos) {
    std::string line;
    line.swap(text);
    return line;
  }
  std::string line = text.substr(0, cr);
  size_t cut = cr + 1;
  if (cut < text.size() && text[cut] == '\n') ++cut;
  text.erase(0, cut);
  return line;
}

std::optional<size_t> FirstCharPos(std::string_view text, char c) {
  const size_t at = text.find(c);
  return at == std::string_view::npos ? std::nullopt : std::optional<size_t>(at);
}

std::optional<size_t> LastCharPos(std::string_view text, char c) {
  const size_t at = text.rfind(c);
  return at == std::string_view::npos ? std::nullopt : std::optional<size_t>(at);
}

const char* UrlScheme(TProtocol protocol, TEncryption encryption) {
  if (protocol == prSftp) return "sftp";
  switch (encryption) {
    case enImplicitTls:
      return "ftps";
    case enExplicitTls:
    case enExplicitIfOffered:
      return "ftpes";
    default:
      return "ftp";
  }
}

int UsualPort(TProtocol protocol, TEncryption encryption) {
  if (protocol == prSftp) return 22;
  return encryption == enImplicitTls ? 990 : 21;
}

TSplitUrl SplitUrl(std::string_view url, const std::string& defaultPassword) {
  TSplitUrl parts;
  std::string_view rest = url;
  if (const size_t scheme = rest.find("://"); scheme != std::string_view::npos) {
    const std::string_view name = rest.substr(0, scheme);
    if (EqualsIgnoringCase(name, "ftps")) {
      parts.Encryption = enImplicitTls;
      parts.Port = 990;
    } else if (EqualsIgnoringCase(name, "ftpes")) {
      parts.Encryption = enExplicitTls;
    } else if (EqualsIgnoringCase(name, "sftp")) {
      parts.Protocol = prSftp;
      parts.Port = 22;
    }
    rest.remove_prefix(scheme + 3);
  }
  // Credentials end at the last "@" before the path; the password may hold "@" itself.
  const size_t pathStart = std::min(rest.find('/'), rest.size());
  const size_t at = rest.substr(0, pathStart).rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view credentials = rest.substr(0, at);
    const size_t colon = credentials.find(':');
    parts.User = PercentDecoded(credentials.substr(0, colon));
    if (colon != std::string_view::npos)
      parts.Password = PercentDecoded(credentials.substr(colon + 1));
    rest.remove_prefix(at + 1);
  } else if (parts.Protocol == prFtp) {
    parts.User = "anonymous";
    parts.Password = defaultPassword;
  }
  const size_t slash = rest.find('/');
  if (slash == std::string_view::npos || slash == 0) {
    parts.Host = std::string(slash == 0 ? std::string_view() : rest);
    rest = slash == 0 ? rest : std::string_view();
  } else {
    parts.Host = std::string(rest.substr(0, slash));
    rest.remove_prefix(slash);
  }
  // "host:2121" is that host and that port.
  if (const size_t colon = parts.Host.rfind(':'); colon != std::string::npos) {
    const std::string digits = parts.Host.substr(colon + 1);
    const bool number = !digits.empty() && digits.size() <= 5 &&
                        digits.find_first_not_of("0123456789") == std::string::npos;
    if (number && std::stoi(digits) >= 1 && std::stoi(digits) <= 65535) {
      parts.Port = std::stoi(digits);
      parts.Host.resize(colon);
    }
  }
  // "[::1]" is an IPv6 address; the brackets only keep its colons apart from the port.
  if (parts.Host.size() > 2 && parts.Host.front() == '[' && parts.Host.back() == ']') {
    parts.Host = parts.Host.substr(1, parts.Host.size() - 2);
  }
  // The path is cut into folder and name once decoded: "%2Fetc" is the folder "/" and "etc".
  if (!rest.empty()) rest.remove_prefix(1);
  const std::string path = ServerPathOfUrl(rest).value_or(PercentDecoded(rest));
  const size_t last = path.rfind('/');
  parts.ServerFolder = last == std::string::npos ? std::string() : path.substr(0, last + 1);
  parts.FileName = last == std::string::npos ? path : path.substr(last + 1);
  parts.Folder = "/" + parts.ServerFolder;
  return parts;
}

std::string Scramble(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    c = static_cast<char>(~static_cast<unsigned char>(c) ^ kScrambleKey);
  }
  return out;
}

const std::string& TemporaryFolder() {
  static const std::string folder = [] {
    std::error_code error;
    std::string path = std::filesystem::temp_directory_path(error).string();
    if (error || path.empty()) path = "/tmp";
    EnsureTrailingSeparator(path, '/');
    return path;
  }();
  return folder;
}

}  // namespace pelmar
