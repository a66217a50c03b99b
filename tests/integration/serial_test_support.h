#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "download/host.h"
#include "sim_process.h"

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

// Runs a program to its end, killed after `limit`, with its output kept.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      std::chrono::milliseconds limit);

// Runs `work` as a user without special rights and returns what it returned: as root, in a
// child process under "nobody" (root may open any device, exclusive or not); otherwise here.
std::string runUnprivileged(const std::function<std::string()>& work);

// The window's side of a download, kept as a record of what the user saw.
class RecordingHost final : public download::Host {
  public:
    explicit RecordingHost(std::string firmwarePath) : firmwarePath_(std::move(firmwarePath)) {}

    void setEnabled(download::Control, bool) override {}
    void setProgressVisible(bool) override {}
    void setProgressRange(float, float) override {}
    void setProgressValue(float value) override { lastProgress = value; }
    void setProgressText(std::int32_t, std::int32_t) override {}
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void letPendingEventsRun() override {}
    std::string firmwarePath() const override { return firmwarePath_; }
    bool serialSelected() const override { return true; }
    int portIndex() const override { return 0; }
    std::string speedText() const override { return "38400"; }

    std::vector<std::string> messages;
    float lastProgress = 0;

  private:
    std::string firmwarePath_;
};

}  // namespace korvane::testing
