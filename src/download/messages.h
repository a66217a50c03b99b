#pragma once

namespace korvane::download::messages {

inline constexpr const char* kSuccess = "Firmware Download Success.";
inline constexpr const char* kFileNotOpen = "Firmware file not open.";
// The line under kFileNotOpen that says why.
inline constexpr const char* kFileEmpty = "The file is empty (0 bytes): there is nothing to send.";
inline constexpr const char* kSerialTimeout = "Communication Error.(5 Sec Time out)";
inline constexpr const char* kPrinterPortErrorPrefix = "Printer Port Error. (Code : ";
inline constexpr const char* kAlreadyRunning =
    "A download is already running. Wait for it to end before you start another.";

}  // namespace korvane::download::messages
