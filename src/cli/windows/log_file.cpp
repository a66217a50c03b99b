#include <windows.h>
// windows.h first: io.h and fcntl.h below need nothing of it, but the handle calls do.
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <stdexcept>

#include "cli/log_file.h"
#include "cli/printable.h"
#include "image/firmware_file.h"
#include "ports/windows/system_text.h"

namespace korvane::cli {
namespace {

std::runtime_error refused(const std::string& path, const std::string& why) {
    return std::runtime_error("cannot open the log file '" + printable(path) + "': " + why +
                              ". Give the path of a regular file.");
}

}  // namespace

std::FILE* openLogFile(const std::string& path) {
    // The device namespace holds ports and pipes, never a log: opening a COM port would
    // already move its lines.
    if (path.rfind("\\\\.\\", 0) == 0 || path.rfind("//./", 0) == 0) {
        throw refused(path, "it names a device or a pipe");
    }
    // NUL, CON, AUX, COM8 ... are devices in every folder, whatever their extension.
    if (image::isWindowsDeviceName(path)) {
        throw refused(path, "it is a device");
    }
    // The name came from the wide command line as UTF-8; the system takes it back as UTF-16.
    const std::wstring name = ports::wideFromUtf8(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw refused(path, "it is a folder");
    }
    // A pipe without a server fails at once here; nothing below can block.
    HANDLE handle = CreateFileW(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        throw refused(path, ports::systemErrorText(GetLastError()));
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        throw refused(path, "it is a pipe or a device");
    }
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_APPEND | _O_WRONLY);
    if (fd < 0) {
        CloseHandle(handle);
        throw refused(path, "the C library could not take its handle");
    }
    std::FILE* file = _fdopen(fd, "a");
    if (file == nullptr) {
        _close(fd);
        throw refused(path, "the C library could not open it");
    }
    return file;
}

}  // namespace korvane::cli
