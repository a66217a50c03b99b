#include "ports/stop_request.h"

#include <windows.h>

#include <atomic>
#include <csignal>
#include <stdexcept>

namespace korvane::ports {
namespace {

// A console control handler runs on a thread of its own and can reach nothing but these;
// StopRequest owns them while it lives.
std::atomic<int> stopSignal{0};
std::atomic<const char*> stopCause{nullptr};
std::atomic<HANDLE> wakeEvent{nullptr};
std::atomic<HANDLE> releasedEvent{nullptr};

// Windows ends the process soon after a close, log-off or shut-down event's handler returns,
// and in any case a few seconds after the event: the handler holds it that long, so that the
// download can release its port and restore its settings first.
constexpr DWORD kCloseGraceMs = 4500;

void record(int signalNumber, const char* cause) noexcept {
    // The cause first, so whoever sees the signal also sees who sent it.
    const char* none = nullptr;
    if (stopCause.compare_exchange_strong(none, cause)) {
        stopSignal.store(signalNumber);
    }
    if (const HANDLE event = wakeEvent.load()) {
        SetEvent(event);
    }
}

BOOL WINAPI onConsoleEvent(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
            record(SIGINT, "Ctrl+C");
            return TRUE;
        case CTRL_BREAK_EVENT:
            record(SIGINT, "Ctrl+Break");
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            record(SIGINT, "the console closing");
            if (const HANDLE released = releasedEvent.load()) {
                WaitForSingleObject(released, kCloseGraceMs);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

const char* nameOf(int signalNumber) {
    switch (signalNumber) {
        case SIGINT:
            return "Ctrl+C";
        case SIGBREAK:
            return "Ctrl+Break";
        case SIGTERM:
            return "a request to end";
        default:
            return "a signal";
    }
}

}  // namespace

struct StopRequest::State {
    HANDLE wake = nullptr;
    HANDLE released = nullptr;
};

StopRequest::StopRequest() : state_(std::make_unique<State>()) {
    state_->wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    state_->released = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (state_->wake == nullptr || state_->released == nullptr) {
        throw std::runtime_error("cannot create the stop events (Windows error " +
                                 std::to_string(GetLastError()) + ")");
    }
    stopSignal.store(0);
    stopCause.store(nullptr);
    wakeEvent.store(state_->wake);
    releasedEvent.store(state_->released);
    // A program started in a new process group has Ctrl+C turned off; it is a stop here too.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

StopRequest::~StopRequest() {
    // The port is released by now: a waiting close handler may let Windows end the process.
    SetEvent(state_->released);
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    wakeEvent.store(nullptr);
    releasedEvent.store(nullptr);
    CloseHandle(state_->wake);
    CloseHandle(state_->released);
}

int StopRequest::signal() const noexcept {
    return stopSignal.load();
}

const char* StopRequest::cause() const noexcept {
    const char* cause = stopCause.load();
    return cause != nullptr ? cause : "nothing";
}

std::intptr_t StopRequest::nativeWaitHandle() const noexcept {
    return reinterpret_cast<std::intptr_t>(state_->wake);
}

void StopRequest::request(int signalNumber) noexcept {
    record(signalNumber == SIGBREAK ? SIGINT : signalNumber, nameOf(signalNumber));
}

}  // namespace korvane::ports
