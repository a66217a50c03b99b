#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include <nlohmann/json.hpp>

namespace korvane::cli {

using Json = nlohmann::json;

// The strings of the reports: JSON as UTF-8; a byte that is not part of valid UTF-8 becomes the
// four characters \xNN, so a reader of the JSON always gets text.
Json jsonText(const std::string& text);

// A name's bytes as lowercase hex when they are not valid UTF-8 (so the real name can be told
// from its text), else null.
Json jsonHex(const std::string& name);

// A number of seconds: a whole number is written without a fraction.
Json jsonSeconds(double seconds);

// "tool", "version" and "command": the start of every object.
Json reportHeader(const char* command);

// The image: path, size, SHA-256 and each transfer's walk (records, bytes sent, where it stops,
// its verdict and error). size and sha256 are null, and error says why, when it cannot be read.
Json imageJson(const std::filesystem::path& path,
               const std::optional<std::span<const std::uint8_t>>& bytes,
               const std::string& loadError);

// One compact line.
std::string jsonLine(const Json& object);

}  // namespace korvane::cli
