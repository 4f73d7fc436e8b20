#include "library/diagnostics/SAssert.h"

#include <windows.h>

#include <cwchar>

namespace S
{

namespace
{

// The runtime's own formatter, so that "%s" in a wide format takes wide text.
void FormatTruncating(wchar_t (&out)[AssertionTextSize], const wchar_t* format, va_list args) noexcept
{
    out[0] = L'\0';
    if (format != nullptr)
        _vsnwprintf(out, AssertionTextSize - 1, format, args);
    out[AssertionTextSize - 1] = L'\0';
}

void FormatTruncating(wchar_t (&out)[AssertionTextSize], const wchar_t* format, ...) noexcept
{
    va_list args;
    va_start(args, format);
    FormatTruncating(out, format, args);
    va_end(args);
}

} // namespace

std::size_t FormatAssertionReport(wchar_t (&report)[AssertionTextSize], const wchar_t* file, int line,
                                  const wchar_t* format, va_list args) noexcept
{
    wchar_t program[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    wchar_t expression[AssertionTextSize];
    FormatTruncating(expression, format, args);
    FormatTruncating(report, L"Assertion Failed!\n\nProgram: %s\n\nFile: %s\nLine: %d\n\nExpression: %s\n",
                     program, file != nullptr ? file : L"", line, expression);
    return std::wcslen(report);
}

int ReportAssertion(int /*reportType*/, const wchar_t* file, int line, const wchar_t* /*module*/,
                    const wchar_t* format, ...) noexcept
{
    wchar_t report[AssertionTextSize];
    va_list args;
    va_start(args, format);
    FormatAssertionReport(report, file, line, format, args);
    va_end(args);
    // The agent shows no report: the caller goes on with its own failure path.
    return 0;
}

} // namespace S
