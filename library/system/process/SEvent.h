// Kernel event objects. An SEvent is configured (created, opened) by one owner; Set, Reset,
// Pulse and the waits may then be used from any thread.
// Failure contract: a failed Create or Open leaves the object without a handle (kResultCreateFailed);
// operations without a handle give kResultNoHandle; a failed system call gives kResultCallFailed.
#pragma once

#include "library/system/process/SSyncable.h"
#include "library/utility/SString.h"

namespace S
{

class IEvent : public SSyncBase
{
public:
    virtual SResult Set(SResult& result) noexcept = 0;
    virtual SResult Reset(SResult& result) noexcept = 0;
    virtual bool IsValid() const noexcept = 0;
    virtual SResult Open(SResult& result, const SString& name, DWORD access, bool inherit) = 0;
    // `unnamed` creates an object without a name; otherwise `uniqueName` makes the name
    // "<name or ANONYMOUS>::<8-digit serial>", else `name` is used as given.
    virtual SResult Create(SResult& result, const SString& name, bool uniqueName, bool unnamed,
                           bool manualReset, bool initialState, SECURITY_ATTRIBUTES* security) = 0;
    virtual SString GetName() const = 0;
    virtual SResult Pulse(SResult& result) noexcept = 0;
};

class SEvent : public IEvent
{
public:
    SEvent() = default;

    SResult Set(SResult& result) noexcept override;
    SResult Reset(SResult& result) noexcept override;
    bool IsValid() const noexcept override { return m_Handle.IsValid(); }
    SResult Open(SResult& result, const SString& name, DWORD access, bool inherit) override;
    SResult Create(SResult& result, const SString& name, bool uniqueName, bool unnamed, bool manualReset,
                   bool initialState, SECURITY_ATTRIBUTES* security) override;
    SString GetName() const override { return m_Name; }
    SResult Pulse(SResult& result) noexcept override;

private:
    SString m_Name;
};

// The name a named kernel object is created with: empty for `unnamed`, else for `uniqueName`
// "%s::%08x" of `base` (or "ANONYMOUS") and the next unique-name serial, else `base`.
SString MakeSyncObjectName(const SString& base, bool uniqueName, bool unnamed);

} // namespace S
