#pragma once

#include <string>
#include <string_view>

namespace korvane::cli {

// The text with every control character written as an escape (\x1b, \u009b, \n ...), so that a
// file name cannot move the cursor, change colours or retitle the terminal. Other bytes,
// UTF-8 included, pass unchanged.
std::string printable(std::string_view text);

}  // namespace korvane::cli
