// A DLL with pools among its globals: one export gives a pool a job which never ends, so that the
// process ends while the pool has a live worker; another gives a quickly idle pool a job, so that
// the DLL can be unloaded while its worker still runs. With LUMERELX_POOL_IN_ATTACH set, the attach
// destroys a pool whose new worker cannot start before the loader lock is let go.
#include "system/process/ThreadTestSupport.h"

namespace
{

S::SThreadPool g_Pool(1, 0, L"DllPool", 30000);
S::SThreadPool g_QuickPool(1, 0, L"QuickPool", 20);

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

extern "C" __declspec(dllexport) int PostQuickJob()
{
    S::SResult result;
    return g_QuickPool.PostJob(result, ThreadTest::MakeJob([] {})).Code();
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH && GetEnvironmentVariableW(L"LUMERELX_POOL_IN_ATTACH", nullptr, 0) != 0)
    {
        S::SThreadPool pool(1, 0, L"InAttach", 30000);
        S::SResult result;
        pool.PostJob(result, ThreadTest::MakeJob([] {}));
    }
    return TRUE;
}
