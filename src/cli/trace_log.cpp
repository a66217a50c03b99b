#include "cli/trace_log.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "cli/log_file.h"
#include "cli/printable.h"

namespace korvane::cli {

TraceLog::TraceLog(const std::string& logFile) {
    if (logFile.empty()) {
        file_ = stderr;
        name_ = "the trace to standard error";
        return;
    }
    file_ = openLogFile(logFile);
    owned_ = true;
    name_ = "the trace to the log file '" + printable(logFile) + "'";
}

TraceLog::~TraceLog() {
    finish();
}

void TraceLog::line(const std::string& text) {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (file_ == nullptr || error_ != 0) {
        return;
    }
    errno = 0;
    if (std::fprintf(file_, "%s %s\n", utcNow().c_str(), printable(text).c_str()) < 0 ||
        std::fflush(file_) != 0) {
        error_ = errno != 0 ? errno : EIO;
    }
}

int TraceLog::finish() {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (owned_ && file_ != nullptr) {
        errno = 0;
        if (std::fclose(file_) != 0 && error_ == 0) {
            error_ = errno != 0 ? errno : EIO;
        }
    }
    file_ = nullptr;
    return error_;
}

std::string utcNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(millis));
    return text;
}

std::string hexBytes(const std::string& bytes) {
    if (bytes.empty()) {
        return "none";
    }
    std::string out;
    for (const char c : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X",
                      static_cast<unsigned>(static_cast<unsigned char>(c)));
        if (!out.empty()) {
            out += ' ';
        }
        out += hex;
    }
    return out;
}

}  // namespace korvane::cli
