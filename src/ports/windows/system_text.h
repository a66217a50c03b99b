#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace korvane::ports {

// UTF-16 from the system turned into UTF-8 for messages and the console.
std::string utf8FromWide(std::wstring_view text);
// And back, for names handed to the system.
std::wstring wideFromUtf8(std::string_view text);

// The system's own words for an error code, in UTF-8 without the trailing newline or full
// stop, followed by the code: "The device is not ready (error 21)".
std::string systemErrorText(DWORD error);

}  // namespace korvane::ports
