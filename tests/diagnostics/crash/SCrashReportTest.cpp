// Crash reports as a crashing process leaves them: each case copies the child program into a folder
// of its own, runs one of its modes there and inspects its exit code, its output and its reports.
#include "library/diagnostics/crash/SException.h"

#include "common/ProcessRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

namespace
{

struct ChildRun
{
    DWORD exitCode = 0;
    std::map<std::string, std::string> facts;   // a missing one throws, which fails the case
    std::map<std::string, std::string> reports; // by name
    std::string debug;                          // the debugger announcements, each with its line end
    std::string output;
};

// Runs a copy of the child, named as given, in a folder of its own, padded so that the child's path has
// the length given.
ChildRun RunChild(const std::wstring& mode, size_t childPathLength, const std::wstring& name = L"child.exe")
{
    wchar_t path[MAX_PATH];
    std::wstring folder =
        std::wstring(path, GetTempPathW(MAX_PATH, path)) + L"diag_" + std::to_wstring(GetCurrentProcessId());
    folder.append(childPathLength - folder.size() - name.size() - 1, L'p');
    STest::FolderRun folderRun = STest::RunCopyInFolder(STest::BinFolder() + L"diagnostics_crash_child.exe",
                                                        folder, name, mode, 120'000);
    ChildRun run{folderRun.run.exitCode, {}, {}, {}, folderRun.files[L"child.out"]};
    for (const auto& [file, bytes] : folderRun.files)
        if (file != L"child.out")
            run.reports[std::string(file.begin(), file.end())] = bytes;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("debug: ", 0) == 0)
            run.debug += line.substr(7) + "\n";
        else if (const size_t equals = line.find('='); equals != std::string::npos)
            run.facts.emplace(line.substr(0, equals), line.substr(equals + 1));
    return run;
}

// A report's text: UTF-16 without byte-order mark, given back as ASCII.
std::string Ascii(const std::string& bytes)
{
    const std::wstring_view wide(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    return std::string(wide.begin(), wide.end());
}

const std::string File = "SException::CreateExceptionFile called.\nSException::CreateExceptionFile exited.\n",
                  Report = "SWin32Exception::GenerateExceptionReport called.\n" + File +
                           "SWin32Exception::GenerateExceptionReport exited.\n",
                  Dump = "SWin32Exception::GenerateMiniDump called.\n" + File +
                         "SWin32Exception::SendWerReport called.\n";

std::string TranslatorLine(const ChildRun& run)
{
    return "SWin32Exception::ExceptionTranslator called. " + run.facts.at("ids") + ". Code: 0xc0000005.\n" +
           Report;
}

} // namespace

TEST(CrashReport, AccessViolationLeavesReportAndMiniDumpAndThreeConcurrentOnesThreeReports)
{
    const ChildRun run = RunChild(L"dump", 202); // the longest executable path that gets files
    EXPECT_EQ(run.exitCode, S::kResultFail.Unsigned());
    EXPECT_EQ(run.facts.at("dump"), "0");
    const std::string stem = run.facts.at("stem");
    EXPECT_EQ(
        Ascii(run.reports.at(stem + ".txt")),
        "Version: " + std::string(std::begin(S::SBuildVersion), std::end(S::SBuildVersion) - 1) +
            ". Win32 Exception 0xc0000005 (ACCESS_VIOLATION) at address 0x" + run.facts.at("address") +
            ". Unable to write location: 0x00000010. TST, line 384: S::SThread::ThreadStart. (OS error = "
            "1234). Mini dump file will be created. " +
            run.facts.at("bracket"));
    const std::string& dump = run.reports.at(stem + ".dmp");
    EXPECT_TRUE(dump.starts_with("MDMP") && dump.size() > 16 * 1024) << dump.size();
    // The error report is attempted; what follows its creation depends on the platform.
    EXPECT_EQ(run.debug.rfind(TranslatorLine(run) + Dump + "SWin32Exception::SendWerReport created.\n", 0),
              0u)
        << run.output;
    std::string lines; // of the concurrent crashes, one report each
    for (const auto& [name, bytes] : run.reports)
        if (const size_t at = Ascii(bytes).find(": concurrent. "); at != std::string::npos)
            lines += Ascii(bytes)[at - 1];
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, "123");
    EXPECT_EQ(run.reports.size(), 5u);
}

TEST(CrashReport, WithoutSinksNothingIsLoggedLongPathsGetNoFilesThreadsWithoutTheTranslatorCrash)
{
    const ChildRun run = RunChild(L"plain", 203);
    EXPECT_TRUE(run.reports.empty());
    EXPECT_EQ(run.facts.at("assert"), "0");
    // Of the logging only the trace lines reach the debugger, cut at 1,023 characters; the "|" line
    // closes them. The crash report that follows announces itself but leaves no file.
    EXPECT_EQ(run.debug,
              "narrow text 7\nwide text 8\n" + std::string(1023, 'w') + "debug: |\n" + TranslatorLine(run));
    EXPECT_EQ(run.exitCode, 0xC0000005u);
}

// The handlers that end a process, each leaving a report and a minidump first: an exception nobody
// catches through the termination handler, a fault on a thread without the translator through the
// top-level filter. An error report needs the executable's name in 63 characters.
TEST(CrashReport, TerminationHandlerAndTopLevelFilterReportBeforeTheProcessEnds)
{
    const std::string reported = "SWin32Exception::TopLevelExceptionHandler called.\n" + Report + Dump;
    // mode, length of the executable's name, exit code, description
    const std::tuple<const wchar_t*, size_t, DWORD, std::string> cases[] = {
        {L"terminate", 63, 0x40000015u, "Win32 Exception 0x40000015 at address 0x"},
        {L"filter", 64, 0xC0000094u, "Win32 Exception 0xc0000094 (INT_DIVIDE_BY_ZERO) at address 0x"},
    };
    for (const auto& [mode, nameLength, exitCode, description] : cases)
    {
        SCOPED_TRACE(testing::Message() << nameLength << " characters");
        const ChildRun run = RunChild(mode, 160, std::wstring(nameLength - 4, L'n') + L".exe");
        EXPECT_EQ(run.exitCode, exitCode);
        const bool fits = nameLength <= 63;
        EXPECT_EQ(run.facts.at("wer") == "8007007a", !fits) << run.facts.at("wer");
        const std::string ending = fits ? "SWin32Exception::SendWerReport created.\n"
                                        : "SWin32Exception::GenerateExceptionReport exited.\n";
        const std::string terminated =
            exitCode == 0x40000015u
                ? "SWin32Exception::TerminationHandler called. " + run.facts.at("ids") + ".\n"
                : "";
        EXPECT_NE(run.debug.find(terminated + reported + ending), std::string::npos) << run.debug;
        ASSERT_EQ(run.reports.size(), 2u) << run.output; // the dump, then the text by name
        const std::string text = Ascii(run.reports.rbegin()->second), dump = run.reports.begin()->second;
        EXPECT_TRUE(text.starts_with("Version: ") && text.find(". " + description) != std::string::npos &&
                    text.ends_with(". Mini dump file will be created. " + run.facts.at("bracket")))
            << text;
        EXPECT_TRUE(dump.starts_with("MDMP")) << dump.size();
    }
}
