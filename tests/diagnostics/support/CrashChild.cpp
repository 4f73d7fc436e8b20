// The child program of the crash-report tests. The tests copy it into a folder of their own and start
// it there; reports land beside it, and its "<key>=<value>" facts and every debugger announcement
// ("debug: <text>") go to "child.out".
#include "common/Faults.h"
#include "library/diagnostics/log/Log.h"
#include "library/diagnostics/SAssert.h"
#include "library/diagnostics/crash/SSeTranslator.h"
#include "library/diagnostics/STraceLog.h"
#include "library/diagnostics/crash/SWin32Exception.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace
{

// Appends whole writes, also from several threads, and keeps them when the process crashes.
const HANDLE OutFile = CreateFileW(L"child.out", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);

template <typename... Args> void Out(const char* format, Args... args)
{
    char text[2048];
    const int size = std::snprintf(text, sizeof text, format, args...);
    DWORD written = 0;
    WriteFile(OutFile, text, static_cast<DWORD>(size), &written, nullptr);
}

// Debugger output reaches a process without a debugger as an exception that the output routine
// handles itself; a vectored handler sees it first.
LONG CALLBACK CopyDebugOutput(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (record.ExceptionCode == DBG_PRINTEXCEPTION_C && record.NumberParameters >= 2)
        Out("debug: %s", reinterpret_cast<const char*>(record.ExceptionInformation[1]));
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
        S::CallWithSeTranslation([] { Faults::WriteTo(reinterpret_cast<int*>(0x10)); });
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
        Out("dump=%x\naddress=%08x\n", S::SWin32Exception::GenerateMiniDump(pointers, &t, result).Unsigned(),
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(pointers->ExceptionRecord->ExceptionAddress)));
        Out("stem=child.exe_%04u%02u%02u_%02u%02u%02u_%03u\n", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
            t.wSecond, t.wMilliseconds);
    }
}

// No sink is installed: every front end must return before formatting, so arguments that would
// fault when read are never read.
void LogWithoutSinks()
{
    const auto* unreadable = reinterpret_cast<const wchar_t*>(16);
    const S::SLogContext context{L"ChildTest", S::SLogLevel::Error, S::SLogType::Default};
    const S::SResult result(S::kResultAccessDenied);
    S::Log(context, L"no logger %s", unreadable);
    S::Log(context, &result, L"no logger %s", unreadable);
    S::LogRecord(L"no record sink %s", unreadable);
    S::LogError(L"no file sink %s", unreadable);
    S::LogDebug(L"no file sink %s", unreadable);
    Out("assert=%d\n", S::ReportAssertion(S::AssertionReportType, L"f", 1, nullptr, L"a%d", 0));
    S::TraceLogInstance.Trace("narrow %s %d\n", "text", 7);
    S::TraceLogInstance.Trace(L"wide %s %d\n", L"text", 8);
    S::TraceLogInstance.Trace(L"%s", std::wstring(1500, L'w').c_str());
    OutputDebugStringA("|\n");
}

} // namespace

// "dump": a crash reported with a minidump, then three threads crash at once. "terminate": an exception
// nobody catches ends in the termination handler. "filter": a division by zero on a thread without the
// translator ends in the top-level filter. These two first tell what a bare error report gives. Otherwise
// logging without sinks, a crash reported, then a thread without the translator crashes although the
// main thread has one.
int wmain(int argc, wchar_t** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    AddVectoredExceptionHandler(1, &CopyDebugOutput);
    S::SWin32Exception::ArmCrashReporting();
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    const bool dump = mode == L"dump";
    const DWORD pid = GetCurrentProcessId(), tid = GetCurrentThreadId();
    Out("bracket=[PID=%lu, TID=%lu]\nids=Pid: 0x%08lx. Tid: 0x%08lx\n", pid, tid, pid, tid);
    if (mode == L"terminate" || mode == L"filter")
    {
        S::SResult result;
        Out("wer=%x\n", S::SWin32Exception::SendWerReport(nullptr, nullptr, result).Unsigned());
        if (mode == L"filter")
        {
            SetUnhandledExceptionFilter(&S::SWin32Exception::TopLevelExceptionHandler);
            return Faults::Divide(1, 0);
        }
        std::set_terminate(&S::SWin32Exception::TerminationHandler);
        throw std::runtime_error("nobody catches this");
    }
    if (!dump)
        LogWithoutSinks();
    Crash("S::SThread::ThreadStart", 384, dump);
    if (!dump)
        std::thread([] { Faults::WriteTo(nullptr); }).join();
    std::atomic<int> ready{0}; // then three threads crash at once
    std::vector<std::jthread> threads;
    for (uint32_t n = 1; n <= 3 && dump; ++n)
        threads.emplace_back(
            [&ready, n]
            {
                for (++ready; ready < 3;)
                    std::this_thread::yield();
                Crash("concurrent", n, false);
            });
    return static_cast<int>(S::kResultFail.Unsigned());
}
