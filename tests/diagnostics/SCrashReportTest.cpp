// Crash reports as a crashing process leaves them: each case copies the child program into a folder
// of its own, runs one of its modes there and inspects its exit code, its output and its reports.
#include "library/diagnostics/SException.h"
#include "library/system/SHandle.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace
{

struct ChildRun
{
    DWORD exitCode = 0;
    std::multimap<std::string, std::string> facts;
    std::map<std::string, std::string> reports; // by name
    std::string debug;                          // the debugger announcements, each with its line end
    std::string output;

    std::string Fact(const std::string& key) const
    {
        EXPECT_EQ(facts.count(key), 1u) << key << " in:\n" << output;
        return facts.count(key) == 0 ? std::string() : facts.find(key)->second;
    }
};

// Runs a copy of the child in a folder of its own, padded when childPathLength is given so that the
// child's path has that length, and collects what it left there before removing the folder.
ChildRun RunChild(const std::wstring& mode, size_t childPathLength = 0)
{
    static int serial = 0;
    wchar_t path[MAX_PATH];
    std::wstring folder = std::wstring(path, GetTempPathW(MAX_PATH, path)) + L"diag_" +
                          std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++serial);
    const size_t plain = folder.size() + wcslen(L"\\child.exe");
    folder.append(childPathLength > plain ? childPathLength - plain : 0, L'p');
    fs::create_directory(folder);
    const fs::path tests(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH)));
    fs::copy_file(tests.parent_path() / "diagnostics_crash_child.exe", folder + L"\\child.exe");

    ChildRun run;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring commandLine = L"\"" + folder + L"\\child.exe\" " + mode;
    PROCESS_INFORMATION process{};
    EXPECT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               folder.c_str(), &startup, &process));
    const S::SHandle processHandle(process.hProcess);
    const S::SHandle threadHandle(process.hThread);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 120000), WAIT_OBJECT_0);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    for (const auto& entry : fs::directory_iterator(folder))
    {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string name = entry.path().filename().string();
        (name == "child.out" ? run.output : run.reports[name]) =
            std::string(std::istreambuf_iterator<char>(file), {});
    }
    run.reports.erase("child.exe");
    fs::remove_all(folder);

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

std::string TranslatorLine(const ChildRun& run)
{
    return "SWin32Exception::ExceptionTranslator called. " + run.Fact("ids") +
           ". Code: 0xc0000005.\nSWin32Exception::GenerateExceptionReport called.\n"
           "SException::CreateExceptionFile called.\nSException::CreateExceptionFile exited.\n"
           "SWin32Exception::GenerateExceptionReport exited.\n";
}

} // namespace

TEST(CrashReport, AccessViolationLeavesReportAndMiniDumpAndThreeConcurrentOnesThreeReports)
{
    const ChildRun run = RunChild(L"dump");
    EXPECT_EQ(run.exitCode, 0x80004005u);
    EXPECT_EQ(run.Fact("dump"), "0");
    const std::string stem = run.Fact("stem");
    ASSERT_EQ(run.reports.count(stem + ".txt") + run.reports.count(stem + ".dmp"), 2u) << run.reports.size();
    EXPECT_EQ(
        Ascii(run.reports.at(stem + ".txt")),
        "Version: " + std::string(std::begin(S::SBuildVersion), std::end(S::SBuildVersion) - 1) +
            ". Win32 Exception 0xc0000005 (ACCESS_VIOLATION) at address 0x" + run.Fact("address") +
            ". Unable to write location: 0x00000010. TST, line 384: S::SThread::ThreadStart. (OS error = "
            "1234). Mini dump file will be created. [PID=" +
            run.Fact("pid") + ", TID=" + run.Fact("tid") + "]");
    const std::string& dump = run.reports.at(stem + ".dmp");
    EXPECT_EQ(dump.substr(0, 4), "MDMP");
    EXPECT_GT(dump.size(), 16u * 1024);
    // The error report is attempted; what follows its creation depends on the platform.
    EXPECT_EQ(run.debug.rfind(TranslatorLine(run) + "SWin32Exception::GenerateMiniDump called.\n"
                                                    "SException::CreateExceptionFile called.\n"
                                                    "SException::CreateExceptionFile exited.\n"
                                                    "SWin32Exception::SendWerReport called.\n"
                                                    "SWin32Exception::SendWerReport created.\n",
                              0),
              0u)
        << run.output;
    std::set<std::string> lines;
    for (const auto& [name, bytes] : run.reports)
    {
        const std::string text = Ascii(bytes);
        if (std::smatch match; std::regex_search(text, match, std::regex(R"(, line (\d): concurrent\. )")))
            lines.insert(match[1]);
    }
    EXPECT_EQ(lines, (std::set<std::string>{"1", "2", "3"}));
    EXPECT_EQ(run.reports.size(), 5u);
}

TEST(CrashReport, ExecutablePathsOf203CharactersOrMoreGetNoFiles)
{
    for (const auto& [length, files] : {std::pair<size_t, size_t>{202, 1}, {203, 0}})
    {
        SCOPED_TRACE(length);
        const ChildRun run = RunChild(L"caught", length);
        EXPECT_EQ(run.reports.size(), files);
        EXPECT_EQ(run.debug, TranslatorLine(run));
    }
}

TEST(CrashReport, WithoutSinksNothingIsLoggedAndAThreadWithoutTheTranslatorCrashes)
{
    const ChildRun run = RunChild(L"nosinks");
    EXPECT_TRUE(run.reports.empty());
    EXPECT_EQ(run.Fact("assert"), "0");
    // Only the trace lines reach the debugger, cut at 1,023 characters; the "|" line closes them.
    EXPECT_EQ(run.debug, "narrow text 7\nwide text 8\n" + std::string(1023, 'w') + "debug: |\n");
    EXPECT_EQ(run.exitCode, 0xC0000005u);
}
