#pragma once

#include <memory>
#include <string>
#include <vector>

namespace korvane::cli {

// The command line's platform seam: one implementation per system.

// Sets the process up for the command line while it lives: a closed pipe is a failed write to
// report, never a reason to die with a port held; the console takes UTF-8 and, where it can,
// the escape sequences the live bar draws with. The console is shared with the shell that
// started us, so what it had before is put back at the end.
class ConsoleSetup {
  public:
    ConsoleSetup();
    ~ConsoleSetup();
    ConsoleSetup(const ConsoleSetup&) = delete;
    ConsoleSetup& operator=(const ConsoleSetup&) = delete;

  private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

// The words after the program's name, as UTF-8 (on Windows from the wide command line, so a
// name in any language arrives whole).
std::vector<std::string> commandLineWords(int argc, char** argv);

// Whether standard error is a terminal that can draw the live bar; else plain lines.
bool errorsGoToLiveTerminal();

// The width of the terminal behind standard error, in columns; 80 when unknown.
int terminalColumns();

}  // namespace korvane::cli
