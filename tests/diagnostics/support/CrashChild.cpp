// The child program of the diagnostics tests. Each mode crashes, reports or logs in one way; the
// tests copy this program into a folder of their own (reports land beside it) and read its exit
// code and standard output. Every debugger announcement the process makes is copied to
// standard output as a line "debug: <text>", other facts as "<key>=<value>" lines.
#include "diagnostics/Faults.h"
#include "library/diagnostics/Log.h"
#include "library/diagnostics/SAssert.h"
#include "library/diagnostics/SSeTranslator.h"
#include "library/diagnostics/STraceLog.h"
#include "library/diagnostics/SWin32Exception.h"

#include <windows.h>

#include <cstdio>
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
    if (record.NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    if (record.ExceptionCode == DBG_PRINTEXCEPTION_C)
        WriteOut("debug: " + std::string(reinterpret_cast<const char*>(record.ExceptionInformation[1])));
    else if (record.ExceptionCode == DBG_PRINTEXCEPTION_WIDE_C)
        WriteOut("debug: " + Narrow(reinterpret_cast<const wchar_t*>(record.ExceptionInformation[1])));
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
        RaiseException(0xE0401234u, 0, 0, nullptr);
    }
    catch (const S::SWin32Exception& e)
    {
        DescribeCaught(e);
        SetLastError(87);
        e.GenerateExceptionReport(nullptr, 0);
    }
    return 0;
}

int ConcurrentCrashes()
{
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<std::thread> threads;
    for (int n = 0; n < 3; ++n)
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

// No sink is installed: every front end must return before it formats anything, so arguments
// that would fault when read are never read.
int WithoutSinks()
{
    const auto* unreadable = reinterpret_cast<const wchar_t*>(16);
    const S::SLogContext context{L"ChildTest", S::SLogLevel::Error, S::SLogType::Default};
    const S::SResult result(0x80070005u);
    S::Log(context, L"no logger %s", unreadable);
    S::Log(context, &result, L"no logger %s", unreadable);
    S::LogRecord(L"no record sink %s", unreadable);
    S::LogError(L"no file sink %s", unreadable);
    S::LogDebug(L"no file sink %s", unreadable);
    Fact("assert",
         std::to_string(S::ReportAssertion(S::AssertionReportType, L"f", 1, nullptr, L"a != %d", 0)));
    S::TraceLogInstance.Trace("narrow %s %d\n", "text", 7);
    S::TraceLogInstance.Trace(L"wide %s %d\n", L"text", 8);
    S::TraceLogInstance.Trace(L"%s", std::wstring(1500, L'w').c_str());
    OutputDebugStringA("|\n");
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    AddVectoredExceptionHandler(1, &CopyDebugOutput);
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"nosinks")
        return WithoutSinks();
    static FactSinks sinks;
    S::InstallFileLogSink(&sinks);
    S::InstallLogRecordSink(&sinks);
    wchar_t executable[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, executable, MAX_PATH);
    Fact("exelength", std::to_string(length));
    Fact("pid", std::to_string(GetCurrentProcessId()));
    Fact("tid", std::to_string(GetCurrentThreadId()));
    if (mode == L"caught")
        return CaughtAccessViolation(false);
    if (mode == L"caught-dump")
        return CaughtAccessViolation(true);
    if (mode == L"unknown")
        return CaughtUnknownCode();
    if (mode == L"concurrent")
        return ConcurrentCrashes();
    if (mode == L"untranslated-thread")
        return UntranslatedThread();
    Fact("error", "unknown mode");
    return 2;
}
