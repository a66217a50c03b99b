#pragma once

namespace korvane::cli {

// Exit statuses scripts rely on.
inline constexpr int kExitOk = 0;
inline constexpr int kExitPrinterFailed = 1;  // also: check found a broken rule
inline constexpr int kExitUsage = 2;
inline constexpr int kExitFileOrPort = 3;  // file, image or port error
// An output the user asked for (the JSON record, the result, the trace, the log) could not be
// written; the messages say whether the printer was flashed.
inline constexpr int kExitRecordLost = 4;

}  // namespace korvane::cli
