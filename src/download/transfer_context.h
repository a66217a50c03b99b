#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "download/clock.h"
#include "download/host.h"
#include "download/progress.h"

namespace korvane::download {

// What both transfers are handed by the download sequence. The image has been walked whole
// before a transfer starts, so the transfer never meets a broken record rule.
struct TransferContext {
    Host& host;
    Clock& clock;
    std::span<const std::uint8_t> image;
    Progress& progress;
};

enum class TransferEnd { Success, PrinterFailed, PortFailed };

// How a transfer ended, with the message it showed the user.
struct TransferResult {
    TransferEnd end;
    std::string message;
};

// Shows the closing message of a transfer and returns it with the way the transfer ended.
inline TransferResult announce(Host& host, TransferEnd end, std::string message) {
    host.showMessage(message);
    return {end, std::move(message)};
}

}  // namespace korvane::download
