#include <gtest/gtest.h>

#include <memory>

#include "support/download_fixture.h"

namespace korvane::testing {
namespace {

using download::Outcome;

TEST(DownloadSequence, PortTypeChoosesTheTransfer) {
    for (const bool serial : {true, false}) {
        DownloadRig rig;
        rig.choices.serial = serial;
        EXPECT_EQ(rig.run(image("ABC^xy|")).outcome, Outcome::Success);
        EXPECT_EQ(rig.serial.writes.size(), serial ? 1U : 0U);
        EXPECT_EQ(rig.parallel.lastReceived.size(), serial ? 0U : 6U);
        // Unlocking enables the speed list even for the parallel port.
        EXPECT_EQ(rig.only({"enable"}), kUnlocked);
    }
}

// Files and images that cannot end well are refused before any port is touched, and the
// controls come back.
TEST(DownloadSequence, RefusesBadFilesBeforeTouchingAPort) {
    struct Row {
        const char* name;
        bool serial;
        Bytes bytes;
        Outcome outcome;
        std::string messagePart;
    };
    const Row rows[] = {
        {"empty file",
         true,
         {},
         Outcome::EmptyFile,
         "Firmware file not open.\nThe file is empty (0 bytes)"},
        {"no marker (serial)", true, image("ABC|DEF|"), Outcome::ImageError, "offset 10"},
        {"no marker where the parallel walk looks", false, image("AB^CDEF|"), Outcome::ImageError,
         "offset 9"},
        {"last record without CR", true, image("ABC|DE^xy"), Outcome::ImageError, "offset 5"},
        {"CR closing a non-last record is the final byte", false, image("ABC|DEF~"),
         Outcome::ImageError, "offset 8"},
        {"CR at index 2 (parallel)", false, image("AB|CDE^xy|"), Outcome::ImageError, "offset 2"},
    };
    for (const auto& row : rows) {
        DownloadRig rig;
        rig.choices.serial = row.serial;
        const auto result = rig.run(row.bytes);
        SCOPED_TRACE(row.name);
        EXPECT_EQ(result.outcome, row.outcome);
        EXPECT_NE(result.message.find(row.messagePart), std::string::npos) << result.message;
        EXPECT_EQ(rig.only({"isOpen", "open", "write", "R", "W"}).size(), 0U);
        EXPECT_EQ(rig.parallel.claimedBase, 0);
        EXPECT_EQ(rig.log, concat({kLocked, {"message " + result.message}, kUnlocked}));
    }
}

TEST(DownloadSequence, MissingFileNamesThePath) {
    DownloadRig rig;
    rig.choices.firmwarePath = "/nonexistent/firmware.DPX";
    const auto result = rig.sequence.run(rig.choices);
    EXPECT_EQ(result.outcome, Outcome::FileError);
    EXPECT_NE(result.message.find("/nonexistent/firmware.DPX"), std::string::npos);
    EXPECT_EQ(rig.only({"enable"}), kUnlocked);
}

// A file read once is sent as read to every port: one replaced or removed after the read
// changes nothing that a port is sent.
TEST(DownloadSequence, AnImageReadOnceIsSentAsRead) {
    const Bytes read = image("ABC|DE^xy|");
    for (const bool serial : {true, false}) {
        for (const bool removed : {false, true}) {
            DownloadRig fromFile;
            fromFile.choices.serial = serial;
            ASSERT_EQ(fromFile.run(read).outcome, Outcome::Success);

            DownloadRig rig;
            rig.choices.serial = serial;
            auto file = std::make_unique<TempImage>(read);
            rig.choices.firmwarePath = file->path();
            const image::LoadResult loaded = image::loadFirmwareFile(file->path());
            file.reset();
            if (!removed) {
                file = std::make_unique<TempImage>(image("ZZZZZZZZZZZZZZ|QQ^xy|"));
                rig.choices.firmwarePath = file->path();
            }
            SCOPED_TRACE(std::string(serial ? "serial" : "parallel") +
                         (removed ? ", file removed" : ", file replaced"));
            EXPECT_EQ(rig.sequence.run(rig.choices, loaded).outcome, Outcome::Success);
            EXPECT_EQ(rig.serial.writes, fromFile.serial.writes);
            EXPECT_EQ(rig.parallel.lastReceived, fromFile.parallel.lastReceived);
        }
    }
}

TEST(DownloadSequence, ASecondStartDuringADownloadIsRefused) {
    for (const bool serial : {true, false}) {
        DownloadRig rig;
        rig.choices.serial = serial;
        std::vector<Outcome> nested;
        rig.host.onEvents = [&] {
            if (nested.empty()) {
                nested.push_back(rig.sequence.run(rig.choices).outcome);
            }
        };
        EXPECT_EQ(rig.run(image("ABC|DE^xy|")).outcome, Outcome::Success);
        EXPECT_EQ(nested, std::vector{Outcome::AlreadyRunning});
        EXPECT_EQ(rig.host.messages.front(),
                  "A download is already running. Wait for it to end before you start another.");
        EXPECT_FALSE(rig.sequence.running());
    }
}

// Ending the program mid-download unwinds the transfer and releases its port.
TEST(DownloadSequence, AbandonedDownloadReleasesThePort) {
    for (const bool serial : {true, false}) {
        DownloadRig rig;
        rig.choices.serial = serial;
        int events = 0;
        rig.host.onEvents = [&] {
            if (++events == 4) {
                throw download::DownloadAbandoned();
            }
        };
        EXPECT_THROW(rig.run(image("ABC|DE^xy|")), download::DownloadAbandoned);
        EXPECT_FALSE(rig.serial.open_);
        EXPECT_EQ(rig.parallel.printer, nullptr);
        EXPECT_FALSE(rig.sequence.running());
        EXPECT_TRUE(rig.host.messages.empty());
    }
}

TEST(DownloadSequence, ProgressNeverLeavesTheBarsRange) {
    for (const bool serial : {true, false}) {
        DownloadRig rig;
        rig.choices.serial = serial;
        // The last record's CR is the final byte: the position ends one past n.
        EXPECT_EQ(rig.run(image("ABC|DE^xy~")).outcome, Outcome::Success);
        for (const auto& entry : rig.only({"bar ", "text"})) {
            EXPECT_TRUE(entry == "bar 5" || entry == "bar 11" || entry.rfind("text", 0) == 0 ||
                        entry.rfind("bar visible", 0) == 0 || entry.rfind("bar range", 0) == 0)
                << entry;
        }
        EXPECT_EQ(rig.host.text, "11/11");
        EXPECT_EQ(rig.host.barValue, 11.0F);
    }
}

}  // namespace
}  // namespace korvane::testing
