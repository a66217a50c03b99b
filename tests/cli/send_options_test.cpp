// send's words as people type them: each row is the words and what they mean, or the argument
// an error must name.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/send_options.h"

namespace korvane::cli {
namespace {

// "serial COM3 9600 quiet a.DPX", "serial COM1 + parallel LPT1 38400 a.DPX" for several ports,
// " trace", " log=FILE", " json" after the speed when given, "help", or "error: <the message>".
std::string meaning(const SendParse& parsed) {
    if (!parsed.options) {
        return "error: " + parsed.error;
    }
    const SendOptions& o = *parsed.options;
    if (o.help) {
        return "help";
    }
    std::string ports;
    for (const auto& p : o.ports) {
        ports +=
            (ports.empty() ? "" : " + ") + std::string(p.serial ? "serial " : "parallel ") + p.port;
    }
    return ports + " " + o.baud + (o.trace ? " trace" : "") +
           (o.logFile.empty() ? "" : " log=" + o.logFile) + (o.json ? " json" : "") +
           (o.quiet ? " quiet " : " ") + o.file;
}

TEST(SendOptions, ReadTheWordsAsGnuToolsDo) {
    const std::string here = std::filesystem::current_path().string();
    const struct {
        std::vector<std::string> args;
        std::string meaning;  // exact, or for an error the part it must hold
    } rows[] = {
        {{"--serial", "COM1", "a.DPX"}, "serial COM1 38400 a.DPX"},
        {{"-s", "com3", "-b", "9600", "-q", "a.DPX"}, "serial COM3 9600 quiet a.DPX"},
        {{"--serial=COM2", "--baud=19200", "a.DPX"}, "serial COM2 19200 a.DPX"},
        {{"-qb9600", "-sCOM4", "a.DPX"}, "serial COM4 9600 quiet a.DPX"},
        {{"a.DPX", "--quiet", "--serial", "COM1"}, "serial COM1 38400 quiet a.DPX"},
        {{"--ser", "COM1", "--qu", "a.DPX"}, "serial COM1 38400 quiet a.DPX"},
        {{"--serial", "COM1", "--", "-odd.DPX"}, "serial COM1 38400 -odd.DPX"},
        {{"--serial", "ttyUSB0", "a.DPX"}, "serial /dev/ttyUSB0 38400 a.DPX"},
        {{"--serial", "./ttyX", "a.DPX"}, "serial " + here + "/ttyX 38400 a.DPX"},
        {{"--serial", "pts/../ttyY", "a.DPX"}, "serial " + here + "/ttyY 38400 a.DPX"},
        {{"-s", "/dev/serial/by-id/usb-x", "a.DPX"}, "serial /dev/serial/by-id/usb-x 38400 a.DPX"},
        {{"--parallel", "lpt2", "a.DPX"}, "parallel LPT2 38400 a.DPX"},
        {{"-p", "parport1", "-q", "a.DPX"}, "parallel /dev/parport1 38400 quiet a.DPX"},
        {{"--help"}, "help"},
        {{"-h", "--serial", "COM9"}, "help"},
        {{"--serial", "COM5", "a.DPX"}, "error: '--serial COM5': a serial PORT is COM1..COM4"},
        {{"--serial=COM0", "a.DPX"}, "error: '--serial=COM0': a serial PORT is COM1..COM4"},
        {{"-p", "LPT3", "a.DPX"}, "error: '-p LPT3': a parallel PORT is LPT1, LPT2"},
        {{"--serial", "LPT1", "a.DPX"},
         "error: '--serial LPT1': LPT1 is a parallel port; use --parallel LPT1"},
        {{"--serial=", "a.DPX"}, "error: '--serial=': the PORT is empty"},
        {{"-s", "COM1", "--baud", "115200", "a.DPX"}, "error: '--baud 115200': the speed must be"},
        {{"-s", "COM1", "-qb115200", "a.DPX"}, "error: '-qb115200': the speed must be"},
        {{"-s", "COM1", "a.DPX", "-b"}, "error: '-b': --baud needs a value"},
        {{"a.DPX", "--serial"}, "error: '--serial': --serial needs a value"},
        {{"-s", "COM1", "--quiet=yes", "a.DPX"}, "error: '--quiet=yes': --quiet takes no value"},
        {{"-s", "COM1", "--speed", "9600", "a.DPX"}, "error: unknown option '--speed'"},
        {{"-s", "COM1", "-qx", "a.DPX"}, "error: unknown option '-x'"},
        // Several ports, in the order given, the same device twice included: the device lock
        // refuses the second download, not the parser.
        {{"-s", "COM1", "-p", "LPT1", "a.DPX"}, "serial COM1 + parallel LPT1 38400 a.DPX"},
        {{"--serial", "ttyUSB0", "-s", "ttyUSB1", "--serial=COM2", "-b", "9600", "a.DPX"},
         "serial /dev/ttyUSB0 + serial /dev/ttyUSB1 + serial COM2 9600 a.DPX"},
        {{"-s", "COM1", "-s", "com1", "a.DPX"}, "serial COM1 + serial COM1 38400 a.DPX"},
        {{"-p", "LPT1", "-p", "/dev/parport1", "a.DPX"},
         "parallel LPT1 + parallel /dev/parport1 38400 a.DPX"},
        {{"-p", "LPT1", "-s", "COM1", "-b", "9600", "a.DPX"},
         "parallel LPT1 + serial COM1 9600 a.DPX"},
        {{"-s", "COM1", "-p", "LPT1", "-s", "COM5", "a.DPX"}, "error: '-s COM5': a serial PORT"},
        {{"-p", "LPT1", "-p", "LPT2", "-b", "9600", "a.DPX"},
         "error: '-b 9600': a parallel port has no speed"},
        // The trace, its log and the JSON report.
        {{"-s", "COM1", "--trace", "--json", "a.DPX"}, "serial COM1 38400 trace json a.DPX"},
        {{"-s", "COM1", "--log", "flash.log", "a.DPX"},
         "serial COM1 38400 trace log=flash.log a.DPX"},
        {{"--log=x.log", "-s", "COM1", "a.DPX", "--js"},
         "serial COM1 38400 trace log=x.log json a.DPX"},
        {{"-s", "COM1", "a.DPX", "--log"}, "error: '--log': --log needs a value (a FILE)"},
        {{"-s", "COM1", "--log=", "a.DPX"}, "error: '--log=': the log FILE name is empty"},
        {{"-s", "COM1", "--json=yes", "a.DPX"}, "error: '--json=yes': --json takes no value"},
        {{"-s", "COM1", "--trace=1", "a.DPX"}, "error: '--trace=1': --trace takes no value"},
        {{"-s", "COM1", "-t", "a.DPX"}, "error: unknown option '-t'"},
        {{"-s", "COM1", "a.DPX", "b.DPX"}, "error: 'b.DPX': give one FILE only (already 'a.DPX')"},
        {{"-s", "COM1", ""}, "error: '': the FILE name is empty"},
        {{"a.DPX"}, "error: give --serial PORT or --parallel PORT"},
        {{"-s", "COM1"}, "error: give the firmware FILE"},
        {{"-p", "LPT1", "-b", "9600", "a.DPX"}, "error: '-b 9600': a parallel port has no speed"},
    };
    for (const auto& row : rows) {
        const std::string got = meaning(parseSendOptions(row.args));
        const std::string words = ::testing::PrintToString(row.args);
        if (row.meaning.starts_with("error: ")) {
            EXPECT_TRUE(got.starts_with(row.meaning)) << words << "\n  got: " << got;
        } else {
            EXPECT_EQ(got, row.meaning) << words;
        }
    }
}

}  // namespace
}  // namespace korvane::cli
