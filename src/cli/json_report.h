#pragma once

#include <QJsonObject>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace korvane::cli {

// The strings of the reports: JSON as UTF-8; a byte that is not UTF-8 becomes U+FFFD, so a
// reader of the JSON always gets text.
QJsonValue jsonText(const std::string& text);

// "tool", "version" and "command": the start of every object.
QJsonObject reportHeader(const char* command);

// The image: path, size, SHA-256 and each transfer's walk (records, bytes sent, where it stops,
// its verdict and error). size and sha256 are null, and error says why, when it cannot be read.
QJsonObject imageJson(const std::filesystem::path& path,
                      const std::optional<std::span<const std::uint8_t>>& bytes,
                      const std::string& loadError);

// One compact line.
std::string jsonLine(const QJsonObject& object);

}  // namespace korvane::cli
