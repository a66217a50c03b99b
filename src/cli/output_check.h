#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvane::cli {

// What became of the outputs the user asked for (standard output's results, the trace, the
// log). A failed write or close is kept with its reason and turns the exit status into
// kExitRecordLost, except for a closed pipe: a reader that stopped reading wanted no more.
class OutputCheck {
  public:
    // Writes all of text to standard output and flushes it. what names the text: "the JSON
    // record", "the port list".
    void toStdout(std::string_view text, const std::string& what);
    // Closes standard output when anything was written to it, so a failure that only shows at
    // the close is seen too. Nothing may be written to standard output after it.
    void closeStdout();
    // A failure of some other output, with its errno.
    void failed(const std::string& what, int error);

    // Says on standard error what could not be written and, when the download succeeded, that
    // the printer was flashed but its record is missing. Returns the exit status: status, or
    // kExitRecordLost when a record was lost and no signal ended the run.
    int settle(int status, bool flashed) const;

  private:
    struct Failure {
        std::string what;
        int error;
    };
    std::vector<Failure> failures_;
    std::string stdoutWhat_;  // what was written to standard output, empty when nothing
    bool stdoutFailed_ = false;
};

}  // namespace korvane::cli
