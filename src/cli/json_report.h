#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/port_download.h"

namespace korvane::cli {

// The image as the reports give it: path, size, SHA-256 and each transfer's walk. bytes is
// empty, and loadError says why, when the file cannot be read.
struct ImageFacts {
    std::filesystem::path path;
    std::optional<std::span<const std::uint8_t>> bytes;
    std::string loadError;
};

// What check found, beyond the image.
struct CheckFacts {
    std::optional<bool> sameBytes;  // none for an empty or unreadable file
    std::optional<bool> sameStop;
    std::string verdict;
    std::vector<std::string> reasons;
    int exitStatus = 0;
};

// One compact JSON line (no line break) for check, and one per port for send. Strings are
// UTF-8: a byte that is not part of valid UTF-8 becomes the four characters \xNN, and a name
// that holds one also comes as its bytes in hex (path_hex, port_hex).
std::string checkJsonLine(const ImageFacts& image, const CheckFacts& check);
std::string sendJsonLine(const ImageFacts& image, const PortResult& result, const std::string& baud,
                         const std::string& device);

}  // namespace korvane::cli
