#include "library/diagnostics/SAssert.h"

#include "DebugCapture.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

using namespace S;

namespace
{

std::wstring Report(const wchar_t* file, int line, const wchar_t* format, ...)
{
    wchar_t report[AssertionTextSize];
    va_list args;
    va_start(args, format);
    const size_t length = FormatAssertionReport(report, file, line, format, args);
    va_end(args);
    EXPECT_EQ(length, std::wstring(report).size());
    return report;
}

} // namespace

TEST(ReportAssertion, ComposesProgramFileLineAndExpression)
{
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::wstring expected = std::wstring(L"Assertion Failed!\n\nProgram: ") + program +
                                  L"\n\nFile: library\\system\\process\\winum\\scriticalsection\nLine: 25\n\n"
                                  L"Expression: mit->Next(). Message:\nFailed to go next 7\n";
    EXPECT_EQ(Report(L"library\\system\\process\\winum\\scriticalsection", 25,
                     L"mit->Next(). Message:\n%s %d", L"Failed to go next", 7),
              expected);
}

TEST(ReportAssertion, TruncatesLongExpressionsAndReports)
{
    const std::wstring longText(3000, L'x');
    const std::wstring expression = Report(L"f", 1, L"%s", longText.c_str());
    // The whole report is cut at 1,023 characters.
    EXPECT_EQ(expression.size(), AssertionTextSize - 1);
    EXPECT_EQ(expression.find(L"Expression: "), expression.find(L"Expression: xxx"));
    EXPECT_EQ(expression.back(), L'x');
}

TEST(ReportAssertion, ReturnsZeroAndSendsNothingToTheDebugger)
{
    EXPECT_EQ(ReportAssertion(AssertionReportType, L"f", 1, nullptr, L"a != %d", 0), 0);
    const TestKit::DebugCapture run = TestKit::RunUnderDebugger(L"diagnostics_child.exe", L"assert");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0], L"child done");
}
