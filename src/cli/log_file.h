#pragma once

#include <cstdio>
#include <string>

namespace korvane::cli {

// Opens the log for appending without ever blocking: only a regular file (or a new one) is
// taken; a FIFO, a device or a socket is refused before anything is opened, so that a log
// nobody reads can never hold up a download. Throws std::runtime_error naming the file and
// what it is.
std::FILE* openLogFile(const std::string& path);

}  // namespace korvane::cli
