// Sole owner of a Win32 kernel handle: closes it once, can be moved, never copied.
#pragma once

#include <windows.h>

#include <utility>

namespace qzx {

/// Owns one kernel handle or none. Both null and INVALID_HANDLE_VALUE mean none, since Win32
/// calls disagree on which one reports failure. Any thread.
class UniqueHandle {
  public:
    UniqueHandle() = default;
    /// Takes ownership of handle.
    explicit UniqueHandle(HANDLE handle) : handle(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.handle, nullptr));
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

    /// The handle, or null / INVALID_HANDLE_VALUE when none is owned.
    HANDLE Get() const { return handle; }
    /// True when a handle is owned.
    bool Valid() const { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    /// Closes the owned handle, if any, and takes ownership of newHandle.
    void Reset(HANDLE newHandle = nullptr) {
        if (Valid()) ::CloseHandle(handle);
        handle = newHandle;
    }
    /// Closes the owned handle and reports CloseHandle's result; false when none was owned.
    bool Close() {
        if (!Valid()) return false;
        return ::CloseHandle(std::exchange(handle, nullptr)) != 0;
    }

  private:
    HANDLE handle = nullptr;
};

}  // namespace qzx
