#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "cli/cli_host.h"
#include "cli/send_options.h"
#include "download/outcome.h"
#include "image/firmware_file.h"

namespace korvane::ports {
class StopRequest;
}

namespace korvane::cli {

class TraceLog;

// How one port's download ended, as the summary table and --json tell it.
struct PortResult {
    PortChoice choice;
    std::string label;  // how the messages name the device: "COM1 (/dev/ttyS0)", "LPT1"
    download::Outcome outcome = download::Outcome::PortError;
    int signal = 0;        // the stop signal that ended it, 0 when none did
    bool refused = false;  // never started: its device is named more than once
    int status = 0;        // the exit status this download alone would give
    std::string message;
    std::string detail;
    std::string started;  // UTC, ISO 8601
    std::string ended;
    double seconds = 0;
    std::int64_t bytesSent = 0;  // the bytes written to the port
    std::int32_t position = 0;   // how far into the image the printer has acknowledged, of total
    std::int32_t total = 0;
};

// What every port's download shares.
struct SendContext {
    const SendOptions& options;
    // The file as read once for the whole send: hashed for the record, watched for the
    // records, and sent to every port as it is.
    const image::LoadResult& loaded;
    std::span<const std::uint8_t> image;  // loaded's bytes
    const ports::StopRequest& stop;
    TraceLog* trace;  // nothing is traced when null
};

// One download through the engine on ports of its own, watched for the detail of a failure
// and the trace. A stop request ends it at its next safe point (signal is set then).
PortResult runPortDownload(const PortChoice& choice, const SendContext& context, CliHost& host);

// "success", "printer_failed", ..., and "stopped" for a download a signal ended.
const char* outcomeName(const PortResult& result);

// The device a port names, to tell when two ports are one device; empty when unknown.
std::string deviceIdentity(const PortChoice& choice);

}  // namespace korvane::cli
