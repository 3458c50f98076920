#pragma once
// Small text and path helpers shared by the panes and dialogs.

#include <optional>
#include <string>

#include <string_view>
#include <vector>
#include "engine/Messages.h"

namespace pelmar {

// Wildcard match of a file name against lower-case masks ("*" any run, "?" one character).
// A name without "." is tested with one appended, so "*." picks names without an extension.
// An empty list, or one holding "*.*", matches everything; an empty mask matches nothing.
bool MatchesMask(std::string_view name, const std::vector<std::string>& masks);

// "1234567" -> "1,234,567" with the user's thousands separator (engine number format).
std::string ThousandsText(std::string_view digits);

// Appends `separator` unless `path` is empty or already ends with it.
void EnsureTrailingSeparator(std::string& path, char separator);

// "/pub/incoming/" -> "/pub/" and true; a root ("/", or "C:\") stays and gives false.
bool ParentFolder(std::string& path);

// "name -> target": the part before the first " -> " (all of it when there is none) and the
// part after it (empty when there is none).
std::string LinkName(std::string_view text);
std::string LinkTarget(std::string_view text);

// The program of a registered command line: up to its first blank, or the quoted part when it
// starts with a quote ("\"/opt/My Editor/edit\" %1" -> "/opt/My Editor/edit").
std::string ProgramOfCommand(std::string_view command);

// Takes the first line off `text` (up to its first CR; the CR and an LF after it go too).
std::string FirstLine(std::string& text);

// Positions are 0-based; nullopt when the character does not occur.
std::optional<size_t> FirstCharPos(std::string_view text, char c);
std::optional<size_t> LastCharPos(std::string_view text, char c);

struct TSplitUrl {
  std::string User;
  std::string Password;
  std::string Host;
  int Port = 21;
  // The folder the address opens on the server, by the rule of UrlText.h: "pub/" (in the
  // log-in folder), "/etc/" (absolute), "" (the log-in folder itself).
  std::string ServerFolder;
  // As the address's path reads: ServerFolder after the "/" that ends the host ("/pub/").
  std::string Folder;
  std::string FileName;
  TEncryption Encryption = enPlain;
  TProtocol Protocol = prFtp;
};

// Splits a typed address such as "ftp://user:pw@host:2121/pub/file.zip" into its parts;
// without a user the login is anonymous with `defaultPassword`. Credentials end at the last
// "@" before the path; a port after the host is split off (the usual one when none).
// "ftpes://" asks for explicit FTP over TLS, "ftps://" for implicit, "sftp://" for SFTP, which
// has no anonymous log-on: without a user it leaves user and password empty (the SSH
// configuration's user, or the local one). User, password and path are %-decoded (a malformed
// escape stays as typed).
TSplitUrl SplitUrl(std::string_view url, const std::string& defaultPassword);

// The reversible scrambling of stored passwords: each byte becomes (NOT b) XOR 0x3C.
inline constexpr unsigned char kScrambleKey = 0x3C;
std::string Scramble(std::string_view text);
inline std::string Unscramble(std::string_view text) {
  return Scramble(text);
}

// "ftp", "ftpes", "ftps" or "sftp": the address scheme of a way to connect.
const char* UrlScheme(TProtocol protocol, TEncryption encryption);
// The port a way to connect uses unless told otherwise: 22 for SFTP, 990 for implicit FTP over
// TLS, else 21.
int UsualPort(TProtocol protocol, TEncryption encryption);

// The system's temporary folder with a trailing "/", read once.
const std::string& TemporaryFolder();

}  // namespace pelmar
