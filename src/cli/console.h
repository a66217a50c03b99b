#pragma once

#include <memory>
#include <string>
#include <vector>

#include "image/firmware_file.h"

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

// How standard error can redraw a line in place: not at all (a pipe or a file), by a carriage
// return only (a console without escape sequences, as on Windows 7), or with escape sequences.
enum class LiveTerminal { None, ReturnOnly, Escapes };
LiveTerminal liveTerminal();

// What this system can say of a firmware file that will not open, beyond errno's words; null
// where it has nothing more.
image::OpenFailureAccount fileOpenFailureAccount();

// The width of the terminal behind standard error, in columns; 80 when unknown.
int terminalColumns();

}  // namespace korvane::cli
