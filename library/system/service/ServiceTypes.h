// Value types of the service classes (states, status, configuration, list entries) and the
// fixed tables that map the library's state, control and access codes to the system's.
// Plain values and pure functions; thread-safe as any value.
// Failure contract: nothing here fails; unknown system values give Unknown, unknown codes give 0.
#pragma once

#include "library/utility/SString.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace S
{

// The library's service states; the numbers differ from the system's SERVICE_* states.
enum class SServiceState : int32_t
{
    Unknown = -1,
    ContinuePending = 0,
    PausePending = 1,
    Paused = 2,
    Running = 3,
    StartPending = 4,
    StopPending = 5,
    Stopped = 6,
};

enum class SServiceAction : int32_t
{
    Start = 0,
    Stop = 1,
    Restart = 2,
};

// Control codes of SService::Control; any other number maps to no control (0).
namespace ServiceControlCode
{
enum : int32_t
{
    Continue = 0,
    Interrogate = 1,
    NetBindAdd = 2,
    NetBindDisable = 3,
    NetBindEnable = 4,
    NetBindRemove = 5,
    ParamChange = 6,
    Pause = 7,
    Shutdown = 8,
    Stop = 9,
    DeviceEvent = 10,
    PowerEvent = 11,
    HardwareProfileChange = 12,
};
} // namespace ServiceControlCode

// Access codes of SServiceManager::Init; any other number maps to no access.
namespace ServiceManagerAccess
{
enum : int32_t
{
    All = 0,
    Connect = 1,
    Lock = 2,
    CreateService = 3,
    EnumerateService = 4,
    ModifyBootConfig = 5,
    QueryLockStatus = 6,
    Read = 7,
    Write = 8,
    Execute = 9,
};
} // namespace ServiceManagerAccess

// Access codes of SServiceManager::OpenService; any other number maps to no access.
namespace ServiceAccess
{
enum : int32_t
{
    All = 0,
    ChangeConfig = 1,
    QueryConfig = 2,
    EnumerateDependents = 3,
    Interrogate = 4,
    PauseContinue = 5,
    QueryStatus = 6,
    Start = 7, // opens with all access
    Stop = 8,  // opens with all access
    Delete = 9,
    UserDefinedControl = 10,
    SystemSecurity = 11,
    ReadControl = 12,
    WriteDac = 13,
    WriteOwner = 14,
    Read = 15,
    Write = 16,
    Execute = 17,
};
} // namespace ServiceAccess

// SERVICE_STATUS_PROCESS with the state in the library's numbering.
struct SServiceStatus
{
    uint32_t serviceType = 0;
    SServiceState currentState = SServiceState::Unknown;
    uint32_t controlsAccepted = 0;
    uint32_t win32ExitCode = 0;
    uint32_t serviceSpecificExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
    uint32_t processId = 0;
    uint32_t serviceFlags = 0;

    // What a failed control leaves behind: type all bits set, everything else zero.
    static SServiceStatus Failed() noexcept;
};

// One service of an enumeration, or one dependent stopped on the way.
struct SServiceEntry
{
    SString name;
    SString displayName;
    SServiceStatus status;

    bool operator==(const SServiceEntry& other) const;
    bool operator<(const SServiceEntry& other) const;
};

// A service's configuration. When written, zero-length texts and an empty dependency list leave
// that part unchanged, and numbers may be SERVICE_NO_CHANGE.
struct SServiceConfig
{
    uint32_t serviceType = SERVICE_NO_CHANGE;
    uint32_t startType = SERVICE_NO_CHANGE;
    uint32_t errorControl = SERVICE_NO_CHANGE;
    SString binaryPath;
    SString loadOrderGroup;
    uint32_t tagId = 0;
    std::vector<SString> dependencies; // service names; groups carry the SC_GROUP_IDENTIFIER prefix
    SString account;
    SString displayName;
};

struct SServiceFailureActions
{
    uint32_t resetPeriod = 0; // seconds
    SString rebootMessage;
    SString command;
    std::vector<SC_ACTION> actions;
};

SServiceState ServiceStateFromWin32(DWORD state) noexcept;
SServiceStatus ServiceStatusFromWin32(const SERVICE_STATUS_PROCESS& status) noexcept;
SServiceStatus ServiceStatusFromWin32(const SERVICE_STATUS& status) noexcept;
DWORD Win32ServiceControl(int32_t control) noexcept;
DWORD ServiceManagerAccessMask(int32_t access) noexcept;
DWORD ServiceAccessMask(int32_t access) noexcept;

} // namespace S
