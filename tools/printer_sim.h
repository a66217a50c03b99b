#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace korvane::tools {

// What the simulated printer does. Record numbers count from 1, the first record being 1;
// 0 means "never".
struct SimOptions {
    std::string imagePath;
    std::string pathFile;     // also write the device path here
    std::string summaryFile;  // key=value summary, rewritten after each download
    int processMs = 0;        // printer's work per record before it answers
    int baud = 0;             // emulated line speed; 0: bytes take no wire time
    int nakAt = 0;
    int silentFrom = 0;
    int doubleAckAt = 0;
    int lateAckAt = 0;
    int lateMs = 0;
    int vanishAt = 0;
    bool repeat = false;
};

struct ParsedOptions {
    std::optional<SimOptions> options;  // empty: print error (or help) and stop
    std::string error;                  // empty with no options: help was asked for
};

ParsedOptions parseSimOptions(const std::vector<std::string>& args);

// The --help text.
const char* simUsage();

// Serves downloads on a new pseudo-terminal until done. Returns the exit status: 0 when every
// record received matched the image and the download ran to its end (the last record, or the
// fault it was told to make), 1 when a record differed or the sender stopped early, 2 when the
// image or the pseudo-terminal cannot be had.
int runPrinterSim(const SimOptions& options, std::ostream& out, std::ostream& err);

}  // namespace korvane::tools
