// The cases that need a process of their own: failures that write crash reports, loading the agent,
// and a process that ends under a busy worker. The child program is built from support/.
#include "common/ProcessRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace
{

const std::wstring Child = STest::BinFolder() + L"process_child.exe";

} // namespace

// The child runs from a folder of its own, so that the reports it writes beside itself can be read
// and removed.
TEST(ChildProcess, FailuresEscapingThreadsAndJobsAreReportedAndTheWorkerGoesOn)
{
    const auto folder =
        std::filesystem::temp_directory_path() / (L"process-tests-" + std::to_wstring(GetCurrentProcessId()));
    std::error_code ignored; // a killed run may have left a folder of this name
    std::filesystem::remove_all(folder, ignored);
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(Child, folder / L"child.exe");
    const STest::ProcessResult run =
        STest::RunProcess(STest::Quote((folder / L"child.exe").wstring()) + L" crashes", 300'000);
    std::map<std::wstring, std::vector<std::string>> files; // the contents by extension
    for (const auto& entry : std::filesystem::directory_iterator(folder))
    {
        std::ifstream file(entry.path(), std::ios::binary);
        files[entry.path().extension()].emplace_back(std::istreambuf_iterator<char>(file),
                                                     std::istreambuf_iterator<char>());
    }
    std::filesystem::remove_all(folder, ignored);
    ASSERT_EQ(run.exitCode, 0u) << run.output;

    // Threads that fail by an access violation, an SException and anything else end with 0x80004005;
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
    ASSERT_EQ(files[L".txt"].size(), 6u);
    std::wstring reports;
    for (const std::string& text : files[L".txt"])
        reports.append(reinterpret_cast<const wchar_t*>(text.data()), text.size() / 2);
    const std::pair<std::wstring, size_t> parts[] = {
        {L"Unable to write location: 0x00000010. TST, line 384: S::SThread::ThreadStart.", 1},
        {L"Exception 0xa0041234 (SException), line 77: custom failure.", 1},
        {L"Exception 0xa0040200 (SException), line 384: S::SThread::ThreadStart.", 1},
        {L"Exception 0xa0045678 (SException), line 12: job failure.", 1},
        {L"Exception 0xa0040200 (SException), line 503: S::SThreadPool::WorkerInnerWrapper.", 1},
        {L"TST, line 503: S::SThreadPool::WorkerInnerWrapper.", 1},
        {L"(ACCESS_VIOLATION)", 2}};
    for (const auto& [part, count] : parts)
    {
        size_t found = 0;
        for (size_t at = reports.find(part); at != std::wstring::npos; at = reports.find(part, at + 1))
            ++found;
        EXPECT_EQ(found, count) << part;
    }
    EXPECT_EQ(files[L".dmp"].size(), 2u);
}

TEST(ChildProcess, LoadingAndUnloadingTheAgentMakesNoThread)
{
    // The child compares the thread counts before loading, while loaded and after unloading.
    const std::wstring dll = STest::Quote(STest::BinFolder() + L"Lumerelx64.dll");
    const STest::ProcessResult run = STest::RunProcess(STest::Quote(Child) + L" dll-threads " + dll);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
}

TEST(ChildProcess, ProcessEndsWhileAModulePoolHasABusyWorker)
{
    // 7 is the code the child ends with; a pool that waited for its dead worker would hang the exit.
    const std::wstring dll = STest::Quote(STest::BinFolder() + L"process_pool_dll.dll");
    EXPECT_EQ(STest::RunProcess(STest::Quote(Child) + L" exit-with-worker " + dll).exitCode, 7u);
}
