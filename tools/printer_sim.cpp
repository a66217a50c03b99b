#include "printer_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <thread>

#include "image/firmware_file.h"
#include "image/record_walk.h"
#include "ports/linux/file_descriptor.h"

namespace korvane::tools {
namespace {

using ports::FileDescriptor;

constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;

// While no program has the device open the master reports a hang-up without blocking, so the
// wait for a sender has to sleep between looks.
constexpr int kIdleLookMs = 2;

// An empty record puts nothing on the line, so the printer cannot see it come: it answers this
// long after its previous answer, time enough for the sender to have taken that one, so the
// two never reach it as one read.
constexpr std::chrono::milliseconds kEmptyRecordSettle{100};

enum class Ending { Completed, Fault, Vanished, SenderLeft };

const char* endingName(Ending ending) {
    switch (ending) {
        case Ending::Completed:
            return "completed";
        case Ending::Fault:
            return "fault";
        case Ending::Vanished:
            return "vanished";
        case Ending::SenderLeft:
            return "sender-left";
    }
    return "";
}

struct Tally {
    int downloads = 0;
    int completed = 0;
    // Of the latest download:
    std::int64_t records = 0;
    std::int64_t bytes = 0;
    std::int64_t mismatches = 0;     // records whose bytes differ from the image
    std::int64_t firstMismatch = 0;  // the first such record; 0 for none
    std::int64_t extraBytes = 0;     // bytes that came after the sender should have stopped
    Ending ending = Ending::SenderLeft;
};

// Writes a file whole under its final name, so a reader never sees half of it.
bool writeFileAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << text;
        if (!file.flush()) {
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    return !ec;
}

class Printer {
  public:
    Printer(const SimOptions& options, std::span<const std::uint8_t> image,
            std::vector<image::Record> records, FileDescriptor& master)
        : options_(options),
          image_(image),
          records_(std::move(records)),
          device_(master),
          master_(master.get()) {}

    int serve(std::ostream& err) {
        int status = 0;
        for (;;) {
            waitForSender();
            ++tally_.downloads;
            tally_.records = tally_.bytes = tally_.mismatches = tally_.firstMismatch = 0;
            tally_.extraBytes = 0;
            tally_.ending = serveDownload();
            tally_.completed += tally_.ending == Ending::Completed ? 1 : 0;
            if (!options_.summaryFile.empty() &&
                !writeFileAtomically(options_.summaryFile, summary())) {
                err << "korvane-printer-sim: cannot write " << options_.summaryFile << "\n";
            }
            const bool good = tally_.mismatches == 0 && tally_.ending != Ending::SenderLeft;
            status = good ? 0 : 1;
            if (tally_.ending == Ending::Vanished || !options_.repeat) {
                return status;
            }
        }
    }

  private:
    std::string summary() const {
        std::int64_t expectedBytes = 0;
        for (const auto& record : records_) {
            expectedBytes += record.size();
        }
        return "downloads=" + std::to_string(tally_.downloads) +
               "\ncompleted=" + std::to_string(tally_.completed) +
               "\nrecords=" + std::to_string(tally_.records) +
               "\nbytes=" + std::to_string(tally_.bytes) +
               "\nmismatches=" + std::to_string(tally_.mismatches) +
               "\nfirst_mismatch=" + std::to_string(tally_.firstMismatch) +
               "\nextra_bytes=" + std::to_string(tally_.extraBytes) +
               "\nexpected_records=" + std::to_string(records_.size()) +
               "\nexpected_bytes=" + std::to_string(expectedBytes) +
               "\nended=" + endingName(tally_.ending) + "\n";
    }

    // poll() on the master: POLLHUP alone means no program has the device open.
    short look(int timeoutMs) const {
        pollfd pfd{master_, POLLIN, 0};
        while (::poll(&pfd, 1, timeoutMs) < 0) {
            if (errno != EINTR) {
                return POLLERR;
            }
        }
        return pfd.revents;
    }

    void waitForSender() const {
        for (;;) {
            const short events = look(kIdleLookMs);
            if ((events & POLLIN) != 0 || (events & POLLHUP) == 0) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(kIdleLookMs));
        }
    }

    // Reads up to `wanted` bytes into `into`; false when the sender closed the device first.
    bool readExactly(std::uint8_t* into, std::size_t wanted) const {
        std::size_t got = 0;
        while (got < wanted) {
            look(-1);
            const ssize_t n = ::read(master_, into + got, wanted - got);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            if (n <= 0) {
                return false;  // EIO: the sender closed the device
            }
            got += static_cast<std::size_t>(n);
        }
        return true;
    }

    // After a fault the sender gives up and closes the device; anything it still sends is extra.
    void drainUntilSenderLeaves() {
        std::uint8_t buffer[4096];
        for (;;) {
            look(-1);
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            if (n <= 0) {
                return;
            }
            tally_.extraBytes += n;
        }
    }

    void answer(std::span<const std::uint8_t> reply) const {
        // A sender that already left cannot hear it, and that is not our failure.
        [[maybe_unused]] const ssize_t n = ::write(master_, reply.data(), reply.size());
    }

    void pause(std::int64_t microseconds) const {
        if (microseconds > 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
        }
    }

    Ending serveDownload() {
        std::vector<std::uint8_t> received;
        for (std::size_t i = 0; i < records_.size(); ++i) {
            const int number = static_cast<int>(i) + 1;
            const auto& record = records_[i];
            const auto expected = image_.subspan(static_cast<std::size_t>(record.start),
                                                 static_cast<std::size_t>(record.size()));
            received.resize(expected.size());
            if (received.empty()) {
                std::this_thread::sleep_for(kEmptyRecordSettle);
            }
            if (!readExactly(received.data(), received.size())) {
                return Ending::SenderLeft;
            }
            ++tally_.records;
            tally_.bytes += static_cast<std::int64_t>(received.size());
            if (!std::equal(received.begin(), received.end(), expected.begin())) {
                tally_.firstMismatch = tally_.mismatches++ == 0 ? number : tally_.firstMismatch;
            }
            if (number == options_.vanishAt) {
                device_.reset();
                return Ending::Vanished;
            }
            pause(std::int64_t{options_.processMs} * 1000 +
                  (options_.baud > 0
                       ? static_cast<std::int64_t>(received.size()) * 10'000'000 / options_.baud
                       : 0));
            const std::uint8_t ack[] = {kAck, kAck};
            const std::uint8_t nak[] = {kNak};
            if (options_.silentFrom != 0 && number >= options_.silentFrom) {
                drainUntilSenderLeaves();
                return Ending::Fault;
            }
            if (number == options_.nakAt || number == options_.doubleAckAt) {
                answer(number == options_.nakAt ? std::span<const std::uint8_t>(nak)
                                                : std::span<const std::uint8_t>(ack));
                drainUntilSenderLeaves();
                return Ending::Fault;
            }
            if (number == options_.lateAckAt) {
                pause(std::int64_t{options_.lateMs} * 1000);
            }
            answer(std::span(ack, 1));
        }
        // Leaving now would hang up the device under the last answer before the sender read it.
        drainUntilSenderLeaves();
        return Ending::Completed;
    }

    const SimOptions& options_;
    std::span<const std::uint8_t> image_;
    std::vector<image::Record> records_;
    FileDescriptor& device_;
    int master_;
    Tally tally_;
};

bool parseCount(const std::string& text, int& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc{} && end == text.data() + text.size() && value >= 0;
}

}  // namespace

const char* simUsage() {
    return "Usage: korvane-printer-sim --image FILE [options]\n"
           "\n"
           "A serial printer on a new pseudo-terminal. Prints the device path as its first line\n"
           "on standard output, then takes a download of FILE record by record: it reads each\n"
           "record by its length, checks it against FILE and answers 0x06.\n"
           "\n"
           "Records are numbered from 1 (the first record is 1). An empty record puts no bytes\n"
           "on the line: the printer knows it from FILE and answers it 100 ms after its\n"
           "previous answer.\n"
           "\n"
           "  --image FILE        the image the sender is expected to send (required)\n"
           "  --path-file FILE    also write the device path to FILE\n"
           "  --summary FILE      after each download write key=value lines: downloads,\n"
           "                      completed, records, bytes, mismatches,\n"
           "                      first_mismatch, extra_bytes, expected_records,\n"
           "                      expected_bytes, ended (completed, fault, vanished or\n"
           "                      sender-left), all of the latest download but the first two\n"
           "  --process-ms N      the printer's work per record before it answers\n"
           "  --baud N            line speed: wait 10 bits per received byte before answering\n"
           "  --repeat            serve download after download until killed\n"
           "Faults:\n"
           "  --nak-at K          answer record K with 0x15\n"
           "  --silent-from K     no answer from record K on\n"
           "  --double-ack-at K   answer record K with 0x06 0x06 in one write\n"
           "  --late-ack-at K     answer record K late, after --late-ms M more milliseconds\n"
           "  --late-ms M         how much later --late-ack-at answers, in milliseconds\n"
           "                      (default 0: on time)\n"
           "  --vanish-at K       close the device after receiving record K, then exit\n"
           "\n"
           "Exit status: 0 when every record received matched and the download ran to its end\n"
           "(the last record or the fault asked for), 1 when a record differed or the sender\n"
           "stopped early, 2 for a usage, image or pseudo-terminal error.\n";
}

ParsedOptions parseSimOptions(const std::vector<std::string>& args) {
    SimOptions options;
    auto fail = [](std::string error) { return ParsedOptions{std::nullopt, std::move(error)}; };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name == "--help" || name == "-h") {
            return {};
        }
        if (name == "--repeat") {
            options.repeat = true;
            continue;
        }
        if (i + 1 == args.size()) {
            return fail(name.starts_with("--") ? name + " needs a value"
                                               : "unknown argument " + name);
        }
        const std::string& value = args[++i];
        std::string* text = name == "--image"       ? &options.imagePath
                            : name == "--path-file" ? &options.pathFile
                            : name == "--summary"   ? &options.summaryFile
                                                    : nullptr;
        if (text != nullptr) {
            *text = value;
            continue;
        }
        int* number = name == "--process-ms"      ? &options.processMs
                      : name == "--baud"          ? &options.baud
                      : name == "--nak-at"        ? &options.nakAt
                      : name == "--silent-from"   ? &options.silentFrom
                      : name == "--double-ack-at" ? &options.doubleAckAt
                      : name == "--late-ack-at"   ? &options.lateAckAt
                      : name == "--late-ms"       ? &options.lateMs
                      : name == "--vanish-at"     ? &options.vanishAt
                                                  : nullptr;
        if (number == nullptr) {
            return fail("unknown option " + name);
        }
        if (!parseCount(value, *number)) {
            return fail(name + " takes a whole number, not '" + value + "'");
        }
    }
    if (options.imagePath.empty()) {
        return fail("--image FILE is required");
    }
    return {options, {}};
}

int runPrinterSim(const SimOptions& options, std::ostream& out, std::ostream& err) {
    const auto loaded = image::loadFirmwareFile(options.imagePath);
    if (!loaded.ok()) {
        err << "korvane-printer-sim: " << image::describeLoadFailure(loaded, options.imagePath)
            << "\n";
        return 2;
    }
    std::vector<image::Record> records;
    image::RecordWalker walker(loaded.bytes, image::Transfer::Serial);
    while (const auto record = walker.next()) {
        records.push_back(*record);
    }
    if (walker.error()) {
        err << "korvane-printer-sim: "
            << image::describeWalkError(*walker.error(), image::Transfer::Serial) << "\n";
        return 2;
    }

    int masterFd = -1;
    int slaveFd = -1;
    char name[256] = {};
    if (::openpty(&masterFd, &slaveFd, name, nullptr, nullptr) != 0) {
        err << "korvane-printer-sim: cannot create a pseudo-terminal: " << std::strerror(errno)
            << "\n";
        return 2;
    }
    FileDescriptor master(masterFd);
    FileDescriptor slave(slaveFd);
    ::fcntl(masterFd, F_SETFD, FD_CLOEXEC);
    termios settings{};
    ::tcgetattr(slaveFd, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(slaveFd, TCSANOW, &settings);
    // Our own slave side stays closed, so the master sees when the sender closes the device.
    slave.reset();

    out << name << "\n" << std::flush;
    if (!options.pathFile.empty() &&
        !writeFileAtomically(options.pathFile, std::string(name) + "\n")) {
        err << "korvane-printer-sim: cannot write " << options.pathFile << "\n";
        return 2;
    }
    Printer printer(options, loaded.bytes, std::move(records), master);
    const int status = printer.serve(err);
    return status;
}

}  // namespace korvane::tools
