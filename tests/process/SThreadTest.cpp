#include "process/ThreadTestSupport.h"

#include "library/system/process/SThread.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cwchar>

using namespace S;
using namespace ThreadTest;
using testing::HasSubstr;

namespace
{

unsigned __stdcall ReturnSeven(void*)
{
    return 7;
}

unsigned __stdcall RecordOwnId(void* out)
{
    *static_cast<DWORD*>(out) = GetCurrentThreadId();
    return 0;
}

unsigned __stdcall WaitForGate(void* gate)
{
    return static_cast<Gate*>(gate)->Wait() ? 0 : 1;
}

} // namespace

TEST(SThread, ProcedureResultIsExitCodeAndBirthAndEndAreLogged)
{
    LogCapture log;
    SThread thread;
    SResult result;
    DWORD id = 0;
    ASSERT_EQ(thread.Create(result, L"seven", &ReturnSeven, nullptr, 0, 0, nullptr, &id), SResult(0));
    EXPECT_NE(id, 0u);
    ASSERT_EQ(thread.Wait(result, false, 10'000), SResult(0));
    DWORD exitCode = 0;
    EXPECT_EQ(thread.GetExitCode(result, exitCode), SResult(0));
    EXPECT_EQ(exitCode, 7u);

    wchar_t parent[16];
    std::swprintf(parent, 16, L"%5lu", GetCurrentThreadId());
    EXPECT_EQ(log.Count(std::wstring(L"Thread created. Purpose: seven. Parent thread: ") + parent + L"."),
              1u);
    const auto ended = log.Matching(L"Thread ended with exit code 0x00000007 [purpose: seven]");
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].level, 48); // the file route's Debug lines
}

TEST(SThread, PurposeIsStoredCutOrReplaced)
{
    const std::wstring longText(300, L'x');
    const struct
    {
        const wchar_t* given;
        std::wstring stored;
    } cases[] = {
        {nullptr, L"<not specified>"},
        {L"", L"<not specified>"},
        {L"pump", L"pump"},
        {longText.c_str(), std::wstring(255, L'x')},
    };
    SThread thread;
    EXPECT_STREQ(thread.GetPurpose(), L"<not specified>");
    for (const auto& c : cases)
    {
        thread.SetPurpose(c.given);
        EXPECT_EQ(std::wstring(thread.GetPurpose()), c.stored);
    }
}

TEST(SThread, OperationsWithoutHandleReportItAndLeaveOutputsAlone)
{
    SThread thread;
    SResult result;
    DWORD exitCode = 12345;
    bool disabled = true;
    SThreadTimes times;
    times.user.dwLowDateTime = 99;
    const SResult noHandle(0xA0040902u);
    EXPECT_EQ(thread.GetExitCode(result, exitCode), noHandle);
    EXPECT_EQ(thread.Terminate(result, 1), noHandle);
    EXPECT_EQ(thread.SetPriority(result, THREAD_PRIORITY_NORMAL), noHandle);
    EXPECT_EQ(thread.GetPriorityBoost(result, disabled), noHandle);
    EXPECT_EQ(thread.GetTimes(result, times), noHandle);
    EXPECT_EQ(thread.Wait(result, false, 0), noHandle);
    EXPECT_EQ(exitCode, 12345u);
    EXPECT_TRUE(disabled);
    EXPECT_EQ(times.user.dwLowDateTime, 99u);
    EXPECT_EQ(thread.Suspend(), 0xFFFFFFFFu);
    EXPECT_EQ(thread.Resume(), 0xFFFFFFFFu);
    EXPECT_EQ(thread.GetPriority(), -1);
    EXPECT_EQ(thread.GetThreadId(), 0xFFFFFFFFu);
}

TEST(SThread, IdsComeFromTheKernelForCreatedOpenedAndPseudoHandles)
{
    SThread created;
    SResult result;
    DWORD reported = 0;
    DWORD seen = 0;
    ASSERT_EQ(created.Create(result, L"id", &RecordOwnId, &seen, 0, 0, nullptr, &reported), SResult(0));
    ASSERT_EQ(created.Wait(result, false, 10'000), SResult(0));
    EXPECT_EQ(created.GetThreadId(), seen);
    EXPECT_EQ(reported, seen);

    const std::unique_ptr<IThread> opened = created.OpenThread(THREAD_QUERY_INFORMATION, false);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->GetThreadId(), GetCurrentThreadId());

    SThread pseudo(INVALID_HANDLE_VALUE);
    EXPECT_EQ(pseudo.GetHandle(), GetCurrentThread());
    EXPECT_EQ(pseudo.GetThreadId(), GetCurrentThreadId());
    pseudo.Close();
    EXPECT_FALSE(pseudo.IsValid());

    SThread missing; // no thread has id 0
    EXPECT_EQ(missing.Open(result, THREAD_ALL_ACCESS, false, 0), SResult(0xA0040903u));
    EXPECT_FALSE(missing.IsValid());
}

TEST(SThread, SuspendsResumesAndTerminates)
{
    LogCapture log;
    Gate never;
    SThread thread;
    SResult result;
    ASSERT_EQ(thread.Create(result, L"doomed", &WaitForGate, &never, CREATE_SUSPENDED), SResult(0));
    EXPECT_EQ(thread.Suspend(), 1u);
    EXPECT_EQ(thread.Resume(), 2u);
    EXPECT_EQ(thread.Resume(), 1u);
    ASSERT_TRUE(log.WaitFor(L"Purpose: doomed."));

    EXPECT_EQ(thread.Terminate(result, 5), SResult(0));
    ASSERT_EQ(thread.Wait(result, false, 10'000), SResult(0));
    DWORD exitCode = 0;
    thread.GetExitCode(result, exitCode);
    EXPECT_EQ(exitCode, 5u);
    EXPECT_EQ(log.Count(L"Thread forcibly terminated with exit code 5 [purpose: doomed]"), 1u);
    EXPECT_EQ(log.Count(L"Thread ended"), 0u); // it never reached the end of its start wrapper
}

// Each failure kind in a child program of its own (see CrashRuns).
TEST(SThread, EscapingExceptionsEndTheThreadWithReports)
{
    const struct
    {
        const wchar_t* mode;
        const char* announcement;
        std::vector<std::wstring> reportParts;
        size_t dumps;
    } cases[] = {
        {L"thread-fault",
         "Caught a 'SWin32Exception' exception.\n",
         {L"(ACCESS_VIOLATION)",
          L"Unable to write location: 0x00000010. TST, line 384: S::SThread::ThreadStart."},
         1},
        {L"thread-sexception",
         "Caught a 'SException' exception.\n",
         {L"Exception 0xa0041234 (SException), line 77: custom failure."},
         0},
        {L"thread-unknown",
         "Caught an 'UNKNOWN...' exception.\n",
         {L"Exception 0xa0040200 (SException), line 384: S::SThread::ThreadStart."},
         0},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(Narrow(c.mode));
        const CrashRuns::Run& run = CrashRuns::Get(c.mode);
        const STest::ProcessResult result = run.result.get();
        EXPECT_EQ(result.exitCode, 0x80004005u);
        EXPECT_THAT(result.output, HasSubstr(std::string(c.announcement) + "exit=80004005\n"));
        const auto texts = run.folder.Reports(L"txt");
        ASSERT_EQ(texts.size(), 1u);
        for (const std::wstring& part : c.reportParts)
            EXPECT_THAT(texts[0], HasSubstr(part));
        const auto dumps = run.folder.Reports(L"dmp");
        ASSERT_EQ(dumps.size(), c.dumps);
        if (c.dumps > 0)
        {
            ASSERT_GE(dumps[0].size(), 2u);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(dumps[0].data()), 4), "MDMP");
        }
    }
}
