// Runs one scenario named on the command line, then sends "child done" to the debugger so the
// parent knows that its capture saw the whole run.
#include "library/diagnostics/SAssert.h"

#include <windows.h>

#include <cwchar>

namespace
{

int RunAssert()
{
    return S::ReportAssertion(S::AssertionReportType, L"library\\utility\\collection\\winum\\slist", 42,
                              nullptr, L"Iter != NULL. Message:\n%s", L"Out of memory");
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int code = 2;
    if (argc > 1 && std::wcscmp(argv[1], L"assert") == 0)
        code = RunAssert();
    OutputDebugStringW(L"child done");
    return code;
}
