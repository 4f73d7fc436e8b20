// The child program of the thread and pool tests. The tests copy it into a folder of their own
// (crash reports land beside it) and read its exit code and its standard output: the library's own
// "Caught ..." announcements and "<key>=<value>" facts, one a line.
//
// Modes:
//   thread-fault | thread-sexception | thread-unknown   one SThread whose procedure fails that way;
//                                                       the process ends with the thread's exit code
//   pool-faults                                         failing jobs, then a good one, on one worker
//   dll-threads <dll>                                   thread counts around loading and unloading
//   exit-with-worker <dll>                              ends the process while a DLL's pool has a
//                                                       worker inside a job
#include "library/diagnostics/Log.h"
#include "library/diagnostics/SWin32Exception.h"
#include "library/system/process/SThread.h"
#include "library/system/process/SThreadPool.h"

#include <windows.h>

#include <tlhelp32.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace
{

void WriteOut(const std::string& text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
              nullptr);
}

void Fact(const std::string& key, const std::string& value)
{
    WriteOut(key + "=" + value + "\n");
}

std::string Hex(unsigned long long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%llx", value);
    return text;
}

std::string Narrow(const wchar_t* text)
{
    std::string narrow;
    for (; *text != L'\0'; ++text)
        narrow += *text < 0x80 ? static_cast<char>(*text) : '?';
    return narrow;
}

[[gnu::noipa]] void WriteTo(int* target)
{
    *static_cast<volatile int*>(target) = 1;
}

// Prints every line of the leveled logger as a fact "log=<level>|<result>|<component>|<text>".
class PrintingLogger : public S::ILeveledLogger
{
public:
    S::SLogType GetDefaultType() const override { return S::SLogType(S::SLogType::Default); }
    bool IsEnabled(S::SLogType, S::SLogLevel, va_list) override { return true; }
    void Write(const wchar_t* component, int32_t, int32_t, int64_t, S::SLogType, S::SLogLevel level,
               int32_t result, const wchar_t* text) override
    {
        const std::lock_guard lock(m_Mutex);
        Fact("log", std::to_string(level.GetValue()) + "|" + Hex(static_cast<uint32_t>(result)) + "|" +
                        Narrow(component) + "|" + Narrow(text));
    }

private:
    std::mutex m_Mutex;
};

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
    if (thread.Create(result, L"failing thread", procedure, nullptr).Failed())
        return 100;
    thread.Wait(result, false, INFINITE);
    DWORD exitCode = 0;
    thread.GetExitCode(result, exitCode);
    Fact("exit", Hex(exitCode));
    return static_cast<int>(exitCode);
}

class RecordingJob : public S::SThreadPool::Job
{
public:
    enum class Kind
    {
        SException,
        Unknown,
        Fault,
        Good,
    };

    RecordingJob(Kind kind, std::vector<std::string>& record, HANDLE done)
        : m_Kind(kind), m_Record(record), m_Done(done)
    {
    }

    int Run() override
    {
        m_Record.push_back("run " + std::to_string(static_cast<int>(m_Kind)) + " " +
                           std::to_string(GetCurrentThreadId()));
        switch (m_Kind)
        {
        case Kind::SException:
            throw S::SException(S::SResult(0xA0045678u), "job failure", "RecordingJob::Run", 12);
        case Kind::Unknown:
            throw std::string("not from the family");
        case Kind::Fault:
            WriteTo(reinterpret_cast<int*>(0x10));
            break;
        case Kind::Good:
            SetEvent(m_Done);
            break;
        }
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
        for (const auto kind : {RecordingJob::Kind::SException, RecordingJob::Kind::Unknown,
                                RecordingJob::Kind::Fault, RecordingJob::Kind::Good})
        {
            pool.PostJob(result, std::make_unique<RecordingJob>(kind, record, done));
            Fact("post", Hex(result.Unsigned()));
        }
        Fact("finished", WaitForSingleObject(done, INFINITE) == WAIT_OBJECT_0 ? "1" : "0");
        pool.WaitUntilIdle();
        Fact("workers", std::to_string(pool.GetWorkerCount()));
    }
    for (const std::string& line : record)
        Fact("job", line);
    S::InstallLeveledLogger(nullptr);
    return 0;
}

int CountThreads()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    int count = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    {
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++count;
    }
    CloseHandle(snapshot);
    return count;
}

int DllThreads(const wchar_t* dll)
{
    // The system libraries the DLL pulls in are loaded first, so that only the DLL itself is measured.
    for (const wchar_t* system : {L"advapi32.dll", L"user32.dll", L"gdi32.dll", L"shell32.dll", L"ole32.dll",
                                  L"userenv.dll", L"mpr.dll", L"dbghelp.dll", L"wer.dll", L"bcrypt.dll"})
        LoadLibraryW(system);
    Fact("before", std::to_string(CountThreads()));
    const HMODULE module = LoadLibraryW(dll);
    Fact("loaded", module != nullptr ? "1" : "0");
    Fact("while", std::to_string(CountThreads()));
    Fact("freed", module != nullptr && FreeLibrary(module) ? "1" : "0");
    Fact("after", std::to_string(CountThreads()));
    Fact("gone", GetModuleHandleW(dll) == nullptr ? "1" : "0");
    return 0;
}

int ExitWithWorker(const wchar_t* dll)
{
    const HMODULE module = LoadLibraryW(dll);
    if (module == nullptr)
        return 101;
    using Function = int (*)();
    const auto post =
        reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, "PostEndlessJob")));
    if (post == nullptr)
        return 102;
    if (post() != 0)
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
