#pragma once
// A list of lines as one comma-separated text, the way site notes are stored: a line with a
// blank, a control character, a double quote or a comma is quoted (inner quotes doubled); a
// single empty line is written as two quotes; no lines give an empty text.

#include <string>
#include <vector>

namespace pelmar {

std::string ToCommaText(const std::vector<std::string>& lines);
std::vector<std::string> FromCommaText(const std::string& text);

}  // namespace pelmar
