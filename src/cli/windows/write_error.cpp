#include <windows.h>

#include <cerrno>

#include "cli/write_error.h"

namespace korvane::cli {

int writeErrorOf(int error) {
    // The pipe is being closed, is gone, or (as Wine says it) no longer connected.
    const DWORD system = GetLastError();
    return system == ERROR_NO_DATA || system == ERROR_BROKEN_PIPE ||
                   system == ERROR_PIPE_NOT_CONNECTED
               ? EPIPE
               : error;
}

}  // namespace korvane::cli
