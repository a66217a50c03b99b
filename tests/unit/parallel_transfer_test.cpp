#include <gtest/gtest.h>

#include "image/record_walk.h"
#include "support/download_fixture.h"

namespace korvane::testing {
namespace {

using download::Outcome;

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

// Each poll cycle reads the status twice, the second read judging the fault line on its own;
// a fault wait reads it until the fault clears.
TEST(ParallelTransfer, StatusReadsBeforeTheFirstByte) {
    const std::vector<std::string> send = {"W378=41", "W37A=CD", "W37A=CC"};
    const std::string r = "R379";
    struct Row {
        const char* name;
        std::function<std::uint8_t(int read, double)> status;
        std::vector<std::string> reads;
    };
    const Row rows[] = {
        {"ready at once", [](int, double) { return kReady; }, {r}},
        {"busy for two cycles",
         [](int i, double) { return i < 4 ? kBusy : kReady; },
         {r, r, r, r, r}},
        {"a ready status seen by the fault read is not taken",
         [](int i, double) { return i == 1  ? kReady
                                    : i < 6 ? kBusy
                                            : kReady; },
         {r, r, r, r, r, r, r}},
        {"a fault that clears in the fault wait",
         [](int i, double) { return i < 3   ? kBusyFaulted
                                    : i < 4 ? kBusy
                                            : kReady; },
         {r, r, r, r, r}},
    };
    for (const auto& row : rows) {
        DownloadRig rig = parallelRig({.status = row.status});
        rig.run(kTwoRecords);
        const auto accesses = rig.only({"R", "W"});
        const auto expected = concat({row.reads, send});
        ASSERT_GE(accesses.size(), expected.size()) << row.name;
        EXPECT_EQ(std::vector(accesses.begin(), accesses.begin() + expected.size()), expected)
            << row.name;
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

// The digits of a status value as the error message shows them: uppercase hexadecimal, no
// leading zero.
std::string statusDigits(std::uint8_t status) {
    const char* const digits = "0123456789ABCDEF";
    std::string text = status >= 16 ? std::string(1, digits[status >> 4]) : "";
    return text + digits[status & 15];
}

// The printer's status lines over fake time, and what becomes of the download. A code of "*"
// is the printer's final status read, whatever it was.
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
        {"ready while faulted in the fault wait still fails after 3 s",
         {.status = [](int i, double) -> std::uint8_t { return i == 0 ? kBusyFaulted : 0x90; }},
         Outcome::PrinterFailed,
         3,
         "90"},
        {"the code is a fresh read",
         {.status = [](int i, double) -> std::uint8_t { return kBusy | (i % 8); }},
         Outcome::PrinterFailed,
         10,
         "*"},
        {"a one-digit code has no leading zero",
         {.status = [](int, double) -> std::uint8_t { return 0x07; }},
         Outcome::PrinterFailed,
         3,
         "7"},
        {"a fault just before the 10 s: about 13 s",
         {.status = [](int, double t) { return t < 9.995 ? kBusy : kBusyFaulted; }},
         Outcome::PrinterFailed,
         12.95,
         "10"},
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
        const std::string code = row.code == "*" ? statusDigits(rig.parallel.lastStatus) : row.code;
        EXPECT_EQ(result.message, "Printer Port Error. (Code : " + code + ")");
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
