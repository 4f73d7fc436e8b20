// The common part of a control-manager connection and an open service: a name and an owned
// SC_HANDLE, closed when the object goes or is re-initialised.
// Thread-safety: an object belongs to one thread at a time; separate objects are independent.
// Failure contract: Wait calls nothing and fails (kResultNoHandle or kResultCallFailed).
#pragma once

#include "library/system/SHandle.h"
#include "library/system/process/SSyncable.h"
#include "library/utility/SString.h"

#include <windows.h>

namespace S
{

class SServiceBase : public SSyncable
{
public:
    SServiceBase(const SServiceBase&) = delete;
    SServiceBase& operator=(const SServiceBase&) = delete;
    ~SServiceBase() override = default;

    // The service name, empty for the control manager.
    virtual const wchar_t* GetName() const noexcept;
    virtual void SetName(const SString& name);

    // The SC_HANDLE in the family's handle slot (null when not open). It is not a kernel object:
    // Wait gives kResultNoHandle without a handle and kResultCallFailed with one, and calls nothing.
    HANDLE GetHandle() const noexcept override { return static_cast<HANDLE>(m_Handle.Get()); }
    SResult Wait(SResult& result, bool alertable, DWORD timeoutMs) noexcept override;

protected:
    SServiceBase() noexcept = default;
    SServiceBase(const SString& name, SC_HANDLE handle);

    SString m_Name;
    SServiceHandle m_Handle;
};

} // namespace S
