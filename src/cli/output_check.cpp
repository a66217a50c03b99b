#include "cli/output_check.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/exit_status.h"
#include "cli/write_error.h"

namespace korvane::cli {

void OutputCheck::toStdout(std::string_view text, const std::string& what) {
    if (text.empty()) {
        return;
    }
    stdoutWhat_ = what;
    if (stdoutFailed_) {
        return;  // one failure of standard output is told once
    }
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
        // Read before anything else can touch the system's last error.
        const int error = writeErrorOf(errno);
        stdoutFailed_ = true;
        failed(what + " to standard output", error);
    }
}

void OutputCheck::closeStdout() {
    if (stdoutWhat_.empty() || stdoutFailed_) {
        return;
    }
    errno = 0;
    if (std::fclose(stdout) != 0) {
        const int error = writeErrorOf(errno);
        stdoutFailed_ = true;
        failed(stdoutWhat_ + " to standard output (at its close)", error);
    }
}

void OutputCheck::failed(const std::string& what, int error) {
    failures_.push_back({what, error});
}

int OutputCheck::settle(int status, bool flashed) const {
    bool lost = false;
    for (const auto& failure : failures_) {
        std::fprintf(stderr, "korvane-cli: could not write %s: %s\n", failure.what.c_str(),
                     failure.error != 0 ? std::strerror(failure.error) : "write error");
        lost = lost || failure.error != EPIPE;
    }
    if (!lost) {
        return status;
    }
    if (flashed) {
        std::fprintf(stderr,
                     "korvane-cli: the printer was flashed, but its record is missing: fix the "
                     "output, then record this printer by hand or flash it again.\n");
    }
    std::fflush(stderr);
    return status > 128 ? status : kExitRecordLost;
}

}  // namespace korvane::cli
