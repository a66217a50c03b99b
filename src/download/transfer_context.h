#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "download/clock.h"
#include "download/host.h"
#include "download/outcome.h"
#include "download/progress.h"
#include "download/user_choices.h"

namespace korvane::download {

// What both transfers are handed by the download sequence. The image has been walked whole
// before a transfer starts, so the transfer never meets a broken record rule.
struct TransferContext {
    Host& host;
    const UserChoices& choices;
    Clock& clock;
    std::span<const std::uint8_t> image;
    Progress& progress;
};

// Shows the closing message of a transfer and returns it with the way the transfer ended.
inline DownloadResult announce(Host& host, Outcome outcome, std::string message) {
    host.showMessage(outcome, message);
    return {outcome, std::move(message)};
}

}  // namespace korvane::download
