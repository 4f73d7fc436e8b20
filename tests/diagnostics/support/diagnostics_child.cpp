// Runs one scenario named on the command line, then sends "child done" to the debugger so the
// parent knows that its capture saw the whole run. Exit code 0 means the scenario ran through.
#include "library/diagnostics/Log.h"
#include "library/diagnostics/SAssert.h"
#include "library/diagnostics/STraceLog.h"

#include <windows.h>

#include <cwchar>
#include <string>

namespace
{

int RunAssert()
{
    return S::ReportAssertion(S::AssertionReportType, L"library\\utility\\collection\\winum\\slist", 42,
                              nullptr, L"Iter != NULL. Message:\n%s", L"Out of memory");
}

// No slot is filled: every front end must return before it formats anything, so arguments that
// would fault when read are never read.
int RunWithoutSinks()
{
    const auto* unreadable = reinterpret_cast<const wchar_t*>(16);
    const S::SLogContext context{L"ChildTest", S::SLogLevel::Error, S::SLogType::Default};
    const S::SResult result(0x80070005u);
    S::Log(context, L"no logger %s", unreadable);
    S::Log(context, &result, L"no logger %s", unreadable);
    S::LogRecord(L"no record sink %s", unreadable);
    S::LogError(L"no file sink %s", unreadable);
    S::LogDebug(L"no file sink %s", unreadable);
    return 0;
}

int RunTrace()
{
    S::TraceLogInstance.Trace("narrow %s %d", "text", 7);
    S::TraceLogInstance.Trace(L"wide %s %d", L"text", 8);
    const std::string longNarrow(1500, 'n');
    S::TraceLogInstance.Trace("%s", longNarrow.c_str());
    const std::wstring longWide(1500, L'w');
    S::TraceLogInstance.Trace(L"%s", longWide.c_str());
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int code = 2;
    const std::wstring scenario = argc > 1 ? argv[1] : L"";
    if (scenario == L"assert")
        code = RunAssert();
    else if (scenario == L"nolog")
        code = RunWithoutSinks();
    else if (scenario == L"trace")
        code = RunTrace();
    OutputDebugStringW(L"child done");
    return code;
}
