#include "cli/failure_detail.h"

#include <algorithm>
#include <cstdio>

#include "cli/trace_log.h"

namespace korvane::cli {
namespace {

using download::Outcome;

constexpr char kAck = 0x06;
constexpr char kNak = 0x15;
constexpr std::uint8_t kNotBusy = 0x80;
constexpr std::uint8_t kPaperOut = 0x20;
constexpr std::uint8_t kSelect = 0x10;
constexpr std::uint8_t kNoFault = 0x08;
// Enough of a stream of noise to recognise it.
constexpr std::size_t kShownBytes = 16;

constexpr const char* kSerialChecklist =
    "Check: the cable is plugged in at both ends; the port is the printer's (korvane-cli ports "
    "shows which device each is); the speed is the printer's (--baud); the printer is in "
    "download mode.";
constexpr const char* kParallelChecklist =
    "Check: the cable is plugged in at both ends; the port is the printer's (korvane-cli ports); "
    "the printer is on, has paper and is in download mode.";

std::string whatThePrinterDid(const std::vector<std::string>& replies) {
    std::string all;
    for (const auto& reply : replies) {
        all += reply;
    }
    if (all.empty()) {
        return "the printer sent nothing at all";
    }
    const auto mixed = std::find_if(replies.begin(), replies.end(), [](const std::string& r) {
        return r.size() > 1 && r.find(kAck) != std::string::npos;
    });
    if (mixed != replies.end()) {
        return "the printer sent an acknowledgement together with other bytes in one read (" +
               hexBytes(mixed->substr(0, kShownBytes)) + "), which does not count";
    }
    const auto naks = std::count(all.begin(), all.end(), kNak);
    if (naks == static_cast<long>(all.size())) {
        return "the printer answered NAK 0x15 (" + std::to_string(naks) +
               (naks == 1 ? " time)" : " times)");
    }
    return "the printer sent " + std::to_string(all.size()) + " bytes but no acknowledgement (" +
           hexBytes(all.substr(0, kShownBytes)) + (all.size() > kShownBytes ? " ...)" : ")");
}

}  // namespace

std::string serialDetail(Outcome outcome, const SerialFacts& f) {
    if ((outcome != Outcome::PrinterFailed && outcome != Outcome::PortError) || f.written == 0) {
        return {};
    }
    const std::string where =
        "On " + f.label + " at " + f.baud + " baud: record " + std::to_string(f.written) + " of " +
        std::to_string(f.records) + " (byte offset " + std::to_string(f.offset) + ", " +
        std::to_string(f.length) + " bytes), " + std::to_string(f.bytesSent) + " bytes written";
    if (outcome == Outcome::PortError) {
        return where + " when the port failed.";
    }
    return where + "; in the 5 s wait " + whatThePrinterDid(f.replies) + ".\n" + kSerialChecklist;
}

std::string decodeStatus(std::uint8_t status) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(status));
    return std::string(hex) + ": " + ((status & kNotBusy) != 0 ? "not Busy" : "Busy") + ", " +
           ((status & kNoFault) != 0 ? "nFault high" : "nFault low (fault)") + ", " +
           ((status & kPaperOut) != 0 ? "PaperOut" : "no PaperOut") + ", " +
           ((status & kSelect) != 0 ? "Select" : "no Select");
}

std::string parallelDetail(Outcome outcome, const ParallelFacts& f) {
    if ((outcome != Outcome::PrinterFailed && outcome != Outcome::PortError) || !f.status) {
        return {};
    }
    const std::string where = "On " + f.label + ": record " + std::to_string(f.record) + " of " +
                              std::to_string(f.records) + ", byte offset " +
                              std::to_string(f.offset) + ", " + std::to_string(f.bytesSent) +
                              " bytes written";
    if (outcome == Outcome::PortError) {
        return where + " when the port failed.";
    }
    // The fault wait gives up while nFault is low; the busy wait while it is high.
    const bool fault = (*f.status & kNoFault) == 0;
    return where + "; status " + decodeStatus(*f.status) + "; " +
           (fault ? "the 3 s fault limit ran out." : "the 10 s busy limit ran out.") + "\n" +
           kParallelChecklist;
}

}  // namespace korvane::cli
