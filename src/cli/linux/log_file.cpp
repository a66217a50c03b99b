#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "cli/log_file.h"
#include "cli/printable.h"

namespace korvane::cli {
namespace {

const char* kindOf(mode_t mode) {
    if (S_ISFIFO(mode)) {
        return "a named pipe";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    return "not a regular file";
}

std::runtime_error refused(const std::string& path, const std::string& why) {
    return std::runtime_error("cannot open the log file '" + printable(path) + "': " + why +
                              ". Give the path of a regular file.");
}

}  // namespace

std::FILE* openLogFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        throw refused(path, std::string("it is ") + kindOf(info.st_mode));
    }
    // O_NONBLOCK: should the path turn into a FIFO after the look above, open still returns.
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        throw refused(path, std::strerror(errno));
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw refused(path, std::string("it is ") + kindOf(info.st_mode));
    }
    std::FILE* file = ::fdopen(fd, "a");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        throw refused(path, std::strerror(error));
    }
    return file;
}

}  // namespace korvane::cli
