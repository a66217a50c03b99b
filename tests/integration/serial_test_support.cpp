#include "serial_test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace korvane::testing {

std::string printerSimProgram() {
    return KORVANE_PRINTER_SIM;
}

std::filesystem::path sampleImage(const std::string& name) {
    return std::filesystem::path(KORVANE_SAMPLES_DIR) / name;
}

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

ScratchDir::ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "korvane-serial-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      std::chrono::milliseconds limit) {
    RunOptions options;
    options.limit = limit;
    return runProgram(program, args, options);
}

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const RunOptions& options) {
    const auto limit = options.limit;
    ScratchDir dir;
    const std::string outPath = dir.file("out").string();
    const std::string errPath = dir.file("err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    int closedPipe[2] = {-1, -1};
    if (options.stdoutClosed) {
        if (::pipe2(closedPipe, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_adddup2(&actions, closedPipe[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (options.stdoutClosed) {
        ::close(closedPipe[0]);
        ::close(closedPipe[1]);
    }
    if (spawned != 0) {
        throw std::runtime_error("cannot start " + program);
    }
    ProgramRun run;
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    bool signalled = options.signal == 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (!signalled && options.ready && options.ready()) {
            ::kill(pid, options.signal);
            signalled = true;
        }
        if (std::chrono::steady_clock::now() >= end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (status != -1 && WIFEXITED(status)) {
        run.status = WEXITSTATUS(status);
    }
    const auto outBytes = readBytes(outPath);
    const auto errBytes = readBytes(errPath);
    run.out.assign(outBytes.begin(), outBytes.end());
    run.err.assign(errBytes.begin(), errBytes.end());
    return run;
}

std::string runUnprivileged(const std::function<std::string()>& work) {
    if (::geteuid() != 0) {
        return work();
    }
    int fds[2];
    if (::pipe(fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string answer = "could not become nobody";
        if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0) {
            answer = work();
        }
        [[maybe_unused]] auto n = ::write(fds[1], answer.data(), answer.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string answer;
    char buffer[512];
    ssize_t n = 0;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) {
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return answer;
}

}  // namespace korvane::testing
