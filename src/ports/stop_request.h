#pragma once

#include <csignal>

namespace korvane::ports {

// SIGINT, SIGTERM and SIGHUP turned into a request to stop, for as long as this object lives.
// The handler only records the signal and wakes a pipe, so a download notices the request at
// its next safe point, or at once while it waits on a port (poll the wake descriptor too).
// There is one per process: the handlers are process-wide.
class StopRequest {
  public:
    StopRequest();
    ~StopRequest();
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;

    // The signal that asked us to stop, 0 while none has.
    int signal() const noexcept;
    bool requested() const noexcept { return signal() != 0; }

    // Readable once a stop has been requested; stays readable.
    int wakeDescriptor() const noexcept { return readEnd_; }

    // Asks for a stop as the named signal would; for tests and the window's own exit paths.
    void request(int signalNumber) noexcept;

    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

  private:
    int readEnd_ = -1;
    int writeEnd_ = -1;
    struct sigaction previous_[3] = {};
};

// "SIGINT" for SIGINT, and so on for the stop signals; "signal N" for others.
const char* signalName(int signalNumber);

}  // namespace korvane::ports
