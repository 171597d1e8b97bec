// One owning type per kind of Win32 resource, so that "released on every path" holds by
// construction. Releasing keeps the caller's last error: callers often read it right after.
#pragma once

#include <windows.h>

#include <utility>

namespace pelicor {

// Owns a kernel handle; nullptr means none.
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(HANDLE h) noexcept : m_handle(h) {}
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

    HANDLE Get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != nullptr; }
    [[nodiscard]] HANDLE Release() noexcept { return std::exchange(m_handle, nullptr); }
    void Reset(HANDLE h = nullptr) noexcept {
        const HANDLE old = std::exchange(m_handle, h);
        if (old != nullptr) {
            const DWORD error = GetLastError();
            CloseHandle(old);
            SetLastError(error);
        }
    }

private:
    HANDLE m_handle = nullptr;
};

// Owns the array that CommandLineToArgvW returns (freed with LocalFree).
class UniqueArgv {
public:
    UniqueArgv() noexcept = default;
    UniqueArgv(LPWSTR* argv, int count) noexcept : m_argv(argv), m_count(argv != nullptr ? count : 0) {}
    UniqueArgv(const UniqueArgv&) = delete;
    UniqueArgv& operator=(const UniqueArgv&) = delete;
    ~UniqueArgv() {
        if (m_argv != nullptr) {
            const DWORD error = GetLastError();
            LocalFree(m_argv);
            SetLastError(error);
        }
    }

    LPWSTR* Get() const noexcept { return m_argv; }
    int Count() const noexcept { return m_count; }
    // The first element, or nullptr when the split gave none.
    const wchar_t* First() const noexcept { return m_count >= 1 ? m_argv[0] : nullptr; }

private:
    LPWSTR* m_argv = nullptr;
    int m_count = 0;
};

}  // namespace pelicor
