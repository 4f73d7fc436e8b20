// Kernel semaphore objects. An SSemaphore is configured (created, opened) by one owner; Release
// and the waits may then be used from any thread.
// Failure contract: invalid counts give kResultInvalidCounts before any kernel object is made; a failed
// Create or Open leaves the object without a handle (kResultCreateFailed); operations without a handle
// give kResultNoHandle; a failed release gives kResultCallFailed and leaves *previous untouched.
#pragma once

#include "library/system/process/SSyncable.h"
#include "library/utility/SString.h"

namespace S
{

class ISemaphore : public SSyncBase
{
public:
    virtual SResult Release(SResult& result, LONG count, LONG* previous = nullptr) noexcept = 0;
    virtual SResult Open(SResult& result, const SString& name, DWORD access, bool inherit) = 0;
    // Naming as SEvent::Create; counts must satisfy 0 <= initial <= maximum, 1 <= maximum.
    virtual SResult Create(SResult& result, const SString& name, bool uniqueName, bool unnamed,
                           int32_t initialCount, int32_t maximumCount, SECURITY_ATTRIBUTES* security) = 0;
    // Closes the handle and creates an unnamed semaphore with the stored counts.
    virtual SResult Recreate(SResult& result) = 0;
    virtual SString GetName() const = 0;
    virtual int32_t GetStartCount() const noexcept = 0;
    virtual int32_t GetMaxCount() const noexcept = 0;
};

class SSemaphore : public ISemaphore
{
public:
    SSemaphore() = default;

    SResult Release(SResult& result, LONG count, LONG* previous = nullptr) noexcept override;
    SResult Open(SResult& result, const SString& name, DWORD access, bool inherit) override;
    SResult Create(SResult& result, const SString& name, bool uniqueName, bool unnamed, int32_t initialCount,
                   int32_t maximumCount, SECURITY_ATTRIBUTES* security) override;
    SResult Recreate(SResult& result) override;
    SString GetName() const override { return m_Name; }
    int32_t GetStartCount() const noexcept override { return m_InitialCount; }
    int32_t GetMaxCount() const noexcept override { return m_MaximumCount; }

private:
    SString m_Name;
    int32_t m_InitialCount = 0;
    int32_t m_MaximumCount = 0;
};

} // namespace S
