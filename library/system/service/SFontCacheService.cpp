#include "library/system/service/SFontCacheService.h"

#include "library/system/service/FontCachePool.h"
#include "library/system/service/SServiceManager.h"
#include "library/system/service/ServiceControl.h"

#include <atomic>
#include <memory>
#include <new>

namespace S
{

namespace
{

// Lock-free: stop requests not yet drained; the request that finds it 0 posts the one stop job.
constinit std::atomic<uint32_t> StopRequests{0};
// Lock-free: read and replaced by one atomic operation each.
constinit std::atomic<const wchar_t*> ServiceNameForTesting{nullptr};

const wchar_t* FontCacheServiceName() noexcept
{
    const wchar_t* const name = ServiceNameForTesting.load();
    return name != nullptr ? name : L"FontCache";
}

// 1 running, 0 not running, -1 unknown (no connection, no such service, no status).
int32_t FontCacheRunning()
{
    SServiceManager manager;
    SResult result;
    if (manager.Init(result, ServiceManagerAccess::All, nullptr, nullptr).Failed())
        return -1;
    std::unique_ptr<SService> service;
    if (manager.OpenService(result, &service, FontCacheServiceName(), ServiceAccess::QueryStatus).Failed())
        return -1;
    return service->IsRunning(nullptr);
}

} // namespace

int SFontCacheService::StopJob::Run()
{
    uint32_t handled = 1;
    for (;;)
    {
        if (FontCacheRunning() == 1)
        {
            SResult result;
            ControlServiceByName(result, FontCacheServiceName(), SServiceAction::Stop, false, nullptr);
        }
        SwitchToThread();
        const uint32_t before = StopRequests.fetch_sub(handled);
        if (before == handled)
            return 0;
        handled = before - handled;
    }
}

void RequestFontCacheStop() noexcept
{
    if (StopRequests.fetch_add(1) != 0)
        return;
    SThreadPool& pool = FontCachePool();
    try
    {
        SResult result;
        if (pool.PostJob(result, std::make_unique<SFontCacheService::StopJob>()).Succeeded() ||
            pool.IsValid())
            return;
    }
    catch (const std::bad_alloc&)
    {
    }
    // No job was queued and none will drain the counter: drop the requests it holds, so that a
    // later request posts again.
    StopRequests.store(0);
}

const wchar_t* SetFontCacheServiceNameForTesting(const wchar_t* name) noexcept
{
    return ServiceNameForTesting.exchange(name);
}

uint32_t PendingFontCacheStopRequests() noexcept
{
    return StopRequests.load();
}

} // namespace S
