#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korvane::tools {

// korvane-printer-sim run as a child process, for tests and benchmarks: starts it, reads the
// device path it prints, and ends it (SIGTERM) if it still runs when this object goes.
class SimProcess {
  public:
    SimProcess(const std::string& program, const std::vector<std::string>& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& devicePath() const { return devicePath_; }

    // The exit status (128 + signal for a killed process), or nothing when it still runs after
    // `limit`; the process is killed then.
    std::optional<int> wait(std::chrono::milliseconds limit);

  private:
    pid_t pid_ = -1;
    std::string devicePath_;
};

// The key=value lines of a --summary file; empty when it cannot be read.
std::map<std::string, std::string> readSimSummary(const std::string& path);

}  // namespace korvane::tools
