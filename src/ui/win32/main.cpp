#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/clock.h"
#include "korvane/version.h"
#include "ports/system_ports.h"
#include "ports/windows/system_text.h"
#include "ui/win32/dpi.h"
#include "ui/win32/form1.h"

namespace {

constexpr const char* kUsage =
    "Usage: korvane [--help | --version] [FILE]\r\n"
    "\r\n"
    "Opens the firmware loader's window, with FILE chosen when given: File > Open picks the\r\n"
    ".DPX file, then the port type, the port and (for COM) the speed; \"Download Start\" sends\r\n"
    "it. korvane-cli runs the same download from a console.\r\n"
    "\r\n"
    "%KORVANE_COM1%..%KORVANE_COM4% name the port behind COM1..COM4 (COM7, say);\r\n"
    "%KORVANE_LPT1% and %KORVANE_LPT2% give an LPT port's I/O base address in hex.\r\n";

// A windowed program has no console of its own: the answer goes to the one it was started
// from, or to the handle it was given.
void answer(const std::string& text) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        if (AttachConsole(ATTACH_PARENT_PROCESS) == FALSE) {
            return;
        }
        out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                          nullptr);
    }
    DWORD written = 0;
    WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::wstring fullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    return full.c_str();
}

struct Arguments {
    bool help = false;
    bool version = false;
    std::wstring file;
    // For the tests: where to write the window's layout, after which the program ends.
    std::wstring layoutReport;
    // For the tests: the system's resolution only, as on Windows 7 and 8.1.
    bool systemDpi = false;
    std::string error;
};

Arguments parse(const std::vector<std::wstring>& words) {
    Arguments arguments;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::wstring& word = words[i];
        if (word == L"--help" || word == L"-h" || word == L"/?") {
            arguments.help = true;
        } else if (word == L"--version") {
            arguments.version = true;
        } else if (word == L"--layout-report" && i + 1 < words.size()) {
            arguments.layoutReport = words[++i];
        } else if (word == L"--system-dpi") {
            arguments.systemDpi = true;
        } else if (word.starts_with(L"-") || !arguments.file.empty()) {
            arguments.error = "korvane: unexpected argument " + korvane::ports::utf8FromWide(word) +
                              "\r\n" + kUsage;
        } else {
            arguments.file = word;
        }
    }
    return arguments;
}

std::vector<std::wstring> commandLineWords() {
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> words(list, list + count);
    LocalFree(list);
    return words;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const Arguments arguments = parse(commandLineWords());
    if (!arguments.error.empty()) {
        answer(arguments.error);
        return 2;
    }
    if (arguments.help) {
        answer(kUsage);
        return 0;
    }
    if (arguments.version) {
        answer(korvane::versionText("korvane", "\r\n"));
        return 0;
    }

    if (arguments.systemDpi) {
        korvane::ui::win32::useSystemDpiOnly();
    }
    const std::unique_ptr<korvane::ports::Ports> ports = korvane::ports::portsFor(std::nullopt);
    korvane::download::SteadyClock clock;
    korvane::ui::win32::Form1 form(
        instance, {.serialPort = ports->serial(),
                   .parallelPorts = ports->parallel(),
                   .clock = clock,
                   .releasePorts = [&ports] { ports->release(); },
                   .describePort =
                       [](int type, int index) {
                           return korvane::ports::wideFromUtf8(korvane::ports::describePort(
                               korvane::ports::PortName::listEntry(type == 0, index)));
                       }});
    form.load();
    if (!arguments.file.empty()) {
        form.behaviour().fileChosen(korvane::ports::utf8FromWide(fullPath(arguments.file)));
    }
    if (!arguments.layoutReport.empty()) {
        form.pumpPending();
        std::ofstream report(std::filesystem::path(arguments.layoutReport), std::ios::binary);
        report << korvane::ports::utf8FromWide(form.layoutReport());
        return report ? 0 : 1;
    }
    return form.run();
}
