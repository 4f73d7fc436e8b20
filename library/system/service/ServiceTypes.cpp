#include "library/system/service/ServiceTypes.h"

namespace S
{

SServiceStatus SServiceStatus::Failed() noexcept
{
    SServiceStatus status;
    status.serviceType = 0xFFFFFFFFu;
    status.currentState = static_cast<SServiceState>(0);
    return status;
}

bool SServiceEntry::operator==(const SServiceEntry& other) const
{
    return name.Compare(other.name) == 0 && displayName.Compare(other.displayName) == 0;
}

bool SServiceEntry::operator<(const SServiceEntry& other) const
{
    const int byName = name.Compare(other.name);
    return byName != 0 ? byName < 0 : displayName.Compare(other.displayName) < 0;
}

SServiceState ServiceStateFromWin32(DWORD state) noexcept
{
    switch (state)
    {
    case SERVICE_STOPPED:
        return SServiceState::Stopped;
    case SERVICE_START_PENDING:
        return SServiceState::StartPending;
    case SERVICE_STOP_PENDING:
        return SServiceState::StopPending;
    case SERVICE_RUNNING:
        return SServiceState::Running;
    case SERVICE_CONTINUE_PENDING:
        return SServiceState::ContinuePending;
    case SERVICE_PAUSE_PENDING:
        return SServiceState::PausePending;
    case SERVICE_PAUSED:
        return SServiceState::Paused;
    default:
        return SServiceState::Unknown;
    }
}

SServiceStatus ServiceStatusFromWin32(const SERVICE_STATUS_PROCESS& status) noexcept
{
    SServiceStatus out;
    out.serviceType = status.dwServiceType;
    out.currentState = ServiceStateFromWin32(status.dwCurrentState);
    out.controlsAccepted = status.dwControlsAccepted;
    out.win32ExitCode = status.dwWin32ExitCode;
    out.serviceSpecificExitCode = status.dwServiceSpecificExitCode;
    out.checkPoint = status.dwCheckPoint;
    out.waitHint = status.dwWaitHint;
    out.processId = status.dwProcessId;
    out.serviceFlags = status.dwServiceFlags;
    return out;
}

SServiceStatus ServiceStatusFromWin32(const SERVICE_STATUS& status) noexcept
{
    SERVICE_STATUS_PROCESS extended{};
    extended.dwServiceType = status.dwServiceType;
    extended.dwCurrentState = status.dwCurrentState;
    extended.dwControlsAccepted = status.dwControlsAccepted;
    extended.dwWin32ExitCode = status.dwWin32ExitCode;
    extended.dwServiceSpecificExitCode = status.dwServiceSpecificExitCode;
    extended.dwCheckPoint = status.dwCheckPoint;
    extended.dwWaitHint = status.dwWaitHint;
    return ServiceStatusFromWin32(extended);
}

DWORD Win32ServiceControl(int32_t control) noexcept
{
    switch (control)
    {
    case ServiceControlCode::Continue:
        return SERVICE_CONTROL_CONTINUE;
    case ServiceControlCode::Interrogate:
        return SERVICE_CONTROL_INTERROGATE;
    case ServiceControlCode::NetBindAdd:
        return SERVICE_CONTROL_NETBINDADD;
    case ServiceControlCode::NetBindDisable:
        return SERVICE_CONTROL_NETBINDDISABLE;
    case ServiceControlCode::NetBindEnable:
        return SERVICE_CONTROL_NETBINDENABLE;
    case ServiceControlCode::NetBindRemove:
        return SERVICE_CONTROL_NETBINDREMOVE;
    case ServiceControlCode::ParamChange:
        return SERVICE_CONTROL_PARAMCHANGE;
    case ServiceControlCode::Pause:
        return SERVICE_CONTROL_PAUSE;
    case ServiceControlCode::Shutdown:
        return SERVICE_CONTROL_SHUTDOWN;
    case ServiceControlCode::Stop:
        return SERVICE_CONTROL_STOP;
    case ServiceControlCode::DeviceEvent:
        return SERVICE_CONTROL_DEVICEEVENT;
    case ServiceControlCode::PowerEvent:
        return SERVICE_CONTROL_POWEREVENT;
    case ServiceControlCode::HardwareProfileChange:
        return SERVICE_CONTROL_HARDWAREPROFILECHANGE;
    default:
        return 0;
    }
}

DWORD ServiceManagerAccessMask(int32_t access) noexcept
{
    switch (access)
    {
    case ServiceManagerAccess::All:
        return SC_MANAGER_ALL_ACCESS;
    case ServiceManagerAccess::Connect:
        return SC_MANAGER_CONNECT;
    case ServiceManagerAccess::Lock:
        return SC_MANAGER_LOCK;
    case ServiceManagerAccess::CreateService:
        return SC_MANAGER_CREATE_SERVICE;
    case ServiceManagerAccess::EnumerateService:
        return SC_MANAGER_ENUMERATE_SERVICE;
    case ServiceManagerAccess::ModifyBootConfig:
        return SC_MANAGER_MODIFY_BOOT_CONFIG;
    case ServiceManagerAccess::QueryLockStatus:
        return SC_MANAGER_QUERY_LOCK_STATUS;
    case ServiceManagerAccess::Read:
        return 0x20014;
    case ServiceManagerAccess::Write:
        return 0x20022;
    case ServiceManagerAccess::Execute:
        return 0x20009;
    default:
        return 0;
    }
}

DWORD ServiceAccessMask(int32_t access) noexcept
{
    switch (access)
    {
    case ServiceAccess::All:
    case ServiceAccess::Start:
    case ServiceAccess::Stop:
        return SERVICE_ALL_ACCESS;
    case ServiceAccess::ChangeConfig:
        return SERVICE_CHANGE_CONFIG;
    case ServiceAccess::QueryConfig:
        return SERVICE_QUERY_CONFIG;
    case ServiceAccess::EnumerateDependents:
        return SERVICE_ENUMERATE_DEPENDENTS;
    case ServiceAccess::Interrogate:
        return SERVICE_INTERROGATE;
    case ServiceAccess::PauseContinue:
        return SERVICE_PAUSE_CONTINUE;
    case ServiceAccess::QueryStatus:
        return SERVICE_QUERY_STATUS;
    case ServiceAccess::Delete:
        return DELETE;
    case ServiceAccess::UserDefinedControl:
        return SERVICE_USER_DEFINED_CONTROL;
    case ServiceAccess::SystemSecurity:
        return ACCESS_SYSTEM_SECURITY;
    case ServiceAccess::ReadControl:
        return READ_CONTROL;
    case ServiceAccess::WriteDac:
        return WRITE_DAC;
    case ServiceAccess::WriteOwner:
        return WRITE_OWNER;
    case ServiceAccess::Read:
        return 0x2008D;
    case ServiceAccess::Write:
        return 0x20002;
    case ServiceAccess::Execute:
        return 0x20170;
    default:
        return 0;
    }
}

} // namespace S
