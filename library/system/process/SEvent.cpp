#include "library/system/process/SEvent.h"

namespace S
{

namespace
{

// The outcome of a handle-based system call that reports success as nonzero.
SResult CallResult(HANDLE handle, BOOL (*call)(HANDLE)) noexcept
{
    if (handle == nullptr)
        return kResultNoHandle;
    return call(handle) ? SResult(0) : kResultCallFailed;
}

} // namespace

SString MakeSyncObjectName(const SString& base, bool uniqueName, bool unnamed)
{
    SString name;
    if (unnamed)
        return name;
    if (!uniqueName)
        return base;
    name.Format(L"%s::%08x", base.IsEmpty() ? L"ANONYMOUS" : base.c_str(), NextUniqueNameSerial());
    return name;
}

SResult SEvent::Set(SResult& result) noexcept
{
    return result = CallResult(GetHandle(), [](HANDLE h) { return SetEvent(h); });
}

SResult SEvent::Reset(SResult& result) noexcept
{
    return result = CallResult(GetHandle(), [](HANDLE h) { return ResetEvent(h); });
}

SResult SEvent::Pulse(SResult& result) noexcept
{
    return result = CallResult(GetHandle(), [](HANDLE h) { return PulseEvent(h); });
}

SResult SEvent::Open(SResult& result, const SString& name, DWORD access, bool inherit)
{
    m_Handle.Reset();
    m_Name = name;
    m_Handle.Reset(OpenEventW(access, inherit ? TRUE : FALSE, m_Name.c_str()));
    return result = m_Handle ? SResult(0) : kResultCreateFailed;
}

SResult SEvent::Create(SResult& result, const SString& name, bool uniqueName, bool unnamed, bool manualReset,
                       bool initialState, SECURITY_ATTRIBUTES* security)
{
    m_Handle.Reset();
    m_Name = MakeSyncObjectName(name, uniqueName, unnamed);
    SetLastError(ERROR_SUCCESS);
    m_Handle.Reset(CreateEventW(security, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE,
                                m_Name.IsEmpty() ? nullptr : m_Name.c_str()));
    if (!m_Handle)
        return result = kResultCreateFailed;
    return result = GetLastError() == ERROR_ALREADY_EXISTS ? kResultObjectExisted : SResult(0);
}

} // namespace S
