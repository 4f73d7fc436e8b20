// A DLL with a pool among its globals, and one export that gives that pool a job which never ends,
// so that the process ends (or the DLL is unloaded) while the pool has a live worker.
#include "library/system/process/SThreadPool.h"

#include <windows.h>

namespace
{

S::SThreadPool g_Pool(1, 0, L"DllPool", 30000);

class EndlessJob : public S::SThreadPool::Job
{
public:
    explicit EndlessJob(HANDLE started) : m_Started(started) {}
    int Run() override
    {
        SetEvent(m_Started);
        Sleep(INFINITE);
        return 0;
    }

private:
    HANDLE m_Started;
};

} // namespace

// Posts the endless job and returns once it runs; the pool's result code.
extern "C" __declspec(dllexport) int PostEndlessJob()
{
    const HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    S::SResult result;
    g_Pool.PostJob(result, std::make_unique<EndlessJob>(started));
    if (result.Succeeded() && WaitForSingleObject(started, 10'000) != WAIT_OBJECT_0)
        result = static_cast<int>(WAIT_TIMEOUT);
    // The job keeps the handle; it lives as long as the process.
    return result.Code();
}
