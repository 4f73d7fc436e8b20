// The child program of the crash-report tests: each mode faults, reports or logs in one way. The
// tests copy it into a folder of their own and start it there; reports land beside it, and its
// "<key>=<value>" facts and every debugger announcement ("debug: <text>") go to "child.out".
#include "diagnostics/Faults.h"
#include "library/diagnostics/Log.h"
#include "library/diagnostics/SAssert.h"
#include "library/diagnostics/SSeTranslator.h"
#include "library/diagnostics/STraceLog.h"
#include "library/diagnostics/SWin32Exception.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace
{

void Out(const std::string& text)
{
    // Appends whole writes, also from several threads, and keeps them when the process crashes.
    static const HANDLE file = CreateFileW(L"child.out", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

template <typename... Args> void Fact(const char* key, const char* format, Args... args)
{
    char text[128];
    std::snprintf(text, sizeof text, format, args...);
    Out(std::string(key) + "=" + text + "\n");
}

// Debugger output reaches a process without a debugger as an exception that the output routine
// handles itself; a vectored handler sees it first.
LONG CALLBACK CopyDebugOutput(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (record.ExceptionCode == DBG_PRINTEXCEPTION_C && record.NumberParameters >= 2)
        Out("debug: " + std::string(reinterpret_cast<const char*>(record.ExceptionInformation[1])));
    return EXCEPTION_CONTINUE_SEARCH;
}

// A write to 0x10 on a thread set up like SThread's, reported as SThread's catch block reports it;
// with a minidump, its facts are told.
void Crash(const char* place, uint32_t line, bool withDump)
{
    S::SetSeTranslator(&S::SWin32Exception::ExceptionTranslator);
    S::SWin32Exception::SetThreadStage(L"TST");
    try
    {
        Faults::WriteTo(reinterpret_cast<int*>(0x10));
    }
    catch (const S::SWin32Exception& e)
    {
        SetLastError(1234);
        e.GenerateExceptionReport(place, line);
        if (!withDump)
            return;
        const SYSTEMTIME& t = e.GetTime();
        const EXCEPTION_POINTERS* pointers = e.GetExceptionPointers();
        S::SResult result;
        Fact("dump", "%x", S::SWin32Exception::GenerateMiniDump(pointers, &t, result).Unsigned());
        Fact("address", "%08x",
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointers->ExceptionRecord->ExceptionAddress)));
        Fact("stem", "child.exe_%04u%02u%02u_%02u%02u%02u_%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
             t.wMinute, t.wSecond, t.wMilliseconds);
    }
}

// No sink is installed: every front end must return before formatting, so arguments that would
// fault when read are never read. Then a thread without the translator crashes the process although
// the main thread has one.
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
    Fact("assert", "%d", S::ReportAssertion(S::AssertionReportType, L"f", 1, nullptr, L"a%d", 0));
    S::TraceLogInstance.Trace("narrow %s %d\n", "text", 7);
    S::TraceLogInstance.Trace(L"wide %s %d\n", L"text", 8);
    S::TraceLogInstance.Trace(L"%s", std::wstring(1500, L'w').c_str());
    OutputDebugStringA("|\n");

    S::SetSeTranslator(&S::SWin32Exception::ExceptionTranslator);
    std::thread([] { Faults::WriteTo(nullptr); }).join();
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
    Fact("pid", "%lu", GetCurrentProcessId());
    Fact("tid", "%lu", GetCurrentThreadId());
    Fact("ids", "Pid: 0x%08lx. Tid: 0x%08lx", GetCurrentProcessId(), GetCurrentThreadId());
    Crash("S::SThread::ThreadStart", 384, mode == L"dump");
    std::atomic<int> ready{0}; // then three threads crash at once
    std::vector<std::thread> threads;
    for (uint32_t n = 1; n <= 3 && mode == L"dump"; ++n)
        threads.emplace_back(
            [&ready, n]
            {
                for (++ready; ready < 3;)
                    std::this_thread::yield();
                Crash("concurrent", n, false);
            });
    for (std::thread& t : threads)
        t.join();
    return static_cast<int>(0x80004005u);
}
