#include "FtpUrl.h"

#include <charconv>

#include "Credentials.h"
#include "text/UrlText.h"

namespace pelmar {

std::optional<TFtpUrl> ParseFtpUrl(const std::string& text, std::string& error) {
  static constexpr struct {
    const char* Prefix;
    TEncryption Encryption;
    TProtocol Protocol;
    int Port;
  } kSchemes[] = {{"ftp://", enPlain, prFtp, 21},
                  {"ftpes://", enExplicitTls, prFtp, 21},
                  {"ftps://", enImplicitTls, prFtp, 990},
                  {"sftp://", enPlain, prSftp, 22}};
  TFtpUrl url;
  const std::string shown = UrlWithoutPassword(text);
  size_t schemeLength = 0;
  for (const auto& scheme : kSchemes) {
    const std::string prefix = scheme.Prefix;
    if (text.compare(0, prefix.size(), prefix) == 0) {
      schemeLength = prefix.size();
      url.Encryption = scheme.Encryption;
      url.Protocol = scheme.Protocol;
      url.Port = scheme.Port;
    }
  }
  if (schemeLength == 0) {
    error = "not an ftp://, ftpes://, ftps:// or sftp:// URL: " + shown;
    return std::nullopt;
  }
  std::string rest = text.substr(schemeLength);
  const size_t slash = rest.find('/');
  std::string authority = rest.substr(0, slash);
  std::string path = slash == std::string::npos ? "" : rest.substr(slash + 1);
  const size_t at = authority.rfind('@');
  if (at != std::string::npos) {
    const std::string userInfo = authority.substr(0, at);
    authority = authority.substr(at + 1);
    const size_t colon = userInfo.find(':');
    std::string user = userInfo.substr(0, colon);
    std::string password = colon == std::string::npos ? "" : userInfo.substr(colon + 1);
    if (!PercentDecode(user, url.User) || !PercentDecode(password, url.Password)) {
      error = "bad %-escape in the user or password of " + shown;
      return std::nullopt;
    }
    url.UserGiven = !url.User.empty();
    url.PasswordGiven = colon != std::string::npos;
    if (url.User.empty() && url.Protocol == prFtp) url.User = "anonymous";
  }
  // SSH has no anonymous log-on: without a user the SSH configuration's or the local one's.
  if (!url.UserGiven && url.Protocol == prSftp) url.User.clear();
  // "[2001:db8::1]:2121": the brackets keep an IPv6 address's colons apart from the port.
  size_t colon = authority.rfind(':');
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string::npos ||
        (close + 1 < authority.size() && authority[close + 1] != ':')) {
      error = "bad host in " + shown;
      return std::nullopt;
    }
    url.Host = authority.substr(1, close - 1);
    colon = close + 1 < authority.size() ? close + 1 : std::string::npos;
  } else {
    url.Host = authority.substr(0, colon);
  }
  if (colon != std::string::npos) {
    const std::string port = authority.substr(colon + 1);
    url.PortGiven = true;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), url.Port);
    if (port.empty() || ec != std::errc() || end != port.data() + port.size() || url.Port < 1 ||
        url.Port > 65535) {
      error = "bad port in " + shown;
      return std::nullopt;
    }
  }
  if (url.Host.empty()) {
    error = "no host in " + shown;
    return std::nullopt;
  }
  // Relative to the log-in folder, "%2F" for the root: the rule the desktop program follows.
  auto serverPath = ServerPathOfUrl(path);
  if (!serverPath) {
    error = "bad %-escape in the path of " + shown;
    return std::nullopt;
  }
  url.Path = std::move(*serverPath);
  return url;
}

}  // namespace pelmar
