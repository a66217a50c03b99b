#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "download/download_sequence.h"
#include "support/fake_clock.h"
#include "support/recording_host.h"
#include "support/scripted_serial_port.h"
#include "support/simulated_parallel_printer.h"
#include "support/test_image.h"

namespace korvane::testing {

// One download sequence wired to fakes that share one log and one fake clock.
struct DownloadRig {
    explicit DownloadRig(PrinterModel printer = {})
        : host(log),
          serial(clock, log),
          parallel(clock, printer, &log),
          sequence(host, serial, parallel, clock) {}

    download::DownloadResult run(const std::vector<std::uint8_t>& bytes) {
        TempImage file(bytes);
        choices.firmwarePath = file.path();
        download::DownloadResult result = sequence.run(choices);
        // The hosts route the closing message by the outcome it is shown with.
        EXPECT_FALSE(host.outcomes.empty() || host.outcomes.back() != result.outcome);
        return result;
    }

    // The log entries that start with one of the prefixes, in order.
    std::vector<std::string> only(std::initializer_list<std::string> prefixes) const {
        std::vector<std::string> kept;
        for (const auto& entry : log) {
            if (std::any_of(prefixes.begin(), prefixes.end(),
                            [&](const std::string& p) { return entry.rfind(p, 0) == 0; })) {
                kept.push_back(entry);
            }
        }
        return kept;
    }

    std::vector<std::string> log;
    FakeClock clock;
    RecordingHost host;
    ScriptedSerialPort serial;
    SimulatedParallelPorts parallel;
    download::DownloadSequence sequence;
    download::UserChoices choices;
};

inline const std::vector<std::string> kLocked = {"disable optCOM0", "disable optCOM1",
                                                 "disable cboPORT", "disable cboSPEED",
                                                 "disable cmdSTART"};
inline const std::vector<std::string> kUnlocked = {
    "enable optCOM0", "enable optCOM1", "enable cboPORT", "enable cboSPEED", "enable cmdSTART"};

inline std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

}  // namespace korvane::testing
