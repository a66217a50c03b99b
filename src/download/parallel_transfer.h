#pragma once

#include <chrono>
#include <cstdint>

#include "download/port_io.h"
#include "download/transfer_context.h"

namespace korvane::download {

// A busy printer has this long to take each byte; a fault it reports while busy has this long
// to clear before the byte is given up.
inline constexpr std::chrono::seconds kByteTimeout{10};
inline constexpr std::chrono::seconds kFaultClearTimeout{3};

// The registers of one PC parallel port.
struct ParallelPortAddresses {
    std::uint16_t data;
    std::uint16_t status;
    std::uint16_t control;

    // Entry 0 of the port list is LPT1; any other entry, even none (-1), is LPT2.
    static ParallelPortAddresses forListIndex(int portIndex);
};

// Sends the image byte by byte through the registers of the parallel port chosen in the port
// list, pacing on the printer's Busy line, and shows the closing message.
DownloadResult runParallelTransfer(ParallelPorts& ports, const TransferContext& context);

}  // namespace korvane::download
