// The child program of the thread and pool tests; what it prints goes out unbuffered, in order with
// the library's own "Caught ..." announcements. Modes:
//   crashes                three SThreads that fail (access violation, SException, anything else),
//                          then failing jobs and a good one on a pool's single worker
//   dll-threads <dll>      fails unless loading and unloading the DLL leaves the thread count alone
//   exit-with-worker <dll> ends the process with code 7 while the DLL's pool has a worker in a job
#include "library/diagnostics/Log.h"
#include "library/diagnostics/SException.h"
#include "library/system/process/SThread.h"
#include "library/system/process/SThreadPool.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

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

// Prints the pool's log lines as "log=<level>|<result>|<component>|<text>".
class PrintingLogger : public S::ILeveledLogger
{
public:
    S::SLogType GetDefaultType() const override { return S::SLogType(S::SLogType::Default); }
    bool IsEnabled(S::SLogType, S::SLogLevel, va_list) override { return true; }
    void Write(const wchar_t* component, int32_t, int32_t, int64_t, S::SLogType, S::SLogLevel level,
               int32_t result, const wchar_t* text) override
    {
        std::printf("log=%d|%x|%ls|%ls\n", level.GetValue(), static_cast<unsigned>(result), component, text);
    }
};

// Kinds: 0 throws an SException, 1 throws anything else, 2 faults, 3 succeeds.
class FailingJob : public S::SThreadPool::Job
{
public:
    explicit FailingJob(int kind) : m_Kind(kind) {}
    int Run() override
    {
        std::printf("job=run %d %lu\n", m_Kind, GetCurrentThreadId());
        if (m_Kind == 0)
            throw S::SException(S::SResult(0xA0045678u), "job failure", "FailingJob::Run", 12);
        if (m_Kind == 1)
            throw std::string("not from the family");
        return m_Kind == 2 ? WriteTo(reinterpret_cast<int*>(0x10)) : 0;
    }
    void Abort(bool failed, int reserved) override
    {
        std::printf("job=abort %d %d %d\n", m_Kind, failed, reserved);
    }

private:
    int m_Kind;
};

void PoolFaults()
{
    PrintingLogger logger;
    S::InstallLeveledLogger(&logger);
    S::SThreadPool pool(1, 0, L"faulty", 30'000);
    S::SResult result;
    for (int kind = 0; kind < 4; ++kind)
        pool.PostJob(result, std::make_unique<FailingJob>(kind));
    pool.Stop(result, false); // runs what is queued
    S::InstallLeveledLogger(nullptr);
}

int CountThreads()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    CloseHandle(snapshot);
    return count;
}

int DllThreads(const wchar_t* dll)
{
    // The system libraries the DLL imports are loaded first, so that only the DLL itself is measured.
    for (const wchar_t* system : {L"advapi32.dll", L"user32.dll", L"gdi32.dll", L"shell32.dll", L"ole32.dll",
                                  L"userenv.dll", L"mpr.dll", L"dbghelp.dll", L"wer.dll", L"bcrypt.dll"})
        LoadLibraryW(system);
    const int before = CountThreads();
    const HMODULE module = LoadLibraryW(dll);
    const int loaded = CountThreads();
    const bool unloaded = module != nullptr && FreeLibrary(module) && GetModuleHandleW(dll) == nullptr;
    const int after = CountThreads();
    std::printf("threads=%d %d %d unloaded=%d\n", before, loaded, after, unloaded);
    return unloaded && before > 0 && loaded == before && after == before ? 0 : 101;
}

int ExitWithWorker(const wchar_t* dll)
{
    // The parent reads the output until it closes, then waits for the exit with a limit.
    CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE));
    const HMODULE module = LoadLibraryW(dll);
    const FARPROC post = module != nullptr ? GetProcAddress(module, "PostEndlessJob") : nullptr;
    if (post == nullptr || reinterpret_cast<int (*)()>(reinterpret_cast<void (*)()>(post))() != 0)
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
    {
        Threads();
        PoolFaults();
        return 0;
    }
    if (mode == L"dll-threads" && argc > 2)
        return DllThreads(argv[2]);
    return mode == L"exit-with-worker" && argc > 2 ? ExitWithWorker(argv[2]) : 99;
}
