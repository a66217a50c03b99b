#include <algorithm>
#include <cstdint>
#include <iostream>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/json_report.h"
#include "cli/output_check.h"
#include "cli/printable.h"
#include "image/firmware_file.h"
#include "image/record_walk.h"

namespace korvane::cli {
namespace {

using image::Transfer;

constexpr const char* kCheckUsage =
    "Usage: korvane-cli check [--json] FILE\n"
    "\n"
    "Reads a firmware image and reports, for the serial and the parallel transfer, its records,\n"
    "the bytes each would send, where each would stop and every rule it breaks with the byte\n"
    "offset; then whether both send the same bytes and stop at the same place.\n"
    "With --json, one JSON object on standard output instead.\n"
    "Exit 0: both transfers send it whole and alike; 1: it breaks a rule, the transfers\n"
    "differ, or it is empty; 2: usage error; 3: it cannot be read.\n";

// The bytes one transfer sends, as one stream over its records, so that the two transfers can
// be compared without copying a large image.
class SentStream {
  public:
    SentStream(std::span<const std::uint8_t> image, Transfer transfer)
        : image_(image), walker_(image, transfer) {}

    // The unsent rest of the current record; empty once the walk has nothing more to send.
    std::span<const std::uint8_t> pending() {
        while (offset_ == current_.size()) {
            const auto record = walker_.next();
            if (!record) {
                return {};
            }
            current_ = image_.subspan(static_cast<std::size_t>(record->start),
                                      static_cast<std::size_t>(record->size()));
            start_ = record->start;
            offset_ = 0;
        }
        return current_.subspan(offset_);
    }
    void advance(std::size_t count) { offset_ += count; }
    std::int64_t imageOffset() const { return start_ + static_cast<std::int64_t>(offset_); }

  private:
    std::span<const std::uint8_t> image_;
    image::RecordWalker walker_;
    std::span<const std::uint8_t> current_;
    std::int64_t start_ = 0;
    std::size_t offset_ = 0;
};

struct Difference {
    std::int64_t sentIndex = 0;                // how many bytes both send alike before it
    std::optional<std::int64_t> serialOffset;  // image offset of each side's byte there, if any
    std::optional<std::int64_t> parallelOffset;
};

std::optional<Difference> firstDifference(std::span<const std::uint8_t> bytes) {
    SentStream serial(bytes, Transfer::Serial);
    SentStream parallel(bytes, Transfer::Parallel);
    std::int64_t index = 0;
    for (;;) {
        const auto a = serial.pending();
        const auto b = parallel.pending();
        if (a.empty() || b.empty()) {
            if (a.empty() && b.empty()) {
                return std::nullopt;
            }
            Difference d{index, std::nullopt, std::nullopt};
            if (a.empty()) {
                d.parallelOffset = parallel.imageOffset();
            } else {
                d.serialOffset = serial.imageOffset();
            }
            return d;
        }
        const std::size_t count = std::min(a.size(), b.size());
        const auto [ia, ib] = std::mismatch(a.begin(), a.begin() + count, b.begin());
        const auto same = static_cast<std::size_t>(ia - a.begin());
        serial.advance(same);
        parallel.advance(same);
        index += static_cast<std::int64_t>(same);
        if (same < count) {
            return Difference{index, serial.imageOffset(), parallel.imageOffset()};
        }
    }
}

std::string describeStop(const image::WalkSummary& summary, std::int64_t size) {
    const std::string at = std::to_string(summary.stopPosition);
    if (!summary.ok()) {
        return at + " (where it stops before breaking the rule)";
    }
    if (summary.stopPosition == size) {
        return at + " (the end of the file)";
    }
    if (summary.stopPosition == size + 1) {
        return at +
               " (n + 1: the last record's CR is the final byte; nothing outside the "
               "image is read)";
    }
    return at + " (" + std::to_string(size - summary.stopPosition) + " bytes before the end)";
}

void printTransfer(std::ostream& out, const image::WalkSummary& summary, Transfer transfer,
                   std::int64_t size) {
    out << image::transferName(transfer) << " transfer:\n"
        << "  records:        " << summary.records << '\n'
        << "  bytes written:  " << summary.bytesSent << '\n'
        << "  stops at:       " << describeStop(summary, size) << '\n'
        << "  empty records:  " << summary.emptyRecords << '\n';
    if (summary.error) {
        out << "  error:          " << image::describeWalkError(*summary.error, transfer) << '\n';
    } else {
        out << "  errors:         none\n";
    }
}

std::string describeOffset(const std::optional<std::int64_t>& offset) {
    return offset ? "image offset " + std::to_string(*offset) : "sends no more";
}

// Why the image fails the check; none when both transfers send it whole and alike.
std::vector<std::string> reasonsAgainst(const image::WalkSummary& serial,
                                        const image::WalkSummary& parallel,
                                        const std::optional<Difference>& difference) {
    std::vector<std::string> reasons;
    if (!serial.ok()) {
        reasons.emplace_back("the serial transfer would read outside the image");
    }
    if (!parallel.ok()) {
        reasons.emplace_back("the parallel transfer would read outside the image");
    }
    if (difference) {
        reasons.emplace_back("the transfers send different bytes");
    }
    if (serial.stopPosition != parallel.stopPosition) {
        reasons.emplace_back("the transfers stop at different places");
    }
    return reasons;
}

int checkAsJson(const std::filesystem::path& path, OutputCheck& output) {
    const auto loaded = image::loadFirmwareFile(path, fileOpenFailureAccount());
    ImageFacts image{path, std::nullopt, ""};
    CheckFacts check;
    check.verdict = "ok";
    check.exitStatus = kExitOk;
    if (!loaded.ok()) {
        image.loadError = image::describeLoadFailure(loaded, path);
        std::cerr << printable(image.loadError) << '\n';
        check.exitStatus = kExitFileOrPort;
        check.verdict = "unreadable";
    } else {
        const std::span<const std::uint8_t> bytes = loaded.bytes;
        image.bytes = bytes;
        if (bytes.empty()) {
            check.exitStatus = kExitPrinterFailed;
            check.verdict = "empty";
        } else {
            const auto serial = image::summarizeWalk(bytes, Transfer::Serial);
            const auto parallel = image::summarizeWalk(bytes, Transfer::Parallel);
            const auto difference = firstDifference(bytes);
            check.sameBytes = !difference.has_value();
            check.sameStop = serial.stopPosition == parallel.stopPosition;
            check.reasons = reasonsAgainst(serial, parallel, difference);
            if (!check.reasons.empty()) {
                check.exitStatus = kExitPrinterFailed;
                check.verdict = "breaks a rule";
            }
        }
    }
    output.toStdout(checkJsonLine(image, check) + '\n', "the JSON record");
    return check.exitStatus;
}

// The report for a person; the status of the check.
int checkAsText(const std::filesystem::path& path, std::ostream& out) {
    const auto loaded = image::loadFirmwareFile(path, fileOpenFailureAccount());
    if (!loaded.ok()) {
        std::cerr << printable(image::describeLoadFailure(loaded, path)) << '\n';
        return kExitFileOrPort;
    }
    const std::span<const std::uint8_t> bytes = loaded.bytes;
    const auto size = static_cast<std::int64_t>(bytes.size());
    out << "file: " << printable(image::utf8Of(path)) << '\n' << "size: " << size << " bytes\n";
    if (size == 0) {
        out << "verdict: empty: nothing to send\n";
        return kExitPrinterFailed;
    }
    out << '\n';

    const auto serial = image::summarizeWalk(bytes, Transfer::Serial);
    const auto parallel = image::summarizeWalk(bytes, Transfer::Parallel);
    printTransfer(out, serial, Transfer::Serial, size);
    printTransfer(out, parallel, Transfer::Parallel, size);
    out << '\n';

    const auto difference = firstDifference(bytes);
    if (difference) {
        out << "same bytes sent: no, they part after " << difference->sentIndex
            << " bytes (serial: " << describeOffset(difference->serialOffset)
            << ", parallel: " << describeOffset(difference->parallelOffset) << ")\n";
    } else {
        out << "same bytes sent: yes\n";
    }
    const bool sameStop = serial.stopPosition == parallel.stopPosition;
    out << "same stop:       " << (sameStop ? "yes" : "no") << '\n';
    if (serial.ok() && parallel.ok()) {
        // Whatever follows the last record is never read by either transfer.
        auto after = [size](const image::WalkSummary& s) {
            return std::to_string(std::max<std::int64_t>(0, size - s.stopPosition)) + " bytes";
        };
        out << "after the last record: "
            << (sameStop ? after(serial)
                         : "serial " + after(serial) + ", parallel " + after(parallel))
            << " (never sent; ignored)\n";
    }

    const auto reasons = reasonsAgainst(serial, parallel, difference);
    if (reasons.empty()) {
        out << "verdict: ok: both transfers send it whole and alike\n";
        return kExitOk;
    }
    out << "verdict: breaks a rule: ";
    for (std::size_t i = 0; i < reasons.size(); ++i) {
        out << (i == 0 ? "" : "; ") << reasons[i];
    }
    out << '\n';
    return kExitPrinterFailed;
}

}  // namespace

int runCheck(const std::vector<std::string>& args) {
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kCheckUsage;
        return kExitOk;
    }
    std::vector<std::string> files;
    bool json = false;
    for (const auto& arg : args) {
        if (arg == "--json") {
            json = true;
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 1) {
        std::cerr << "korvane-cli check: expected one FILE\n\n" << kCheckUsage;
        return kExitUsage;
    }
    const std::filesystem::path path = image::pathFromUtf8(files[0]);
    OutputCheck output;
    int status = kExitOk;
    if (json) {
        status = checkAsJson(path, output);
    } else {
        std::ostringstream report;
        status = checkAsText(path, report);
        output.toStdout(report.str(), "the report");
    }
    output.closeStdout();
    return output.settle(status, false);
}

}  // namespace korvane::cli
