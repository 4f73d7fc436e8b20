// A DLL with a pool among its globals and one export that gives the pool a job which never ends,
// so that the process ends while the pool has a live worker.
#include "process/ThreadTestSupport.h"

namespace
{

S::SThreadPool g_Pool(1, 0, L"DllPool", 30000);

} // namespace

// Posts the endless job, which sets `started` once it runs; the pool's result code.
extern "C" __declspec(dllexport) int PostEndlessJob(HANDLE started)
{
    S::SResult result;
    const auto endless = [started]
    {
        SetEvent(started);
        Sleep(INFINITE);
    };
    return g_Pool.PostJob(result, ThreadTest::MakeJob(endless)).Code();
}
