// Owned kernel handles: one wrapper for every handle closed with CloseHandle. Both 0 and
// INVALID_HANDLE_VALUE mean "no handle". Closing never throws and its failure is ignored,
// since nothing useful can be done about it. Not thread-safe: one owner at a time.
#pragma once

#include <windows.h>

#include <utility>

namespace S
{

class SHandle
{
public:
    SHandle() noexcept = default;
    explicit SHandle(HANDLE handle) noexcept : m_Handle(handle) {}
    SHandle(const SHandle&) = delete;
    SHandle& operator=(const SHandle&) = delete;
    SHandle(SHandle&& other) noexcept : m_Handle(other.Detach()) {}
    SHandle& operator=(SHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }
    ~SHandle() { Reset(); }

    static bool IsValid(HANDLE handle) noexcept
    {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    }
    bool IsValid() const noexcept { return IsValid(m_Handle); }
    explicit operator bool() const noexcept { return IsValid(); }
    HANDLE Get() const noexcept { return m_Handle; }

    // For APIs that return a handle through a pointer; closes what was held.
    HANDLE* Put() noexcept
    {
        Reset();
        return &m_Handle;
    }
    HANDLE Detach() noexcept { return std::exchange(m_Handle, nullptr); }
    void Reset(HANDLE handle = nullptr) noexcept;

private:
    HANDLE m_Handle = nullptr;
};

} // namespace S
