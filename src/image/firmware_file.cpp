#include "image/firmware_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>

namespace korvane::image {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

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

LoadResult failed(LoadFailure failure, std::string reason) {
    LoadResult result;
    result.failure = failure;
    result.reason = std::move(reason);
    return result;
}

}  // namespace

LoadResult loadFirmwareFile(const std::filesystem::path& path) {
    // Opening a FIFO waits for a writer that may never come, and a device or socket is no
    // firmware: only a regular file is opened at all.
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (status.type() == std::filesystem::file_type::directory) {
        return failed(LoadFailure::IsDirectory, "it is a folder, not a file");
    }
    if (!ec && status.type() != std::filesystem::file_type::regular) {
        return failed(LoadFailure::NotRegular,
                      std::string("it is ") + kindOf(status.type()) + ", not a regular file");
    }
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return failed(LoadFailure::CannotOpen, std::strerror(errno));
    }
    // The size comes from the open handle, so a file replaced between the check and the
    // read cannot make us read a length that does not belong to it.
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        return failed(LoadFailure::ReadFailed, std::strerror(errno));
    }
    const long size = std::ftell(file.get());
    if (size < 0) {
        return failed(LoadFailure::ReadFailed, std::strerror(errno));
    }
    if (size > kMaxImageSize) {
        return failed(LoadFailure::TooLarge, std::to_string(size) +
                                                 " bytes, more than the 2 GiB - 1 bytes a firmware "
                                                 "image may have");
    }
    std::rewind(file.get());

    LoadResult result;
    try {
        result.bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return failed(LoadFailure::ReadFailed,
                      "not enough memory to hold its " + std::to_string(size) + " bytes");
    }
    const std::size_t got = std::fread(result.bytes.data(), 1, result.bytes.size(), file.get());
    if (got != result.bytes.size()) {
        const int err = errno;
        return failed(LoadFailure::ReadFailed, std::ferror(file.get()) != 0
                                                   ? std::string(std::strerror(err))
                                                   : "the file became shorter while it was read (" +
                                                         std::to_string(got) + " of " +
                                                         std::to_string(size) + " bytes)");
    }
    return result;
}

std::string describeLoadFailure(const LoadResult& result, const std::filesystem::path& path) {
    const std::string name = path.string();
    switch (result.failure) {
        case LoadFailure::None:
            return {};
        case LoadFailure::CannotOpen:
            return "Cannot open the firmware file " + name + ": " + result.reason +
                   ". Check the name and that you may read it.";
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

}  // namespace korvane::image
