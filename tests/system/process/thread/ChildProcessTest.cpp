// The cases that need a process of their own: failures that write crash reports, loading the agent,
// and a process that ends under a busy worker. The child program is built from support/.
#include "common/ProcessRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace
{

const std::wstring Child = STest::BinFolder() + L"process_child.exe";

// The child runs from a folder of its own, so that the reports it writes beside itself (UTF-16 text and
// minidumps) can be read and removed.
struct ChildReports
{
    STest::ProcessResult run;
    std::vector<std::wstring> reports;
    std::vector<std::string> dumps; // their first four bytes
};

ChildReports RunInOwnFolder(const std::wstring& mode)
{
    const STest::FolderRun folderRun =
        STest::RunCopyInFolder(Child,
                               std::filesystem::temp_directory_path() /
                                   (L"process-tests-" + std::to_wstring(GetCurrentProcessId()) + L"-" + mode),
                               L"child.exe", mode, 300'000);
    ChildReports result{folderRun.run, {}, {}};
    for (const auto& [name, bytes] : folderRun.files)
        if (name.ends_with(L".txt"))
            result.reports.emplace_back(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
        else if (name.ends_with(L".dmp"))
            result.dumps.push_back(bytes.substr(0, 4));
    return result;
}

size_t Occurrences(const std::vector<std::wstring>& reports, const std::wstring& part)
{
    size_t found = 0;
    for (const std::wstring& report : reports)
        for (size_t at = report.find(part); at != std::wstring::npos; at = report.find(part, at + 1))
            ++found;
    return found;
}

} // namespace

TEST(ChildProcess, FailuresEscapingThreadsAndJobsAreReportedAndTheWorkerGoesOn)
{
    const auto [run, reports, dumps] = RunInOwnFolder(L"crashes");
    ASSERT_EQ(run.exitCode, 0u) << run.output;

    // Threads that fail by an access violation, an SException and anything else end with kResultFail;
    // then jobs failing the same ways are aborted and logged, and a good one runs on the same worker.
    const std::string warning = "log=7|a0040b01|Exception occurred for thread 1/1 in thread pool [faulty]\n";
    EXPECT_EQ(run.output,
              "Caught a 'SWin32Exception' exception.\nexit=80004005\n"
              "Caught a 'SException' exception.\nexit=80004005\n"
              "Caught an 'UNKNOWN...' exception.\nexit=80004005\n"
              "job=run 0 on the first worker\nCaught a 'SException' exception.\njob=abort 0 1 0\n"
              "job=run 1 on the first worker\nCaught an 'UNKNOWN...' exception.\njob=abort 1 1 0\n"
              "job=run 2 on the first worker\nCaught a 'SWin32Exception' exception.\njob=abort 2 1 0\n"
              "job=run 3 on the first worker\n" +
                  warning + warning + warning);

    // A text report (UTF-16) per failure, a minidump per access violation.
    ASSERT_EQ(reports.size(), 6u);
    const std::pair<std::wstring, size_t> parts[] = {
        {L"Unable to write location: 0x00000010. TST, line 384: S::SThread::ThreadStart.", 1},
        {L"Exception 0xa0041234 (SException), line 77: custom failure.", 1},
        {L"Exception 0xa0040200 (SException), line 384: S::SThread::ThreadStart.", 1},
        {L"Exception 0xa0045678 (SException), line 12: job failure.", 1},
        {L"Exception 0xa0040200 (SException), line 503: S::SThreadPool::WorkerInnerWrapper.", 1},
        {L"TST, line 503: S::SThreadPool::WorkerInnerWrapper.", 1},
        {L"(ACCESS_VIOLATION)", 2}};
    for (const auto& [part, count] : parts)
        EXPECT_EQ(Occurrences(reports, part), count) << part;
    EXPECT_EQ(dumps, std::vector<std::string>(2, "MDMP")) << "written minidumps";
}

// The exhausted stack cannot carry a throw: the overflow is reported from a reserve stack and the
// process ends with its code, as it would without the library.
TEST(ChildProcess, StackOverflowOnALibraryThreadEndsInTheCrashReports)
{
    const auto [run, reports, dumps] = RunInOwnFolder(L"overflow");
    EXPECT_EQ(run.exitCode, 0xC00000FDu) << run.output;
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find(L"(STACK_OVERFLOW)"), std::wstring::npos);
    EXPECT_EQ(dumps, std::vector<std::string>{"MDMP"});
}

// Loading and unloading the agent makes no thread (the child compares the counts); a module pool that
// waited for its dead worker at the process's end would hang the exit, 7 being the child's code; hosts
// may unload the agent (or a module with a pool) right after it started work on a thread of its own,
// and pools may be destroyed while workers leave: no crash, no hang, every module really unloaded.
TEST(ChildProcess, ModulesLoadAndUnloadCleanlyAndAnExitDoesNotWaitForABusyWorker)
{
    const std::wstring agent = STest::Quote(STest::BinFolder() + L"Lumerelx64.dll");
    const std::wstring poolDll = STest::Quote(STest::BinFolder() + L"process_pool_dll.dll");
    const std::pair<std::wstring, DWORD> runs[] = {{L"dll-threads " + agent, 0},
                                                   {L"exit-with-worker " + poolDll, 7},
                                                   {L"unload-loops " + agent + L" " + poolDll, 0}};
    for (const auto& [arguments, exitCode] : runs)
    {
        const STest::ProcessResult run = STest::RunProcess(STest::Quote(Child) + L" " + arguments, 120'000);
        EXPECT_EQ(run.exitCode, exitCode) << run.output;
    }
}
