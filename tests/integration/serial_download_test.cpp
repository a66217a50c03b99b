// Whole downloads through the engine and the real Qt adapter, against korvane-printer-sim:
// what reaches the printer and what the user is told, for a healthy printer and each fault.
#include <gtest/gtest.h>

#include <QThread>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "download/download_sequence.h"
#include "download/messages.h"
#include "ports/linux/termios_serial_port.h"
#include "serial_test_support.h"
#include "support/null_ports.h"

namespace korvane::testing {
namespace {

using download::Outcome;
namespace messages = download::messages;

struct FaultRow {
    const char* name;
    std::vector<std::string> simArgs;
    Outcome outcome;
    std::string message;  // the whole message, or a part of it when partOfMessage
    bool partOfMessage;
    const char* ended;  // the simulator's own account of the download
    int simStatus;
};

struct RowResult {
    download::DownloadResult result{Outcome::FileError, "not run"};
    std::vector<std::string> shown;
    std::map<std::string, std::string> summary;
    std::optional<int> simStatus;
    std::string device;
};

RowResult runRow(const FaultRow& row, const std::filesystem::path& image, const ScratchDir& dir) {
    RowResult out;
    const auto summary = dir.file(std::string(row.name) + ".summary");
    std::vector<std::string> args{"--image", image.string(), "--summary", summary.string()};
    args.insert(args.end(), row.simArgs.begin(), row.simArgs.end());
    tools::SimProcess sim(printerSimProgram(), args);
    out.device = sim.devicePath();
    {
        testing::UnattendedHost host;
        ports::TermiosSerialPort port([&](int) { return sim.devicePath(); });
        testing::NullParallelPorts parallel;
        download::SteadyClock clock;
        download::DownloadSequence sequence(host, port, parallel, clock);
        out.result = sequence.run({.firmwarePath = image.string()});
        out.shown = host.messages;
    }
    out.simStatus = sim.wait(std::chrono::seconds(30));
    out.summary = tools::readSimSummary(summary.string());
    return out;
}

TEST(SerialDownload, PrinterFaultsEndAsTheUserIsTold) {
    const std::vector<FaultRow> rows = {
        {"healthy", {}, Outcome::Success, messages::kSuccess, false, "completed", 0},
        {"nak",
         {"--nak-at", "2"},
         Outcome::PrinterFailed,
         messages::kSerialTimeout,
         false,
         "fault",
         0},
        {"silence",
         {"--silent-from", "3"},
         Outcome::PrinterFailed,
         messages::kSerialTimeout,
         false,
         "fault",
         0},
        {"double-ack",
         {"--double-ack-at", "2"},
         Outcome::PrinterFailed,
         messages::kSerialTimeout,
         false,
         "fault",
         0},
        {"late-ack",
         {"--late-ack-at", "2", "--late-ms", "1500"},
         Outcome::Success,
         messages::kSuccess,
         false,
         "completed",
         0},
        {"vanish", {"--vanish-at", "2"}, Outcome::PortError, "gone away", true, "vanished", 0},
    };
    const auto image = sampleImage("small.DPX");
    ScratchDir dir;
    // Each time-out costs its full 5 s, so the rows run side by side, each on a thread with
    // an event dispatcher as the window's thread has.
    std::vector<RowResult> results(rows.size());
    std::vector<std::unique_ptr<QThread>> threads;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        threads.emplace_back(QThread::create([&, i] { results[i] = runRow(rows[i], image, dir); }));
        threads.back()->start();
    }
    for (auto& thread : threads) {
        thread->wait();
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        auto& got = results[i];
        EXPECT_EQ(got.result.outcome, row.outcome) << row.name << ": " << got.result.message;
        ASSERT_EQ(got.shown.size(), 1U) << row.name;
        if (row.partOfMessage) {
            EXPECT_NE(got.shown[0].find(row.message), std::string::npos)
                << row.name << ": " << got.shown[0];
            EXPECT_NE(got.shown[0].find(got.device), std::string::npos)
                << row.name << ": " << got.shown[0];
        } else {
            EXPECT_EQ(got.shown[0], row.message) << row.name;
        }
        EXPECT_EQ(got.summary["ended"], row.ended) << row.name;
        EXPECT_EQ(got.summary["mismatches"], "0") << row.name;
        EXPECT_EQ(got.simStatus, row.simStatus) << row.name;
    }
}

TEST(SerialDownload, ImagesArriveIntactAndTheNextDownloadStartsAfresh) {
    const char* const images[] = {"demo.DPX",
                                  "small.DPX",
                                  "high-bytes.DPX",
                                  "lone-lf.DPX",
                                  "starts-with-crlf.DPX",
                                  "empty-record-middle.DPX",
                                  "cr-final-byte-last.DPX",
                                  "trailing-bytes.DPX"};
    for (const char* name : images) {
        const auto image = sampleImage(name);
        ScratchDir dir;
        const auto summary = dir.file("summary");
        tools::SimProcess sim(printerSimProgram(), {"--image", image.string(), "--summary",
                                                    summary.string(), "--repeat"});
        testing::UnattendedHost host;
        ports::TermiosSerialPort port([&](int) { return sim.devicePath(); });
        testing::NullParallelPorts parallel;
        download::SteadyClock clock;
        download::DownloadSequence sequence(host, port, parallel, clock);
        std::map<std::string, std::string> values;
        for (int download = 1; download <= 2; ++download) {
            const auto result = sequence.run({.firmwarePath = image.string()});
            EXPECT_EQ(result.outcome, Outcome::Success) << name << ": " << result.message;
            EXPECT_FALSE(port.isOpen()) << name;
            // The simulator writes its summary once it has seen the port close; a printer
            // cannot see a close, so the next download waits until the simulator has.
            for (int look = 0; look < 2000 && values["completed"] != std::to_string(download);
                 ++look) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                values = tools::readSimSummary(summary.string());
            }
        }
        EXPECT_EQ(values["completed"], "2") << name;
        EXPECT_EQ(values["mismatches"], "0") << name;
        EXPECT_EQ(values["records"], values["expected_records"]) << name;
        EXPECT_EQ(values["bytes"], values["expected_bytes"]) << name;
        EXPECT_EQ(values["extra_bytes"], "0") << name;
    }
}

}  // namespace
}  // namespace korvane::testing
