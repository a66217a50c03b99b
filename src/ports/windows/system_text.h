#pragma once

#include <windows.h>

#include <filesystem>
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

// "another program is using it (<the system's words>)" when a file that could not be opened is
// held by another program that shares it with no reader; else empty.
std::string fileInUseText(const std::filesystem::path& path);

}  // namespace korvane::ports
