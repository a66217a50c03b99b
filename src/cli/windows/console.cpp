#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <iostream>
#include <optional>

#include "cli/console.h"
#include "image/firmware_file.h"
#include "ports/windows/system_text.h"

namespace korvane::cli {

struct ConsoleSetup::Saved {
    UINT codePage = 0;               // 0: no console
    std::optional<DWORD> errorMode;  // standard error's, where it is a console
};

ConsoleSetup::ConsoleSetup() : saved_(std::make_unique<Saved>()) {
    saved_->codePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0) {
        saved_->errorMode = mode;
        SetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

ConsoleSetup::~ConsoleSetup() {
    // What is still buffered was written as UTF-8 and must reach the console as such.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    if (saved_->codePage != 0) {
        SetConsoleOutputCP(saved_->codePage);
    }
    if (saved_->errorMode) {
        SetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), *saved_->errorMode);
    }
}

std::vector<std::string> commandLineWords(int, char**) {
    int count = 0;
    wchar_t** const wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> words;
    for (int i = 1; wide != nullptr && i < count; ++i) {
        words.push_back(ports::utf8FromWide(wide[i]));
    }
    LocalFree(wide);
    return words;
}

image::OpenFailureAccount fileOpenFailureAccount() {
    // A file that another program holds is told as such, not as a refused permission.
    return ports::fileInUseText;
}

LiveTerminal liveTerminal() {
    // A pipe or a file has no console mode. A console before Windows 10 refuses the escape
    // sequences' mode, and would print them as they are.
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) == 0) {
        return LiveTerminal::None;
    }
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ? LiveTerminal::Escapes
                                                            : LiveTerminal::ReturnOnly;
}

int terminalColumns() {
    constexpr int kDefaultColumns = 80;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) != 0) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) {
            return columns;
        }
    }
    return kDefaultColumns;
}

}  // namespace korvane::cli
