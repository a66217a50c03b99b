#include "ports/linux/device_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>

#include "download/port_error.h"

namespace korvane::ports {
namespace {

namespace fs = std::filesystem;
using download::PortError;

std::string readSmallFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text(256, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

bool isLockText(std::string_view content) {
    for (const char c : content) {
        if (!std::isprint(static_cast<unsigned char>(c)) &&
            !std::isspace(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

// Writes our pid in the classic format to a private file and links it to the lock's name, so
// nobody ever reads a half-written lock. False with errno set when the link fails.
bool createLock(const fs::path& lock) {
    const fs::path temporary = lock.parent_path() / (".korvane." + std::to_string(::getpid()) +
                                                     "." + lock.filename().string());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
    const bool written = ::write(fd, text, static_cast<std::size_t>(length)) == length;
    ::close(fd);
    const int linked = written ? ::link(temporary.c_str(), lock.c_str()) : -1;
    const int error = written ? errno : EIO;
    ::unlink(temporary.c_str());
    errno = error;
    return linked == 0;
}

PortError busy(const std::string& label, pid_t pid, const fs::path& lock,
               const LockEnvironment& environment) {
    const std::string command = environment.commandOf ? environment.commandOf(pid) : "";
    const std::string holder =
        "process " + std::to_string(pid) + (command.empty() ? std::string() : " (" + command + ")");
    return PortError("The serial port " + label + " is busy: another program holds it, " + holder +
                     " (lock file " + lock.string() + "). Close that program and try again.");
}

}  // namespace

LockEnvironment LockEnvironment::live() {
    LockEnvironment environment;
    environment.alive = [](pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; };
    environment.commandOf = [](pid_t pid) {
        std::string name = readSmallFile("/proc/" + std::to_string(pid) + "/comm");
        while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) {
            name.pop_back();
        }
        return name;
    };
    return environment;
}

std::optional<pid_t> parseLockPid(std::string_view content) {
    if (content.size() == 4 && !isLockText(content)) {
        std::int32_t pid = 0;
        std::memcpy(&pid, content.data(), sizeof pid);
        return pid > 0 ? std::optional<pid_t>(pid) : std::nullopt;
    }
    std::size_t start = 0;
    while (start < content.size() && (content[start] == ' ' || content[start] == '\t')) {
        ++start;
    }
    long pid = 0;
    const char* first = content.data() + start;
    const char* last = content.data() + content.size();
    const auto [end, error] = std::from_chars(first, last, pid);
    if (error != std::errc{} || pid <= 0 || pid > INT32_MAX ||
        (end != last && !std::isspace(static_cast<unsigned char>(*end)))) {
        return std::nullopt;
    }
    return static_cast<pid_t>(pid);
}

std::string lockFileName(const fs::path& canonicalDevice) {
    const fs::path relative = canonicalDevice.lexically_relative("/dev");
    std::string name = relative.empty() || relative.native().starts_with("..")
                           ? canonicalDevice.filename().string()
                           : relative.string();
    for (char& c : name) {
        c = c == '/' ? '_' : c;
    }
    return "LCK.." + name;
}

DeviceLock::DeviceLock(const fs::path& canonicalDevice, const std::string& label,
                       const LockEnvironment& environment) {
    const std::string name = lockFileName(canonicalDevice);
    // /var/lock is usually a link to /run/lock: look at each real folder once.
    std::vector<fs::path> folders;
    std::set<fs::path> seen;
    for (const fs::path& folder : environment.folders) {
        std::error_code ec;
        const fs::path real = fs::canonical(folder, ec);
        if (!ec && fs::is_directory(real, ec) && seen.insert(real).second) {
            folders.push_back(real);
        }
    }

    for (const fs::path& folder : folders) {
        const fs::path lock = folder / name;
        const std::string content = readSmallFile(lock);
        if (content.empty() && !fs::exists(lock)) {
            continue;
        }
        const auto pid = parseLockPid(content);
        if (pid && environment.alive && environment.alive(*pid)) {
            throw busy(label, *pid, lock, environment);
        }
        // The owner is gone. Another user's file in the sticky folder cannot be removed; it
        // does not stop us, since its owner holds nothing any more.
        ::unlink(lock.c_str());
    }

    int firstError = 0;
    for (const fs::path& folder : folders) {
        const fs::path lock = folder / name;
        if (createLock(lock)) {
            path_ = lock;
            return;
        }
        if (errno == EEXIST) {
            // A dead owner's file we could not remove, or a race we lost.
            const auto pid = parseLockPid(readSmallFile(lock));
            if (pid && environment.alive && environment.alive(*pid)) {
                throw busy(label, *pid, lock, environment);
            }
            return;
        }
        firstError = firstError != 0 ? firstError : errno;
    }
    if (folders.empty()) {
        return;  // no lock folder on this system: the descriptor's own locks must do
    }
    throw PortError("Cannot lock the serial port " + label + ": the lock folder " +
                    folders.front().string() + " does not let you create files (" +
                    std::strerror(firstError) +
                    "). Ask the administrator to make it writable for everyone, as it normally "
                    "is (sudo chmod 1777 " +
                    folders.front().string() + "), and try again.");
}

DeviceLock::~DeviceLock() {
    if (!path_.empty()) {
        ::unlink(path_.c_str());
    }
}

}  // namespace korvane::ports
