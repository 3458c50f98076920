#pragma once
// ftp://[user[:password]@]host[:port]/path, as typed on a command line; ftps:// is FTP over
// TLS from the first byte (port 990 unless given), ftpes:// explicit TLS (AUTH TLS) required,
// sftp:// the SSH file transfer protocol (port 22; no user: the SSH configuration's, else the
// local user's).

#include <optional>
#include <string>

#include "engine/Messages.h"

namespace pelmar {

struct TFtpUrl {
  std::string User = "anonymous";
  std::string Password;  // empty with an anonymous user: the caller supplies an e-mail address
  std::string Host;
  int Port = 21;
  // Relative to the login folder, as in RFC 1738: "ftp://h/dir/f" names "dir/f", and
  // "ftp://h/%2Fetc" the absolute "/etc". Empty for the login folder itself.
  std::string Path;
  TEncryption Encryption = enPlain;
  TProtocol Protocol = prFtp;
  std::string KeyFile;  // sftp: --identity
  bool PortGiven = false;
  bool UserGiven = false;      // the address names a user ("u@h")
  bool PasswordGiven = false;  // the address holds a password, perhaps empty ("u:@h")
};

// Splits an ftp:// URL; nullopt with `error` set when it is not one (the address quoted in it
// without its password).
std::optional<TFtpUrl> ParseFtpUrl(const std::string& text, std::string& error);

}  // namespace pelmar
