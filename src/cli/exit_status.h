#pragma once

namespace korvane::cli {

// Exit statuses scripts rely on.
inline constexpr int kExitOk = 0;
inline constexpr int kExitPrinterFailed = 1;  // also: check found a broken rule
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFileOrPort = 3;  // file, image or port error

}  // namespace korvane::cli
