#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "image/firmware_file.h"
#include "image/record_walk.h"
#include "support/test_image.h"

namespace korvane::image {
namespace {

using namespace std::string_literals;

// Tables write the marker 0x17 as '^' (the shared test image notation) so rows stay readable.
std::string m(const std::string& text) {
    const std::vector<std::uint8_t> bytes = testing::image(text);
    return {bytes.begin(), bytes.end()};
}

// What one transfer does with an image: the bytes of each record it sends, in order.
struct Outcome {
    std::vector<std::string> records;
    std::int64_t stop = 0;
    std::optional<WalkError> error;  // none: the final record carries the last flag
};

Outcome ok(std::vector<std::string> records, std::int64_t stop) {
    for (auto& r : records) {
        r = m(r);
    }
    return {std::move(records), stop, std::nullopt};
}
Outcome broken(std::vector<std::string> records, std::int64_t stop, RuleBreak rule,
               std::int64_t offset) {
    Outcome out = ok(std::move(records), stop);
    out.error = WalkError{rule, offset};
    return out;
}

std::span<const std::uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Walks the image, checks what every walk must hold whatever the image, and returns what it sent.
Outcome walk(const std::string& image, Transfer transfer) {
    const auto bytes = bytesOf(image);
    RecordWalker walker(bytes, transfer);
    Outcome out;
    std::int64_t expectedStart = 0;
    bool sawLast = false;
    while (const auto record = walker.next()) {
        EXPECT_FALSE(sawLast) << "a record after the last one";
        EXPECT_EQ(record->start, expectedStart) << "records must follow each other";
        EXPECT_LE(record->start, record->end);
        EXPECT_LT(record->end, static_cast<std::int64_t>(image.size()));
        EXPECT_EQ(image[static_cast<std::size_t>(record->end)], '\r');
        out.records.push_back(image.substr(static_cast<std::size_t>(record->start),
                                           static_cast<std::size_t>(record->size())));
        out.stop = record->next();
        expectedStart = record->next();
        sawLast = record->last;
    }
    EXPECT_TRUE(walker.finished());
    EXPECT_FALSE(walker.next().has_value()) << "a finished walk stays finished";
    out.error = walker.error();
    EXPECT_EQ(sawLast, !out.error.has_value()) << "a walk ends at its last record or an error";

    const auto summary = summarizeWalk(bytes, transfer);
    std::int64_t sent = 0;
    std::int64_t empty = 0;
    for (const auto& r : out.records) {
        sent += static_cast<std::int64_t>(r.size());
        empty += r.empty() ? 1 : 0;
    }
    EXPECT_EQ(summary.records, static_cast<std::int64_t>(out.records.size()));
    EXPECT_EQ(summary.bytesSent, sent);
    EXPECT_EQ(summary.emptyRecords, empty);
    EXPECT_EQ(summary.stopPosition, out.stop);
    EXPECT_EQ(summary.ok(), !out.error.has_value());
    return out;
}

std::string show(const std::optional<WalkError>& error) {
    if (!error) {
        return "none";
    }
    return "rule " + std::to_string(static_cast<int>(error->rule)) + " at " +
           std::to_string(error->offset);
}

void expectOutcome(const std::string& image, Transfer transfer, const Outcome& expected) {
    SCOPED_TRACE(transferName(transfer));
    const Outcome got = walk(image, transfer);
    EXPECT_EQ(got.records, expected.records);
    EXPECT_EQ(got.stop, expected.stop);
    EXPECT_EQ(show(got.error), show(expected.error));
}

struct Row {
    const char* name;
    std::string image;
    Outcome serial;
    Outcome parallel;
};

// Images both transfers send whole and alike.
const std::vector<Row>& agreeingRows() {
    static const std::vector<Row> rows = {
        // clang-format off
        {"two records, marker three before the final CR", "ABC\r\nDE^FG\r\n",
         ok({"ABC", "DE^FG"}, 12), ok({"ABC", "DE^FG"}, 12)},
        {"one record starting with the marker", "^AB\r\n",
         ok({"^AB"}, 5), ok({"^AB"}, 5)},
        {"byte after CR is skipped unseen, even a CR", "ABC\r\rDE^FG\r\n",
         ok({"ABC", "DE^FG"}, 12), ok({"ABC", "DE^FG"}, 12)},
        {"byte after CR need not be LF", "ABC\rXDE^FG\rY",
         ok({"ABC", "DE^FG"}, 12), ok({"ABC", "DE^FG"}, 12)},
        {"lone LF is sent as data", "AB\nC^DE\r\n",
         ok({"AB\nC^DE"}, 9), ok({"AB\nC^DE"}, 9)},
        {"bytes after the last record are not read", "ABC^DE\r\nTRAIL^XY\r\n",
         ok({"ABC^DE"}, 8), ok({"ABC^DE"}, 8)},
        {"marked last record whose CR is the final byte stops at n + 1", "ABC\r\nD^EF\r",
         ok({"ABC", "D^EF"}, 11), ok({"ABC", "D^EF"}, 11)},
        {"bytes 0x00, 0x1A and 0x80-0xFF are data", "\x00\x80\xff\r\n\x1a^\xfe\xfd\r\n"s,
         ok({"\x00\x80\xff"s, "\x1a^\xfe\xfd"}, 11), ok({"\x00\x80\xff"s, "\x1a^\xfe\xfd"}, 11)},
        // clang-format on
    };
    return rows;
}

// Images where the two walks part, or one or both would read outside the image.
const std::vector<Row>& disagreeingRows() {
    static const std::vector<Row> rows = {
        // clang-format off
        {"0x17 mid-file: serial stops early, parallel sends on", "A^BCD\r\nEF^GH\r\n",
         ok({"A^BCD"}, 7), ok({"A^BCD", "EF^GH"}, 14)},
        {"only 0x17 not three before its CR", "ABC\r\n^XYZW\r\n",
         ok({"ABC", "^XYZW"}, 12), broken({"ABC", "^XYZW"}, 12, RuleBreak::NoMarker, 12)},
        {"0x17 as the skipped byte marks the next 2-byte record for parallel only", "ABC\r^DE\r\n",
         broken({"ABC", "DE"}, 9, RuleBreak::NoMarker, 9), ok({"ABC", "DE"}, 9)},
        {"image beginning with CR LF", "\r\nAB^CD\r\n",
         ok({"", "AB^CD"}, 9), ok({"\r\nAB^CD"}, 9)},
        {"empty record in the middle", "ABC\r\n\r\nD^EF\r\n",
         ok({"ABC", "", "D^EF"}, 13), ok({"ABC", "\r\nD^EF"}, 13)},
        {"CR at index 0 then CR at index 1", "\r\rAB^CD\r\n",
         ok({"", "AB^CD"}, 9), broken({}, 0, RuleBreak::CrBeforeMarkerPlace, 1)},
        {"CR at index 1", "A\rxBC^DE\r\n",
         ok({"A", "BC^DE"}, 10), broken({}, 0, RuleBreak::CrBeforeMarkerPlace, 1)},
        {"CR at index 2", "AB\r\nC^DE\r\n",
         ok({"AB", "C^DE"}, 10), broken({}, 0, RuleBreak::CrBeforeMarkerPlace, 2)},
        {"empty image", "",
         broken({}, 0, RuleBreak::NoMarker, 0), broken({}, 0, RuleBreak::NoMarker, 0)},
        {"no marker at all", "ABC\r\nDEF\r\n",
         broken({"ABC", "DEF"}, 10, RuleBreak::NoMarker, 10),
         broken({"ABC", "DEF"}, 10, RuleBreak::NoMarker, 10)},
        {"unterminated tail without marker", "ABC\r\nDEF",
         broken({"ABC"}, 5, RuleBreak::NoMarker, 5), broken({"ABC"}, 5, RuleBreak::NoMarker, 5)},
        {"one-byte tail without CR", "ABC\r\nX",
         broken({"ABC"}, 5, RuleBreak::NoMarker, 5), broken({"ABC"}, 5, RuleBreak::NoMarker, 5)},
        {"last record without CR", "ABC\r\nD^EF",
         broken({"ABC"}, 5, RuleBreak::LastRecordWithoutCr, 5),
         broken({"ABC"}, 5, RuleBreak::LastRecordWithoutCr, 5)},
        {"marker in an unterminated tail, away from the parallel marker place", "ABC\r\n^XYZW",
         broken({"ABC"}, 5, RuleBreak::LastRecordWithoutCr, 5),
         broken({"ABC"}, 5, RuleBreak::NoMarker, 5)},
        {"non-last record's CR is the final byte", "ABC\r\nDEF\r",
         broken({"ABC", "DEF"}, 10, RuleBreak::CrWithoutFollowingByte, 8),
         broken({"ABC", "DEF"}, 10, RuleBreak::CrWithoutFollowingByte, 8)},
        {"image of a lone CR", "\r",
         broken({""}, 2, RuleBreak::CrWithoutFollowingByte, 0),
         broken({}, 0, RuleBreak::NoMarker, 0)},
        {"serial empty record at the end, parallel sends its CR as data", "ABC\r\n\r",
         broken({"ABC", ""}, 7, RuleBreak::CrWithoutFollowingByte, 5),
         broken({"ABC"}, 5, RuleBreak::NoMarker, 5)},
        // clang-format on
    };
    return rows;
}

TEST(RecordWalk, AgreeingImagesAreSentWholeAndAlike) {
    for (const auto& row : agreeingRows()) {
        SCOPED_TRACE(row.name);
        expectOutcome(m(row.image), Transfer::Serial, row.serial);
        expectOutcome(m(row.image), Transfer::Parallel, row.parallel);
        EXPECT_EQ(row.serial.records, row.parallel.records) << "table row must agree";
    }
}

TEST(RecordWalk, DisagreeingAndMalformedImagesStopInsideTheImage) {
    for (const auto& row : disagreeingRows()) {
        SCOPED_TRACE(row.name);
        expectOutcome(m(row.image), Transfer::Serial, row.serial);
        expectOutcome(m(row.image), Transfer::Parallel, row.parallel);
    }
}

TEST(RecordWalk, ErrorTextNamesTheOffset) {
    for (const auto rule : {RuleBreak::NoMarker, RuleBreak::LastRecordWithoutCr,
                            RuleBreak::CrWithoutFollowingByte, RuleBreak::CrBeforeMarkerPlace}) {
        for (const auto transfer : {Transfer::Serial, Transfer::Parallel}) {
            const auto text = describeWalkError(WalkError{rule, 1234567}, transfer);
            EXPECT_NE(text.find("1234567"), std::string::npos) << text;
        }
    }
}

// The committed samples, so that a change to the generator cannot quietly turn one into
// something else.
struct SampleRow {
    const char* file;
    std::optional<RuleBreak> serial;  // none: sent whole
    std::optional<RuleBreak> parallel;
    bool sameBytes;
};

TEST(RecordWalk, SamplesExerciseWhatTheirNamesSay) {
    const std::vector<SampleRow> rows = {
        {"demo.DPX", std::nullopt, std::nullopt, true},
        {"small.DPX", std::nullopt, std::nullopt, true},
        {"empty.DPX", RuleBreak::NoMarker, RuleBreak::NoMarker, true},
        {"no-marker.DPX", RuleBreak::NoMarker, RuleBreak::NoMarker, true},
        {"unterminated-tail.DPX", RuleBreak::NoMarker, RuleBreak::NoMarker, true},
        {"last-record-without-cr.DPX", RuleBreak::LastRecordWithoutCr,
         RuleBreak::LastRecordWithoutCr, true},
        {"cr-final-byte-not-last.DPX", RuleBreak::CrWithoutFollowingByte,
         RuleBreak::CrWithoutFollowingByte, true},
        {"cr-final-byte-last.DPX", std::nullopt, std::nullopt, true},
        {"cr-at-index-1.DPX", std::nullopt, RuleBreak::CrBeforeMarkerPlace, false},
        {"cr-at-index-2.DPX", std::nullopt, RuleBreak::CrBeforeMarkerPlace, false},
        {"marker-mid-file.DPX", std::nullopt, std::nullopt, false},
        {"marker-misplaced.DPX", std::nullopt, RuleBreak::NoMarker, true},
        {"marker-after-cr.DPX", std::nullopt, std::nullopt, false},
        {"starts-with-crlf.DPX", std::nullopt, std::nullopt, false},
        {"empty-record-middle.DPX", std::nullopt, std::nullopt, false},
        {"lone-lf.DPX", std::nullopt, std::nullopt, true},
        {"trailing-bytes.DPX", std::nullopt, std::nullopt, true},
        {"high-bytes.DPX", std::nullopt, std::nullopt, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        const auto loaded = loadFirmwareFile(std::filesystem::path(KORVANE_SAMPLES_DIR) / row.file);
        ASSERT_TRUE(loaded.ok()) << loaded.reason;
        const std::string image(loaded.bytes.begin(), loaded.bytes.end());
        const Outcome serial = walk(image, Transfer::Serial);
        const Outcome parallel = walk(image, Transfer::Parallel);
        EXPECT_EQ(serial.error ? std::optional(serial.error->rule) : std::nullopt, row.serial);
        EXPECT_EQ(parallel.error ? std::optional(parallel.error->rule) : std::nullopt,
                  row.parallel);
        std::string serialBytes;
        std::string parallelBytes;
        for (const auto& r : serial.records) {
            serialBytes += r;
        }
        for (const auto& r : parallel.records) {
            parallelBytes += r;
        }
        EXPECT_EQ(serialBytes == parallelBytes, row.sameBytes);
    }
}

TEST(RecordWalk, DemoIsAboutThirtyTwoKibOf64ByteRecords) {
    const auto loaded = loadFirmwareFile(std::filesystem::path(KORVANE_SAMPLES_DIR) / "demo.DPX");
    ASSERT_TRUE(loaded.ok()) << loaded.reason;
    const std::string image(loaded.bytes.begin(), loaded.bytes.end());
    EXPECT_GE(image.size(), 31u * 1024);
    EXPECT_LE(image.size(), 33u * 1024);
    ASSERT_GE(image.size(), 5u);
    EXPECT_EQ(image.substr(image.size() - 5, 1), "\x17");
    EXPECT_EQ(image.substr(image.size() - 2), "\r\n");
    for (const auto transfer : {Transfer::Serial, Transfer::Parallel}) {
        const Outcome out = walk(image, transfer);
        EXPECT_FALSE(out.error.has_value());
        EXPECT_EQ(out.stop, static_cast<std::int64_t>(image.size()));
        for (const auto& r : out.records) {
            EXPECT_EQ(r.size(), 64u);
        }
    }
}

}  // namespace
}  // namespace korvane::image
