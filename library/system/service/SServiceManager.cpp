#include "library/system/service/SServiceManager.h"

#include "library/system/service/SServiceCalls.h"
#include "library/system/service/ServiceResult.h"

#include <string>

namespace S
{

namespace
{

const wchar_t* NullIfEmpty(const SString& text) noexcept
{
    return text.empty() ? nullptr : text.c_str();
}

SString TextOrEmpty(const wchar_t* text)
{
    return text != nullptr ? SString(text) : SString();
}

SResult Fail(SResult& result, DWORD error, const wchar_t* function) noexcept
{
    result = ServiceResultFromWin32Error(nullptr, error, function);
    return result;
}

// A name lookup that answers ERROR_INSUFFICIENT_BUFFER with the length it needs (in characters,
// without the terminator).
template <typename Lookup>
SResult LookUpName(SResult& result, Lookup lookup, SString& out, const wchar_t* function)
{
    std::wstring text(1, L'\0');
    for (;;)
    {
        DWORD size = static_cast<DWORD>(text.size());
        if (lookup(text.data(), &size))
        {
            out = SString(text.c_str());
            return result = 0;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || size + 1 <= text.size())
            return Fail(result, error, function);
        text.assign(size + 1, L'\0');
    }
}

} // namespace

SResult SServiceManager::Init(SResult& result, int32_t access, const wchar_t* machine,
                              const wchar_t* database)
{
    m_Handle.Reset();
    const SC_HANDLE handle =
        GetServiceCalls().openManager(machine, database, ServiceManagerAccessMask(access));
    if (handle == nullptr)
        return Fail(result, GetLastError(), L"SServiceManager::Init");
    m_Handle.Reset(handle);
    return result = 0;
}

SResult SServiceManager::CreateService(SResult& result, std::unique_ptr<SService>* out, const SString& name,
                                       const SServiceConfig& config, int32_t access, const wchar_t* password)
{
    if (out == nullptr)
        return result = kResultServiceInvalidArgument;
    out->reset();
    if (!m_Handle)
        return result = kResultServiceNotOpen;
    std::wstring dependencies;
    for (const SString& dependency : config.dependencies)
    {
        dependencies.append(dependency.c_str(), dependency.size());
        dependencies.push_back(L'\0');
    }
    dependencies.push_back(L'\0');
    DWORD tagId = 0;
    const SC_HANDLE handle = ::CreateServiceW(
        m_Handle.Get(), name.c_str(), config.displayName.empty() ? name.c_str() : config.displayName.c_str(),
        ServiceAccessMask(access), config.serviceType, config.startType, config.errorControl,
        NullIfEmpty(config.binaryPath), NullIfEmpty(config.loadOrderGroup),
        config.loadOrderGroup.empty() ? nullptr : &tagId,
        config.dependencies.empty() ? nullptr : dependencies.c_str(), NullIfEmpty(config.account), password);
    if (handle == nullptr)
    {
        result = ServiceResultFromWin32Error(name.c_str(), GetLastError(), L"SServiceManager::CreateService");
        return result;
    }
    *out = std::make_unique<SService>(name, handle);
    return result = 0;
}

SResult SServiceManager::OpenService(SResult& result, std::unique_ptr<SService>* out, const SString& name,
                                     int32_t access)
{
    if (out == nullptr)
        return result = kResultServiceInvalidArgument;
    out->reset();
    if (!m_Handle)
        return result = kResultServiceNotOpen;
    const SC_HANDLE handle = ::OpenServiceW(m_Handle.Get(), name.c_str(), ServiceAccessMask(access));
    if (handle == nullptr)
    {
        result = ServiceResultFromWin32Error(name.c_str(), GetLastError(), L"SServiceManager::OpenService");
        return result;
    }
    *out = std::make_unique<SService>(name, handle);
    return result = 0;
}

SResult SServiceManager::EnumServices(SResult& result, DWORD serviceType, DWORD states,
                                      SBufferT<unsigned char>& buffer, DWORD& needed, DWORD& count)
{
    needed = 0;
    count = 0;
    if (!m_Handle)
        return result = kResultServiceNotOpen;
    if (!EnumServicesStatusExW(m_Handle.Get(), SC_ENUM_PROCESS_INFO, serviceType, states, buffer.GetData(),
                               buffer.GetCount(), &needed, &count, nullptr, nullptr))
        return Fail(result, GetLastError(), L"SServiceManager::EnumServices");
    return result = 0;
}

SResult SServiceManager::EnumAllServices(SResult& result, DWORD serviceType, DWORD states,
                                         SListT<SServiceEntry>& out)
{
    out.Clear();
    SBufferT<unsigned char> buffer;
    DWORD needed = 0;
    DWORD count = 0;
    while (EnumServices(result, serviceType, states, buffer, needed, count) == kResultServiceBufferTooSmall &&
           needed > buffer.GetCount())
    {
        SResult resized;
        if (buffer.Resize(resized, needed, false).Failed())
            return result = resized;
    }
    if (result.Failed())
        return result;
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.GetData());
    for (DWORD i = 0; i < count; ++i)
        out.PushBack({TextOrEmpty(entries[i].lpServiceName), TextOrEmpty(entries[i].lpDisplayName),
                      ServiceStatusFromWin32(entries[i].ServiceStatusProcess)});
    return result;
}

SResult SServiceManager::GetServiceDisplayName(SResult& result, const SString& name, SString& displayName)
{
    if (!m_Handle)
        return result = kResultServiceNotOpen;
    const SC_HANDLE manager = m_Handle.Get();
    return LookUpName(
        result,
        [manager, &name](wchar_t* text, DWORD* size)
        { return ::GetServiceDisplayNameW(manager, name.c_str(), text, size) != FALSE; },
        displayName, L"SServiceManager::GetServiceDisplayName");
}

SResult SServiceManager::GetServiceKeyName(SResult& result, const SString& displayName, SString& name)
{
    if (!m_Handle)
        return result = kResultServiceNotOpen;
    const SC_HANDLE manager = m_Handle.Get();
    return LookUpName(
        result,
        [manager, &displayName](wchar_t* text, DWORD* size)
        { return ::GetServiceKeyNameW(manager, displayName.c_str(), text, size) != FALSE; },
        name, L"SServiceManager::GetServiceKeyName");
}

} // namespace S
