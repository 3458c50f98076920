#pragma once
// Text from a server as a terminal may show it: control characters (C0, DEL and the C1 range,
// which terminals take as the start of escape sequences) and bytes that are not UTF-8 become
// visible escapes ("\x1b"), as ls does with names it cannot print. Names written to the disk
// are never passed through here: they are the files' names.

#include <string>
#include <string_view>

namespace pelmar {

std::string TerminalText(std::string_view text);

// A line of the FTP dialogue for the terminal: without the blank lines the engine may set its
// own notes off with, and the rest as TerminalText. (The engine never logs a password: it
// writes "PASS xxxxx" and "***" where the reply to PASS repeats it.)
std::string LogLineText(std::string_view text);

}  // namespace pelmar
