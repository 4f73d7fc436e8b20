// Starting, stopping and restarting a service by name, and waiting for a service to reach a state.
// Failure contract: ControlServiceByName writes its SResult to `result` and returns it; `state`
// (optional) holds the state found before acting, SServiceState::Unknown until it is known.
// WaitForServiceState returns its SResult; `status` holds the last status read.
// Thread-safety: any thread; every call works on handles of its own.
#pragma once

#include "library/system/service/SService.h"
#include "library/system/service/ServiceTypes.h"

#include <windows.h>

#include <cstdint>

namespace S
{

// Time as the waits see it.
class IServiceWaitClock
{
public:
    virtual ~IServiceWaitClock() = default;
    virtual uint64_t NowMs() noexcept = 0;
    virtual void SleepMs(DWORD ms) noexcept = 0;
};

// The performance-counter clock (counter x 1000 / frequency) and Sleep.
IServiceWaitClock& SystemServiceWaitClock() noexcept;

// The clock that every wait and pause of the service classes uses: the system's unless a test
// installed another.
IServiceWaitClock& ServiceWaitClock() noexcept;

// Test seam (set it through SScopedForTesting): puts `clock` in place (null: the system's again)
// and returns the one set before, null for the system's. Set it before the calls that should see
// it start; restore it after they have returned.
IServiceWaitClock* SetServiceWaitClockForTesting(IServiceWaitClock* clock) noexcept;

inline constexpr uint64_t ServiceWaitLimitMs = 20000;

// The pause between two status reads: a tenth of the wait hint, within 1,000 to 5,000 ms.
DWORD ServiceWaitPollInterval(uint32_t waitHint) noexcept;

// 0 once the service is in `target`; kResultServiceUnexpectedState when it leaves `pending` for another
// state; kResultServiceTimedOut after 20 s in `pending`; a status read's failure as it comes.
SResult WaitForServiceState(SService& service, SServiceState pending, SServiceState target,
                            SServiceStatus& status);

// Starts, stops or restarts the named service, optionally waiting for the change, and logs every
// step for component "Service". A restart also stops the running dependents first and starts
// them again afterwards.
SResult ControlServiceByName(SResult& result, const SString& name, SServiceAction action, bool wait,
                             SServiceState* state);

} // namespace S
