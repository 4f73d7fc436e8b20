#include "library/system/service/ServiceControl.h"

#include "library/diagnostics/log/Log.h"
#include "library/system/service/SServiceManager.h"
#include "library/system/service/ServiceResult.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <memory>

namespace S
{

namespace
{

class SystemClock final : public IServiceWaitClock
{
public:
    uint64_t NowMs() noexcept override
    {
        LARGE_INTEGER counter{};
        LARGE_INTEGER frequency{};
        QueryPerformanceCounter(&counter);
        QueryPerformanceFrequency(&frequency);
        return static_cast<uint64_t>(counter.QuadPart) * 1000u / static_cast<uint64_t>(frequency.QuadPart);
    }
    void SleepMs(DWORD ms) noexcept override { Sleep(ms); }
};

// Lock-free: read and replaced by one atomic operation each; null means the system clock.
constinit std::atomic<IServiceWaitClock*> InstalledClock{nullptr};

constexpr int StopRetryLimit = 5;
constexpr DWORD StopRetryPauseMs = 1000;

// The component and the log texts of the service classes are fixed, kept on purpose for compatibility.
void LogService(int level, const SResult* result, const wchar_t* format, ...) noexcept
{
    const SLogContext context{L"Service", SLogLevel(level), SLogType::None};
    va_list args;
    va_start(args, format);
    LogV(context, result, format, args);
    va_end(args);
}

// The stop half of ControlServiceByName on an open service. On return `stopped` lists the
// dependents that were stopped on the way.
SResult StopOpenService(SResult& result, SService& service, const wchar_t* name, bool wait, bool restart,
                        SListT<SServiceEntry>& stopped)
{
    SServiceStatus status;
    if (service.StopWithDependents(result, status, &stopped).Failed())
    {
        LogService(SLogLevel::Error, &result, L"Failed to stop service '%s'.", name);
        return result;
    }
    if (!wait && !restart)
    {
        LogService(SLogLevel::Debug, nullptr, L"Sent stop request to service '%s'.", name);
        return result;
    }
    for (int retries = 0;;)
    {
        const SResult waited =
            WaitForServiceState(service, SServiceState::StopPending, SServiceState::Stopped, status);
        if (waited.Succeeded())
        {
            LogService(SLogLevel::Debug, nullptr, L"Successfully stopped service '%s'.", name);
            return result = 0;
        }
        const int lastState = static_cast<int>(status.currentState);
        if (waited == kResultServiceTimedOut)
            LogService(SLogLevel::Warning, &waited, L"Service '%s' timed out while stopping. Last state: %d.",
                       name, lastState);
        else
            LogService(SLogLevel::Debug, &waited,
                       L"Service \"%s\" was stopped but its status could not be verified. Last state: %d.",
                       name, lastState);
        if (waited != kResultServiceUnexpectedState || retries >= StopRetryLimit)
            return result = restart ? waited : SResult(0);
        ++retries;
        LogService(SLogLevel::Debug, nullptr, L"Retry to stop service \"%s\".", name);
        ServiceWaitClock().SleepMs(StopRetryPauseMs);
        if (service.StopWithDependents(result, status, nullptr).Failed())
        {
            LogService(SLogLevel::Error, &result, L"Failed to stop service '%s'.", name);
            return result;
        }
    }
}

SResult StartOpenService(SResult& result, SService& service, const wchar_t* name, bool wait)
{
    if (service.Start(result, 0, nullptr) == kResultServiceAlreadyRunning)
        return result = 0;
    if (result.Failed())
    {
        LogService(SLogLevel::Error, &result, L"Failed to start service '%s'.", name);
        return result;
    }
    if (!wait)
    {
        LogService(SLogLevel::Debug, nullptr, L"Sent start request to service '%s'.", name);
        return result;
    }
    SServiceStatus status;
    const SResult waited =
        WaitForServiceState(service, SServiceState::StartPending, SServiceState::Running, status);
    const int lastState = static_cast<int>(status.currentState);
    if (waited.Succeeded())
        LogService(SLogLevel::Debug, nullptr, L"Successfully started service '%s'.", name);
    else if (waited == kResultServiceTimedOut)
        LogService(SLogLevel::Warning, &waited, L"Service '%s' timed out while starting. Last state: %d.",
                   name, lastState);
    else
        LogService(SLogLevel::Debug, &waited,
                   L"Service \"%s\" was started but its status could not be verified. Last state: %d.", name,
                   lastState);
    return result = 0;
}

} // namespace

IServiceWaitClock& SystemServiceWaitClock() noexcept
{
    static SystemClock clock;
    return clock;
}

DWORD ServiceWaitPollInterval(uint32_t waitHint) noexcept
{
    return std::clamp<DWORD>(waitHint / 10, 1000, 5000);
}

IServiceWaitClock& ServiceWaitClock() noexcept
{
    IServiceWaitClock* const installed = InstalledClock.load();
    return installed != nullptr ? *installed : SystemServiceWaitClock();
}

IServiceWaitClock* SetServiceWaitClockForTesting(IServiceWaitClock* clock) noexcept
{
    return InstalledClock.exchange(clock);
}

SResult WaitForServiceState(SService& service, SServiceState pending, SServiceState target,
                            SServiceStatus& status)
{
    IServiceWaitClock& clock = ServiceWaitClock();
    const uint64_t start = clock.NowMs();
    SServiceStatus current;
    SResult result;
    if (service.QueryStatus(result, current).Failed())
        return result;
    for (;;)
    {
        status = current;
        if (current.currentState == target)
            return 0;
        if (current.currentState != pending)
            return kResultServiceUnexpectedState;
        if (clock.NowMs() - start > ServiceWaitLimitMs)
            return kResultServiceTimedOut;
        clock.SleepMs(ServiceWaitPollInterval(current.waitHint));
        if (service.QueryStatus(result, current).Failed())
            return result;
    }
}

SResult ControlServiceByName(SResult& result, const SString& name, SServiceAction action, bool wait,
                             SServiceState* state)
{
    if (state != nullptr)
        *state = SServiceState::Unknown;
    SServiceManager manager;
    if (manager.Init(result, ServiceManagerAccess::All, nullptr, nullptr).Failed())
    {
        LogService(SLogLevel::Error, &result,
                   L"Failed to initialize service manager while trying to start/stop service '%s'.",
                   name.c_str());
        return result;
    }
    std::unique_ptr<SService> service;
    if (manager.OpenService(result, &service, name, ServiceAccess::All).Failed())
    {
        LogService(SLogLevel::Error, &result, L"Failed to open service '%s'.", name.c_str());
        return result;
    }
    SServiceStatus status;
    if (service->QueryStatus(result, status).Failed())
    {
        LogService(SLogLevel::Error, &result, L"Failed to query service '%s'.", name.c_str());
        return result;
    }
    if (state != nullptr)
        *state = status.currentState;

    SServiceState current = status.currentState;
    SListT<SServiceEntry> dependents;
    const bool restart = action == SServiceAction::Restart;
    if (action == SServiceAction::Stop || restart)
    {
        if (current == SServiceState::Stopped)
            LogService(SLogLevel::Debug, nullptr, L"Service '%s' already stopped.", name.c_str());
        else if (StopOpenService(result, *service, name.c_str(), wait, restart, dependents).Failed() ||
                 !restart)
            return result;
        current = SServiceState::Stopped;
    }
    if (action == SServiceAction::Start || restart)
    {
        if (current == SServiceState::Running)
            LogService(SLogLevel::Debug, nullptr, L"Service '%s' already started.", name.c_str());
        else if (StartOpenService(result, *service, name.c_str(), wait).Failed())
            return result;
    }
    service.reset();
    if (restart)
    {
        for (const SServiceEntry& dependent : dependents.GetItems())
        {
            SResult started;
            ControlServiceByName(started, dependent.name, SServiceAction::Start, false, nullptr);
        }
    }
    return result = 0;
}

} // namespace S
