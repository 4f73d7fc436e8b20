#include "library/system/service/SService.h"

#include "library/diagnostics/log/Log.h"
#include "library/system/service/SServiceCalls.h"
#include "library/system/service/ServiceControl.h"
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

// A double-NUL-terminated list; an empty list means "no change" (null).
std::wstring MultiString(const std::vector<SString>& items)
{
    std::wstring joined;
    for (const SString& item : items)
    {
        joined.append(item.c_str(), item.size());
        joined.push_back(L'\0');
    }
    joined.push_back(L'\0');
    return joined;
}

std::vector<SString> SplitMultiString(const wchar_t* list)
{
    std::vector<SString> items;
    for (const wchar_t* p = list; p != nullptr && *p != L'\0'; p += wcslen(p) + 1)
        items.emplace_back(p);
    return items;
}

SString TextOrEmpty(const wchar_t* text)
{
    return text != nullptr ? SString(text) : SString();
}

// Buffers are sized in bytes as DWORDs; anything larger is refused as too small.
SResult ResizeBytes(SBufferT<unsigned char>& buffer, DWORD bytes)
{
    SResult resized;
    return buffer.Resize(resized, bytes, false);
}

} // namespace

SService::SService(const SString& name, SC_HANDLE handle) : SServiceBase(name, handle) {}

SResult SService::Fail(SResult& result, DWORD error, const wchar_t* function) const noexcept
{
    result = ServiceResultFromWin32Error(m_Name.c_str(), error, function);
    return result;
}

SResult SService::ChangeConfig(SResult& result, const SServiceConfig& config, const wchar_t* password)
{
    if (!m_Handle)
        return result = kResultServiceNotOpen;
    const std::wstring dependencies = MultiString(config.dependencies);
    DWORD tagId = config.tagId;
    if (!ChangeServiceConfigW(m_Handle.Get(), config.serviceType, config.startType, config.errorControl,
                              NullIfEmpty(config.binaryPath), NullIfEmpty(config.loadOrderGroup),
                              config.loadOrderGroup.empty() ? nullptr : &tagId,
                              config.dependencies.empty() ? nullptr : dependencies.c_str(),
                              NullIfEmpty(config.account), password, NullIfEmpty(config.displayName)))
        return Fail(result, GetLastError(), L"SService::ChangeConfig");
    return result = 0;
}

SResult SService::QueryConfig(SResult& result, SBufferT<unsigned char>& buffer, DWORD& needed)
{
    needed = 0;
    if (!m_Handle)
        return result = kResultServiceNotOpen;
    if (!QueryServiceConfigW(m_Handle.Get(), reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.GetData()),
                             buffer.GetCount(), &needed))
        return Fail(result, GetLastError(), L"SService::QueryConfig");
    return result = 0;
}

SResult SService::ReadConfig(SResult& result, SServiceConfig& out)
{
    SBufferT<unsigned char> buffer;
    DWORD needed = 0;
    while (QueryConfig(result, buffer, needed) == kResultServiceBufferTooSmall && needed > buffer.GetCount())
    {
        if (const SResult resized = ResizeBytes(buffer, needed); resized.Failed())
            return result = resized;
    }
    if (result.Failed())
        return result;
    const auto* config = reinterpret_cast<const QUERY_SERVICE_CONFIGW*>(buffer.GetData());
    out.serviceType = config->dwServiceType;
    out.startType = config->dwStartType;
    out.errorControl = config->dwErrorControl;
    out.binaryPath = TextOrEmpty(config->lpBinaryPathName);
    out.loadOrderGroup = TextOrEmpty(config->lpLoadOrderGroup);
    out.tagId = config->dwTagId;
    out.dependencies = SplitMultiString(config->lpDependencies);
    out.account = TextOrEmpty(config->lpServiceStartName);
    out.displayName = TextOrEmpty(config->lpDisplayName);
    return result;
}

SResult SService::QueryStatus(SResult& result, SServiceStatus& status)
{
    if (!m_Handle)
        return result = kResultServiceNotOpen;
    SERVICE_STATUS_PROCESS raw{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(m_Handle.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&raw),
                              sizeof(raw), &needed))
    {
        const DWORD error = GetLastError();
        if (error == ERROR_INSUFFICIENT_BUFFER)
            return result = kResultInternalError;
        return Fail(result, error, L"SService::QueryStatus");
    }
    status = ServiceStatusFromWin32(raw);
    return result = 0;
}

SResult SService::EnumDependents(SResult& result, DWORD states, SListT<SServiceEntry>& out)
{
    out.Clear();
    if (!m_Handle)
        return result = kResultServiceNotOpen;
    const auto enumerate = GetServiceCalls().enumDependents;
    SBufferT<unsigned char> buffer;
    DWORD needed = 0;
    DWORD count = 0;
    while (!enumerate(m_Handle.Get(), states, reinterpret_cast<ENUM_SERVICE_STATUSW*>(buffer.GetData()),
                      buffer.GetCount(), &needed, &count))
    {
        const DWORD error = GetLastError();
        if (error != ERROR_MORE_DATA || needed <= buffer.GetCount())
            return Fail(result, error, L"SService::EnumDependents");
        if (const SResult resized = ResizeBytes(buffer, needed); resized.Failed())
            return result = resized;
    }
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUSW*>(buffer.GetData());
    for (DWORD i = 0; i < count; ++i)
        out.PushBack({TextOrEmpty(entries[i].lpServiceName), TextOrEmpty(entries[i].lpDisplayName),
                      ServiceStatusFromWin32(entries[i].ServiceStatus)});
    return result = 0;
}

SResult SService::Control(SResult& result, int32_t control, SServiceStatus& status)
{
    if (!m_Handle)
        return result = kResultServiceNotOpen;
    SERVICE_STATUS raw{};
    if (GetServiceCalls().control(m_Handle.Get(), Win32ServiceControl(control), &raw))
    {
        status = ServiceStatusFromWin32(raw);
        return result = 0;
    }
    const DWORD error = GetLastError();
    const bool statusValid = error == ERROR_INVALID_SERVICE_CONTROL ||
                             error == ERROR_SERVICE_CANNOT_ACCEPT_CTRL || error == ERROR_SERVICE_NOT_ACTIVE;
    status = statusValid ? ServiceStatusFromWin32(raw) : SServiceStatus::Failed();
    return Fail(result, error, L"SService::Control");
}

SResult SService::Start(SResult& result, DWORD argc, const wchar_t** argv)
{
    if (!m_Handle)
        return result = kResultServiceNotOpen;
    if (!StartServiceW(m_Handle.Get(), argc, argv))
        return Fail(result, GetLastError(), L"SService::Start");
    return result = 0;
}

SResult SService::Pause(SResult& result, SServiceStatus& status)
{
    return Control(result, ServiceControlCode::Pause, status);
}

SResult SService::Continue(SResult& result, SServiceStatus& status)
{
    return Control(result, ServiceControlCode::Continue, status);
}

SResult SService::Shutdown(SResult& result, SServiceStatus& status)
{
    return Control(result, ServiceControlCode::Shutdown, status);
}

SResult SService::StopWithDependents(SResult& result, SServiceStatus& status, SListT<SServiceEntry>* stopped)
{
    if (stopped != nullptr)
        stopped->Clear();
    Control(result, ServiceControlCode::Stop, status);
    if (result == kResultServiceNotActive)
        return result = 0;
    while (result == kResultServiceCannotAccept)
    {
        const SServiceState state = status.currentState;
        if (state == SServiceState::StopPending || state == SServiceState::Stopped)
            return result = 0;
        if (state == SServiceState::Paused || state == SServiceState::Running)
            return result;
        ServiceWaitClock().SleepMs(1000);
        Control(result, ServiceControlCode::Stop, status);
    }
    if (stopped == nullptr || result != kResultServiceDependents)
        return result;

    SListT<SServiceEntry> dependents;
    SResult enumerated;
    if (EnumDependents(enumerated, SERVICE_ACTIVE, dependents).Failed())
        return result = kResultServiceDependents;
    for (const SServiceEntry& dependent : dependents.GetItems())
    {
        SResult dependentResult;
        SServiceState before = SServiceState::Unknown;
        if (ControlServiceByName(dependentResult, dependent.name, SServiceAction::Stop, true, &before)
                .Failed())
        {
            const SLogContext context{L"Service", SLogLevel::Error, SLogType::None};
            Log(context, &dependentResult, L"Failed to stop dependent service %s.", dependent.name.c_str());
            return result = kResultServiceDependents;
        }
        if (before == SServiceState::Running || before == SServiceState::StartPending)
            stopped->PushBack({dependent.name, dependent.displayName, dependent.status});
    }
    return StopWithDependents(result, status, nullptr);
}

SResult SService::Delete(SResult& result)
{
    if (!m_Handle)
        return result = kResultServiceNotOpen;
    if (!DeleteService(m_Handle.Get()))
        return Fail(result, GetLastError(), L"SService::Delete");
    return result = 0;
}

int32_t SService::IsNotStopped()
{
    SServiceStatus status;
    SResult result;
    if (QueryStatus(result, status).Failed())
        return -1;
    return status.currentState != SServiceState::Stopped ? 1 : 0;
}

int32_t SService::IsRunning(DWORD* processId)
{
    if (processId != nullptr)
        *processId = 0xFFFFFFFFu;
    SServiceStatus status;
    SResult result;
    if (QueryStatus(result, status).Failed())
        return -1;
    if (processId != nullptr)
        *processId = status.processId;
    return status.currentState == SServiceState::Running ? 1 : 0;
}

SResult SService::QueryConfig2(SResult& result, DWORD level, SBufferT<unsigned char>& buffer,
                               const wchar_t* function)
{
    if (!m_Handle)
        return result = kResultServiceNotOpen;
    DWORD needed = 0;
    while (!QueryServiceConfig2W(m_Handle.Get(), level, buffer.GetData(), buffer.GetCount(), &needed))
    {
        const DWORD error = GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.GetCount())
            return Fail(result, error, function);
        if (const SResult resized = ResizeBytes(buffer, needed); resized.Failed())
            return result = resized;
    }
    return result = 0;
}

SResult SService::ChangeConfig2(SResult& result, DWORD level, void* info, const wchar_t* function)
{
    if (!m_Handle)
        return result = kResultServiceNotOpen;
    if (!ChangeServiceConfig2W(m_Handle.Get(), level, info))
        return Fail(result, GetLastError(), function);
    return result = 0;
}

SResult SService::GetDescription(SResult& result, SString& out)
{
    SBufferT<unsigned char> buffer;
    if (QueryConfig2(result, SERVICE_CONFIG_DESCRIPTION, buffer, L"SService::GetDescription").Failed())
        return result;
    const auto* description = reinterpret_cast<const SERVICE_DESCRIPTIONW*>(buffer.GetData());
    out = description != nullptr ? TextOrEmpty(description->lpDescription) : SString();
    return result;
}

SResult SService::SetDescription(SResult& result, const SString& description)
{
    std::wstring text(description.c_str(), description.size());
    SERVICE_DESCRIPTIONW info{text.data()};
    return ChangeConfig2(result, SERVICE_CONFIG_DESCRIPTION, &info, L"SService::SetDescription");
}

SResult SService::GetFailureActions(SResult& result, SServiceFailureActions& out)
{
    SBufferT<unsigned char> buffer;
    if (QueryConfig2(result, SERVICE_CONFIG_FAILURE_ACTIONS, buffer, L"SService::GetFailureActions").Failed())
        return result;
    const auto* actions = reinterpret_cast<const SERVICE_FAILURE_ACTIONSW*>(buffer.GetData());
    if (actions == nullptr)
        return result;
    out.resetPeriod = actions->dwResetPeriod;
    out.rebootMessage = TextOrEmpty(actions->lpRebootMsg);
    out.command = TextOrEmpty(actions->lpCommand);
    out.actions.assign(actions->lpsaActions,
                       actions->lpsaActions + (actions->lpsaActions ? actions->cActions : 0));
    return result;
}

SResult SService::SetFailureActions(SResult& result, const SServiceFailureActions& actions)
{
    std::wstring rebootMessage(actions.rebootMessage.c_str(), actions.rebootMessage.size());
    std::wstring command(actions.command.c_str(), actions.command.size());
    std::vector<SC_ACTION> list = actions.actions;
    SERVICE_FAILURE_ACTIONSW info{actions.resetPeriod, rebootMessage.data(), command.data(),
                                  static_cast<DWORD>(list.size()), list.empty() ? nullptr : list.data()};
    return ChangeConfig2(result, SERVICE_CONFIG_FAILURE_ACTIONS, &info, L"SService::SetFailureActions");
}

SResult SService::Interrogate(SResult& result, SServiceStatus& status)
{
    return Control(result, ServiceControlCode::Interrogate, status);
}

SResult SService::NetBindAdd(SResult& result, SServiceStatus& status)
{
    return Control(result, ServiceControlCode::NetBindAdd, status);
}

SResult SService::NetBindDisable(SResult& result, SServiceStatus& status)
{
    return Control(result, ServiceControlCode::NetBindDisable, status);
}

SResult SService::NetBindEnable(SResult& result, SServiceStatus& status)
{
    return Control(result, ServiceControlCode::NetBindEnable, status);
}

SResult SService::NetBindRemove(SResult& result, SServiceStatus& status)
{
    return Control(result, ServiceControlCode::NetBindRemove, status);
}

SResult SService::ParamChange(SResult& result, SServiceStatus& status)
{
    return Control(result, ServiceControlCode::ParamChange, status);
}

SResult SService::DeviceEvent(SResult& result, SServiceStatus& status)
{
    return Control(result, ServiceControlCode::DeviceEvent, status);
}

SResult SService::PowerEvent(SResult& result, SServiceStatus& status)
{
    return Control(result, ServiceControlCode::PowerEvent, status);
}

SResult SService::HardwareProfileChange(SResult& result, SServiceStatus& status)
{
    return Control(result, ServiceControlCode::HardwareProfileChange, status);
}

} // namespace S
