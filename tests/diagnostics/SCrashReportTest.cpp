// Crash reports as a crashing process leaves them: each case runs the child program in a folder of
// its own and inspects its exit code, its debugger announcements and the files beside it.
#include "diagnostics/ChildProcess.h"
#include "library/diagnostics/SException.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>
#include <sstream>

using ChildProcess::ChildRun;
using ChildProcess::Folder;
using ChildProcess::Narrow;

namespace
{

// A report's text: UTF-16 without byte-order mark, given back as ASCII.
std::string ReportText(const std::string& bytes)
{
    std::string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    {
        EXPECT_EQ(bytes[i + 1], '\0') << "at " << i;
        text += bytes[i];
    }
    return text;
}

// "child.exe_YYYYMMDD_HHMMSS_mmm<extension>" from the child's "year month day hour minute second
// millisecond" fact.
std::wstring ReportName(const ChildRun& run, const std::string& extension)
{
    unsigned t[7] = {};
    std::istringstream in(run.Fact("time"));
    for (unsigned& part : t)
        in >> part;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "child.exe_%04u%02u%02u_%02u%02u%02u_%03u", t[0], t[1], t[2], t[3],
                  t[4], t[5], t[6]);
    const std::string name = stamp + extension;
    return std::wstring(name.begin(), name.end());
}

std::string Hex8(const std::string& hex)
{
    char text[32];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(std::stoull(hex, nullptr, 16)));
    return text;
}

std::string TranslatorLine(const ChildRun& run, const std::string& code)
{
    char line[160];
    std::snprintf(line, sizeof line,
                  "SWin32Exception::ExceptionTranslator called. Pid: 0x%08x. Tid: 0x%08x. Code: 0x%s.\n",
                  static_cast<unsigned>(std::stoul(run.Fact("pid"))),
                  static_cast<unsigned>(std::stoul(run.Fact("tid"))), code.c_str());
    return line;
}

std::string Tail(const ChildRun& run, const std::string& osError)
{
    return ". (OS error = " + osError + "). Mini dump file will be created. [PID=" + run.Fact("pid") +
           ", TID=" + run.Fact("tid") + "]";
}

const std::string kVersion = "Version: " + Narrow(S::SBuildVersion) + ". ";
const std::string kReportSteps = "SWin32Exception::GenerateExceptionReport called.\n"
                                 "SException::CreateExceptionFile called.\n"
                                 "SException::CreateExceptionFile exited.\n"
                                 "SWin32Exception::GenerateExceptionReport exited.\n";

std::string Joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines)
        all += line;
    return all;
}

} // namespace

TEST(CrashReport, CaughtAccessViolationLeavesTextReportAndMiniDump)
{
    const Folder folder;
    const ChildRun run = folder.Start(L"caught-dump");
    EXPECT_EQ(run.exitCode, 0x80004005u);
    EXPECT_EQ(run.Fact("class"), "SWin32AccessViolation");
    EXPECT_EQ(run.Fact("dump"), "0");
    // The faulting instruction lies at the start of the faulting function.
    const unsigned long long function = std::stoull(run.Fact("function"), nullptr, 16);
    const unsigned long long address = std::stoull(run.Fact("address"), nullptr, 16);
    EXPECT_GE(address, function);
    EXPECT_LT(address, function + 32);

    const std::wstring name = ReportName(run, "");
    ASSERT_EQ(folder.Reports(), (std::vector<std::wstring>{name + L".dmp", name + L".txt"}));
    const std::string expected = kVersion + "Win32 Exception 0xc0000005 (ACCESS_VIOLATION) at address 0x" +
                                 Hex8(run.Fact("address")) +
                                 ". Unable to write location: 0x00000010. TST, line 384: "
                                 "S::SThread::ThreadStart" +
                                 Tail(run, "1234");
    EXPECT_EQ(ReportText(folder.ReadFile(name + L".txt")), expected);
    EXPECT_EQ(run.Fact("log-file"), "Error: " + expected);
    EXPECT_EQ(run.Fact("log-record"), expected);
    const std::string dump = folder.ReadFile(name + L".dmp");
    EXPECT_EQ(dump.substr(0, 4), "MDMP");
    EXPECT_GT(dump.size(), 16u * 1024);
    // The error report is attempted; the steps after its creation depend on the platform.
    EXPECT_EQ(Joined(run.announcements)
                  .rfind(TranslatorLine(run, "c0000005") + kReportSteps +
                             "SWin32Exception::GenerateMiniDump called.\n"
                             "SException::CreateExceptionFile called.\n"
                             "SException::CreateExceptionFile exited.\n"
                             "SWin32Exception::SendWerReport called.\n"
                             "SWin32Exception::SendWerReport created.\n",
                         0),
              0u)
        << run.output;
}

TEST(CrashReport, UnknownCodeGetsTheFallbackDescription)
{
    const Folder folder;
    const ChildRun run = folder.Start(L"unknown");
    EXPECT_EQ(run.Fact("class"), "SWin32Exception");
    const std::string description =
        "Win32 Exception 0xe0401234 at address 0x" + Hex8(run.Fact("address")) + ".";
    const std::wstring name = ReportName(run, ".txt");
    ASSERT_EQ(folder.Reports(), std::vector<std::wstring>{name});
    // No stage on this thread, no place and no line: the message and the exception's line stand in.
    EXPECT_EQ(ReportText(folder.ReadFile(name)),
              kVersion + description + " (null), line 0: " + description + Tail(run, "87"));
}

TEST(CrashReport, ConcurrentCrashesInThreeThreadsLeaveThreeFiles)
{
    const Folder folder;
    const ChildRun run = folder.Start(L"concurrent");
    EXPECT_EQ(run.exitCode, 0u);
    const std::vector<std::wstring> reports = folder.Reports();
    ASSERT_EQ(reports.size(), 3u) << run.output;
    std::set<std::string> lines;
    std::set<std::string> threads;
    const std::regex tail(R"(, line (\d): concurrent\. .*\[PID=\d+, TID=(\d+)\]$)");
    for (const std::wstring& name : reports)
    {
        EXPECT_TRUE(std::regex_match(Narrow(name), std::regex(R"(child\.exe_\d{8}_\d{6}_\d{3}\.txt)")));
        const std::string text = ReportText(folder.ReadFile(name));
        std::smatch match;
        ASSERT_TRUE(std::regex_search(text, match, tail)) << text;
        lines.insert(match[1]);
        threads.insert(match[2]);
    }
    EXPECT_EQ(lines, (std::set<std::string>{"1", "2", "3"}));
    EXPECT_EQ(threads.size(), 3u);
}

TEST(CrashReport, ExecutablePathsOf203CharactersOrMoreGetNoFiles)
{
    for (const auto& [length, files] : {std::pair<size_t, size_t>{202, 1}, {203, 0}})
    {
        SCOPED_TRACE(length);
        const Folder folder(length);
        const ChildRun run = folder.Start(L"caught");
        ASSERT_EQ(run.Fact("exelength"), std::to_string(length));
        EXPECT_EQ(run.exitCode, 0x80004005u);
        EXPECT_EQ(folder.Reports().size(), files);
        EXPECT_EQ(Joined(run.announcements), TranslatorLine(run, "c0000005") + kReportSteps);
    }
}

TEST(CrashReport, ThreadsWithoutTheTranslatorKeepTheDefaultBehaviour)
{
    const Folder folder;
    const ChildRun run = folder.Start(L"untranslated-thread");
    EXPECT_EQ(run.Fact("main"), "caught c0000005");
    EXPECT_EQ(run.exitCode, 0xC0000005u);
}

TEST(CrashReport, WithoutSinksNothingIsTouchedAndAssertionsStaySilent)
{
    const Folder folder;
    const ChildRun run = folder.Start(L"nosinks");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(folder.Reports().empty());
    EXPECT_EQ(run.Fact("assert"), "0");
    // Only the trace lines reach the debugger, cut at 1,023 characters; the last line closes the run.
    EXPECT_EQ(run.announcements, (std::vector<std::string>{"narrow text 7\n", "wide text 8\n",
                                                           std::string(1023, 'w') + "debug: |\n"}))
        << run.output;
}
