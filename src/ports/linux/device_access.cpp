#include "ports/linux/device_access.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace korvane::ports {

namespace {

std::string groupName(gid_t gid) {
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(4096);
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return {};
    }
    return found->gr_name;
}

// The user's groups as the group database lists them now, not as this login took them.
bool userIsListedIn(gid_t gid) {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(4096);
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return false;
    }
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
            return false;
        }
    }
    groups.resize(static_cast<std::size_t>(count));
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

}  // namespace

DeviceAccess accessOf(const std::filesystem::path& device, const std::string& defaultGroup) {
    DeviceAccess access;
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) {
        access.problem = std::strerror(errno);
        return access;
    }
    if (::faccessat(AT_FDCWD, device.c_str(), R_OK | W_OK, AT_EACCESS) == 0) {
        access.allowed = true;
        return access;
    }
    const bool groupMayUse = (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (info.st_gid == 0 || !groupMayUse) {
        // A node of root's alone: the group udev gives such devices on Debian.
        access.group = defaultGroup;
        return access;
    }
    access.group = groupName(info.st_gid);
    if (access.group.empty()) {
        access.group = defaultGroup;
    }
    access.loginPredatesGroup = userIsListedIn(info.st_gid);
    return access;
}

std::string describeAccess(const DeviceAccess& access) {
    if (access.allowed) {
        return "yes";
    }
    if (!access.problem.empty()) {
        return "no: " + access.problem;
    }
    if (access.loginPredatesGroup) {
        return "no: you are in the " + access.group +
               " group, but this login began before you joined it; log out and in again";
    }
    if (access.group.empty()) {
        return "no: only root may open it";
    }
    return "no: join the " + access.group + " group (sudo usermod -aG " + access.group +
           " $USER), then log in again";
}

}  // namespace korvane::ports
