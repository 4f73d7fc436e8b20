// The child program of the thread and pool tests; what it prints goes out unbuffered, in order with
// the library's own "Caught ..." announcements. Modes:
//   crashes                three SThreads that fail (access violation, SException, anything else),
//                          then failing jobs and a good one on a pool's single worker
//   dll-threads <dll>      fails unless loading and unloading the DLL leaves the thread count alone
//   exit-with-worker <dll> ends the process with code 7 while the DLL's pool has a worker in a job
//   overflow               an SThread overflows its stack
//   unload-loops <agent> <pool dll>
//                          100 rounds each: the agent loaded with asynchronous work and unloaded at
//                          once; the pool DLL given a job and unloaded at once; a pool destroyed
//                          while its workers time out; and once, a pool destroyed inside an attach
#include "common/Faults.h"
#include "system/process/ThreadTestSupport.h"

#include "library/diagnostics/crash/SException.h"
#include "library/system/SModule.h"
#include "library/system/process/thread/SThread.h"
#include "startup/Handoff.h"
#include "startup/ProductLocations.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace
{

void Threads()
{
    const S::SThreadProcedure procedures[] = {
        [](void*) -> unsigned { return Faults::WriteTo(reinterpret_cast<int*>(0x10)), 1; },
        [](void*) -> unsigned
        { throw S::SException(S::SResult(0xA0041234u), "custom failure", "Procedure", 77); },
        [](void*) -> unsigned { throw 42; },
    };
    for (const S::SThreadProcedure procedure : procedures)
    {
        S::SThread thread;
        S::SResult result;
        DWORD exitCode = 0;
        thread.Create(result, L"failing", procedure, nullptr);
        thread.Wait(result, false, INFINITE);
        thread.GetExitCode(result, exitCode);
        std::printf("exit=%lx\n", exitCode);
    }
}

// Jobs of kinds 0 (throws an SException), 1 (throws anything else), 2 (faults) and 3 (succeeds).
void RunJob(int kind)
{
    static const DWORD first = GetCurrentThreadId();
    std::printf("job=run %d on %s\n", kind, GetCurrentThreadId() == first ? "the first worker" : "another");
    if (kind == 0)
        throw S::SException(S::SResult(0xA0045678u), "job failure", "Job", 12);
    if (kind == 1)
        throw std::string("not from the family");
    if (kind == 2)
        Faults::WriteTo(reinterpret_cast<int*>(0x10));
}

void PoolFaults()
{
    const ThreadTest::LogCapture log;
    S::SThreadPool pool(1, 0, L"faulty", 30'000);
    S::SResult result;
    for (int kind = 0; kind < 4; ++kind)
        pool.PostJob(result,
                     ThreadTest::MakeJob([kind] { RunJob(kind); }, [kind](bool failed, int reserved)
                                         { std::printf("job=abort %d %d %d\n", kind, failed, reserved); }));
    pool.Stop(result, false); // runs what is queued
    for (const ThreadTest::LogLine& line : log.Matching(L"thread pool [faulty]"))
        std::printf("log=%d|%x|%ls\n", line.level, static_cast<unsigned>(line.result), line.text.c_str());
}

int DllThreads(const wchar_t* dll)
{
    // The system libraries the DLL imports are loaded first, so that only the DLL itself is measured.
    for (const wchar_t* system : {L"advapi32.dll", L"user32.dll", L"gdi32.dll", L"shell32.dll", L"ole32.dll",
                                  L"userenv.dll", L"mpr.dll", L"dbghelp.dll", L"wer.dll", L"bcrypt.dll"})
        LoadLibraryW(system);
    const int before = ThreadTest::CountThreads();
    const HMODULE module = LoadLibraryW(dll);
    const int loaded = ThreadTest::CountThreads();
    // Raw on purpose here and in the unload loops: the release and the unload that follows are checked.
    const bool unloaded = module != nullptr && FreeLibrary(module) && GetModuleHandleW(dll) == nullptr;
    const int after = ThreadTest::CountThreads();
    std::printf("threads=%d %d %d unloaded=%d\n", before, loaded, after, unloaded);
    return unloaded && before > 0 && loaded == before && after == before ? 0 : 101;
}

int ExitWithWorker(const wchar_t* dll)
{
    // The parent reads the output until it closes, then waits for the exit with a limit.
    CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE));
    const HMODULE module = LoadLibraryW(dll);
    const auto post = S::FindModuleFunction<int (*)(HANDLE)>(module, "PostEndlessJob");
    const S::SHandle started(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (post == nullptr || post(started.Get()) != 0 ||
        WaitForSingleObject(started.Get(), 10'000) != WAIT_OBJECT_0)
        return 102;
    ExitProcess(7);
}

// Deep enough for any stack: the limit only keeps the compiler from calling the recursion endless.
[[gnu::noipa]] unsigned Recurse(unsigned depth)
{
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    return depth == 0xFFFFFFFFu ? 0 : Recurse(depth + 1) + frame[0];
}

int Overflow()
{
    S::SThread thread;
    S::SResult result;
    thread.Create(
        result, L"overflow", [](void*) -> unsigned { return Recurse(0); }, nullptr);
    thread.Wait(result, false, 120'000);
    return 98; // the process should have ended with the overflow's code
}

// Sets this process's hand-off value `name` or, without a value, tells whether it is there.
bool Handoff(const wchar_t* name, const wchar_t* value = nullptr)
{
    const std::wstring key = S::GetHandoffKeyLocation().path.c_str();
    const std::wstring valueName = S::HandoffValueName(GetCurrentProcessId(), S::SString(name)).c_str();
    return (value == nullptr
                ? RegGetValueW(HKEY_CURRENT_USER, key.c_str(), valueName.c_str(), RRF_RT_ANY, nullptr,
                               nullptr, nullptr)
                : RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), valueName.c_str(), REG_SZ, value,
                                  static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)))) ==
           ERROR_SUCCESS;
}

bool Unloaded(const wchar_t* dll)
{
    return ThreadTest::WaitUntil([dll] { return GetModuleHandleW(dll) == nullptr; });
}

int UnloadLoops(const wchar_t* agent, const wchar_t* poolDll)
{
    // A pool destroyed under the loader lock must not wait for the worker it just made.
    SetEnvironmentVariableW(L"LUMERELX_POOL_IN_ATTACH", L"1");
    const HMODULE inAttach = LoadLibraryW(poolDll);
    SetEnvironmentVariableW(L"LUMERELX_POOL_IN_ATTACH", nullptr);
    if (inAttach == nullptr || !FreeLibrary(inAttach) || !Unloaded(poolDll))
        return 110;

    for (int round = 0; round < 100; ++round)
    {
        if (!Handoff(L"Asynchronous", L"TRUE") || !Handoff(L"SessionId", L"1") || !Handoff(L"AppId", L"{x}"))
            return 111;
        const HMODULE module = LoadLibraryW(agent);
        if (module == nullptr || !FreeLibrary(module) || !Unloaded(agent))
            return std::printf("agent round %d\n", round), 112;
        // The start-up thread ran to its end although the host let go of the module at once.
        if (Handoff(L"SessionId") || Handoff(L"AppId"))
            return 113;
    }
    for (int round = 0; round < 100; ++round)
    {
        const HMODULE module = LoadLibraryW(poolDll);
        const auto post = S::FindModuleFunction<int (*)()>(module, "PostQuickJob");
        if (post == nullptr || post() != 0 || !FreeLibrary(module) || !Unloaded(poolDll))
            return std::printf("pool round %d\n", round), 114;
    }
    for (int round = 0; round < 100; ++round)
    {
        auto pool = std::make_unique<S::SThreadPool>(2, 0, L"leaving", 1);
        S::SResult result;
        for (int job = 0; job < 3; ++job)
            pool->PostJob(result, ThreadTest::MakeJob([] {}));
        Sleep(round % 3);
        pool.reset();
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    _setmode(_fileno(stdout), _O_BINARY);
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"crashes")
        return Threads(), PoolFaults(), 0;
    if (mode == L"dll-threads" && argc > 2)
        return DllThreads(argv[2]);
    if (mode == L"overflow")
        return Overflow();
    if (mode == L"unload-loops" && argc > 3)
        return UnloadLoops(argv[2], argv[3]);
    return mode == L"exit-with-worker" && argc > 2 ? ExitWithWorker(argv[2]) : 99;
}
