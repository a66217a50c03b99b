#include "cli/cli_host.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include "ports/stop_request.h"

namespace korvane::cli {

int terminalColumns() {
    constexpr int kDefaultColumns = 80;
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return kDefaultColumns;
}

void CliHost::letPendingEventsRun() {
    if (stop_ != nullptr && stop_->requested()) {
        throw download::DownloadAbandoned();
    }
}

}  // namespace korvane::cli
