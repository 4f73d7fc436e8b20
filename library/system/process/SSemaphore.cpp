#include "library/system/process/SSemaphore.h"

#include "library/system/process/SEvent.h"

namespace S
{

SResult SSemaphore::Release(SResult& result, LONG count, LONG* previous) noexcept
{
    if (!m_Handle)
        return result = kResultNoHandle;
    return result = ReleaseSemaphore(m_Handle.Get(), count, previous) ? SResult(0) : kResultCallFailed;
}

SResult SSemaphore::Open(SResult& result, const SString& name, DWORD access, bool inherit)
{
    m_Handle.Reset();
    m_Name = name;
    m_Handle.Reset(OpenSemaphoreW(access, inherit ? TRUE : FALSE, m_Name.c_str()));
    return result = m_Handle ? SResult(0) : kResultCreateFailed;
}

SResult SSemaphore::Create(SResult& result, const SString& name, bool uniqueName, bool unnamed,
                           int32_t initialCount, int32_t maximumCount, SECURITY_ATTRIBUTES* security)
{
    if (initialCount < 0 || maximumCount < 1 || initialCount > maximumCount)
        return result = kResultInvalidCounts;
    m_Handle.Reset();
    m_InitialCount = initialCount;
    m_MaximumCount = maximumCount;
    m_Name = MakeSyncObjectName(name, uniqueName, unnamed);
    SetLastError(ERROR_SUCCESS);
    m_Handle.Reset(
        CreateSemaphoreW(security, initialCount, maximumCount, m_Name.IsEmpty() ? nullptr : m_Name.c_str()));
    if (!m_Handle)
        return result = kResultCreateFailed;
    return result = GetLastError() == ERROR_ALREADY_EXISTS ? kResultObjectExisted : SResult(0);
}

SResult SSemaphore::Recreate(SResult& result)
{
    return Create(result, SString(), false, true, m_InitialCount, m_MaximumCount, nullptr);
}

} // namespace S
