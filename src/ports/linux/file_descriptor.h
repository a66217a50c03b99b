#pragma once

#include <unistd.h>

#include <utility>

namespace korvane::ports {

// An owned file descriptor, closed once, when its owner ends or reset() is called.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) noexcept : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }

    int get() const noexcept { return fd_; }
    int release() noexcept { return std::exchange(fd_, -1); }
    void reset(int fd = -1) noexcept {
        if (const int old = std::exchange(fd_, fd); old >= 0) {
            ::close(old);
        }
    }

  private:
    int fd_;
};

}  // namespace korvane::ports
