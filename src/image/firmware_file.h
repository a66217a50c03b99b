#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::image {

// A byte count is kept as a signed 32-bit number everywhere in the tool (positions, progress),
// so no image may be longer than that number can hold.
inline constexpr std::int64_t kMaxImageSize = std::numeric_limits<std::int32_t>::max();

enum class LoadFailure {
    None,
    CannotOpen,   // missing, no permission, or any other open() failure
    IsDirectory,  // the path names a folder
    NotRegular,   // a FIFO, a device or a socket: reading it could block or never end
    InUse,        // another program holds it open and shares it with no reader
    ReadFailed,   // opened but the bytes could not all be read
    TooLarge,     // more than kMaxImageSize bytes
};

struct LoadResult {
    std::vector<std::uint8_t> bytes;  // the whole file; empty for an empty file
    LoadFailure failure = LoadFailure::None;
    std::string reason;  // the system's words for the failure, e.g. "Permission denied"

    bool ok() const { return failure == LoadFailure::None; }
};

// Reads the whole file as raw bytes, with no decoding of any kind. Only a regular file is read,
// and opening it never blocks.
// The system's account of why an existing file could not be opened, where the standard library
// has only errno's words: "another program is using it (...)" for a file held without sharing,
// else empty. Only a caller that knows its system can give one.
using OpenFailureAccount = std::string (*)(const std::filesystem::path& path);

LoadResult loadFirmwareFile(const std::filesystem::path& path,
                            OpenFailureAccount openFailureAccount = nullptr);

// Whether Windows takes the path for a device wherever it stands: NUL, CON, AUX, PRN, COM1..9,
// LPT1..9 (any case, with any extension, trailing spaces or a colon), or a name in the device
// namespace (\\.\COM10). Opening one would read a console, or move a port's lines and wait.
bool isWindowsDeviceName(std::string_view path);

// One sentence for the user: what went wrong with which file and what they can do.
std::string describeLoadFailure(const LoadResult& result, const std::filesystem::path& path);

// File names travel as UTF-8 text; these turn them into paths and back on every system (the
// narrow conversion of std::filesystem uses the Windows code page, which cannot hold every name).
std::filesystem::path pathFromUtf8(std::string_view text);
std::string utf8Of(const std::filesystem::path& path);

}  // namespace korvane::image
