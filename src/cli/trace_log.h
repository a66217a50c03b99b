#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace korvane::cli {

// Where --trace lines go: standard error, or a file opened for appending (see openLogFile).
// Lines from several downloads at once never interleave mid-line. Each line starts with the UTC
// time to the millisecond and is escaped, so no name can drive a terminal. The first write
// that fails is kept.
class TraceLog {
  public:
    // Throws std::runtime_error naming the file when it cannot be used.
    explicit TraceLog(const std::string& logFile);
    ~TraceLog();
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    void line(const std::string& text);

    // Closes the log file; returns the errno of the first failed write or of the close, 0 when
    // every line was written.
    int finish();
    // "the trace to the log file 'flash.log'", for messages.
    const std::string& name() const { return name_; }

  private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
    bool owned_ = false;
    int error_ = 0;
    std::string name_;
};

// "2026-12-09T03:41:07.125Z" for now.
std::string utcNow();
// Bytes as "06 15 41"; "none" for no bytes.
std::string hexBytes(const std::string& bytes);

}  // namespace korvane::cli
