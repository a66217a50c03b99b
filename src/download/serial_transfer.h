#pragma once

#include <chrono>
#include <cstdint>

#include "download/serial_port.h"
#include "download/transfer_context.h"

namespace korvane::download {

// The printer acknowledges each record with this byte alone; it has this long to do so.
inline constexpr std::uint8_t kAcknowledge = 0x06;
inline constexpr std::chrono::seconds kAcknowledgeTimeout{5};

// Sends the image record by record over the serial port chosen in the port list, at the chosen
// speed, and shows the closing message. The port is closed on every way out.
DownloadResult runSerialTransfer(SerialPort& port, const TransferContext& context);

}  // namespace korvane::download
