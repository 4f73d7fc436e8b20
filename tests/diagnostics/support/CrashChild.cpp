// The child program of the crash-report and translator tests. Each mode crashes or reports in one
// way; the tests copy this program into a folder of their own (reports land beside it) and read
// its exit code and standard output. Every debugger announcement the process makes is copied to
// standard output as a line "debug: <text>", other facts as "<key>=<value>" lines.
#include "diagnostics/Faults.h"
#include "library/diagnostics/Log.h"
#include "library/diagnostics/SSeTranslator.h"
#include "library/diagnostics/SWin32Exception.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <thread>
#include <vector>

namespace
{

void WriteOut(const std::string& text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
              nullptr);
}

void Fact(const char* key, const std::string& value)
{
    WriteOut(std::string(key) + "=" + value + "\n");
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

// Debugger output reaches a process without a debugger as an exception that the output routine
// handles itself; a vectored handler sees it first and copies the text.
LONG CALLBACK CopyDebugOutput(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (record.ExceptionCode == DBG_PRINTEXCEPTION_C && record.NumberParameters >= 2)
        WriteOut("debug: " + std::string(reinterpret_cast<const char*>(record.ExceptionInformation[1])));
    return EXCEPTION_CONTINUE_SEARCH;
}

// Sinks that show what reaches the log: each message becomes a fact.
class FactSinks : public S::IFileLogSink, public S::ILogRecordSink
{
public:
    int GetLevelMask() const noexcept override { return 0; }
    void WriteLine(const wchar_t* levelText, const S::SString& message) noexcept override
    {
        Fact("log-file", Narrow(levelText) + ": " + Narrow(message.c_str()));
    }
    void Post(const S::SLogRecord& record) override { Fact("log-record", Narrow(record.message.c_str())); }
};

// What SThread's start wrapper does for its threads.
void InstallCrashHandling(bool withStage)
{
    S::SetSeTranslator(&S::SWin32Exception::ExceptionTranslator);
    std::set_terminate(&S::SWin32Exception::TerminationHandler);
    if (withStage)
        S::SWin32Exception::SetThreadStage(L"TST");
}

std::string TimeFact(const SYSTEMTIME& t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%u %u %u %u %u %u %u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond, t.wMilliseconds);
    return text;
}

void DescribeCaught(const S::SWin32Exception& e)
{
    Fact("class", e.GetClassName());
    Fact("code", Hex(e.Unsigned()));
    Fact("address",
         Hex(reinterpret_cast<uintptr_t>(e.GetExceptionPointers()->ExceptionRecord->ExceptionAddress)));
    Fact("time", TimeFact(e.GetTime()));
}

// A fault on a thread set up like SThread's, reported as SThread's catch block does.
int CaughtAccessViolation(bool withDump)
{
    InstallCrashHandling(true);
    Fact("function", Hex(reinterpret_cast<uintptr_t>(&Faults::WriteTo)));
    try
    {
        Faults::WriteTo(reinterpret_cast<int*>(0x10));
    }
    catch (const S::SWin32Exception& e)
    {
        DescribeCaught(e);
        SetLastError(1234);
        e.GenerateExceptionReport("S::SThread::ThreadStart", 384);
        if (withDump)
        {
            S::SResult result;
            S::SWin32Exception::GenerateMiniDump(e.GetExceptionPointers(), &e.GetTime(), result);
            Fact("dump", Hex(result.Unsigned()));
        }
    }
    return static_cast<int>(0x80004005u);
}

// A code outside the name table, on a thread without a stage text, reported as the top-level
// filter reports: without place and line.
int CaughtUnknownCode()
{
    InstallCrashHandling(false);
    try
    {
        const ULONG_PTR parameters[2] = {1, 2};
        RaiseException(0xE0401234u, 0, 2, parameters);
    }
    catch (const S::SWin32Exception& e)
    {
        DescribeCaught(e);
        SetLastError(87);
        e.GenerateExceptionReport(nullptr, 0);
    }
    return 0;
}

// An exception that nothing catches, on a thread without a stage text.
int Terminate()
{
    InstallCrashHandling(false);
    throw std::string("nobody catches this");
}

int ConcurrentCrashes()
{
    constexpr int kThreads = 3;
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<std::thread> threads;
    for (int n = 0; n < kThreads; ++n)
        threads.emplace_back(
            [start, n]
            {
                InstallCrashHandling(true);
                WaitForSingleObject(start, INFINITE);
                try
                {
                    Faults::WriteTo(reinterpret_cast<int*>(0x10));
                }
                catch (const S::SWin32Exception& e)
                {
                    e.GenerateExceptionReport("concurrent", static_cast<uint32_t>(n + 1));
                }
            });
    SetEvent(start);
    for (std::thread& t : threads)
        t.join();
    CloseHandle(start);
    return 0;
}

// Four reports asked for at the same millisecond.
int CollidingNames()
{
    const SYSTEMTIME time{2024, 3, 5, 1, 14, 2, 7, 45};
    for (int n = 0; n < 4; ++n)
    {
        S::SHandle file;
        S::SReportPath path;
        S::SResult result;
        S::SException::CreateExceptionFile(time, L"txt", file, &path, result);
        Fact("result", Hex(result.Unsigned()));
        Fact("name", Narrow(path.Get()));
    }
    return 0;
}

// The family's own report, as the start wrapper writes it for exceptions that are not structured
// ones, and through the base class for a structured one.
int PlainReports()
{
    InstallCrashHandling(true);
    try
    {
        throw S::SException(S::SExceptionUnknownCode, "S::SThread::ThreadStart", nullptr, 384);
    }
    catch (const S::SException& e)
    {
        Fact("time", TimeFact(e.GetTime()));
        SetLastError(1234);
        e.GenerateExceptionReport();
    }
    try
    {
        Faults::WriteTo(reinterpret_cast<int*>(0x10));
    }
    catch (const S::SException& e)
    {
        Fact("time", TimeFact(e.GetTime()));
        SetLastError(0);
        e.GenerateExceptionReport();
    }
    return 0;
}

int ErrorReport()
{
    InstallCrashHandling(true);
    try
    {
        Faults::Divide(1, 0);
    }
    catch (const S::SWin32Exception& e)
    {
        S::SResult result;
        S::SWin32Exception::SendWerReport(e.GetExceptionPointers(), nullptr, result);
        Fact("wer", Hex(result.Unsigned()));
    }
    return 0;
}

// The translating thread catches its fault; a thread without the translator crashes the process.
int UntranslatedThread()
{
    InstallCrashHandling(true);
    try
    {
        Faults::WriteTo(nullptr);
    }
    catch (const S::SWin32AccessViolation& e)
    {
        Fact("main", "caught " + Hex(e.Unsigned()));
    }
    std::thread([] { Faults::WriteTo(nullptr); }).join();
    Fact("main", "survived");
    return 0;
}

int UninstalledTranslator()
{
    InstallCrashHandling(true);
    const S::SSeTranslatorFunction removed = S::SetSeTranslator(nullptr);
    Fact("removed", removed == &S::SWin32Exception::ExceptionTranslator ? "translator" : "other");
    try
    {
        Faults::WriteTo(nullptr);
    }
    catch (...)
    {
        Fact("main", "caught");
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    AddVectoredExceptionHandler(1, &CopyDebugOutput);
    static FactSinks sinks;
    S::InstallFileLogSink(&sinks);
    S::InstallLogRecordSink(&sinks);
    wchar_t executable[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, executable, MAX_PATH);
    Fact("exe", Narrow(executable));
    Fact("exelength", std::to_string(length));
    Fact("pid", std::to_string(GetCurrentProcessId()));
    Fact("tid", std::to_string(GetCurrentThreadId()));

    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"caught")
        return CaughtAccessViolation(false);
    if (mode == L"caught-dump")
        return CaughtAccessViolation(true);
    if (mode == L"unknown")
        return CaughtUnknownCode();
    if (mode == L"terminate")
        return Terminate();
    if (mode == L"concurrent")
        return ConcurrentCrashes();
    if (mode == L"collide")
        return CollidingNames();
    if (mode == L"plain-report")
        return PlainReports();
    if (mode == L"wer")
        return ErrorReport();
    if (mode == L"untranslated-thread")
        return UntranslatedThread();
    if (mode == L"uninstalled")
        return UninstalledTranslator();
    Fact("error", "unknown mode");
    return 2;
}
