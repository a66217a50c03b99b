#include <gtest/gtest.h>

#include "support/download_fixture.h"

namespace korvane::testing {
namespace {

using download::Outcome;

// Two records; the second carries the marker three bytes before its CR. n = 12.
const Bytes kTwoRecords = image("ABC|DE^xy|");

// Also after an earlier download on COM1 at 38400: each download sets the port up afresh from
// the choices of its own start, and sends from record 1.
TEST(SerialTransfer, SetsUpThePortInOrderFromTheChosenEntries) {
    enum class Before { Nothing, TimeOut, Success };
    struct Row {
        int portIndex;
        std::string speed;
        bool foundOpen;
        std::vector<std::string> setUp;
        Before before = Before::Nothing;
    };
    const Row rows[] = {
        {0, "38400", false, {"isOpen", "port 1", "settings 38400,n,8,1", "open", "write 414243"}},
        {2, "19200", false, {"isOpen", "port 3", "settings 19200,n,8,1", "open", "write 414243"}},
        {3,
         "4800",
         true,
         {"isOpen", "close", "port 4", "settings 4800,n,8,1", "open", "write 414243"}},
        {2,
         "9600",
         false,
         {"isOpen", "port 3", "settings 9600,n,8,1", "open", "write 414243"},
         Before::TimeOut},
        {1,
         "4800",
         false,
         {"isOpen", "port 2", "settings 4800,n,8,1", "open", "write 414243"},
         Before::Success},
    };
    for (const auto& row : rows) {
        DownloadRig rig;
        if (row.before != Before::Nothing) {
            const bool answer = row.before == Before::Success;
            rig.serial.printer = [answer](int, const Bytes&) {
                return answer ? std::vector<ScriptedSerialPort::Reply>{{0ms, {0x06}}}
                              : std::vector<ScriptedSerialPort::Reply>{};
            };
            rig.run(kTwoRecords);
            rig.serial.printer = ScriptedSerialPort::acknowledgeAtOnce;
            rig.log.clear();
        }
        rig.choices.portIndex = row.portIndex;
        rig.choices.speedText = row.speed;
        rig.serial.open_ = rig.serial.open_ || row.foundOpen;
        rig.run(kTwoRecords);
        const auto setUp = rig.only({"isOpen", "close", "port", "settings", "open", "write"});
        ASSERT_GE(setUp.size(), row.setUp.size());
        EXPECT_EQ(std::vector(setUp.begin(), setUp.begin() + row.setUp.size()), row.setUp)
            << "port index " << row.portIndex;
    }
}

TEST(SerialTransfer, SendsEachRecordInOneWriteAndEndsInTheSuccessOrder) {
    DownloadRig rig;
    const auto result = rig.run(kTwoRecords);

    EXPECT_EQ(result.outcome, Outcome::Success);
    EXPECT_EQ(result.message, "Firmware Download Success.");
    const auto expected = concat(
        {kLocked,
         {"bar visible", "bar range 1..12", "isOpen", "port 1", "settings 38400,n,8,1", "open",
          "write 414243", "bar 5", "text 5/12", "write 4445177879", "bar 12", "text 12/12",
          "bar 12", "text 12/12", "message Firmware Download Success.", "close"},
         kUnlocked});
    EXPECT_EQ(rig.log, expected);
}

TEST(SerialTransfer, LetsEventsRunAfterEachRecordByteAndAroundEachReport) {
    DownloadRig rig;
    rig.host.logEvents = true;
    rig.run(image("AB|C^xy|"));
    const auto seen = rig.only({"events", "write", "text"});
    const std::vector<std::string> expected = {"events",         "events",
                                               "write 4142",     "text 4/10",
                                               "events",         "events",  // first record
                                               "events",         "events",
                                               "events",         "events",
                                               "write 43177879", "text 10/10",
                                               "events",         "text 10/10"};
    EXPECT_EQ(seen, expected);
}

// Replies are judged one read at a time: only a read of exactly one 0x06 acknowledges.
TEST(SerialTransfer, AcknowledgementRule) {
    using Reply = ScriptedSerialPort::Reply;
    struct Row {
        const char* name;
        std::vector<Reply> replies;  // to the only record
        bool acknowledged;
        struct {
            std::chrono::milliseconds writeTakes{0};
            std::chrono::milliseconds readOverrun{0};
        } timing = {};
    };
    const Row rows[] = {
        {"lone ACK at once", {{0ms, {0x06}}}, true},
        // The reply is judged before the clock in each poll.
        {"lone ACK in a read that wakes past the deadline", {{5001ms, {0x06}}}, true, {0ms, 5ms}},
        {"ACK ACK in a read that wakes past the deadline",
         {{5001ms, {0x06, 0x06}}},
         false,
         {0ms, 5ms}},
        // The 5 s run from the moment the write returns.
        {"lone ACK 4.9 s after a write that took 2 s", {{4900ms, {0x06}}}, true, {2000ms}},
        {"nothing after a write that took 2 s", {}, false, {2000ms}},
        {"lone ACK after 4.9 s", {{4900ms, {0x06}}}, true},
        {"lone ACK read as the deadline passes", {{5s, {0x06}}}, true},
        {"lone ACK after the deadline", {{5001ms, {0x06}}}, false},
        {"ACK ACK in one read", {{0ms, {0x06, 0x06}}}, false},
        {"ACK with a trailing byte", {{0ms, {0x06, 0x41}}}, false},
        {"NAK", {{0ms, {0x15}}}, false},
        {"noise then a lone ACK", {{1s, {0x15}}, {2s, {0x06}}}, true},
        {"ACK and NAK waiting together", {{1s, {0x06}}, {1s, {0x15}}}, false},
        {"nothing", {}, false},
    };
    for (const auto& row : rows) {
        DownloadRig rig;
        rig.serial.printer = [&](int, const Bytes&) { return row.replies; };
        rig.serial.writeTakes = row.timing.writeTakes;
        rig.serial.readOverrun = row.timing.readOverrun;
        const auto result = rig.run(image("AB^xy|"));

        SCOPED_TRACE(row.name);
        ASSERT_EQ(rig.serial.writes.size(), 1U) << "a record is never sent again";
        EXPECT_FALSE(rig.serial.open_);
        if (row.acknowledged) {
            EXPECT_EQ(result.outcome, Outcome::Success);
        } else {
            EXPECT_EQ(result.outcome, Outcome::PrinterFailed);
            EXPECT_EQ(result.message, "Communication Error.(5 Sec Time out)");
            // The time-out comes 5 s after the write, not a moment sooner.
            const double waited = rig.clock.seconds() - rig.serial.writeTimes[0];
            EXPECT_GT(waited, 5.0);
            EXPECT_LE(waited,
                      5.0 + std::chrono::duration<double>(row.timing.readOverrun).count() + 1e-6);
        }
    }
}

TEST(SerialTransfer, BytesAlreadyWaitingAreJudgedAsTheNextRecordsReply) {
    using Reply = ScriptedSerialPort::Reply;
    struct Row {
        const char* name;
        std::vector<Reply> repliesToFirst;  // the second record gets no reply of its own
        Outcome outcome;
    };
    const Row rows[] = {
        {"a repeated ACK acknowledges the next record",
         {{0ms, {0x06}}, {1ms, {0x06}}},
         Outcome::Success},
        {"two waiting bytes are read together and dropped",
         {{0ms, {0x06}}, {1ms, {0x06}}, {2ms, {0x06}}},
         Outcome::PrinterFailed},
    };
    for (const auto& row : rows) {
        DownloadRig rig;
        // Building the next record takes fake time, so the late replies are waiting by then.
        rig.host.onEvents = [&] { rig.clock.advance(1ms); };
        rig.serial.printer = [&](int write, const Bytes&) {
            return write == 0 ? row.repliesToFirst : std::vector<Reply>{};
        };
        EXPECT_EQ(rig.run(kTwoRecords).outcome, row.outcome) << row.name;
        EXPECT_EQ(rig.serial.writes.size(), 2U) << row.name;
    }
}

// A printer that stops answering leaves the bar and the text as the last acknowledged record
// left them, or untouched when none was.
TEST(SerialTransfer, TimeOutClosesThePortBeforeTheMessageAndKeepsTheLastProgress) {
    struct Row {
        int answered;  // records acknowledged before the silence
        std::vector<std::string> progress;
        float bar;  // -1: never set
        std::string text;
    };
    const Row rows[] = {
        {1, {"bar 5", "text 5/12"}, 5.0F, "5/12"},
        {0, {}, -1.0F, ""},
    };
    for (const auto& row : rows) {
        DownloadRig rig;
        rig.serial.printer = [&](int write, const Bytes&) {
            return write < row.answered ? std::vector<ScriptedSerialPort::Reply>{{0ms, {0x06}}}
                                        : std::vector<ScriptedSerialPort::Reply>{};
        };
        const auto result = rig.run(kTwoRecords);

        SCOPED_TRACE(row.answered);
        EXPECT_EQ(result.outcome, Outcome::PrinterFailed);
        const auto tail = rig.only({"bar ", "text", "close", "message", "enable"});
        const auto expected = concat({{"bar visible", "bar range 1..12"},
                                      row.progress,
                                      {"close", "message Communication Error.(5 Sec Time out)"},
                                      kUnlocked});
        EXPECT_EQ(tail, expected);
        EXPECT_EQ(rig.host.barValue, row.bar);
        EXPECT_EQ(rig.host.text, row.text);
    }
}

TEST(SerialTransfer, RecordShapes) {
    struct Row {
        const char* name;
        Bytes image;
        std::vector<std::string> writes;  // hex
        std::string finalText;
    };
    const Row rows[] = {
        {"empty record is an empty write, waited for", image("|AB^xy|"), {"", "4142177879"}, "9/9"},
        {"marker mid-record ends the download after that record",
         image("AB^CD|EFG|HI^xy|"),
         {"4142174344"},
         "7/19"},
        {"lone LF inside a record is sent", image("A\nB^xy|"), {"410A42177879"}, "8/8"},
        {"bytes after the last record are never sent",
         image("AB^xy|trailing"),
         {"4142177879"},
         "7/15"},
        {"high bytes are sent unchanged",
         Bytes{0x80, 0xFF, 0x17, 0x00, 0x0D, 0x0A},
         {"80FF1700"},
         "6/6"},
        {"final CR with no byte after it: progress stops at n",
         image("AB^xy~"),
         {"4142177879"},
         "6/6"},
    };
    for (const auto& row : rows) {
        DownloadRig rig;
        const auto result = rig.run(row.image);
        SCOPED_TRACE(row.name);
        EXPECT_EQ(result.outcome, Outcome::Success);
        std::vector<std::string> writes;
        for (const auto& w : rig.serial.writes) {
            writes.push_back(ScriptedSerialPort::hex(w));
        }
        EXPECT_EQ(writes, row.writes);
        EXPECT_EQ(rig.host.text, row.finalText);
        EXPECT_LE(rig.host.barValue, static_cast<float>(row.image.size()));
    }
}

// Port trouble ends with the port closed, the adapter's own words, and the controls unlocked.
TEST(SerialTransfer, PortFailuresEndCleanly) {
    struct Row {
        const char* failOn;
        int readFailsAfterWrite;
        std::string message;
        std::size_t writes;
    };
    const Row rows[] = {
        {"open", -1, "Cannot open /dev/fake: no such device", 0},
        {"settings", -1, "Settings refused by /dev/fake", 0},
        {"write", -1, "Write failed on /dev/fake", 0},
        {"", 0, "/dev/fake has gone away", 1},
    };
    for (const auto& row : rows) {
        DownloadRig rig;
        rig.serial.failOn = row.failOn;
        rig.serial.failOnReadAfterWrite = row.readFailsAfterWrite;
        const auto result = rig.run(kTwoRecords);
        SCOPED_TRACE(row.message);
        EXPECT_EQ(result.outcome, Outcome::PortError);
        EXPECT_EQ(result.message, row.message);
        EXPECT_FALSE(rig.serial.open_);
        EXPECT_EQ(rig.serial.writes.size(), row.writes);
        const auto tail = rig.only({"message", "enable"});
        EXPECT_EQ(tail, concat({{"message " + row.message}, kUnlocked}));
    }
}

}  // namespace
}  // namespace korvane::testing
