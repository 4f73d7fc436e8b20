// Crash reports as a crashing process leaves them: each case runs the child program in a folder of
// its own and inspects its exit code, its debugger announcements and the files beside it.
#include "diagnostics/ChildProcess.h"
#include "library/diagnostics/SException.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <regex>
#include <set>
#include <sstream>

using ChildProcess::ChildRun;
using ChildProcess::Folder;
using ChildProcess::Narrow;

namespace
{

const std::string kVersion = Narrow(S::SBuildVersion);

// A report's text: UTF-16 without byte-order mark, given back as ASCII.
std::string ReportText(const std::string& bytes)
{
    EXPECT_EQ(bytes.size() % 2, 0u);
    std::string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    {
        const unsigned unit = static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1])
                                                                         << 8;
        EXPECT_LT(unit, 0x80u) << "at " << i;
        text += static_cast<char>(unit);
    }
    EXPECT_NE(text.substr(0, 1), "\xFF") << "byte-order mark";
    return text;
}

// "_YYYYMMDD_HHMMSS_mmm" from the child's "year month day hour minute second millisecond" fact.
std::string StampOf(const std::string& timeFact)
{
    unsigned t[7] = {};
    std::istringstream in(timeFact);
    for (unsigned& part : t)
        in >> part;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "_%04u%02u%02u_%02u%02u%02u_%03u", t[0], t[1], t[2], t[3], t[4], t[5],
                  t[6]);
    return stamp;
}

unsigned long long FileTimeOf(const std::string& timeFact)
{
    SYSTEMTIME t{};
    std::istringstream in(timeFact);
    in >> t.wYear >> t.wMonth >> t.wDay >> t.wHour >> t.wMinute >> t.wSecond >> t.wMilliseconds;
    FILETIME file{};
    SystemTimeToFileTime(&t, &file);
    return (static_cast<unsigned long long>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

unsigned long long UtcNow()
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::string Hex8(unsigned long long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value & 0xFFFFFFFFu));
    return text;
}

// The announcements without the error-report steps that depend on what the platform's error
// reporting supports; those are printed for the record.
std::vector<std::string> WithoutWerDetails(const std::vector<std::string>& announcements)
{
    std::vector<std::string> kept;
    for (const std::string& a : announcements)
    {
        if (a.find("SendWerReport added") != std::string::npos ||
            a.find("SendWerReport submitted") != std::string::npos)
            std::cout << "[ platform ] " << a;
        else
            kept.push_back(a);
    }
    return kept;
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

const std::vector<std::string> kTextReportSteps = {
    "SWin32Exception::GenerateExceptionReport called.\n",
    "SException::CreateExceptionFile called.\n",
    "SException::CreateExceptionFile exited.\n",
    "SWin32Exception::GenerateExceptionReport exited.\n",
};

const std::vector<std::string> kMiniDumpSteps = {
    "SWin32Exception::GenerateMiniDump called.\n",        "SException::CreateExceptionFile called.\n",
    "SException::CreateExceptionFile exited.\n",          "SWin32Exception::SendWerReport called.\n",
    "SWin32Exception::SendWerReport created.\n",          "SWin32Exception::SendWerReport exited.\n",
    "SWin32Exception::GenerateExceptionReport exited.\n",
};

std::vector<std::string> Joined(std::initializer_list<std::vector<std::string>> parts)
{
    std::vector<std::string> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

void ExpectMiniDump(const Folder& folder, const std::wstring& name)
{
    const std::string dump = folder.ReadFile(name);
    EXPECT_EQ(dump.substr(0, 4), "MDMP");
    EXPECT_GT(dump.size(), 16u * 1024);
    std::cout << "[ platform ] minidump of " << dump.size() << " bytes\n";
}

} // namespace

TEST(CrashReport, CaughtAccessViolationLeavesTextReportMiniDumpAndErrorReport)
{
    const Folder folder;
    const unsigned long long before = UtcNow();
    const ChildRun run = folder.Start(L"caught-dump");
    const unsigned long long after = UtcNow();
    EXPECT_EQ(run.exitCode, 0x80004005u);
    EXPECT_EQ(run.Fact("class"), "SWin32AccessViolation");
    EXPECT_EQ(run.Fact("code"), "c0000005");
    EXPECT_EQ(run.Fact("dump"), "0");

    // The faulting instruction lies at the start of the faulting function.
    const unsigned long long function = std::stoull(run.Fact("function"), nullptr, 16);
    const unsigned long long address = std::stoull(run.Fact("address"), nullptr, 16);
    EXPECT_GE(address, function);
    EXPECT_LT(address, function + 32);

    const std::string time = run.Fact("time");
    EXPECT_GE(FileTimeOf(time) + 10000, before); // milliseconds against 100 ns units
    EXPECT_LE(FileTimeOf(time), after);

    const std::wstring stamp = ChildProcess::Widen(StampOf(time));
    const std::wstring childName = L"child.exe";
    EXPECT_EQ(folder.Reports(),
              (std::vector<std::wstring>{childName + stamp + L".dmp", childName + stamp + L".txt"}));

    const std::string expected =
        "Version: " + kVersion + ". Win32 Exception 0xc0000005 (ACCESS_VIOLATION) at address 0x" +
        Hex8(address) +
        ". Unable to write location: 0x00000010. TST, line 384: S::SThread::ThreadStart. "
        "(OS error = 1234). Mini dump file will be created. [PID=" +
        run.Fact("pid") + ", TID=" + run.Fact("tid") + "]";
    EXPECT_EQ(ReportText(folder.ReadFile(childName + stamp + L".txt")), expected);
    EXPECT_EQ(run.Fact("log-file"), "Error: " + expected);
    EXPECT_EQ(run.Fact("log-record"), expected);
    ExpectMiniDump(folder, childName + stamp + L".dmp");

    EXPECT_EQ(WithoutWerDetails(run.announcements),
              Joined({{TranslatorLine(run, "c0000005")}, kTextReportSteps, kMiniDumpSteps}));
}

TEST(CrashReport, FamilyReportNamesCodeClassLineAndMessage)
{
    const Folder folder;
    const ChildRun run = folder.Start(L"plain-report");
    std::vector<std::string> times;
    for (auto [it, end] = run.facts.equal_range("time"); it != end; ++it)
        times.push_back(it->second);
    ASSERT_EQ(times.size(), 2u);
    const std::vector<std::wstring> reports = folder.Reports();
    ASSERT_EQ(reports.size(), 2u);
    std::vector<std::string> texts;
    for (const std::wstring& name : reports)
        texts.push_back(ReportText(folder.ReadFile(name)));
    // Sorted by name, so by time; the second may have moved on by a millisecond.
    EXPECT_EQ(Narrow(reports[0]), "child.exe" + StampOf(times[0]) + ".txt");
    const std::string tail = " (OS error = 1234). [PID=" + run.Fact("pid") + ", TID=" + run.Fact("tid") + "]";
    EXPECT_EQ(texts[0], "Version: " + kVersion +
                            ". Exception 0xa0040200 (SException), line 384: S::SThread::ThreadStart." + tail);
    const std::regex structured(
        "Version: " + kVersion +
        R"(\. Exception 0xc0000005 \(SWin32AccessViolation\), line 0: Win32 Exception 0xc0000005 )"
        R"(\(ACCESS_VIOLATION\) at address 0x[0-9a-f]{8}\. Unable to write location: 0x00000010\.\. )"
        R"(\(OS error = 0\)\. \[PID=)" +
        run.Fact("pid") + ", TID=" + run.Fact("tid") + R"(\])");
    EXPECT_TRUE(std::regex_match(texts[1], structured)) << texts[1];
    std::vector<std::string> logged;
    for (auto [it, end] = run.facts.equal_range("log-record"); it != end; ++it)
        logged.push_back(it->second);
    EXPECT_EQ(logged, texts);
    EXPECT_EQ(
        run.announcements,
        (std::vector<std::string>{
            "SException::GenerateExceptionReport called.\n", "SException::CreateExceptionFile called.\n",
            "SException::CreateExceptionFile exited.\n", "SException::GenerateExceptionReport exited.\n",
            TranslatorLine(run, "c0000005"), "SException::GenerateExceptionReport called.\n",
            "SException::CreateExceptionFile called.\n", "SException::CreateExceptionFile exited.\n",
            "SException::GenerateExceptionReport exited.\n"}));
}

TEST(CrashReport, UnknownCodeGetsTheFallbackDescription)
{
    const Folder folder;
    const ChildRun run = folder.Start(L"unknown");
    EXPECT_EQ(run.Fact("class"), "SWin32Exception");
    EXPECT_EQ(run.Fact("code"), "e0401234");
    const std::string description = "Win32 Exception 0xe0401234 at address 0x" +
                                    Hex8(std::stoull(run.Fact("address"), nullptr, 16)) + ".";
    const std::string name = "child.exe" + StampOf(run.Fact("time")) + ".txt";
    ASSERT_EQ(folder.Reports(), std::vector<std::wstring>{ChildProcess::Widen(name)});
    // No stage on this thread, no place and no line: the message and the exception's line stand in.
    EXPECT_EQ(ReportText(folder.ReadFile(ChildProcess::Widen(name))),
              "Version: " + kVersion + ". " + description + " (null), line 0: " + description +
                  ". (OS error = 87). Mini dump file will be created. [PID=" + run.Fact("pid") +
                  ", TID=" + run.Fact("tid") + "]");
}

TEST(CrashReport, UncaughtExceptionEndsThroughTheTerminationHandler)
{
    // A path too long for report files keeps this run free of the slow minidump; the report text
    // still reaches the log and every step is announced.
    const Folder folder(203);
    const ChildRun run = folder.Start(L"terminate");
    // Nothing handles the fatal-exit exception after the filter; the process ends with its code.
    EXPECT_EQ(run.exitCode, 0x40000015u);
    EXPECT_TRUE(folder.Reports().empty());

    // 0x40000015 is not in the name table: the fallback description, and no stage on this thread.
    const std::string text = run.Fact("log-record");
    const std::regex expected(
        "Version: " + kVersion +
        R"(\. Win32 Exception 0x40000015 at address 0x([0-9a-f]{8})\. \(null\), line 0: )"
        R"(Win32 Exception 0x40000015 at address 0x\1\.\. \(OS error = \d+\)\. )"
        R"(Mini dump file will be created\. \[PID=)" +
        run.Fact("pid") + R"(, TID=\d+\])");
    EXPECT_TRUE(std::regex_match(text, expected)) << text;

    ASSERT_FALSE(run.announcements.empty()) << run.output;
    EXPECT_TRUE(std::regex_match(
        run.announcements[0], std::regex("SWin32Exception::TerminationHandler called\\. Pid: 0x" +
                                         Hex8(std::stoul(run.Fact("pid"))) + "\\. Tid: 0x[0-9a-f]{8}\\.\n")))
        << run.announcements[0];
    const std::vector<std::string> rest(run.announcements.begin() + 1, run.announcements.end());
    EXPECT_EQ(WithoutWerDetails(rest), Joined({{"SWin32Exception::TopLevelExceptionHandler called.\n"},
                                               kTextReportSteps,
                                               kMiniDumpSteps,
                                               {"SWin32Exception::TopLevelExceptionHandler exited.\n"}}));
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

TEST(CrashReport, NamesCarryTheMillisecondAndMoveOnWhenTaken)
{
    const Folder folder;
    const ChildRun run = folder.Start(L"collide");
    const std::string exe = run.Fact("exe");
    std::vector<std::string> results;
    std::vector<std::string> names;
    for (auto [it, end] = run.facts.equal_range("result"); it != end; ++it)
        results.push_back(it->second);
    for (auto [it, end] = run.facts.equal_range("name"); it != end; ++it)
        names.push_back(it->second);
    // The fourth request finds every one of its three names taken (ERROR_FILE_EXISTS).
    EXPECT_EQ(results, (std::vector<std::string>{"0", "0", "0", "80070050"}));
    const std::string base = exe + "_20240301_140207_";
    EXPECT_EQ(names, (std::vector<std::string>{base + "045.txt", base + "046.txt", base + "047.txt",
                                               base + "047.txt"}));
    EXPECT_EQ(folder.Reports(), (std::vector<std::wstring>{L"child.exe_20240301_140207_045.txt",
                                                           L"child.exe_20240301_140207_046.txt",
                                                           L"child.exe_20240301_140207_047.txt"}));
}

TEST(CrashReport, ExecutablePathsOf203CharactersOrMoreGetNoFiles)
{
    struct Case
    {
        size_t length;
        size_t files;
    };
    for (const Case c : {Case{202, 1}, Case{203, 0}, Case{240, 0}})
    {
        SCOPED_TRACE(c.length);
        const Folder folder(c.length);
        const ChildRun run = folder.Start(L"caught");
        ASSERT_EQ(run.Fact("exelength"), std::to_string(c.length));
        EXPECT_EQ(run.exitCode, 0x80004005u);
        EXPECT_EQ(folder.Reports().size(), c.files);
        EXPECT_EQ(run.announcements, Joined({{TranslatorLine(run, "c0000005")}, kTextReportSteps}));
    }
}

TEST(CrashReport, ErrorReportIsAttemptedAndRefusesNamesThatDoNotFit)
{
    struct Case
    {
        size_t nameLength;
        bool fits;
    };
    for (const Case c : {Case{63, true}, Case{64, false}})
    {
        SCOPED_TRACE(c.nameLength);
        const Folder folder(0, std::wstring(c.nameLength - 4, L'n') + L".exe");
        const ChildRun run = folder.Start(L"wer");
        const std::string result = run.Fact("wer");
        if (c.fits)
        {
            EXPECT_NE(result, "8007007a");
            std::cout << "[ platform ] error report answer 0x" << result << "\n";
            const std::vector<std::string> expected = {
                TranslatorLine(run, "c0000094"), "SWin32Exception::SendWerReport called.\n",
                "SWin32Exception::SendWerReport created.\n", "SWin32Exception::SendWerReport exited.\n"};
            EXPECT_EQ(WithoutWerDetails(run.announcements), expected);
        }
        else
        {
            EXPECT_EQ(result, "8007007a");
            const std::vector<std::string> expected = {TranslatorLine(run, "c0000094"),
                                                       "SWin32Exception::SendWerReport called.\n"};
            EXPECT_EQ(run.announcements, expected);
        }
    }
}

TEST(CrashReport, ThreadsWithoutTheTranslatorKeepTheDefaultBehaviour)
{
    const Folder folder;
    const ChildRun untranslated = folder.Start(L"untranslated-thread");
    EXPECT_EQ(untranslated.Fact("main"), "caught c0000005");
    EXPECT_EQ(untranslated.exitCode, 0xC0000005u);

    const ChildRun uninstalled = folder.Start(L"uninstalled");
    EXPECT_EQ(uninstalled.Fact("removed"), "translator");
    EXPECT_EQ(uninstalled.facts.count("main"), 0u);
    EXPECT_EQ(uninstalled.exitCode, 0xC0000005u);
}
