#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace korvane::cli {

// Where --trace lines go: standard error, or a file opened for appending. Lines from several
// downloads at once never interleave mid-line. Each line starts with the UTC time to the
// millisecond.
class TraceLog {
  public:
    // Throws std::runtime_error naming the file when it cannot be opened.
    explicit TraceLog(const std::string& logFile);
    ~TraceLog();
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    void line(const std::string& text);

  private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
    bool owned_ = false;
};

// "2026-12-09T03:41:07.125Z" for now.
std::string utcNow();
// Bytes as "06 15 41"; "none" for no bytes.
std::string hexBytes(const std::string& bytes);

}  // namespace korvane::cli
