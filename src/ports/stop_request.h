#pragma once

#include <cstdint>
#include <memory>

namespace korvane::ports {

// A request from outside to stop, for as long as this object lives: SIGINT, SIGTERM and SIGHUP
// on Linux; Ctrl+C, Ctrl+Break and the console closing on Windows, each of which counts as
// SIGINT (an interrupt from the user). The handler only records the request and wakes the
// native wait handle, so a download notices it at its next safe point, or at once while it
// waits on a port. There is one per process: the handlers are process-wide.
class StopRequest {
  public:
    StopRequest();
    ~StopRequest();
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;

    // The signal that asked us to stop (an exit status adds it to 128), 0 while none has.
    int signal() const noexcept;
    bool requested() const noexcept { return signal() != 0; }

    // Who asked, for the "Stopped by ..." line: "SIGINT", "Ctrl+Break", ...
    const char* cause() const noexcept;

    // Signalled once a stop has been requested, and stays so: on Linux a descriptor that turns
    // readable, on Windows a manual-reset event's HANDLE.
    std::intptr_t nativeWaitHandle() const noexcept;

    // Asks for a stop as the named signal would; for tests and the window's own exit paths.
    void request(int signalNumber) noexcept;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace korvane::ports
