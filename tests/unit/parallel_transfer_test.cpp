#include <gtest/gtest.h>

#include "download/messages.h"
#include "image/record_walk.h"
#include "support/download_fixture.h"

namespace korvane::testing {
namespace {

using download::Outcome;
namespace messages = download::messages;

const Bytes kTwoRecords = image("ABC|DE^xy|");  // n = 12, sends ABCDE^xy

DownloadRig parallelRig(PrinterModel printer = {}) {
    DownloadRig rig(printer);
    rig.choices.serial = false;
    return rig;
}

TEST(ParallelTransfer, PortIsChosenByListIndex) {
    struct Row {
        int portIndex;
        std::uint16_t base;
    };
    for (const Row row : {Row{0, 0x378}, Row{1, 0x278}, Row{-1, 0x278}, Row{7, 0x278}}) {
        DownloadRig rig = parallelRig();
        rig.choices.portIndex = row.portIndex;
        rig.run(kTwoRecords);
        EXPECT_EQ(rig.parallel.claimedBase, row.base) << row.portIndex;
        const auto accesses = rig.only({"R", "W"});
        ASSERT_GE(accesses.size(), 4U);
        const std::string status = row.base == 0x378 ? "379" : "279";
        const std::string data = row.base == 0x378 ? "378" : "278";
        const std::string control = row.base == 0x378 ? "37A" : "27A";
        EXPECT_EQ(std::vector(accesses.begin(), accesses.begin() + 4),
                  (std::vector<std::string>{"R" + status, "W" + data + "=41", "W" + control + "=CD",
                                            "W" + control + "=CC"}));
    }
}

TEST(ParallelTransfer, ReadyPrinterTakesFourAccessesPerByteAndTheRecordBytesOnly) {
    DownloadRig rig = parallelRig();
    const auto result = rig.run(kTwoRecords);

    EXPECT_EQ(result.outcome, Outcome::Success);
    EXPECT_EQ(rig.parallel.lastReceived, image("ABCDE^xy"));
    const auto accesses = rig.only({"R", "W"});
    ASSERT_EQ(accesses.size(), 8U * 4U);
    for (std::size_t i = 0; i < accesses.size(); i += 4) {
        EXPECT_EQ(accesses[i], "R379");
        EXPECT_EQ(accesses[i + 1].substr(0, 5), "W378=");
        EXPECT_EQ(accesses[i + 2], "W37A=CD");
        EXPECT_EQ(accesses[i + 3], "W37A=CC");
    }
    EXPECT_TRUE(rig.parallel.released);
}

TEST(ParallelTransfer, TextAfterEveryByteBarAtRecordEndsEventsAtTheirTwoPoints) {
    DownloadRig rig = parallelRig();
    rig.host.logEvents = true;
    rig.run(kTwoRecords);
    const auto seen = rig.only({"bar", "text", "events", "message", "W37A=CC"});
    const std::vector<std::string> expected = {
        "bar visible", "bar range 1..12", "W37A=CC",
        "text 1/12",   "events",          "W37A=CC",
        "text 2/12",   "events",          "W37A=CC",
        "events",      "bar 5",           "text 5/12",
        "events",  // end of the first record
        "W37A=CC",     "text 6/12",       "events",
        "W37A=CC",     "text 7/12",       "events",
        "W37A=CC",     "text 8/12",       "events",
        "W37A=CC",     "text 9/12",       "events",
        "W37A=CC",     "events",          "bar 12",
        "text 12/12",  // the last byte: no events after it
        "bar 12",      "text 12/12",      "message Firmware Download Success."};
    EXPECT_EQ(seen, expected);
}

// The printer's status lines over fake time, and what becomes of the download.
TEST(ParallelTransfer, PrinterStatusModels) {
    struct Row {
        const char* name;
        PrinterModel printer;
        Outcome outcome;
        double failsAfterAtLeast;  // seconds from the start of the first byte
        std::string code;
    };
    const Row rows[] = {
        {"always ready", {}, Outcome::Success, 0, ""},
        {"busy 2 s before each byte", {.busyFor = 2s}, Outcome::Success, 0, ""},
        {"busy 9 s before each byte: the 10 s start afresh",
         {.busyFor = 9s},
         Outcome::Success,
         0,
         ""},
        {"busy for good, no fault: 10 s", {.busyFor = 1000s}, Outcome::PrinterFailed, 10, "18"},
        {"busy for good with a fault: 3 s",
         {.busyFor = 1000s, .faultFor = 1000s},
         Outcome::PrinterFailed,
         3,
         "10"},
        {"fault for 2 s, then ready", {.busyFor = 2500ms, .faultFor = 2s}, Outcome::Success, 0, ""},
        {"a cleared fault does not move the 10 s",
         {.busyFor = 1000s, .faultFor = 2900ms},
         Outcome::PrinterFailed,
         10,
         "18"},
        {"ready but faulted still gets the byte",
         {.faultWhenReady = true},
         Outcome::Success,
         0,
         ""},
    };
    for (const auto& row : rows) {
        DownloadRig rig = parallelRig(row.printer);
        const auto result = rig.run(kTwoRecords);
        SCOPED_TRACE(row.name);
        EXPECT_EQ(result.outcome, row.outcome);
        if (row.outcome == Outcome::Success) {
            EXPECT_EQ(rig.parallel.lastReceived, image("ABCDE^xy"));
            continue;
        }
        EXPECT_EQ(result.message, std::string(messages::kPrinterPortErrorPrefix) + row.code + ")");
        EXPECT_GE(rig.clock.seconds(), row.failsAfterAtLeast);
        EXPECT_LT(rig.clock.seconds(), row.failsAfterAtLeast + 0.1);
        EXPECT_TRUE(rig.parallel.lastReceived.empty());
    }
}

TEST(ParallelTransfer, FailureKeepsBarAtLastRecordEndAndTextAtLastByte) {
    DownloadRig rig = parallelRig({.busyFor = 1000s, .readyBytes = 5});  // stalls at 'x'
    const auto result = rig.run(image("ABC|DE^xy|"));
    EXPECT_EQ(result.outcome, Outcome::PrinterFailed);
    EXPECT_EQ(rig.host.barValue, 5.0F);
    EXPECT_EQ(rig.host.text, "7/12");
    EXPECT_EQ(rig.only({"message", "enable"}),
              concat({{"message Printer Port Error. (Code : 18)"}, kUnlocked}));
}

TEST(ParallelTransfer, SendsWhatTheParallelWalkSends) {
    const Bytes images[] = {
        image("AB^CD|EFG^xy|"),    // a 0x17 away from the marker place is data
        image("|ABC^xy|"),         // CR LF at the start is data
        image("ABC|||DE^xy|"),     // an empty record's CR and the byte after it are data
        image("ABC^xy|more^xy|"),  // nothing after the last record is sent
        Bytes{0x0D, 0x80, 0xFF, 0x17, 0x00, 0x01, 0x0D, 0x0A},
    };
    for (const auto& bytes : images) {
        Bytes expected;
        image::RecordWalker walker(bytes, image::Transfer::Parallel);
        while (const auto record = walker.next()) {
            expected.insert(expected.end(), bytes.begin() + record->start,
                            bytes.begin() + record->end);
        }
        ASSERT_FALSE(walker.error().has_value());
        DownloadRig rig = parallelRig();
        EXPECT_EQ(rig.run(bytes).outcome, Outcome::Success);
        EXPECT_EQ(rig.parallel.lastReceived, expected);
    }
}

TEST(ParallelTransfer, PortTroubleEndsWithTheAdaptersWordsAndUnlocks) {
    struct Row {
        const char* name;
        std::string failClaim;
        int failAtAccess;
        std::string message;
    };
    const Row rows[] = {
        {"claim refused", "LPT1 is held by another program", -1, "LPT1 is held by another program"},
        {"port lost mid-way", "", 9, "Lost the parallel port /dev/fake"},
    };
    for (const auto& row : rows) {
        DownloadRig rig = parallelRig({.failAtAccess = row.failAtAccess});
        rig.parallel.failClaim = row.failClaim;
        const auto result = rig.run(kTwoRecords);
        SCOPED_TRACE(row.name);
        EXPECT_EQ(result.outcome, Outcome::PortError);
        EXPECT_EQ(rig.only({"message", "enable"}), concat({{"message " + row.message}, kUnlocked}));
        EXPECT_EQ(rig.parallel.printer, nullptr) << "the port is released";
    }
}

}  // namespace
}  // namespace korvane::testing
