// A DLL with a pool among its globals and one export that gives the pool a job which never ends,
// so that the process ends while the pool has a live worker.
#include "library/system/process/SThreadPool.h"

#include <windows.h>

namespace
{

S::SThreadPool g_Pool(1, 0, L"DllPool", 30000);

struct EndlessJob : S::SThreadPool::Job
{
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr); // lives as long as the process
    int Run() override
    {
        SetEvent(started);
        Sleep(INFINITE);
        return 0;
    }
};

} // namespace

// Posts the endless job and returns once it runs; the pool's result code.
extern "C" __declspec(dllexport) int PostEndlessJob()
{
    auto job = std::make_unique<EndlessJob>();
    const HANDLE started = job->started;
    S::SResult result;
    g_Pool.PostJob(result, std::move(job));
    if (result.Succeeded() && WaitForSingleObject(started, 10'000) != WAIT_OBJECT_0)
        result = static_cast<int>(WAIT_TIMEOUT);
    return result.Code();
}
