// korvane-cli send over a pseudo-terminal against korvane-printer-sim: the exit status and the
// words a script or a person reads, per printer fault and port failure.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <regex>
#include <thread>

#include "cli/exit_status.h"
#include "ports/linux/device_lock.h"
#include "ports/linux/termios_serial_port.h"
#include "serial_test_support.h"

namespace korvane::testing {
namespace {

using cli::kExitFileOrPort;
using cli::kExitOk;
using cli::kExitPrinterFailed;

constexpr const char* kSuccess = "Firmware Download Success.\n";
constexpr const char* kTimeout = "Communication Error.(5 Sec Time out)";

struct CliRow {
    const char* name;
    std::vector<std::string> simArgs;  // no simulator when it holds "none"
    int status;
    const char* out;     // the whole of standard output
    const char* errHas;  // a part of standard error; "" for none at all
    bool errNamesDevice;
    // The line after the message, "{dev}" standing for the device; "" for none.
    std::string detail = "";
};

// small.DPX: four records of 32, 32, 32 and 16 bytes, each closed by CR LF.
constexpr const char* kChecklist = "\nCheck: the cable is plugged in at both ends;";

std::string withDevice(std::string text, const std::string& device) {
    for (auto at = text.find("{dev}"); at != std::string::npos; at = text.find("{dev}")) {
        text.replace(at, 5, device);
    }
    return text;
}

TEST(SerialCli, SendExitsAndSpeaksPerOutcome) {
    const std::vector<CliRow> rows = {
        {"healthy", {}, kExitOk, kSuccess, "", false},
        {"nak",
         {"--nak-at", "1"},
         kExitPrinterFailed,
         "",
         kTimeout,
         false,
         "On {dev} at 38400 baud: record 1 of 4 (byte offset 0, 32 bytes), 32 bytes written; in "
         "the "
         "5 s wait the printer answered NAK 0x15 (1 time)."},
        {"silence",
         {"--silent-from", "2"},
         kExitPrinterFailed,
         "",
         kTimeout,
         false,
         "On {dev} at 38400 baud: record 2 of 4 (byte offset 34, 32 bytes), 64 bytes written; in "
         "the 5 s wait the printer sent nothing at all."},
        {"double-ack",
         {"--double-ack-at", "3"},
         kExitPrinterFailed,
         "",
         kTimeout,
         false,
         "On {dev} at 38400 baud: record 3 of 4 (byte offset 68, 32 bytes), 96 bytes written; in "
         "the 5 s wait the printer sent an acknowledgement together with other bytes in one read "
         "(06 06), which does not count."},
        {"late-ack", {"--late-ack-at", "1", "--late-ms", "1000"}, kExitOk, kSuccess, "", false},
        {"vanish",
         {"--vanish-at", "3"},
         kExitFileOrPort,
         "",
         "gone away",
         true,
         "On {dev} at 38400 baud: record 3 of 4 (byte offset 68, 32 bytes), 96 bytes written when "
         "the port failed."},
        {"missing", {"none"}, kExitFileOrPort, "", "does not exist", true},
        {"held", {"--repeat"}, kExitFileOrPort, "", "busy", true},
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
        // --quiet hides progress, never why a download failed: the detail is the second line,
        // and a printer's failure ends with the checklist.
        const auto secondLine = run.err.find('\n') + 1;
        if (!row.detail.empty()) {
            EXPECT_EQ(run.err.substr(secondLine, run.err.find('\n', secondLine) - secondLine),
                      withDevice(row.detail, devices[i]))
                << row.name << ": " << run.err;
        } else if (*row.errHas != '\0') {
            EXPECT_EQ(secondLine, run.err.size()) << row.name << ": " << run.err;
        }
        EXPECT_EQ(run.err.find(kChecklist) != std::string::npos, row.status == kExitPrinterFailed)
            << row.name << ": " << run.err;
    }
}

namespace fs = std::filesystem;

// The lock every program takes for the device behind `device`.
fs::path lockOf(const std::string& device) {
    return fs::path("/run/lock") / ports::lockFileName(fs::canonical(device));
}

// The tests read and write /run/lock as other programs do; a bare container may lack it.
void needLockFolder() {
    if (!fs::is_directory("/run/lock") && ::geteuid() == 0) {
        fs::create_directories("/run/lock");
        ::chmod("/run/lock", 01777);
    }
    if (::access("/run/lock", W_OK) != 0) {
        GTEST_SKIP() << "/run/lock is not writable here";
    }
}

void writeFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string readFile(const fs::path& path) {
    const auto bytes = readBytes(path);
    return {bytes.begin(), bytes.end()};
}

// A line setting no download uses, put on the device before the sender opens it: the sender
// must leave it so.
void setForeignSettings(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    t.c_lflag |= ICANON | ECHO;
    ::cfsetspeed(&t, B1200);
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
    ::close(fd);
}

bool hasForeignSettings(const std::string& device) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    const bool read = fd >= 0 && ::tcgetattr(fd, &t) == 0;
    ::close(fd);
    return read && ::cfgetospeed(&t) == B1200 && (t.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO);
}

// Holds once the sender has had the device for `settle`: it is inside the download then.
std::function<bool()> whenLocked(const fs::path& lock, std::chrono::milliseconds settle) {
    return
        [lock, settle, since = std::optional<std::chrono::steady_clock::time_point>()]() mutable {
            if (!since && fs::exists(lock)) {
                since = std::chrono::steady_clock::now();
            }
            return since && std::chrono::steady_clock::now() - *since >= settle;
        };
}

TEST(SerialCli, ASignalEndsTheDownloadAndLeavesNothingBehind) {
    needLockFolder();
    struct Row {
        const char* name;
        int signal;
        std::vector<std::string> simArgs;
        const char* says;
    };
    const std::vector<Row> rows = {
        // Noticed at once inside the 5 s wait, not when it runs out.
        {"SIGINT in the acknowledgement wait", SIGINT, {"--silent-from", "2"}, "Stopped by SIGINT"},
        {"SIGHUP in the acknowledgement wait", SIGHUP, {"--silent-from", "2"}, "Stopped by SIGHUP"},
        {"SIGTERM mid-stream", SIGTERM, {"--baud", "9600"}, "Stopped by SIGTERM"},
    };
    const auto image = sampleImage("demo.DPX");
    for (const auto& row : rows) {
        std::vector<std::string> args{"--image", image.string(), "--repeat"};
        args.insert(args.end(), row.simArgs.begin(), row.simArgs.end());
        tools::SimProcess sim(printerSimProgram(), args);
        setForeignSettings(sim.devicePath());
        const fs::path lock = lockOf(sim.devicePath());
        RunOptions options;
        options.signal = row.signal;
        options.ready = whenLocked(lock, std::chrono::milliseconds(300));
        const auto run = runProgram(
            KORVANE_CLI, {"send", "--serial", sim.devicePath(), image.string()}, options);
        EXPECT_EQ(run.status, 128 + row.signal) << row.name << ": " << run.err;
        EXPECT_NE(run.err.find(row.says), std::string::npos) << row.name << ": " << run.err;
        EXPECT_NE(run.err.find("partial firmware"), std::string::npos)
            << row.name << ": " << run.err;
        EXPECT_FALSE(fs::exists(lock)) << row.name;
        EXPECT_TRUE(hasForeignSettings(sim.devicePath())) << row.name << ": settings not restored";
    }
}

TEST(SerialCli, AnotherProgramsLockIsRespectedWhateverItsFormat) {
    needLockFolder();
    const pid_t live = ::getpid();
    const pid_t dead = [] {
        const pid_t child = ::fork();
        if (child == 0) {
            ::_exit(0);
        }
        ::waitpid(child, nullptr, 0);
        return child;
    }();
    auto classic = [](pid_t pid) {
        char text[16];
        std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
        return std::string(text);
    };
    auto binary = [](pid_t pid) {
        const std::int32_t value = pid;
        return std::string(reinterpret_cast<const char*>(&value), sizeof value);
    };
    struct Row {
        const char* name;
        std::string content;
        bool viaLink;  // the sender names the device through a symbolic link
        int status;
        bool lockStays;
    };
    const std::vector<Row> rows = {
        {"classic format, live", classic(live), false, kExitFileOrPort, true},
        {"bare pid with more lines, live", std::to_string(live) + "\nminicom\nhost\n", false,
         kExitFileOrPort, true},
        {"binary pid, live", binary(live), false, kExitFileOrPort, true},
        {"classic format, live, device named by a link", classic(live), true, kExitFileOrPort,
         true},
        {"classic format, dead owner", classic(dead), false, kExitOk, false},
    };
    const auto image = sampleImage("small.DPX");
    for (const auto& row : rows) {
        tools::SimProcess sim(printerSimProgram(), {"--image", image.string()});
        ScratchDir dir;
        const fs::path lock = lockOf(sim.devicePath());
        writeFile(lock, row.content);
        std::string device = sim.devicePath();
        if (row.viaLink) {
            device = dir.file("printer").string();
            fs::create_symlink(sim.devicePath(), device);
        }
        const auto run =
            runProgram(KORVANE_CLI, {"send", "--serial", device, "--quiet", image.string()},
                       std::chrono::seconds(30));
        EXPECT_EQ(run.status, row.status) << row.name << ": " << run.err;
        if (row.status == kExitFileOrPort) {
            EXPECT_NE(run.err.find("busy"), std::string::npos) << row.name << ": " << run.err;
            EXPECT_NE(run.err.find(std::to_string(live)), std::string::npos) << row.name;
        }
        EXPECT_EQ(fs::exists(lock), row.lockStays) << row.name;
        if (row.lockStays) {
            EXPECT_EQ(readFile(lock), row.content) << row.name;
        }
        fs::remove(lock);
    }
}

TEST(SerialCli, TheEdgesOfTheProcessEndCleanly) {
    ScratchDir dir;
    const std::string fifo = dir.file("firmware.DPX").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto image = sampleImage("small.DPX").string();
    tools::SimProcess sim(printerSimProgram(), {"--image", image, "--repeat"});
    const char* const missing = "/dev/korvane-unplugged";
    ::setenv("KORVANE_COM1", missing, 1);
    struct Row {
        const char* name;
        std::vector<std::string> args;
        bool stdoutClosed;
        int status;
        const char* errHas;
        const char* errLacks;  // "" for no such check
    };
    const std::vector<Row> rows = {
        {"send a FIFO",
         {"send", "--serial", sim.devicePath(), fifo},
         false,
         kExitFileOrPort,
         "named pipe",
         ""},
        {"check a FIFO", {"check", fifo}, false, kExitFileOrPort, "named pipe", ""},
        {"success into a closed pipe",
         {"send", "--serial", sim.devicePath(), "--quiet", image},
         true,
         kExitOk,
         "could not write",
         ""},
        {"a parallel device named by path",
         {"send", "--parallel", "/dev/null", image},
         {},
         kExitFileOrPort,
         "/dev/null",
         "LPT"},
        // COM1 is this very device, yet the user named a path: the messages say the path.
        {"a serial device named by path",
         {"send", "--serial", missing, image},
         false,
         kExitFileOrPort,
         missing,
         "COM"},
    };
    for (const auto& row : rows) {
        RunOptions options;
        options.limit = std::chrono::seconds(20);
        options.stdoutClosed = row.stdoutClosed;
        const auto run = runProgram(KORVANE_CLI, row.args, options);
        EXPECT_EQ(run.status, row.status) << row.name << ": " << run.err;
        EXPECT_NE(run.err.find(row.errHas), std::string::npos) << row.name << ": " << run.err;
        if (*row.errLacks != '\0') {
            EXPECT_EQ(run.err.find(row.errLacks), std::string::npos) << row.name << ": " << run.err;
        }
    }
    ::unsetenv("KORVANE_COM1");
}

TEST(SerialCli, SeveralPrintersAtOnceEachEndTheirOwnWay) {
    needLockFolder();
    const auto image = sampleImage("small.DPX");
    ScratchDir dir;
    struct Printer {
        std::vector<std::string> simArgs;
        bool completed;  // the printer got the whole image
    };
    struct Row {
        const char* name;
        std::vector<Printer> printers;
        std::vector<int> ports;  // which printer each --serial names
        int status;
        std::vector<const char*> outcomes;  // the table's, per port
        int signal = 0;
        bool viaLink = false;  // a printer named again is named through a link to it
    };
    const std::vector<Row> rows = {
        {"one of three fails",
         {{{}, true}, {{"--nak-at", "2"}, false}, {{}, true}},
         {0, 1, 2},
         kExitPrinterFailed,
         {"success", "printer_failed", "success"}},
        // Names of one device are refused before anything is sent, whatever the timing: the
        // printer here answers at once, so a second download could follow the first.
        {"one device named twice",
         {{{}, false}, {{"--nak-at", "2"}, false}},
         {0, 1, 0},
         kExitFileOrPort,
         {"port_error", "printer_failed", "port_error"}},
        {"the same path four times",
         {{{}, false}},
         {0, 0, 0, 0},
         kExitFileOrPort,
         {"port_error", "port_error", "port_error", "port_error"}},
        {"a device and a link to it",
         {{{}, false}, {{}, true}},
         {0, 1, 0},
         kExitFileOrPort,
         {"port_error", "success", "port_error"},
         0,
         true},
        {"a signal stops them all",
         {{{"--silent-from", "2"}, false}, {{"--silent-from", "3"}, false}},
         {0, 1},
         128 + SIGINT,
         {"stopped", "stopped"},
         SIGINT},
    };
    for (const auto& row : rows) {
        std::vector<std::unique_ptr<tools::SimProcess>> sims;
        std::vector<std::string> summaries;
        std::vector<fs::path> locks;
        for (std::size_t i = 0; i < row.printers.size(); ++i) {
            summaries.push_back(dir.file(std::string(row.name) + std::to_string(i)).string());
            // Kept running, so no other test's printer takes its pty name before the locks are
            // looked at.
            std::vector<std::string> args{"--image", image.string(), "--summary", summaries[i],
                                          "--repeat"};
            args.insert(args.end(), row.printers[i].simArgs.begin(), row.printers[i].simArgs.end());
            sims.push_back(std::make_unique<tools::SimProcess>(printerSimProgram(), args));
            locks.push_back(lockOf(sims.back()->devicePath()));
        }
        std::vector<std::string> args{"send", "--quiet"};
        std::vector<std::string> names;  // each port as named
        for (const int p : row.ports) {
            std::string name = sims[static_cast<std::size_t>(p)]->devicePath();
            if (row.viaLink && std::count(row.ports.begin(), row.ports.end(), p) > 1 &&
                std::find(names.begin(), names.end(), name) != names.end()) {
                const std::string link = dir.file(std::string(row.name) + " link").string();
                fs::create_symlink(name, link);
                name = link;
            }
            names.push_back(name);
            args.insert(args.end(), {"--serial", name});
        }
        args.push_back(image.string());
        RunOptions options;
        if (row.signal != 0) {
            options.signal = row.signal;
            // Both downloads are inside their wait for the printer then.
            options.ready =
                [first = locks.front(),
                 settle = whenLocked(locks.back(), std::chrono::milliseconds(300))]() mutable {
                    return fs::exists(first) && settle();
                };
        }
        const auto run = runProgram(KORVANE_CLI, args, options);
        EXPECT_EQ(run.status, row.status) << row.name << ": " << run.err;
        const std::string total = std::to_string(fs::file_size(image));
        for (std::size_t i = 0; i < row.outcomes.size(); ++i) {
            // Each port's line: its outcome and how far into the image it got.
            const std::regex line(
                std::regex_replace(names[i], std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
                " +" + row.outcomes[i] + " +([0-9]+) of " + total);
            std::smatch got;
            EXPECT_TRUE(std::regex_search(run.out, got, line)) << row.name << ": " << run.out;
            if (row.signal != 0 && !got.empty()) {
                // Stopped in the wait for a record after the first: partway, and said so.
                const std::string bytes = got[1].str();
                EXPECT_GT(std::stoi(bytes), 0) << row.name << ": " << run.out;
                EXPECT_LT(std::stoi(bytes), std::stoi(total)) << row.name << ": " << run.out;
                EXPECT_NE(run.err.find(names[i] + ": Stopped by SIGINT after " + bytes + " of " +
                                       total + " image bytes acknowledged ("),
                          std::string::npos)
                    << row.name << ": " << run.err;
            }
        }
        for (std::size_t i = 0; i < row.ports.size(); ++i) {
            std::vector<std::string> same;
            for (std::size_t j = 0; j < row.ports.size(); ++j) {
                if (row.ports[j] == row.ports[i]) {
                    same.push_back("port " + std::to_string(j + 1) + " (" + names[j] + ")");
                }
            }
            if (same.size() == 2) {
                EXPECT_NE(run.err.find(same[0] + " and " + same[1] + " are the same device"),
                          std::string::npos)
                    << row.name << ": " << run.err;
            } else if (same.size() > 2) {
                EXPECT_NE(run.err.find(same[0] + ", " + same[1]), std::string::npos)
                    << row.name << ": " << run.err;
            }
        }
        for (std::size_t i = 0; i < sims.size(); ++i) {
            EXPECT_FALSE(fs::exists(locks[i])) << row.name << " " << i;
            sims[i].reset();
            // A printer no download reached writes no summary at all.
            EXPECT_EQ(tools::readSimSummary(summaries[i])["completed"] == "1",
                      row.printers[i].completed)
                << row.name << " printer " << i;
        }
    }
}

}  // namespace
}  // namespace korvane::testing
