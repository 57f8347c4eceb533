// Sole owner of a POSIX file descriptor: closes it once, can be moved, never copied.
#pragma once

#include <unistd.h>

#include <utility>

namespace qzx {

/// Owns one file descriptor (or none, -1) and closes it when destroyed or reset. Any thread.
class UniqueFd {
  public:
    UniqueFd() = default;
    /// Takes ownership of fd; -1 means none.
    explicit UniqueFd(int fd) : fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.fd, -1));
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    /// The descriptor, or -1 when none is owned.
    int Get() const { return fd; }
    /// True when a descriptor is owned.
    bool Valid() const { return fd >= 0; }
    /// Closes the owned descriptor, if any, and takes ownership of newFd.
    void Reset(int newFd = -1) {
        if (fd >= 0) ::close(fd);
        fd = newFd;
    }
    /// Closes the owned descriptor and reports close's result, since on some file systems a
    /// write error only shows there. The descriptor is released even when close fails:
    /// retrying would close someone else's. False when none was owned.
    bool Close() {
        if (fd < 0) return false;
        int r = ::close(std::exchange(fd, -1));
        return r == 0;
    }

  private:
    int fd = -1;
};

}  // namespace qzx
