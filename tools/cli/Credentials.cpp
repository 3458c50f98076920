#include "Credentials.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

namespace pelmar {
namespace {

std::vector<std::string> NetrcTokens(std::string_view text) {
  std::vector<std::string> tokens;
  size_t i = 0;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (i < text.size()) {
    while (i < text.size() && blank(text[i])) ++i;
    if (i >= text.size()) break;
    std::string token;
    if (text[i] == '"') {
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        token += text[i];
      }
      ++i;  // the closing quote
    } else {
      while (i < text.size() && !blank(text[i])) token += text[i++];
    }
    if (token == "macdef") {
      // A macro's body runs to the first empty line; it holds no credentials.
      const size_t end = text.find("\n\n", i);
      i = end == std::string_view::npos ? text.size() : end + 2;
      tokens.push_back(token);
      continue;
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

}  // namespace

std::vector<TNetrcEntry> ParseNetrc(std::string_view text) {
  std::vector<TNetrcEntry> entries;
  const std::vector<std::string> tokens = NetrcTokens(text);
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    const bool hasValue = i + 1 < tokens.size();
    if (token == "machine" && hasValue) {
      entries.push_back({tokens[++i], "", ""});
    } else if (token == "default") {
      entries.push_back({});
    } else if (token == "login" && hasValue && !entries.empty()) {
      entries.back().Login = tokens[++i];
    } else if (token == "password" && hasValue && !entries.empty()) {
      entries.back().Password = tokens[++i];
    } else if ((token == "account" || token == "port") && hasValue) {
      ++i;  // not used here
    }
  }
  return entries;
}

std::optional<TNetrcEntry> FindNetrcEntry(const std::vector<TNetrcEntry>& entries,
                                          const std::string& host, const std::string& user) {
  auto fits = [&](const TNetrcEntry& entry) {
    return user.empty() || entry.Login.empty() || entry.Login == user;
  };
  for (const TNetrcEntry& entry : entries) {
    if (!entry.Machine.empty() && entry.Machine == host && fits(entry)) return entry;
  }
  for (const TNetrcEntry& entry : entries) {
    if (entry.Machine.empty() && fits(entry)) return entry;
  }
  return std::nullopt;
}

std::string ReadNetrc(std::string& warning) {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') return {};
  const std::string path = std::string(home) + "/.netrc";
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return {};
  struct stat info {};
  std::string text;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    warning = path + " is not a plain file; ignored";
  } else if (info.st_uid != ::getuid()) {
    warning = path + " belongs to another user; ignored";
  } else if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    warning = path + " may be read by others than its owner (chmod 600 " + path + "); ignored";
  } else {
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return text;
}

std::optional<std::string> ReadPasswordFile(const std::string& path, std::string& error) {
  std::string line;
  if (path == "-") {
    if (!std::getline(std::cin, line) && line.empty()) {
      error = "no password on standard input";
      return std::nullopt;
    }
  } else {
    std::ifstream file(path);
    if (!file) {
      error = "cannot read the password file " + path + ": " + std::strerror(errno);
      return std::nullopt;
    }
    std::getline(file, line);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::optional<std::string> AskPasswordOnTerminal(const std::string& prompt) {
  if (!::isatty(STDIN_FILENO)) return std::nullopt;
  termios saved{};
  if (::tcgetattr(STDIN_FILENO, &saved) != 0) return std::nullopt;
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  quiet.c_lflag |= ECHONL;
  // Echo goes off before the prompt shows: what is typed after the prompt is never flushed.
  ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  std::fputs(prompt.c_str(), stderr);
  std::fflush(stderr);
  std::string line;
  char c = 0;
  bool ended = false;
  while (::read(STDIN_FILENO, &c, 1) == 1) {
    if (c == '\n') {
      ended = true;
      break;
    }
    line += c;
  }
  ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  if (!ended && line.empty()) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool FindPassword(TFtpUrl& url, const std::string& passwordFile, std::string& error,
                  std::vector<std::string>& warnings) {
  if (url.PasswordGiven) return true;
  if (!passwordFile.empty()) {
    auto password = ReadPasswordFile(passwordFile, error);
    if (!password) return false;
    url.Password = *password;
    return true;
  }
  std::string warning;
  const std::string netrc = ReadNetrc(warning);
  if (!warning.empty()) warnings.push_back(warning);
  if (auto entry = FindNetrcEntry(ParseNetrc(netrc), url.Host, url.UserGiven ? url.User : "")) {
    if (!url.UserGiven && !entry->Login.empty()) url.User = entry->Login;
    if (entry->Login.empty() || entry->Login == url.User) {
      url.Password = entry->Password;
      if (!entry->Password.empty()) return true;
    }
  }
  if (url.User == "anonymous") return true;  // the caller supplies an e-mail address
  // SSH keys come first; a password is asked for only when none is accepted (TCliSession).
  if (url.Protocol == prSftp) return true;
  if (auto asked = AskPasswordOnTerminal("Password for " + url.User + "@" + url.Host + ": ")) {
    url.Password = *asked;
  }
  return true;
}

}  // namespace pelmar
