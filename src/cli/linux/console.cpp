#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>

#include "cli/console.h"

namespace korvane::cli {

// A terminal keeps no setting of ours: nothing to put back.
struct ConsoleSetup::Saved {};

ConsoleSetup::ConsoleSetup() {
    std::signal(SIGPIPE, SIG_IGN);
}

ConsoleSetup::~ConsoleSetup() = default;

std::vector<std::string> commandLineWords(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

image::OpenFailureAccount fileOpenFailureAccount() {
    return nullptr;  // errno says it all here
}

LiveTerminal liveTerminal() {
    return ::isatty(STDERR_FILENO) == 1 ? LiveTerminal::Escapes : LiveTerminal::None;
}

int terminalColumns() {
    constexpr int kDefaultColumns = 80;
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return kDefaultColumns;
}

}  // namespace korvane::cli
