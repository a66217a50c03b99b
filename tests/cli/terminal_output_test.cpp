// What a terminal shows of a download: names that cannot drive the terminal, a bar that fits
// its width, sane figures from the first update, and no escape sequence where the terminal
// takes none.
#include <gtest/gtest.h>

#include "cli/printable.h"
#include "cli/terminal_host.h"

namespace korvane::cli {
namespace {

TEST(TerminalOutput, ControlCharactersInNamesAreEscaped) {
    const std::pair<std::string, std::string> rows[] = {
        {"demo.DPX", "demo.DPX"},
        {"evil\x1b]0;pwned\x07.DPX", "evil\\x1b]0;pwned\\x07.DPX"},
        {"two\nlines\r", "two\\x0alines\\x0d"},
        {"del\x7f", "del\\x7f"},
        // U+009B is a one-character ESC [ to some terminals; U+00E9 is only a letter.
        {"c1\xc2\x9b"
         "2J caf\xc3\xa9",
         "c1\\u009b2J caf\xc3\xa9"},
        // Bytes that are not UTF-8 show as their value, so the real name can be told; a
        // four-byte character passes whole.
        {"bad\xff\xfe", "bad\\xff\\xfe"},
        {"cut\xe2\x82", "cut\\xe2\\x82"},
        {"overlong\xc0\xaf", "overlong\\xc0\\xaf"},
        {"surrogate\xed\xa0\x80", "surrogate\\xed\\xa0\\x80"},
        {"beyond\xf4\x90\x80\x80", "beyond\\xf4\\x90\\x80\\x80"},
        {"emoji\xf0\x9f\x98\x80", "emoji\xf0\x9f\x98\x80"},
    };
    for (const auto& [text, shown] : rows) {
        EXPECT_EQ(printable(text), shown);
    }
}

TEST(TerminalOutput, TheBarFitsTheTerminalAndTheRateIsSane) {
    struct Row {
        std::int32_t position;
        double seconds;
        int columns;
        const char* has;    // "" for none
        const char* lacks;  // "" for none
    };
    const Row rows[] = {
        {4096, 2.0, 80, "2.0 KiB/s", ""},
        {4096, 2.0, 50, "4096/32768 bytes", ""},
        {4096, 2.0, 20, "", "["},  // no room for a bar: the figures alone, cut to fit
        {4096, 2.0, 200, "[", ""},
        // The first update comes after one record: no rate from a few microseconds.
        {64, 0.00001, 80, "64/32768 bytes", "/s"},
    };
    for (const auto& row : rows) {
        const std::string line = progressLine(row.position, 32768, row.seconds, row.columns);
        EXPECT_LT(static_cast<int>(line.size()), row.columns) << line;
        if (*row.has != '\0') {
            EXPECT_NE(line.find(row.has), std::string::npos) << line;
        }
        if (*row.lacks != '\0') {
            EXPECT_EQ(line.find(row.lacks), std::string::npos) << line;
        }
    }
    // 496 records of 64 bytes and their CR LF: the printer acknowledged the whole image, the
    // port was written the records alone.
    EXPECT_EQ(summaryLine(32736, 32736, 31744, 8.0),
              "32736 of 32736 image bytes acknowledged, 31744 bytes written in 8.0 s (3.9 KiB/s)");
}

TEST(TerminalOutput, TheBarIsRedrawnOnlyAsTheTerminalCan) {
    struct Row {
        LiveTerminal terminal;
        const char* has;    // "" for none
        const char* lacks;  // "" for none
    };
    const Row rows[] = {
        {LiveTerminal::None, "", "\r"},
        {LiveTerminal::None, "", "\x1b"},
        {LiveTerminal::ReturnOnly, "\r[", "\x1b"},
        {LiveTerminal::Escapes, "\x1b[K", ""},
    };
    for (const auto& row : rows) {
        testing::internal::CaptureStderr();
        TerminalHost host({.progressBar = row.terminal});
        host.setProgressRange(1.0F, 100.0F);
        host.setProgressText(100, 100);
        host.showMessage(download::Outcome::PrinterFailed, "failed");
        const std::string shown = testing::internal::GetCapturedStderr();
        EXPECT_NE(shown.find(row.has), std::string::npos) << shown;
        if (*row.lacks != '\0') {
            EXPECT_EQ(shown.find(row.lacks), std::string::npos) << shown;
        }
    }
}

}  // namespace
}  // namespace korvane::cli
