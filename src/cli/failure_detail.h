#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "download/outcome.h"

namespace korvane::cli {

// What the serial decorator saw of the record the download ended on.
struct SerialFacts {
    std::string label;  // "COM1 (/dev/ttyUSB0)" or the device path
    std::string baud;
    std::int64_t records = 0;  // K: the records the serial transfer sends
    std::int64_t written = 0;  // records written so far
    std::int64_t offset = 0;   // image offset of the latest record
    std::int64_t length = 0;
    std::int64_t bytesSent = 0;
    std::vector<std::string> replies;  // every read of the latest record's wait, in order
};

// What the parallel decorator saw: the status register and how far the bytes got.
struct ParallelFacts {
    std::string label;
    std::int64_t records = 0;
    std::int64_t record = 0;  // 1-based record of the next byte
    std::int64_t offset = 0;  // image offset of the next byte
    std::int64_t bytesSent = 0;
    std::optional<std::uint8_t> status;  // the latest status read
};

// The line after the window's message that says where and why, then a checklist; empty when
// there is nothing to add (success, or nothing was sent before a port error).
std::string serialDetail(download::Outcome outcome, const SerialFacts& facts);
std::string parallelDetail(download::Outcome outcome, const ParallelFacts& facts);

// "0xDF: not Busy, nFault high, PaperOut, Select".
std::string decodeStatus(std::uint8_t status);

}  // namespace korvane::cli
