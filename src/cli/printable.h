#pragma once

#include <string>
#include <string_view>

namespace korvane::cli {

// The text with every control character written as an escape (\x1b, \u009b, \n ...) and every
// byte that is not part of valid UTF-8 as \xNN, so that a file name cannot move the cursor,
// change colours or retitle the terminal, and its real bytes can be told. Valid UTF-8 passes
// unchanged.
std::string printable(std::string_view text);

// printable() of each line of a text of several lines, the line breaks kept.
std::string printableLines(std::string_view text);

// The text as valid UTF-8 for a JSON string: each byte that is not part of valid UTF-8 becomes
// the four characters \xNN; everything else, control characters included, passes unchanged.
std::string utf8Escaped(std::string_view text);

// Whether the text is valid UTF-8.
bool validUtf8(std::string_view text);

}  // namespace korvane::cli
