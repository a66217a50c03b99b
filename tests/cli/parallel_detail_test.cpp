// What the command line says of a parallel download that fails: the engine runs over a simulated
// printer on a fake clock, watched as korvane-cli watches it; each row is a printer and the
// detail line it must give.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "cli/recording_ports.h"
#include "download/download_sequence.h"
#include "support/null_ports.h"
#include "support/simulated_parallel_printer.h"
#include "support/unattended_host.h"

namespace korvane::cli {
namespace {

using namespace std::chrono_literals;

// small.DPX: records of 32, 32, 32 and 16 bytes, each closed by CR LF.
constexpr const char* kImage = KORVANE_SAMPLES_DIR "/small.DPX";

TEST(ParallelDetail, SaysWhereTheBytesStoppedAndWhichLimitRanOut) {
    struct Row {
        const char* name;
        testing::PrinterModel printer;
        std::string detail;  // its first line; "" for none
        int traced;          // records traced as ended
    };
    const std::vector<Row> rows = {
        {"healthy", {}, "", 4},
        {"busy for good from byte 41",
         {.busyFor = 1000s, .readyBytes = 40},
         "On LPT1: record 2 of 4, byte offset 42, 40 bytes written; status 0x18: Busy, nFault "
         "high, "
         "no PaperOut, Select; the 10 s busy limit ran out.",
         1},
        {"a fault that never clears from byte 1",
         {.busyFor = 1000s, .faultFor = 1000s},
         "On LPT1: record 1 of 4, byte offset 0, 0 bytes written; status 0x10: Busy, nFault low "
         "(fault), no PaperOut, Select; the 3 s fault limit ran out.",
         0},
        // A ready printer costs four accesses a byte (status, data, strobe on, off): access 300
        // is the status read before byte 76, the 12th of record 3.
        {"the port lost mid-record",
         {.failAtAccess = 300},
         "On LPT1: record 3 of 4, byte offset 79, 75 bytes written when the port failed.",
         2},
    };
    for (const auto& row : rows) {
        testing::FakeClock clock;
        testing::SimulatedParallelPorts printer(clock, row.printer, nullptr);
        std::vector<std::string> trace;
        const auto bytes = [] {
            std::ifstream in(kImage, std::ios::binary);
            return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
        }();
        ParallelFacts facts;
        facts.label = "LPT1";
        RecordingParallelPorts watched(printer, bytes, facts,
                                       [&](const std::string& line) { trace.push_back(line); });
        testing::UnattendedHost host;
        testing::NullSerialPort serial;
        download::DownloadSequence download(host, serial, watched, clock);
        download::UserChoices choices;
        choices.firmwarePath = kImage;
        choices.serial = false;
        const auto result = download.run(choices);

        const std::string detail = parallelDetail(result.outcome, watched.facts());
        EXPECT_EQ(detail.substr(0, detail.find('\n')), row.detail) << row.name;
        EXPECT_EQ(static_cast<int>(trace.size()), row.traced) << row.name;
        if (!trace.empty()) {
            EXPECT_EQ(trace.front().rfind("LPT1 record 1/4 offset 0 length 32 ", 0), 0u)
                << row.name << ": " << trace.front();
        }
    }
}

}  // namespace
}  // namespace korvane::cli
