#include "cli/send_options.h"

#include <getopt.h>

#include <algorithm>
#include <array>
#include <cctype>

#include "download/user_choices.h"
#include "ports/port_names.h"

namespace korvane::cli {

namespace {

// Options with no short form: values no character can take.
constexpr int kTrace = 0x100;
constexpr int kLog = 0x101;
constexpr int kJson = 0x102;

const option kLongOptions[] = {
    {"serial", required_argument, nullptr, 's'},
    {"parallel", required_argument, nullptr, 'p'},
    {"baud", required_argument, nullptr, 'b'},
    {"quiet", no_argument, nullptr, 'q'},
    {"trace", no_argument, nullptr, kTrace},
    {"log", required_argument, nullptr, kLog},
    {"json", no_argument, nullptr, kJson},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

std::string longName(int shortOption) {
    for (const option* o = kLongOptions; o->name != nullptr; ++o) {
        if (o->val == shortOption) {
            return std::string("--") + o->name;
        }
    }
    return std::string("-") + static_cast<char>(shortOption);
}

std::string inQuotes(const std::string& word) {
    return "'" + word + "'";
}

// The port as the rest of send takes it, or the reason it is not one.
std::optional<ports::PortName> readPort(const std::string& asGiven, const std::string& word,
                                        bool serial, std::string& error) {
    std::string reason;
    auto name = ports::parsePortName(word, serial, reason);
    if (!name) {
        error = inQuotes(asGiven) + ": " + reason;
    }
    return name;
}

}  // namespace

std::string sendUsage() {
    const std::string usage =
        "Usage:\n"
        "  korvane-cli send --serial PORT [--baud 4800|9600|19200|38400] [OPTIONS] FILE\n"
        "  korvane-cli send --parallel PORT [OPTIONS] FILE\n"
        "  korvane-cli send --serial PORT --serial PORT --parallel PORT ... [OPTIONS] FILE\n"
        "\n";
    const std::string options =
        "                       Give several ports to flash several printers at once.\n"
        "  -b, --baud SPEED     4800, 9600, 19200 or 38400 (default 38400; serial only)\n"
        "  -q, --quiet          no progress and no device line; a failure still says why\n"
        "      --trace          one timestamped line per record sent, on standard error\n"
        "      --log FILE       write the trace to FILE instead (appended); implies --trace\n"
        "      --json           one JSON object per port on standard output, one a line\n"
        "  -h, --help           this text\n"
        "  --                   ends the options: a FILE may then start with '-'\n"
        "\n"
        "Options take their value after a space or '=' (--baud=9600, -b9600). 'korvane-cli ports'\n"
        "shows which device each COM and LPT choice is.\n"
        "Exit 0: success (every port); 1: the printer failed the transfer; 2: usage error;\n"
        "3: file, image or port error; 4: an output asked for could not be written; with several\n"
        "ports the highest of the failures';\n";
    return usage + ports::portNamesHelp() + options + ports::stoppedStatus() + ".\n";
}

SendParse parseSendOptions(const std::vector<std::string>& args) {
    // getopt_long permutes the pointer array and keeps its place in globals of the C library:
    // start it afresh on a private copy every time.
    std::vector<std::string> words{"send"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());
    optind = 0;
    opterr = 0;

    SendParse result;
    SendOptions options;
    std::string baudOption;
    const auto fail = [&result](std::string error) {
        result.error = std::move(error);
        return result;
    };
    for (;;) {
        const int c = ::getopt_long(argc, argv.data(), ":s:p:b:qh", kLongOptions, nullptr);
        if (c == -1) {
            break;
        }
        // The word the option ended in. A value given as a word of its own is that word, and
        // the option is the word before it.
        const std::string word = argv[optind - 1];
        const std::string value = optarg != nullptr ? optarg : "";
        const std::string asGiven = optarg != nullptr && optarg == argv[optind - 1] && optind >= 2
                                        ? std::string(argv[optind - 2]) + " " + value
                                        : word;
        switch (c) {
            case 's':
            case 'p': {
                const bool serial = c == 's';
                std::string error;
                const auto name = readPort(asGiven, value, serial, error);
                if (!name) {
                    return fail(error);
                }
                options.ports.push_back({serial, name->text(), asGiven, *name});
                break;
            }
            case 'b':
                if (std::find(download::kSpeeds.begin(), download::kSpeeds.end(), value) ==
                    download::kSpeeds.end()) {
                    return fail(inQuotes(asGiven) +
                                ": the speed must be 4800, 9600, 19200 or 38400");
                }
                options.baud = value;
                baudOption = asGiven;
                break;
            case 'q':
                options.quiet = true;
                break;
            case kTrace:
                options.trace = true;
                break;
            case kLog:
                if (value.empty()) {
                    return fail(inQuotes(asGiven) + ": the log FILE name is empty");
                }
                options.logFile = value;
                options.trace = true;
                break;
            case kJson:
                options.json = true;
                break;
            case 'h':
                options.help = true;
                result.options = options;
                return result;
            case ':':
                return fail(inQuotes(word) + ": " + longName(optopt) + " needs a value" +
                            (optopt == 'b'    ? " (4800, 9600, 19200 or 38400)"
                             : optopt == kLog ? " (a FILE)"
                                              : " (a PORT)"));
            default:
                if (optopt == 'q' || optopt == 'h' || optopt == kTrace || optopt == kJson) {
                    return fail(inQuotes(word) + ": " + longName(optopt) + " takes no value");
                }
                return fail(
                    "unknown option " +
                    inQuotes(optopt == 0 ? word : std::string("-") + static_cast<char>(optopt)));
        }
    }
    for (int i = optind; i < argc; ++i) {
        if (!options.file.empty()) {
            return fail(inQuotes(argv[i]) + ": give one FILE only (already " +
                        inQuotes(options.file) + ")");
        }
        if (*argv[i] == '\0') {
            return fail("'': the FILE name is empty");
        }
        options.file = argv[i];
    }
    if (options.ports.empty()) {
        return fail("give --serial PORT or --parallel PORT");
    }
    if (options.file.empty()) {
        return fail("give the firmware FILE to send");
    }
    const bool anySerial = std::any_of(options.ports.begin(), options.ports.end(),
                                       [](const PortChoice& p) { return p.serial; });
    if (!anySerial && !baudOption.empty()) {
        return fail(inQuotes(baudOption) + ": a parallel port has no speed; leave --baud out");
    }
    result.options = options;
    return result;
}

}  // namespace korvane::cli
