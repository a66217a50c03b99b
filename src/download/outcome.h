#pragma once

#include <string>

namespace korvane::download {

// How a download ended. The transfers and the sequence decide it; the hosts route by it
// (the terminal, for one, picks its output stream and exit status from it).
enum class Outcome {
    Success,
    PrinterFailed,   // no acknowledgement in time, or the parallel printer stayed busy/faulted
    EmptyFile,       // "Firmware file not open."
    FileError,       // the file cannot be opened or read, or is too large
    ImageError,      // the image would make the chosen transfer read outside it
    PortError,       // the port cannot be opened, claimed, configured, written or read
    AlreadyRunning,  // a second start while a download runs
};

struct DownloadResult {
    Outcome outcome;
    std::string message;  // the text the user was shown
};

}  // namespace korvane::download
