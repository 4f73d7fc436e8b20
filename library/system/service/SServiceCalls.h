// The three control-manager calls whose outcome a test cannot get from Wine's control manager:
// the connection (it never refuses one), the dependents enumeration (it always answers none)
// and the control call (it drops what a service's handler answers, so a service cannot refuse a
// control, and it does not check dependencies). The service classes make these calls through
// the table below, which holds the system's functions unless a test sets others.
// Thread-safety: each entry is read and replaced atomically; install before the calls that
// should see the replacement start, and restore after they have returned.
// Failure contract: none of its own; each entry fails as the system's function it stands for.
#pragma once

#include <windows.h>

namespace S
{

struct SServiceCalls
{
    using OpenManagerFunction = SC_HANDLE(WINAPI*)(LPCWSTR machine, LPCWSTR database, DWORD access);
    using EnumDependentsFunction = BOOL(WINAPI*)(SC_HANDLE service, DWORD states,
                                                 LPENUM_SERVICE_STATUSW buffer, DWORD size, LPDWORD needed,
                                                 LPDWORD count);
    using ControlFunction = BOOL(WINAPI*)(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);

    OpenManagerFunction openManager = nullptr;
    EnumDependentsFunction enumDependents = nullptr;
    ControlFunction control = nullptr;

    // The system's own functions.
    static SServiceCalls System() noexcept;
};

// The table in use.
SServiceCalls GetServiceCalls() noexcept;

// Test seam (set it through SScopedForTesting): replaces the table (a null entry restores the system's
// function) and returns the previous one.
SServiceCalls SetServiceCallsForTesting(SServiceCalls calls) noexcept;

} // namespace S
