// The child program of the thread and pool tests; what it prints goes out unbuffered, in order with
// the library's own "Caught ..." announcements. Modes:
//   crashes                three SThreads that fail (access violation, SException, anything else),
//                          then failing jobs and a good one on a pool's single worker
//   dll-threads <dll>      fails unless loading and unloading the DLL leaves the thread count alone
//   exit-with-worker <dll> ends the process with code 7 while the DLL's pool has a worker in a job
#include "process/ThreadTestSupport.h"

#include "library/diagnostics/SException.h"
#include "library/system/process/SThread.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace
{

[[gnu::noipa]] unsigned WriteTo(int* target)
{
    *static_cast<volatile int*>(target) = 1;
    return 1;
}

void Threads()
{
    const S::SThreadProcedure procedures[] = {
        [](void*) -> unsigned { return WriteTo(reinterpret_cast<int*>(0x10)); },
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
void PoolFaults()
{
    const ThreadTest::LogCapture log;
    S::SThreadPool pool(1, 0, L"faulty", 30'000);
    S::SResult result;
    for (int kind = 0; kind < 4; ++kind)
    {
        pool.PostJob(result,
                     ThreadTest::MakeJob(
                         [kind]
                         {
                             static const DWORD first = GetCurrentThreadId();
                             std::printf("job=run %d on %s\n", kind,
                                         GetCurrentThreadId() == first ? "the first worker" : "another");
                             if (kind == 0)
                                 throw S::SException(S::SResult(0xA0045678u), "job failure", "Job", 12);
                             if (kind == 1)
                                 throw std::string("not from the family");
                             if (kind == 2)
                                 WriteTo(reinterpret_cast<int*>(0x10));
                         },
                         [kind](bool failed, int reserved)
                         { std::printf("job=abort %d %d %d\n", kind, failed, reserved); }));
    }
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
    const FARPROC post = module != nullptr ? GetProcAddress(module, "PostEndlessJob") : nullptr;
    const S::SHandle started(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (post == nullptr ||
        reinterpret_cast<int (*)(HANDLE)>(reinterpret_cast<void (*)()>(post))(started.Get()) != 0 ||
        WaitForSingleObject(started.Get(), 10'000) != WAIT_OBJECT_0)
        return 102;
    ExitProcess(7);
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
    return mode == L"exit-with-worker" && argc > 2 ? ExitWithWorker(argv[2]) : 99;
}
