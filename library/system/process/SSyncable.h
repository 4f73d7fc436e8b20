// The waitable-object family: a common interface for events, semaphores, threads and critical
// sections, one mapping of wait outcomes to result codes, and the unique-name serial.
// Objects of the family are not thread-safe themselves (one owner configures them); waiting on,
// setting and releasing the kernel objects they hold is as thread-safe as the kernel makes it.
// The unique-name serial is the one piece of shared state and is updated atomically.
// Failure contract: Wait writes its outcome to `result` and returns it; kResultNoHandle without a handle.
#pragma once

#include "library/diagnostics/SResultCodes.h"
#include "library/system/SHandle.h"

#include <windows.h>

#include <cstdint>

namespace S
{

class ISyncableBase
{
public:
    virtual ~ISyncableBase() = default;
};

class ISyncable : public virtual ISyncableBase
{
public:
    virtual HANDLE GetHandle() const noexcept = 0;
    virtual bool IsEqual(const ISyncable& other) const noexcept = 0;
    virtual bool IsNotEqual(const ISyncable& other) const noexcept = 0;
    // `result` receives the outcome, which is also returned.
    virtual SResult Wait(SResult& result, bool alertable, DWORD timeoutMs) noexcept = 0;
};

// Identity comparison shared by the whole family.
class SSyncable : public ISyncable
{
public:
    bool IsEqual(const ISyncable& other) const noexcept override
    {
        return static_cast<const ISyncable*>(this) == &other;
    }
    bool IsNotEqual(const ISyncable& other) const noexcept override { return !IsEqual(other); }
};

// Base of the kernel-object wrappers: owns the handle, closes it on destruction.
class SSyncBase : public SSyncable
{
public:
    SSyncBase() noexcept = default;
    SSyncBase(const SSyncBase&) = delete;
    SSyncBase& operator=(const SSyncBase&) = delete;

    HANDLE GetHandle() const noexcept override { return m_Handle.Get(); }
    SResult Wait(SResult& result, bool alertable, DWORD timeoutMs) noexcept override;
    // A zero-time, non-alertable wait that did not fail.
    virtual bool IsSignaled() noexcept;

protected:
    SHandle m_Handle;
};

// WaitForSingleObjectEx on `handle`, its outcome mapped to the family's codes; kResultNoHandle
// without a handle.
SResult WaitOnHandle(HANDLE handle, bool alertable, DWORD timeoutMs) noexcept;

// The family's code for a WaitForSingleObjectEx return value.
SResult WaitResultFromStatus(DWORD status) noexcept;

// The next serial of the process-wide unique-name counter (seeded once from the random source).
uint32_t NextUniqueNameSerial() noexcept;

} // namespace S
