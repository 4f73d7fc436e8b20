// The child program of the thread and pool tests, copied by them into a folder of their own (crash
// reports land beside it). It prints the library's "Caught ..." announcements and "<key>=<value>"
// facts on standard output. Modes:
//   thread-fault | thread-sexception | thread-unknown   one SThread whose procedure fails that way;
//                                                       the process ends with the thread's exit code
//   pool-faults                                         failing jobs, then a good one, on one worker
//   dll-threads <dll>                                   thread counts around loading and unloading
//   exit-with-worker <dll>                              ends the process while a DLL's pool has a
//                                                       worker inside a job (exit code 7)
#include "library/diagnostics/Log.h"
#include "library/diagnostics/SException.h"
#include "library/system/process/SThread.h"
#include "library/system/process/SThreadPool.h"

#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace
{

void Fact(const std::string& key, const std::string& value)
{
    const std::string line = key + "=" + value + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
              nullptr);
}

[[gnu::noipa]] void WriteTo(int* target)
{
    *static_cast<volatile int*>(target) = 1;
}

unsigned __stdcall FaultingProcedure(void*)
{
    WriteTo(reinterpret_cast<int*>(0x10));
    return 1;
}

unsigned __stdcall SExceptionProcedure(void*)
{
    throw S::SException(S::SResult(0xA0041234u), "custom failure", "SExceptionProcedure", 77);
}

unsigned __stdcall UnknownProcedure(void*)
{
    throw 42;
}

int RunThread(S::SThreadProcedure procedure)
{
    S::SThread thread;
    S::SResult result;
    if (thread.Create(result, L"failing", procedure, nullptr).Failed())
        return 100;
    thread.Wait(result, false, INFINITE);
    DWORD exitCode = 0;
    thread.GetExitCode(result, exitCode);
    char text[16];
    std::snprintf(text, sizeof text, "%lx", exitCode);
    Fact("exit", text);
    return static_cast<int>(exitCode);
}

// Prints the pool's log lines as "log=<level>|<result>|<component>|<text>" (ASCII texts only).
class PrintingLogger : public S::ILeveledLogger
{
public:
    S::SLogType GetDefaultType() const override { return S::SLogType(S::SLogType::Default); }
    bool IsEnabled(S::SLogType, S::SLogLevel, va_list) override { return true; }
    void Write(const wchar_t* component, int32_t, int32_t, int64_t, S::SLogType, S::SLogLevel level,
               int32_t result, const wchar_t* text) override
    {
        char line[1024];
        std::snprintf(line, sizeof line, "%d|%x|%ls|%ls", level.GetValue(), static_cast<unsigned>(result),
                      component, text);
        const std::lock_guard lock(m_Mutex);
        Fact("log", line);
    }

private:
    std::mutex m_Mutex;
};

enum class Kind
{
    SException,
    Unknown,
    Fault,
    Good,
};

// Records "run <kind> <thread id>" and "abort <kind> <failed> <reserved>" lines.
class RecordingJob : public S::SThreadPool::Job
{
public:
    RecordingJob(Kind kind, std::vector<std::string>& record, HANDLE done)
        : m_Kind(kind), m_Record(record), m_Done(done)
    {
    }
    int Run() override
    {
        m_Record.push_back("run " + std::to_string(static_cast<int>(m_Kind)) + " " +
                           std::to_string(GetCurrentThreadId()));
        if (m_Kind == Kind::SException)
            throw S::SException(S::SResult(0xA0045678u), "job failure", "RecordingJob::Run", 12);
        if (m_Kind == Kind::Unknown)
            throw std::string("not from the family");
        if (m_Kind == Kind::Fault)
            WriteTo(reinterpret_cast<int*>(0x10));
        SetEvent(m_Done);
        return 0;
    }
    void Abort(bool failedWhileRunning, int reserved) override
    {
        m_Record.push_back("abort " + std::to_string(static_cast<int>(m_Kind)) + " " +
                           std::to_string(failedWhileRunning) + " " + std::to_string(reserved));
    }

private:
    Kind m_Kind;
    std::vector<std::string>& m_Record;
    HANDLE m_Done;
};

int PoolFaults()
{
    PrintingLogger logger;
    S::InstallLeveledLogger(&logger);
    const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<std::string> record; // touched by the one worker only, until `done`
    {
        S::SThreadPool pool(1, 0, L"faulty", 30'000);
        S::SResult result;
        for (const Kind kind : {Kind::SException, Kind::Unknown, Kind::Fault, Kind::Good})
            pool.PostJob(result, std::make_unique<RecordingJob>(kind, record, done));
        WaitForSingleObject(done, INFINITE);
        pool.WaitUntilIdle();
        Fact("workers", std::to_string(pool.GetWorkerCount()));
    }
    S::InstallLeveledLogger(nullptr);
    for (const std::string& line : record)
        Fact("job", line);
    return 0;
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
    if (module == nullptr)
        return 101;
    const int loaded = CountThreads();
    if (!FreeLibrary(module) || GetModuleHandleW(dll) != nullptr)
        return 102;
    Fact("threads",
         std::to_string(before) + " " + std::to_string(loaded) + " " + std::to_string(CountThreads()));
    return 0;
}

int ExitWithWorker(const wchar_t* dll)
{
    const HMODULE module = LoadLibraryW(dll);
    const auto post = reinterpret_cast<int (*)()>(
        reinterpret_cast<void (*)()>(module != nullptr ? GetProcAddress(module, "PostEndlessJob") : nullptr));
    if (post == nullptr || post() != 0)
        return 103;
    ExitProcess(7);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    const wchar_t* argument = argc > 2 ? argv[2] : L"";
    if (mode == L"thread-fault")
        return RunThread(&FaultingProcedure);
    if (mode == L"thread-sexception")
        return RunThread(&SExceptionProcedure);
    if (mode == L"thread-unknown")
        return RunThread(&UnknownProcedure);
    if (mode == L"pool-faults")
        return PoolFaults();
    if (mode == L"dll-threads")
        return DllThreads(argument);
    if (mode == L"exit-with-worker")
        return ExitWithWorker(argument);
    return 99;
}
