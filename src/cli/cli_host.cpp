#include "cli/cli_host.h"

#include "ports/stop_request.h"

namespace korvane::cli {

void CliHost::letPendingEventsRun() {
    if (stop_ != nullptr && stop_->requested()) {
        throw download::DownloadAbandoned();
    }
}

}  // namespace korvane::cli
