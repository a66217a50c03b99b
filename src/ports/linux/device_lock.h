#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::ports {

// Where lock files live and how their owners are looked up. The defaults are the live system;
// tests point the folders at a scratch tree and the process table at a map.
struct LockEnvironment {
    std::vector<std::filesystem::path> folders = {"/run/lock", "/var/lock"};
    std::function<bool(pid_t)> alive;             // whether a process still runs
    std::function<std::string(pid_t)> commandOf;  // its command name, empty if unknown
    static LockEnvironment live();
};

// The pid in a lock file in any of the usual formats: ASCII (ten right-aligned characters and a
// newline, or a bare number, optionally followed by more lines as some libraries write), or a
// 4-byte binary pid. Nothing when the content is none of them.
std::optional<pid_t> parseLockPid(std::string_view content);

// "LCK..ttyS0" for /dev/ttyS0, "LCK..pts_3" for /dev/pts/3: the name every program that
// locks serial devices uses for the device's canonical path.
std::string lockFileName(const std::filesystem::path& canonicalDevice);

// A UUCP-style lock on a serial device, held in the first writable lock folder for as long as
// the object lives. A lock of a live process in any folder means the device is busy; a lock of
// a dead process is removed, and where it cannot be removed it is ignored.
class DeviceLock {
  public:
    // Throws download::PortError naming the holder (busy) or the folder (not writable).
    // `label` is how messages name the device.
    DeviceLock(const std::filesystem::path& canonicalDevice, const std::string& label,
               const LockEnvironment& environment = LockEnvironment::live());
    ~DeviceLock();
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    // The lock file we wrote; empty when no folder exists to hold one.
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace korvane::ports
