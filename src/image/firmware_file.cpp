#include "image/firmware_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <new>
#include <system_error>

namespace korvane::image {
namespace {

const char* kindOf(std::filesystem::file_type type) {
    switch (type) {
        case std::filesystem::file_type::fifo:
            return "a named pipe (FIFO)";
        case std::filesystem::file_type::socket:
            return "a socket";
        case std::filesystem::file_type::character:
        case std::filesystem::file_type::block:
            return "a device";
        default:
            return "something other than a file";
    }
}

// Where paths are Windows paths, a device's reserved name opens the device.
constexpr bool kWindowsPaths = std::filesystem::path::preferred_separator == L'\\';

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

LoadResult failed(LoadFailure failure, std::string reason) {
    LoadResult result;
    result.failure = failure;
    result.reason = std::move(reason);
    return result;
}

}  // namespace

bool isWindowsDeviceName(std::string_view path) {
    if (path.starts_with("\\\\.\\") || path.starts_with("//./")) {
        return true;
    }
    std::string_view name = path.substr(path.find_last_of("\\/") + 1);
    if (name.size() > 2 && name[1] == ':') {
        name.remove_prefix(2);  // a drive's current folder: C:NUL
    }
    // What stands before the first dot, trailing spaces and a colon cut: "con .DPX", "COM8:".
    name = name.substr(0, name.find('.'));
    while (!name.empty() && (name.back() == ' ' || name.back() == ':')) {
        name.remove_suffix(1);
    }
    std::string base;
    for (const char c : name) {
        base += upper(c);
    }
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
        base == "CONOUT$") {
        return true;
    }
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
           base[3] >= '1' && base[3] <= '9';
}

LoadResult loadFirmwareFile(const std::filesystem::path& path,
                            OpenFailureAccount openFailureAccount) {
    // Opening a FIFO waits for a writer that may never come, and a device or socket is no
    // firmware: only a regular file is opened at all.
    if (kWindowsPaths && isWindowsDeviceName(utf8Of(path))) {
        return failed(LoadFailure::NotRegular, "it is a device, not a regular file");
    }
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::directory) {
        return failed(LoadFailure::IsDirectory, "it is a folder, not a file");
    }
    if (!ec && status.type() != std::filesystem::file_type::regular) {
        return failed(LoadFailure::NotRegular,
                      std::string("it is ") + kindOf(status.type()) + ", not a regular file");
    }
    // A stream opens the path by its native name (UTF-16 on Windows), and its offsets are 64
    // bits wide on every system, so a file past the limit is told as too large.
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        const int error = errno;
        if (const std::string account =
                openFailureAccount != nullptr ? openFailureAccount(path) : "";
            !account.empty()) {
            return failed(LoadFailure::InUse, account);
        }
        return failed(LoadFailure::CannotOpen, std::strerror(error));
    }
    // The size comes from the open stream, so a file replaced between the check and the
    // read cannot make us read a length that does not belong to it.
    const std::streamoff size = file.seekg(0, std::ios::end).tellg();
    if (!file || size < 0) {
        return failed(LoadFailure::ReadFailed, std::strerror(errno));
    }
    if (size > kMaxImageSize) {
        return failed(LoadFailure::TooLarge, std::to_string(size) +
                                                 " bytes, more than the 2 GiB - 1 bytes a firmware "
                                                 "image may have");
    }
    file.seekg(0, std::ios::beg);

    LoadResult result;
    try {
        result.bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return failed(LoadFailure::ReadFailed,
                      "not enough memory to hold its " + std::to_string(size) + " bytes");
    }
    file.read(reinterpret_cast<char*>(result.bytes.data()), size);
    const std::streamsize got = file.gcount();
    if (got != size) {
        const int err = errno;
        return failed(LoadFailure::ReadFailed, file.bad()
                                                   ? std::string(std::strerror(err))
                                                   : "the file became shorter while it was read (" +
                                                         std::to_string(got) + " of " +
                                                         std::to_string(size) + " bytes)");
    }
    return result;
}

std::string describeLoadFailure(const LoadResult& result, const std::filesystem::path& path) {
    const std::string name = utf8Of(path);
    switch (result.failure) {
        case LoadFailure::None:
            return {};
        case LoadFailure::CannotOpen:
            return "Cannot open the firmware file " + name + ": " + result.reason +
                   ". Check the name and that you may read it.";
        case LoadFailure::InUse:
            return "Cannot open the firmware file " + name + ": " + result.reason +
                   ". Close it there, then try again.";
        case LoadFailure::IsDirectory:
        case LoadFailure::NotRegular:
            return "Cannot load " + name + ": " + result.reason + ". Choose a .DPX file.";
        case LoadFailure::ReadFailed:
            return "Cannot read the firmware file " + name + ": " + result.reason + ".";
        case LoadFailure::TooLarge:
            return "The firmware file " + name + " is too large: " + result.reason + ".";
    }
    return {};
}

std::filesystem::path pathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace korvane::image
