// korvane-cli send over a pseudo-terminal against korvane-printer-sim: the exit status and the
// words a script or a person reads, per printer fault and port failure.
#include <gtest/gtest.h>

#include <thread>

#include "ports/termios_serial_port.h"
#include "serial_test_support.h"

namespace korvane::testing {
namespace {

constexpr const char* kSuccess = "Firmware Download Success.\n";
constexpr const char* kTimeout = "Communication Error.(5 Sec Time out)";

struct CliRow {
    const char* name;
    std::vector<std::string> simArgs;  // no simulator when it holds "none"
    int status;
    const char* out;     // the whole of standard output
    const char* errHas;  // a part of standard error; "" for none at all
    bool errNamesDevice;
};

TEST(SerialCli, SendExitsAndSpeaksPerOutcome) {
    const std::vector<CliRow> rows = {
        {"healthy", {}, 0, kSuccess, "", false},
        {"nak", {"--nak-at", "1"}, 1, "", kTimeout, false},
        {"silence", {"--silent-from", "2"}, 1, "", kTimeout, false},
        {"double-ack", {"--double-ack-at", "3"}, 1, "", kTimeout, false},
        {"late-ack", {"--late-ack-at", "1", "--late-ms", "1000"}, 0, kSuccess, "", false},
        {"vanish", {"--vanish-at", "3"}, 3, "", "gone away", true},
        {"missing", {"none"}, 3, "", "does not exist", true},
        {"held", {"--repeat"}, 3, "", "busy", true},
    };
    const auto image = sampleImage("small.DPX");
    std::vector<std::unique_ptr<tools::SimProcess>> sims;
    std::vector<std::string> devices;
    for (const auto& row : rows) {
        if (row.simArgs == std::vector<std::string>{"none"}) {
            sims.emplace_back();
            devices.emplace_back("/dev/korvane-no-such-tty");
            continue;
        }
        std::vector<std::string> args{"--image", image.string()};
        args.insert(args.end(), row.simArgs.begin(), row.simArgs.end());
        sims.push_back(std::make_unique<tools::SimProcess>(printerSimProgram(), args));
        devices.push_back(sims.back()->devicePath());
    }
    // Another program holds the last row's port for the whole run.
    ports::TermiosSerialPort holder([&](int) { return devices.back(); });
    holder.setSettings("38400,n,8,1");
    holder.open();

    // The time-out rows cost 5 s each: all rows run at once.
    std::vector<ProgramRun> runs(rows.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        threads.emplace_back([&, i] {
            runs[i] =
                runProgram(KORVANE_CLI, {"send", "--serial", devices[i], "--quiet", image.string()},
                           std::chrono::seconds(60));
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        const auto& run = runs[i];
        EXPECT_EQ(run.status, row.status) << row.name << ": " << run.err;
        EXPECT_EQ(run.out, row.out) << row.name;
        if (*row.errHas == '\0') {
            EXPECT_EQ(run.err, "") << row.name;
        } else {
            EXPECT_NE(run.err.find(row.errHas), std::string::npos) << row.name << ": " << run.err;
        }
        if (row.errNamesDevice) {
            EXPECT_NE(run.err.find(devices[i]), std::string::npos) << row.name << ": " << run.err;
        }
    }
}

}  // namespace
}  // namespace korvane::testing
