#include "ports/stop_request.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <string>

namespace korvane::ports {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// A signal handler can reach nothing but these; StopRequest owns them while it lives.
std::atomic<int> stopSignal{0};
std::atomic<int> wakeWriteEnd{-1};

static_assert(std::atomic<int>::is_always_lock_free, "touched from a signal handler");

void onStopSignal(int number) {
    const int savedErrno = errno;
    int expected = 0;
    stopSignal.compare_exchange_strong(expected, number);
    if (const int fd = wakeWriteEnd.load(); fd >= 0) {
        const char byte = 1;
        // The pipe is non-blocking: once it holds a byte, more add nothing.
        [[maybe_unused]] const ssize_t ignored = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

struct StopRequest::State {
    int readEnd = -1;
    int writeEnd = -1;
    struct sigaction previous[3] = {};
};

StopRequest::StopRequest() : state_(std::make_unique<State>()) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error(std::string("cannot create the stop pipe: ") +
                                 std::strerror(errno));
    }
    state_->readEnd = ends[0];
    state_->writeEnd = ends[1];
    stopSignal.store(0);
    wakeWriteEnd.store(state_->writeEnd);

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls resume; the waits that must notice a stop poll the pipe.
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        ::sigaction(kSignals[i], &action, &state_->previous[i]);
    }
}

StopRequest::~StopRequest() {
    for (int i = 0; i < 3; ++i) {
        ::sigaction(kSignals[i], &state_->previous[i], nullptr);
    }
    wakeWriteEnd.store(-1);
    ::close(state_->readEnd);
    ::close(state_->writeEnd);
}

int StopRequest::signal() const noexcept {
    return stopSignal.load();
}

std::intptr_t StopRequest::nativeWaitHandle() const noexcept {
    return state_->readEnd;
}

void StopRequest::request(int signalNumber) noexcept {
    onStopSignal(signalNumber);
}

const char* StopRequest::cause() const noexcept {
    switch (signal()) {
        case 0:
            return "nothing";
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "a signal";
    }
}

}  // namespace korvane::ports
