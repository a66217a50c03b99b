#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim_process.h"
#include "support/unattended_host.h"

namespace korvane::testing {

std::string printerSimProgram();
std::filesystem::path sampleImage(const std::string& name);
std::vector<std::uint8_t> readBytes(const std::filesystem::path& path);

// A folder of its own for each test, removed with the object.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::filesystem::path file(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

struct ProgramRun {
    std::optional<int> status;  // nothing when it had to be killed
    std::string out;
    std::string err;
};

struct RunOptions {
    std::chrono::milliseconds limit{60'000};
    // Sent once `ready` first holds (polled while the program runs), when set.
    int signal = 0;
    std::function<bool()> ready;
    // Standard output a pipe whose reader has gone, as in `program | head -c0`.
    bool stdoutClosed = false;
};

// Runs a program to its end, killed after `limit`, with its output kept.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      std::chrono::milliseconds limit);
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const RunOptions& options);

// Runs `work` as a user without special rights and returns what it returned: as root, in a
// child process under "nobody" (root may open any device, exclusive or not); otherwise here.
std::string runUnprivileged(const std::function<std::string()>& work);

}  // namespace korvane::testing
