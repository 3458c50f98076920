#pragma once
// Where pelmar-cli finds a password the address does not hold, in the order of the
// command-line FTP tools: a password file named on the command line, ~/.netrc, and a question
// on the terminal (without echo). A password never appears in what pelmar-cli prints.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "FtpUrl.h"
#include "text/UrlText.h"  // UrlWithoutPassword, HidePasswordInArgument

namespace pelmar {

// One "machine" (or the "default") entry of a .netrc file.
struct TNetrcEntry {
  std::string Machine;  // empty for "default"
  std::string Login;
  std::string Password;
};

// The entries of a .netrc text. Tokens are separated by blanks and line ends; a token may be
// quoted ("a b"); "macdef" bodies (up to an empty line) are skipped.
std::vector<TNetrcEntry> ParseNetrc(std::string_view text);

// The entry for `host`: the first "machine" entry for it whose login is `user` (any login
// when `user` is empty), else the "default" entry under the same rule.
std::optional<TNetrcEntry> FindNetrcEntry(const std::vector<TNetrcEntry>& entries,
                                          const std::string& host, const std::string& user);

// Reads ~/.netrc (the HOME variable's folder). Empty without one; `warning` is set when the
// file is there but ignored, because others than its owner may read it or it belongs to
// someone else.
std::string ReadNetrc(std::string& warning);

// The first line of `path` ("-": standard input), without its line end; nullopt with `error`
// set when it cannot be read.
std::optional<std::string> ReadPasswordFile(const std::string& path, std::string& error);

// Asks on the terminal of standard input, with echo off; nullopt when there is none or the
// person ended the input.
std::optional<std::string> AskPasswordOnTerminal(const std::string& prompt);

// Fills in url.Password (and url.User from .netrc when the address names none) from the
// sources above. `passwordFile` is empty when none was named. False with `error` set when a
// named password file cannot be read. Warnings (an ignored .netrc) go to `warnings`.
bool FindPassword(TFtpUrl& url, const std::string& passwordFile, std::string& error,
                  std::vector<std::string>& warnings);

}  // namespace pelmar
