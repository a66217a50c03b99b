// console_driver RESULT PROGRAM [ARGS...]: runs PROGRAM on this program's console after giving
// that console a code page (850) and output mode of its own, as a shell's would be, then writes
// to the file RESULT what the console has once PROGRAM has ended:
//   status=N page=N mode_before=N mode_after=N
// A program that shares its shell's console must leave both as it found them.
//
// console_driver --hold FILE: opens FILE sharing it with nobody, as some programs do, says
// "held" and keeps it until its standard input ends.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

int hold(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 2;
    }
    std::printf("held\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    CloseHandle(file);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wstring(argv[1]) == L"--hold") {
        return hold(argv[2]);
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: console_driver RESULT PROGRAM [ARGS...]\n");
        return 2;
    }
    std::wstring line;
    for (int i = 2; i < argc; ++i) {
        line += (i > 2 ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";
    }
    constexpr UINT kShellPage = 850;
    SetConsoleOutputCP(kShellPage);
    const HANDLE output =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD before = 0;
    if (GetConsoleOutputCP() != kShellPage || !GetConsoleMode(output, &before)) {
        std::fprintf(stderr, "console_driver: no console to run in\n");
        return 2;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::fprintf(stderr, "console_driver: cannot start the program (error %lu)\n",
                     GetLastError());
        return 2;
    }
    WaitForSingleObject(process.hProcess, 60'000);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    DWORD after = 0;
    GetConsoleMode(output, &after);
    FILE* result = _wfopen(argv[1], L"w");
    if (result == nullptr) {
        return 2;
    }
    std::fprintf(result, "status=%lu page=%u mode_before=%lu mode_after=%lu\n", status,
                 GetConsoleOutputCP(), before, after);
    std::fclose(result);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(output);
    return 0;
}
